#!/bin/sh
# lodrix-playlist's options on real folders: --order=tags; --match, --sort, --shuffle, --limit and
# --encoding as rows of arguments and the titles listed; --paths and --prefix; --lists; -e; the
# options as GNU has them, in the language the locale asks for; -T.
# Usage: lodrix_playlist_options.sh LODRIX_PLAYLIST VLC_LOAD LODRIX
set -u
program=$1 load=$2 lodrix=$3
. "$(dirname "$0")/common.sh"
need xmllint ffmpeg runuser
. "$(dirname "$0")/playlist_setup.sh"
# The tagged folder, a cue album with its cover, the rips and the audiobook, whose tracks rows
# choose like any other; a file to name in an M3U for -T.
make_tags && make_cue && cp "$tags/Cover.JPG" "$cue/Album/cover.jpg" && make_rips && make_book || exit 1
mkdir "$work/partly" && write_wav "$work/partly/a & b.wav" 100 || exit 1

# --order=tags: a folder's files by disc (none: 1), track number, name, those without a number
# after them, then its subfolders; positions follow.
album=$work/album
mkdir -p "$album/sub" && write_wav "$album/sub/x.wav" 10 || exit 1
for file in "Zebra.mp3 1 2" "Apple.mp3 2 1" "Mango.mp3 1/2 10" "Bonus.mp3 1 ''" "Kiwi.mp3 '' 1"; do
    eval "set -- $file" && tagged "../album/$1" -metadata disc="$2" -metadata track="$3"
done
"$program" --order=tags "$album" | grep -o -e '[A-Za-z]*\.[mw][pa][3v]<' -e '<vlc:id>[0-9]*' | tr '\n' ' ' >"$work/got"
printf '%s' 'Kiwi.mp3< <vlc:id>1 Zebra.mp3< <vlc:id>2 Mango.mp3< <vlc:id>3 Apple.mp3< <vlc:id>4 Bonus.mp3< <vlc:id>5 x.wav< <vlc:id>6 ' |
    diff - "$work/got" || fail "--order=tags"

# --match, --sort, --shuffle and --limit on a tagged folder: two artists with two albums each,
# genres with accents in other cases, a track without tags. A row: the arguments, then the
# titles listed (a file's name where it has none), or the status and message of a failed run.
selection=$work/selection
mkdir -p "$selection/Anna/Erste" "$selection/Anna/Zweite" "$selection/Miles/Kind" "$selection/Miles/Later" &&
    write_wav "$selection/untagged.wav" 1000 || exit 1
while read -r row; do
    eval "set -- $row" && file=$1 seconds=$2 && shift 2 && count=$#
    for tag in "$@"; do set -- "$@" -metadata "$tag"; done
    shift "$count"
    ffmpeg -nostdin -v error -f lavfi -i "sine=d=$seconds" "$@" "$selection/$file" || fail "ffmpeg: $file"
done <<'EOF2'
Anna/Erste/1.flac 1 title=Ärger artist=Anna album=Erste genre=ROCK date=1972 track=1
Anna/Erste/2.flac 2 title='Track 10' artist=Anna album=Erste genre=Rock date=1972-05-01 track=+2 composer=Bach
Anna/Zweite/1.flac 3 title='Track 2' artist=Anna album=Zweite genre=Électro date=1985 track=1 disc=1
Miles/Kind/1.flac 4 title=Blues artist='Miles Davis' album=Kind genre=Jazz date=1959 track=1 composer='Miles Davis'
Miles/Kind/2.flac 2 title=ärger album_artist='Miles Davis' album=Kind genre=électro date=1959 track=' 2'
Miles/Later/1.flac 1 title=Zebra artist='Miles Davis' album='Later: Live' genre=jazz date=1990 track=1
EOF2
# Modification times for mtime's rows, in local time as the program reads them.
touch -d '2023-05-01 10:00' "$selection/Anna/Erste/1.flac" && touch -d '2024-03-01 00:00' "$selection/Anna/Erste/2.flac" &&
    touch -d '2024-06-30 23:59:59' "$selection/Anna/Zweite/1.flac" && touch -d '2024-07-01 00:00' "$selection/Miles/Kind/1.flac" &&
    touch -d '20 days ago' "$selection/Miles/Kind/2.flac" && touch -d '45 days ago' "$selection/Miles/Later/1.flac" || exit 1
listed() {
    eval "set -- $1"
    # From the tagged folder: a query's relative paths start there.
    (cd "$selection" && exec "$program" "$@" "${folder:-$selection}") >"$work/out" 2>"$work/err"
    status=$?
    [ $status = 0 ] || { printf 'status %s%s: %s' $status "$([ -s "$work/out" ] && echo ', output')" "$(cat "$work/err")"; return; }
    xmllint --noout "$work/out" && awk -F '[<>]' '$2 == "location" { sub(/.*\//, "", $3); name = $3 }
        $2 == "title" && /^   / { name = $3 } $2 == "/track" { list = list (list == "" ? "" : ", ") name }
        END { print list }' "$work/out"
}
check_rows() {
    while IFS='|' read -r arguments expected; do
        got=$(listed "$arguments")
        [ "$got" = "$expected" ] || fail "${folder:-}: $arguments: $got; expected $expected"
    done
}
folder=
check_rows <<'EOF2'
|Ärger, Track 10, Track 2, Blues, ärger, Zebra, untagged.wav
--match=ärger|Ärger, ärger
--match=^ärger|Track 10, Track 2, Blues, Zebra, untagged.wav
--match=genre:ÉLECTRO|Track 2, ärger
--match=^genre:électro|Ärger, Track 10, Blues, Zebra, untagged.wav
--match=genre:=Rock|Track 10
--match=^genre:=Rock|Ärger, Track 2, Blues, ärger, Zebra, untagged.wav
--match=genre:=~rOCK|Ärger, Track 10
--match=^genre:=~rOCK|Track 2, Blues, ärger, Zebra, untagged.wav
--match=composer:=|Ärger, Track 2, ärger, Zebra, untagged.wav
--match=^composer:=~|Track 10, Blues
--match=-genre:rock|Track 2, Blues, ärger, Zebra, untagged.wav
--match='artist:"miles davis"'|Blues, ärger, Zebra
--match=^artist:miles|Ärger, Track 10, Track 2, untagged.wav
--match=albumartist:miles|ärger
--match=^albumartist:miles|Ärger, Track 10, Track 2, Blues, Zebra, untagged.wav
--match=album:=Kind|Blues, ärger
--match=^composer:bach|Ärger, Track 2, Blues, ärger, Zebra, untagged.wav
--match=bach|Track 10
--match=^jazz|Ärger, Track 10, Track 2, ärger, untagged.wav
--match=selection|status 1: lodrix-playlist: no media files found
--match=path:Miles|Blues, ärger, Zebra
--match=^path:Miles|Ärger, Track 10, Track 2, untagged.wav
--match=path:Miles/Kind/2.flac|ärger
--match=path:Mil|status 1: lodrix-playlist: no media files found
--match=path:$selection/Anna/Zweite|Track 2
--match=Anna/Erste|Ärger, Track 10
--match=^Anna/Erste|Track 2, Blues, ärger, Zebra, untagged.wav
--match='path::\.wav$'|untagged.wav
--match='^path::\.wav$'|Ärger, Track 10, Track 2, Blues, ärger, Zebra
--match='title::^[[:alpha:]]rger$'|Ärger, ärger
--match='^title::^[[:alpha:]]rger$'|Track 10, Track 2, Blues, Zebra, untagged.wav
--match='title::ärger'|ärger
--match='::^Miles'|Blues, ärger, Zebra
--match='later\:'|Zebra
--match='^later\:'|Ärger, Track 10, Track 2, Blues, ärger, untagged.wav
--match='artist:anna year:1985 , title:blues'|Track 2, Blues
--match='"track 1"'|Track 10
--match=year:1970..1989|Ärger, Track 10, Track 2
--match=^year:1970..1989|Blues, ärger, Zebra, untagged.wav
--match=year:1980..|Track 2, Zebra
--match=year:..1960|Blues, ärger
--match=track:2|Track 10, ärger
--match=^disc:1|Ärger, Track 10, Blues, ärger, Zebra, untagged.wav
--match=length:3s..|Track 2, Blues
--match=length:..0:01|Ärger, Zebra, untagged.wav
--match=^length:2|Ärger, Track 2, Blues, Zebra, untagged.wav
--match=length:2.5..|Track 2, Blues
--match=^length:..1.5|Track 10, Track 2, Blues, ärger
--match=year:-5..|Ärger, Track 10, Track 2, Blues, ärger, Zebra
--match=-year:-5..|untagged.wav
--match='genre:rock year:1970..1989'|Ärger, Track 10
--match=genre:jazz --match=title:zebra|Blues, Zebra
--sort=title|Ärger, ärger, Blues, Track 2, Track 10, Zebra, untagged.wav
--sort=-title|Zebra, Track 10, Track 2, Blues, Ärger, ärger, untagged.wav
--sort=genre|Track 2, ärger, Blues, Zebra, Ärger, Track 10, untagged.wav
--sort=-genre|Ärger, Track 10, Blues, Zebra, Track 2, ärger, untagged.wav
--sort=-year|Zebra, Track 2, Ärger, Track 10, Blues, ärger, untagged.wav
--sort=composer|Track 10, Blues, Ärger, Track 2, ärger, Zebra, untagged.wav
--sort=-composer|Blues, Track 10, Ärger, Track 2, ärger, Zebra, untagged.wav
--sort=artist,-year|Track 2, Ärger, Track 10, Zebra, Blues, ärger, untagged.wav
--sort=-length|Blues, Track 2, Track 10, ärger, Ärger, Zebra, untagged.wav
--shuffle --seed=1|Track 10, Zebra, Track 2, untagged.wav, Ärger, ärger, Blues
--shuffle --seed=1|Track 10, Zebra, Track 2, untagged.wav, Ärger, ärger, Blues
--shuffle --seed=2|Blues, untagged.wav, Ärger, Track 10, Zebra, ärger, Track 2
--shuffle=albums --seed=1|Ärger, Track 10, Track 2, Zebra, untagged.wav, Blues, ärger
--shuffle=albums --seed=2|Zebra, Track 2, untagged.wav, Blues, ärger, Ärger, Track 10
--shuffle=spread --seed=1|Blues, Track 2, untagged.wav, ärger, Ärger, Zebra, Track 10
--match=artist:anna --match=title:zebra --shuffle=spread --seed=1|Track 10, Zebra, Ärger, Track 2
--limit=2|Ärger, Track 10
--limit=4s|Ärger, Track 10, Zebra
--sort=-length --limit=5s|Blues, Ärger
--match=artist:anna --shuffle --seed=1 --limit=2|Track 2, Ärger
--match=genre:=roc|status 1: lodrix-playlist: no media files found
--match=foo:bar|status 1: lodrix-playlist: --match: foo:bar: unknown field (title, artist, albumartist, album, genre, composer, year, track, disc, length, path, mtime)
--match='year:19x0..1980'|status 1: lodrix-playlist: --match: year:19x0..1980: no number and no range (such as year:1970..1989, length:3m..5m, mtime:-30d..)
--match='artist:"Miles'|status 1: lodrix-playlist: --match: artist:"Miles: quotation mark not closed
--match='rock ^'|status 1: lodrix-playlist: --match: ^: no term after ^
--match='rock -'|status 1: lodrix-playlist: --match: -: no term after -
--match='rock ,'|status 1: lodrix-playlist: --match: ,: no query before or after it
--match='title::('|status 1: lodrix-playlist: --match: title::(: not a regular expression: missing closing parenthesis
--sort=bogus|status 1: lodrix-playlist: --sort: bogus: unknown field (title, artist, albumartist, album, genre, composer, year, track, disc, length, path, mtime; -FIELD descending)
--sort=title --order=tags|status 1: lodrix-playlist: --sort and --order together: one order
--shuffle=sideways|status 1: lodrix-playlist: --shuffle=sideways: tracks, albums or spread
--seed=x --shuffle|status 1: lodrix-playlist: --seed=x: not a number from 0 to 18446744073709551615
--limit=lots|status 1: lodrix-playlist: --limit=lots: neither a count nor a duration (such as 20, 90m, 1h30m, 3:30)
--match=mtime:2024|Track 10, Track 2, Blues
--match=mtime:2024-03..2024-06|Track 10, Track 2
--match=^mtime:..2024-06|Blues, ärger, Zebra, untagged.wav
--match=mtime:2023-05-01T10|Ärger
--match=mtime:-30d..|ärger, untagged.wav
--match=mtime:-2w..|untagged.wav
--match=mtime:-2m..-1m|Zebra
--sort=-mtime --limit=3|untagged.wav, ärger, Zebra
--sort=mtime|Ärger, Track 10, Track 2, Blues, Zebra, ärger, untagged.wav
--match=mtime:2024-02-30|status 1: lodrix-playlist: --match: mtime:2024-02-30: no number and no range (such as year:1970..1989, length:3m..5m, mtime:-30d..)
EOF2
# A cue album's tracks and an audiobook's chapters are chosen like any other track.
folder=$cue/Album
check_rows <<'EOF2'
--match=artist:gast|Zwei
--match='album:"das album" ^title:eins'|Zwei, Drei
--sort=-track|Drei, Zwei, Eins
--limit=3s|Eins, Zwei
EOF2
folder=$book
check_rows <<'EOF2'
--chapters --match=title:zwei|Kapitel Zwei, Kapitel Zwei, Kapitel Zwei, Zwei
--chapters --match='path::\.m4b$ track:3'|Kapitel Drei
EOF2
# Tags in Windows-1252 are matched as the playlist shows them.
folder=$tags
check_rows <<'EOF2'
--match='title::^It’s$'|It’s
--match=title:=It’s|It’s
EOF2
# A sheet over files named without numbers keeps its order in both orders. A Japanese sheet too
# short for uchardet (it takes EUC-JP for GBK: its FILE names no file) is read as --encoding says.
folder=$enc/sjis
check_rows <<'EOF2'
|あの夏へ, 竜の少年, ボイラー虫, ソナチネ
--order=tags|あの夏へ, 竜の少年, ボイラー虫, ソナチネ
EOF2
folder=$work/short
write_rip "$folder" foobar2000 euc_jp 久石譲 千と千尋の神隠し "久石譲 - 千と千尋の神隠し.wav" "あの夏へ|竜の少年|ボイラー虫" || exit 1
check_rows <<'EOF2'
|久石譲 - 千と千尋の神隠し.wav
--encoding=euc-jp|あの夏へ, 竜の少年, ボイラー虫
--encoding=EUC-JP --order=tags|あの夏へ, 竜の少年, ボイラー虫
--encoding=klingon|status 1: lodrix-playlist: --encoding=klingon: not an encoding known here (windows-1252, windows-1250, windows-1251, gbk, big5, shift_jis, euc-kr, euc-jp, koi8-r, iso-8859-2, iso-8859-3, iso-8859-4, iso-8859-5, iso-8859-6, iso-8859-9, iso-8859-13, iso-8859-15)
EOF2
folder=

# --paths with a list inside, beside and above the music, and prefixes (the longest; a URL's
# rest percent-encoded, in M3U8 and XSPF alike). A row: the arguments, then the locations the
# list holds (the scratch folder as W).
paths=$work/paths music=$work/paths/Music
mkdir -p "$music/Artist" "$paths/Playlists" && write_wav "$music/Artist/a.wav" 10 && write_wav "$music/Artist/Ä #1%.wav" 10 || exit 1
while IFS='|' read -r arguments expected; do
    eval "set -- $arguments"
    list=$(eval "printf %s \"\${$#}\"")
    "$program" "$@" "$music" 2>"$work/err" || fail "--paths $arguments: $(cat "$work/err")"
    case $list in
    *.xspf) got=$(sed -n 's|.*<location>\(.*\)</location>|\1|p' "$list" | tr '\n' '~') ;;
    *) got=$(grep -v '^#' "$list" | tr '\n' '~') ;;
    esac
    got=$(printf '%s' "$got" | sed "s|$work|W|g")
    [ "$got" = "$expected" ] || fail "--paths $arguments: $got; expected $expected"
done <<'EOF2'
-o "$music/Artist/in.m3u8"|a.wav~Ä #1%.wav~
-o "$paths/Playlists/beside.m3u8"|W/paths/Music/Artist/a.wav~W/paths/Music/Artist/Ä #1%.wav~
-o "$paths/above.m3u8"|Music/Artist/a.wav~Music/Artist/Ä #1%.wav~
--paths=relative -o "$music/Artist/in.m3u8"|a.wav~Ä #1%.wav~
--paths=relative -o "$paths/Playlists/beside.m3u8"|../Music/Artist/a.wav~../Music/Artist/Ä #1%.wav~
--paths=relative -o "$paths/above.m3u8"|Music/Artist/a.wav~Music/Artist/Ä #1%.wav~
--paths=absolute -o "$music/Artist/in.m3u8"|W/paths/Music/Artist/a.wav~W/paths/Music/Artist/Ä #1%.wav~
--paths=absolute -o "$paths/Playlists/beside.m3u8"|W/paths/Music/Artist/a.wav~W/paths/Music/Artist/Ä #1%.wav~
--paths=absolute -o "$paths/above.m3u8"|W/paths/Music/Artist/a.wav~W/paths/Music/Artist/Ä #1%.wav~
--paths=relative -o "$paths/Playlists/beside.xspf"|../Music/Artist/a.wav~../Music/Artist/Ä %231%25.wav~
--prefix="$music=/storage/sdcard1/Music" --prefix="$music/Artist=/mnt/a" --paths=relative -o "$paths/above.m3u8"|/mnt/a/a.wav~/mnt/a/Ä #1%.wav~
--prefix="$music=G:\\Musik" -o "$paths/above.xspf"|file:///G:/Musik/Artist/a.wav~file:///G:/Musik/Artist/Ä %231%25.wav~
--prefix="$music=http://nas.local/music" -o "$paths/above.m3u8"|http://nas.local/music/Artist/a.wav~http://nas.local/music/Artist/%C3%84%20%231%25.wav~
--prefix="$music=http://nas.local/music" -o "$paths/above.xspf"|http://nas.local/music/Artist/a.wav~http://nas.local/music/Artist/%C3%84%20%231%25.wav~
EOF2

# --lists: three lists and one per genre from one run, each file opened once; each list as its
# own run writes it; a line that cannot be read is one message, and nothing is written.
lists=$work/lists
mkdir -p "$lists/genres" || exit 1
cat >"$lists/lists.txt" <<'EOF2'
# three lists and one per genre
rock.m3u8 --match=genre:rock
'all of it.xspf' --title="Alle \"Titel\""   # a comment
"newest first.m3u8" --sort=-mtime --limit=2 --paths=relative
genres/{genre}.m3u8 --sort=title
EOF2
# The traced run's status is not the row's: LeakSanitizer stops under ptrace in the sanitized build.
opened() { strace -f -e trace=open,openat -o "$work/opened" "$@" 2>/dev/null; grep -o '"[^"]*\.\(flac\|wav\)"' "$work/opened" | sort | uniq -c | awk '{ print $1 }' | sort | uniq -c | tr -s ' \n' '  '; }
if command -v strace >/dev/null; then
    [ "$(opened "$program" --no-cache --lists="$lists/lists.txt" "$selection")" = " 7 1 " ] ||
        fail "--lists: not each of the 7 files opened once: $(opened "$program" --no-cache --lists="$lists/lists.txt" "$selection")"
fi
"$program" --lists="$lists/lists.txt" "$selection" 2>"$work/err" || fail "--lists: $(cat "$work/err")"
# A genre in any case is one list, named as the list's first track of it spells it.
(cd "$lists" && LC_ALL=C ls genres && grep -h -c '^#EXTINF' genres/*) | tr '\n' ' ' >"$work/got"
[ "$(cat "$work/got")" = "Jazz.m3u8 ROCK.m3u8 électro.m3u8 2 2 2 " ] || fail "--lists {genre}: $(cat "$work/got")"
grep -q '<title>Alle "Titel"</title>' "$lists/all of it.xspf" || fail "--lists: a quoted title"
grep -qx '\.\./selection/untagged.wav' "$lists/newest first.m3u8" || fail "--lists: --paths=relative"
mkdir "$lists/first" && cp -r "$lists"/*.* "$lists/genres" "$lists/first/" || exit 1
"$program" -o "$lists/rock.m3u8" --match=genre:rock "$selection" && "$program" -o "$lists/all of it.xspf" --title='Alle "Titel"' "$selection" &&
    "$program" -o "$lists/newest first.m3u8" --sort=-mtime --limit=2 --paths=relative "$selection" &&
    "$program" -o "$lists/genres/Jazz.m3u8" --match=genre:=~jazz --sort=title "$selection" || fail "--lists: the lists one by one"
for list in rock.m3u8 "all of it.xspf" "newest first.m3u8" genres/Jazz.m3u8; do
    cmp -s "$lists/$list" "$lists/first/$list" || fail "--lists: $list is not what its own run writes"
done
printf 'rock.m3u8 --match=genre:jazz\nbad.m3u8 --match="x\n' >"$work/bad lists.txt"
"$program" --lists="$work/bad lists.txt" "$selection" 2>"$work/err"
[ $? = 1 ] && [ "$(cat "$work/err")" = "lodrix-playlist: $work/bad lists.txt:2: quotation mark not closed" ] &&
    [ ! -e "$work/rock.m3u8" ] || fail "--lists with a bad line: $(cat "$work/err")"
# With -e each folder's list is selected on its own; a run that fails leaves an -o file as it was.
"$program" -e --sort=-title --limit=1 "$selection" 2>"$work/err" || fail "-e with a selection: $(cat "$work/err")"
(cd "$selection" && grep -h -o '^   <title>[^<]*' Anna/Erste/Erste.xspf Anna/Zweite/Zweite.xspf Miles/Kind/Kind.xspf \
    Miles/Later/Later.xspf && grep -c '<track>' selection.xspf) | tr -s '\n ' '  ' >"$work/got"
[ "$(cat "$work/got")" = " <title>Track 10 <title>Track 2 <title>Blues <title>Zebra 1 " ] ||
    fail "-e --sort=-title --limit=1: $(cat "$work/got")"
echo old >"$work/kept.xspf"
for arguments in --match=genre:=roc --limit=lots; do
    "$program" -o "$work/kept.xspf" "$arguments" "$selection" 2>/dev/null
    [ $? = 1 ] && [ "$(cat "$work/kept.xspf")" = old ] || fail "$arguments with -o: not status 1, or the file changed"
done

# The options as GNU has them: --help and --version on standard output, an unknown option in
# one line, grouped short options, "--" before an operand that begins with "-".
"$program" --help >"$work/out" && grep -q '^  -e, --each-folder\[=NAME\]' "$work/out" &&
    grep -q '^      --match=QUERY ' "$work/out" || fail "--help"
[ "$("$program" -V)" = "lodrix-playlist 2.1" ] || fail "--version"
"$program" --frob "$work/partly" >"$work/out" 2>"$work/err"
[ $? = 1 ] && [ ! -s "$work/out" ] && [ "$(cat "$work/err")" = "lodrix-playlist: unknown option --frob (lodrix-playlist --help shows them all)" ] ||
    fail "an unknown option: $(cat "$work/err")"
# The language each setting of the locale asks for: the same bad input's line in each (as
# printf %b reads it: a Latin-1 locale gets Latin-1 bytes), then --help's first line.
english='lodrix-playlist: --match: artist:"x: quotation mark not closed'
german='lodrix-playlist: --match: artist:"x: Anf\303\274hrungszeichen nicht geschlossen'
while IFS='|' read -r setting expected; do
    # shellcheck disable=SC2086
    env -i PATH="$PATH" $setting "$program" --match='artist:"x' "$work/partly" 2>"$work/err" >/dev/null
    printf '%b\n' "$expected" | cmp -s - "$work/err" || fail "$setting: $(od -c "$work/err" | head -3)"
done <<EOF2
LANG=C|$english
LANG=en_US.UTF-8|$english
LANG=de_DE.UTF-8|$german
LANGUAGE=de LANG=en_US.UTF-8|$german
LANGUAGE=de LANG=C|$english
LC_ALL=de_AT.UTF-8 LANG=en_US.UTF-8|$german
LANG=de_DE.ISO-8859-1|lodrix-playlist: --match: artist:"x: Anf\374hrungszeichen nicht geschlossen
EOF2
for setting in LANG=C.UTF-8 LANG=de_DE.UTF-8; do
    env -i PATH="$PATH" "$setting" "$program" --help | head -n 1
done | tr '\n' '|' | grep -qx 'Usage: lodrix-playlist \[OPTION\]... \[FOLDER|FILE\]...|Aufruf: lodrix-playlist \[OPTION\]... \[ORDNER|DATEI\]...|' ||
    fail "--help in English and German"
mkdir "$work/dash" && write_wav "$work/dash/-x.wav" 10 || exit 1
(cd "$work/dash" && "$program" -- -x.wav && "$program" ./-x.wav) | grep -c '<location>file://.*/-x.wav<' | grep -qx 2 ||
    fail "-- or ./ before an operand that begins with -"

# -T: names from find -print0 with a line feed in one, an M3U with #EXTINF lines, a carriage
# return and paths relative to its own folder; each listed in the given order.
mkdir -p "$work/m3u/sub" && write_wav "$work/m3u/sub/b.wav" 10 && write_wav "$work/m3u/$(printf 'line\nfeed').wav" 10 || exit 1
printf '#EXTM3U\r\n#EXTINF:1,B\r\nsub/b.wav\r\n\r\n#EXTINF:1,A\r\n%s\r\n' "$work/partly/a & b.wav" >"$work/m3u/sub/../list.m3u"
(cd / && "$program" -T "$work/m3u/list.m3u") | grep -o '<location>[^<]*' >"$work/got"
printf '<location>file://%s\n' "$work/m3u/sub/b.wav" "$work/partly/a &amp; b.wav" | diff - "$work/got" || fail "-T with an M3U"
find "$work/m3u" -name '*.wav' -print0 | sort -z | "$program" -0T - | grep -c '<track>' | grep -qx 2 || fail "-0 -T -"

# -e: a playlist in every folder with media files, of its files, named after it and titled with
# its name, locations relative (the parent's cover is outside: absolute); none in a folder
# without; a second run makes the same lists.
each=$work/each
mkdir -p "$each/Album 1/CD1" "$each/Album 1/CD2" "$each/notes" && : >"$each/notes/a.txt" || exit 1
for file in "Album 1/CD1/a.wav" "Album 1/CD1/b.wav" "Album 1/CD2/a.wav" "Album 1/front.png" top.wav; do write_wav "$each/$file" 10; done
"$program" -e "$each" 2>"$work/err" && "$program" --each-folder=folder.xspf "$each/Album 1/CD2" || fail "-e: $(cat "$work/err")"
(cd "$each" && find . -name '*.xspf' | LC_ALL=C sort) >"$work/got"
printf '%s\n' "./Album 1/CD1/CD1.xspf" "./Album 1/CD2/CD2.xspf" "./Album 1/CD2/folder.xspf" ./each.xspf | diff - "$work/got" || fail "-e: other lists"
grep -o -e '<title>[^<]*' -e '<location>[^<]*' -e '<image>[^<]*' "$each/Album 1/CD1/CD1.xspf" | tr '\n' ' ' >"$work/got"
printf '<title>CD1 <location>a.wav <image>file://%s <location>b.wav <image>file://%s ' "$each/Album 1/front.png" "$each/Album 1/front.png" |
    diff - "$work/got" ||
    fail "-e: a folder's list"
for list in "$each/Album 1/CD1/CD1.xspf" "$each/each.xspf"; do cp "$list" "$list.first"; done
"$program" -e "$each" && cmp "$each/Album 1/CD1/CD1.xspf" "$each/Album 1/CD1/CD1.xspf.first" &&
    cmp "$each/each.xspf" "$each/each.xspf.first" || fail "-e a second time: other lists"
# A folder whose list cannot be written (as nobody: root writes anywhere): one line, the others
# still written, status 2, its old list as it was.
cp "$each/Album 1/CD2/CD2.xspf" "$work/CD2.xspf" && rm "$each/Album 1/CD1/CD1.xspf" && chmod -R a+rwX "$each" &&
    chmod 555 "$each/Album 1/CD2" || exit 1
$as_user "$program" -e "$each" 2>"$work/err"
[ $? = 2 ] && [ "$(cat "$work/err")" = "lodrix-playlist: $each/Album 1/CD2/CD2.xspf: list not written: Permission denied" ] &&
    cmp -s "$each/Album 1/CD2/CD2.xspf" "$work/CD2.xspf" && [ -s "$each/Album 1/CD1/CD1.xspf" ] ||
    fail "-e with a folder it cannot write: $(cat "$work/err")"
chmod 755 "$each/Album 1/CD2"

[ "$failures" = 0 ] && echo "lodrix-playlist: selection, --paths, --lists, -e, the options and -T as they should be"
exit "$failures"
