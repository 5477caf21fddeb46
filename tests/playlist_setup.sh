# Sourced by the lodrix_playlist*.sh scripts once they have their arguments (program, load,
# lodrix) and common.sh: the scratch folder, fail and the failure count, helpers, and the trees
# that more than one script lists, each made by its own function where a script needs it.

work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
# VLC and $as_user (below) run as nobody where the suite runs as root: they find their files here.
chmod a+rx "$work" || exit 1
# Every run keeps its readings in the scratch folder, never in the user's.
export XDG_CACHE_HOME="$work/cache"
# The folder of the hostile names: lodrix_playlist.sh lists its tree, the M3U8 rows two files of it.
root="$work/Musik & <Hörbücher> #1 100%"
tags=$work/tags cue=$work/cue enc=$work/encodings book=$work/book
failures=0
fail() { echo "$*"; failures=$((failures + 1)); }

# $as_user before a command runs it as nobody where the suite is run as root, who reads and
# writes everything: a locked folder, an unreadable file or a folder it cannot write stays so.
as_user=
mkdir -m 1777 "$work/nobody" || exit 1
[ "$(id -u)" -eq 0 ] && as_user="runuser -u nobody -- env XDG_CACHE_HOME=$work/nobody"
# kept DATABASE: the paths whose readings the cache holds, sorted.
kept() { python3 -c 'import sqlite3, sys
for folder, name in sqlite3.connect(sys.argv[1]).execute("SELECT path, name FROM readings JOIN folders ON folder = folders.id"):
    print((folder + b"/" + name).decode())' "$1" | LC_ALL=C sort; }
# settled PATH...: waits until nothing under PATH has changed for 3 s: a run keeps the reading of
# a file only if neither its modification nor its change time is within 3 s before the run.
settled() {
    newest=$(find "$@" -printf '%C@\n' | sort -n | tail -n 1)
    while [ "$(date +%s.%N | awk -v newest="$newest" '{ print ($1 - newest > 3) }')" = 0 ]; do sleep 0.2; done
}

# make_sine: $work/sine.mp3, 1.2345 s of a tone, and $probed, its duration in ms as ffprobe reads it.
make_sine() {
    ffmpeg -v error -f lavfi -i sine=d=1.2345 "$work/sine.mp3" || exit 1
    probed=$(ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 "$work/sine.mp3" |
        awk '{ printf "%d", $1 * 1000 + 0.5 }')
}

# make_tags: $tags, one file per tag system (ID3v2, ID3v1 with a Latin-1 byte, FLAC, Ogg Vorbis
# and Opus on the stream, M4A, Matroska, ASF, a WAV without), one with hostile bytes, a cover
# beside a lower-ranked one and a CD1/ below it. tagged NAME FFMPEG_OPTIONS... makes one file.
tagged() { name=$1 && shift && ffmpeg -nostdin -v error -f lavfi -i sine=d=0.2 "$@" "$tags/$name" || fail "ffmpeg: $name"; }
make_tags() {
    mkdir -p "$tags/CD1" || exit 1
    tagged a.mp3 -metadata title=ID3v2 -metadata artist=Künstler -metadata album=Album -metadata track=3/12
    tagged b.flac -metadata title=FLAC -metadata album_artist='Album Artist' -metadata track=04
    tagged c.ogg -metadata title=Vorbis -metadata artist=V -metadata track=0
    tagged d.opus -metadata title=Opus -metadata track=x5
    tagged e.m4a -metadata title=M4A -metadata artist=M -metadata track=7/9
    tagged f.mka -metadata title=MKV -metadata ARTIST=K -metadata ALBUM=Kalbum
    tagged g.wma -metadata title=WMA -metadata artist=W -metadata track=2
    tagged h.wav
    tagged i.mp3 -id3v2_version 0 && printf 'TAG%-30s%-30s%-30s2000%-28s\0\005\377' "$(printf 'Gr\374\337e \222\201')" V1 Alb '' >>"$tags/i.mp3"
    # An ID3v2.3 title in Latin-1 with a Windows tagger's apostrophe (0x92), before the audio.
    tagged j.raw -id3v2_version 0 -f mp3 && { printf 'ID3\003\000\000\000\000\000\017TIT2\000\000\000\005\000\000\000It\222s'; cat "$tags/j.raw"; } >"$tags/j.mp3" &&
        rm "$tags/j.raw"
    # ID3v1 in Windows-1251 and in GBK, as Russian and Chinese collections have it, and ID3v2's
    # Latin-1 frames in Windows-1251.
    tagged k.mp3 -id3v2_version 0 && id3v1 "$tags/k.mp3" cp1251 'Группа крови' Кино 'Группа крови' || exit 1
    tagged l.mp3 -id3v2_version 0 && id3v1 "$tags/l.mp3" gbk 月亮代表我的心 邓丽君 '邓丽君 15周年' || exit 1
    tagged m.mp3 -id3v2_version 0 &&
        id3v2_latin1 "$tags/m.mp3" cp1251 'Звезда по имени Солнце' Кино 'Звезда по имени Солнце' || exit 1
    tagged z.mp3 -metadata "title=$(printf 'a\001b\rc & <d> \377e')" -metadata "artist=$(printf '%06000d' 0)"
    tagged CD1/a.flac -metadata title=Eins
    ffmpeg -v error -f lavfi -i testsrc=s=16x16 -frames:v 1 "$tags/Cover.JPG" && cp "$tags/Cover.JPG" "$tags/folder.png" || exit 1
}

# make_cue: $cue, sheets beside the files they split, and one inside its file.
make_cue() {
    mkdir -p "$cue/Album" "$cue/Bad" "$cue/Conv" "$cue/Embedded" "$cue/Two" || exit 1
    write_wav "$cue/Album/image.wav" 4200 && write_wav "$cue/Bad/x.wav" 1000 && write_wav "$cue/Bad/y.wav" 1000 &&
        write_wav "$cue/Two/a.wav" 2000 && write_wav "$cue/Two/b.wav" 2000 &&
        ffmpeg -nostdin -v error -f lavfi -i sine=d=3 "$cue/Conv/image.flac" || exit 1
    # UTF-8 with a byte-order mark, CR LF, a pregap (INDEX 00), a performer of the track's own.
    printf '\357\273\277REM GENRE Jazz\r\nPERFORMER "Die Band"\r\nTITLE "Das Album"\r\nFILE "image.wav" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE "Eins"\r\n    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n    TITLE "Zwei"\r\n    PERFORMER "Gast"\r\n    INDEX 00 00:01:00\r\n    INDEX 01 00:01:30\r\n  TRACK 03 AUDIO\r\n    TITLE "Drei"\r\n    INDEX 01 00:03:00\r\n' >"$cue/Album/image.cue"
    # FILEs that name nothing of the folder (a path up, an absolute one, a missing one), one
    # whose last part does, a track past its file's end; a second sheet for the same file.
    printf 'FILE "../Album/image.wav" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nFILE "/etc/passwd" WAVE\nTRACK 02 AUDIO\nINDEX 01 00:00:00\nFILE "C:\\Rips\\x.wav" WAVE\nTRACK 03 AUDIO\nTITLE "Drei"\nINDEX 01 00:00:00\nTRACK 04 AUDIO\nTITLE "Vier"\nINDEX 01 00:00:50\nTRACK 06 AUDIO\nINDEX 01 00:02:00\nFILE missing.wav WAVE\nTRACK 05 AUDIO\nINDEX 01 00:00:00\n' >"$cue/Bad/bad.cue"
    printf 'FILE "x.wav" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n' >"$cue/Bad/zz.cue"
    # A sheet that names the WAV its rip was converted from.
    printf 'TITLE Umgewandelt\nFILE "image.wav" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:01:00\n' >"$cue/Conv/image.cue"
    # One sheet over two files, in Windows-1252 and with CR line ends.
    printf 'TITLE "Caf\351 \222"\rFILE "a.wav" WAVE\rTRACK 01 AUDIO\rINDEX 01 00:00:00\rTRACK 02 AUDIO\rINDEX 01 00:01:00\rFILE "b.wav" WAVE\rTRACK 03 AUDIO\rINDEX 01 00:00:00\rTRACK 04 AUDIO\rINDEX 01 00:01:30\r' >"$cue/Two/sheet.cue"
    # A sheet the file holds itself; its FILE line names nothing there.
    ffmpeg -nostdin -v error -f lavfi -i sine=d=3 -metadata title=Ganz \
        -metadata CUESHEET="$(printf 'FILE "gone.wav" WAVE\nTRACK 01 AUDIO\nTITLE E1\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nTITLE E2\nINDEX 01 00:01:50\n')" \
        "$cue/Embedded/e.flac" || exit 1
}

# make_rips: $enc, a folder a row, with sheets in the encodings rips use as write_rip makes them.
# Rows: folder, layout, encoding (python's), performer, album, files, titles. Then a FILE in another
# case and with another extension, a FILE missing, and a sheet that is no UTF-16.
make_rips() {
    while IFS='|' read -r folder layout encoding performer album files titles; do
        write_rip "$enc/$folder" "$layout" "$encoding" "$performer" "$album" "$(echo "$files" | tr ';' '|')" \
            "$(echo "$titles" | tr ';' '|')" || exit 1
    done <<'EOF2'
gbk|eac|gbk|王菲|唱游|王菲 - 唱游.wav|打误;人间;催眠
sjis|eac|cp932|久石譲|久石譲作品集|久石譲 - あの夏へ.wav;久石譲 - 竜の少年.wav;久石譲 - ボイラー虫.wav;久石譲 - ソナチネ.wav|あの夏へ;竜の少年;ボイラー虫;ソナチネ
cp1251|foobar2000|cp1251|Кино|Группа крови|01. Сторона А.wav;raw:02. Сторона Б.wav|Группа крови;Закрой за мной дверь
utf16|eac|utf-16|서태지와 아이들|서태지와 아이들|서태지와 아이들 - 1집.wav|난 알아요;환상 속의 그대;내 모든 것
utf16be|foobar2000|utf-16-be|周杰倫|七里香|周杰倫 - 七里香.wav|我的地盤;七里香
big5|eac|big5|周杰倫|七里香|周杰倫 - 七里香.wav|我的地盤;七里香
euckr|foobar2000|euc_kr|서태지와 아이들|난 알아요|서태지와 아이들 - 난 알아요.wav|난 알아요;환상 속의 그대
eucjp|foobar2000|euc_jp|久石譲|千と千尋の神隠し|久石譲 - 千と千尋の神隠し.wav|あの夏へ;竜の少年;ボイラー虫;あの日の川へ;ふたたび;いつも何度でも
koi8|eac|koi8_r|ДДТ|Осень|ДДТ - Осень.wav|Осень;Это всё
cp1250|eac|cp1250|Karel Gott|Zlatý slavík|Karel Gott - Zlatý slavík.wav|Lady Karneval;Být stále mlád
iso2|foobar2000|iso8859_2|Czesław Niemen|Dziwny jest ten świat|Czesław Niemen - Dziwny jest ten świat.wav|Dziwny jest ten świat;Jednego serca
case|eac|cp1252|Pink Floyd|The Wall|Range.wav|In the Flesh?;The Thin Ice
missing|eac|gbk|王菲|唱游|王菲 - 打误.wav;王菲 - 人间.wav|打误;人间
EOF2
    ffmpeg -nostdin -v error -i "$enc/case/Range.wav" "$enc/case/range.flac" && rm "$enc/case/Range.wav" "$enc/missing/王菲 - 人间.wav" &&
        mkdir "$enc/broken" &&
        write_wav "$enc/broken/x.wav" 3000 &&
        python3 -c 'import sys; open(sys.argv[1], "wb").write(b"\xff\xfe" + "FILE \"x.wav\" WAVE\r\nTITLE \"".encode("utf-16-le") + b"\x00\xdc")' \
            "$enc/broken/rip.cue" || exit 1
}

# make_book (after make_cue): $book, an audiobook of three chapters in M4B, Matroska and MP3, one
# of two in Ogg's stream tags, and a FLAC that holds a sheet.
make_book() {
    mkdir "$book" && printf ';FFMETADATA1\nartist=Autorin\nalbum=Hoerbuch\n' >"$work/chapters" || exit 1
    for chapter in "0 1500 Eins" "1500 3000 Zwei" "3000 4200 Drei"; do
        set -- $chapter && printf '[CHAPTER]\nTIMEBASE=1/1000\nSTART=%s\nEND=%s\ntitle=Kapitel %s\n' "$@" >>"$work/chapters"
    done
    for name in book.m4b book.mka book.mp3; do
        ffmpeg -nostdin -v error -f lavfi -i sine=d=4.2 -i "$work/chapters" -map 0 -map_metadata 1 -map_chapters 1 "$book/$name" ||
            fail "ffmpeg: $name"
    done
    ffmpeg -nostdin -v error -f lavfi -i sine=d=4.2 -metadata:s:a:0 CHAPTER001=00:00:00.000 -metadata:s:a:0 CHAPTER001NAME=Eins \
        -metadata:s:a:0 CHAPTER002=00:00:02.000 -metadata:s:a:0 CHAPTER002NAME=Zwei "$book/book.ogg" &&
        cp "$cue/Embedded/e.flac" "$book/sheet.flac" || exit 1
}
