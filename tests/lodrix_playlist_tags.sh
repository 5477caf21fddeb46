#!/bin/sh
# lodrix-playlist's entries from what the files say: tags in every tag system, cue sheets (their
# entries and messages, in the encodings rips use), chapters; VLC plays each part from its start
# to its stop. Then M3U8 entries as rows, and VLC on M3U8 and XSPF lists beside the music.
# Usage: lodrix_playlist_tags.sh LODRIX_PLAYLIST VLC_LOAD LODRIX
set -u
program=$1 load=$2 lodrix=$3
. "$(dirname "$0")/common.sh"
need xmllint ffmpeg vlc
. "$(dirname "$0")/playlist_setup.sh"

# Tags, one file per tag system, one with hostile bytes, a cover beside a lower-ranked one and a
# CD1/ below it (make_tags): valid XSPF 1, each element read back as the tag.
make_tags
"$program" "$tags" >"$work/tags.xspf" 2>"$work/err" || fail "tags: $(cat "$work/err")"
xmllint --noout --relaxng "$(dirname "$0")/xspf-1.rng" "$work/tags.xspf" 2>"$work/err" || fail "not XSPF 1: $(cat "$work/err")"
python3 -c 'import sys, xml.etree.ElementTree as tree
for track in tree.parse(sys.argv[1]).iter("{http://xspf.org/ns/0/}track"):
    field = lambda name: (track.findtext("{http://xspf.org/ns/0/}" + name) or "").replace(sys.argv[2], "")
    print(repr((field("location"), field("title"), field("creator")[:5] + str(len(field("creator"))), field("image"), field("album"), field("trackNum"))))' \
    "$work/tags.xspf" "file://$tags/" >"$work/got"
cat >"$work/expected" <<'EOF2'
('a.mp3', 'ID3v2', 'Künst8', 'Cover.JPG', 'Album', '3')
('b.flac', 'FLAC', 'Album12', 'Cover.JPG', '', '4')
('c.ogg', 'Vorbis', 'V1', 'Cover.JPG', '', '')
('CD1/a.flac', 'Eins', '0', 'Cover.JPG', '', '')
('d.opus', 'Opus', '0', 'Cover.JPG', '', '')
('e.m4a', 'M4A', 'M1', 'Cover.JPG', '', '7')
('f.mka', 'MKV', 'K1', 'Cover.JPG', 'Kalbum', '')
('g.wma', 'WMA', 'W1', 'Cover.JPG', '', '2')
('h.wav', '', '0', 'Cover.JPG', '', '')
('i.mp3', 'Grüße ’�', 'V12', 'Cover.JPG', 'Alb', '5')
('j.mp3', 'It’s', '0', 'Cover.JPG', '', '')
('k.mp3', 'Группа крови', 'Кино4', 'Cover.JPG', 'Группа крови', '')
('l.mp3', '月亮代表我的心', '邓丽君3', 'Cover.JPG', '邓丽君 15周年', '')
('m.mp3', 'Звезда по имени Солнце', 'Кино4', 'Cover.JPG', 'Звезда по имени Солнце', '')
('z.mp3', 'a�b\rc & <d> ÿe', '000004096', 'Cover.JPG', '', '')
EOF2
diff "$work/expected" "$work/got" || fail "tags read back otherwise"
# With -o a location is relative, but the cover stays an absolute file URI (VLC 3 takes a
# relative image as written and shows none).
"$program" -o "$tags/list.xspf" "$tags" 2>"$work/err" && [ "$(grep -c "<image>file://$tags/Cover.JPG</image>" "$tags/list.xspf")" = 15 ] &&
    grep -q "<location>CD1/a.flac</location>" "$tags/list.xspf" || fail "-o: not every cover an absolute file URI"
rm -f "$tags/list.xspf"

# Cue sheets and chapters: each part of a file is an entry from its start to the next part's,
# with VLC's start and stop times. A sheet's FILE names a file of its own folder by its last
# part (else the same base name with another media extension), never anything else; a file
# a sheet claims is listed only through its tracks. Entries read back as
# location|title|creator|album|trackNum|duration|start|stop.
entries() {
    python3 -c 'import sys, xml.etree.ElementTree as tree
x, vlc = "{http://xspf.org/ns/0/}", "{http://www.videolan.org/vlc/playlist/ns/0/}"
for track in tree.parse(sys.argv[1]).iter(x + "track"):
    field = lambda name: track.findtext(x + name) or ""
    options = dict(option.text.split("=", 1) for option in track.iter(vlc + "option"))
    print("|".join([field("location").replace(sys.argv[2], ""), field("title"), field("creator"), field("album"),
                    field("trackNum"), field("duration"), options.get("start-time", ""), options.get("stop-time", "")]))' "$@"
}
make_cue
"$program" "$cue" >"$work/cue.xspf" 2>"$work/err" || fail "cue sheets: status $? $(cat "$work/err")"
xmllint --noout --relaxng "$(dirname "$0")/xspf-1.rng" "$work/cue.xspf" 2>/dev/null || fail "cue sheets: not XSPF 1"
entries "$work/cue.xspf" "file://$cue/" >"$work/got"
cat >"$work/expected" <<'EOF2'
Album/image.wav|Eins|Die Band|Das Album|1|1400||1.400
Album/image.wav|Zwei|Gast|Das Album|2|1600|1.400|3.000
Album/image.wav|Drei|Die Band|Das Album|3|1200|3.000|
Bad/x.wav|Drei|||3|667||0.667
Bad/x.wav|Vier|||4|333|0.667|
Bad/y.wav|||||1000||
Conv/image.flac|||Umgewandelt|1|1000||1.000
Conv/image.flac|||Umgewandelt|2|2000|1.000|
Embedded/e.flac|E1|||1|1667||1.667
Embedded/e.flac|E2|||2|1333|1.667|
Two/a.wav|||Café ’|1|1000||1.000
Two/a.wav|||Café ’|2|1000|1.000|
Two/b.wav|||Café ’|3|1400||1.400
Two/b.wav|||Café ’|4|600|1.400|
EOF2
diff "$work/expected" "$work/got" || fail "cue sheets: other entries"
cat >"$work/expected" <<EOF2
lodrix-playlist: $cue/Bad/bad.cue: FILE "../Album/image.wav" not in the folder, tracks left out
lodrix-playlist: $cue/Bad/bad.cue: FILE "/etc/passwd" not in the folder, tracks left out
lodrix-playlist: $cue/Bad/bad.cue: FILE "missing.wav" not in the folder, tracks left out
lodrix-playlist: $cue/Bad/zz.cue: x.wav belongs to $cue/Bad/bad.cue already, tracks left out
lodrix-playlist: $cue/Bad/x.wav: track 6 begins after the end of the file, left out
EOF2
diff "$work/expected" "$work/err" || fail "cue sheets: other messages"
# A sheet named as an operand: its tracks only, not the rest of its folder, with its folder's
# cover. Nothing a FILE names is opened beyond what the walk lists.
cp "$tags/Cover.JPG" "$cue/Album/cover.jpg" || exit 1
"$program" "$cue/Album/image.cue" "$cue/Bad/bad.cue" 2>/dev/null >"$work/out"
entries "$work/out" "file://$cue/" | cut -d '|' -f 1,2 | tr '\n' ' ' >"$work/got"
[ "$(cat "$work/got")" = "Album/image.wav|Eins Album/image.wav|Zwei Album/image.wav|Drei Bad/x.wav|Drei Bad/x.wav|Vier " ] &&
    [ "$(grep -c "<image>file://$cue/Album/cover.jpg</image>" "$work/out")" = 3 ] ||
    fail "a sheet as an operand: $(cat "$work/got")$(grep -c '<image>' "$work/out") covers"
if command -v strace >/dev/null; then
    strace -f -e trace=open,openat -o "$work/opened" "$program" "$cue/Bad" >/dev/null 2>&1
    ! grep -e '/etc/passwd' -e 'Album/image.wav' -e 'missing.wav' "$work/opened" || fail "a FILE opened something"
fi
# Sheets in the encodings rips use, as EAC and foobar2000 write them (CR LF, REM lines), titles
# and FILE names in that script: each decoded in the code page uchardet finds, UTF-16 by its
# byte-order mark; a FILE named on disk in the sheet's bytes; a sheet over four files named
# without numbers in its own order; a FILE in another case and with another extension. A sheet
# that is no UTF-16 is one message, its file listed whole; a FILE missing is named decoded.
make_rips
"$program" "$enc" >"$work/enc.xspf" 2>"$work/err" || fail "sheets in other encodings: status $? $(cat "$work/err")"
entries "$work/enc.xspf" "file://$enc/" >"$work/got"
cat >"$work/expected" <<'EOF2'
big5/周杰倫 - 七里香.wav|我的地盤|周杰倫|七里香|1|1000||1.000
big5/周杰倫 - 七里香.wav|七里香|周杰倫|七里香|2|2000|1.000|
broken/x.wav|||||3000||
case/range.flac|In the Flesh?|Pink Floyd|The Wall|1|1000||1.000
case/range.flac|The Thin Ice|Pink Floyd|The Wall|2|2000|1.000|
cp1250/Karel Gott - Zlatý slavík.wav|Lady Karneval|Karel Gott|Zlatý slavík|1|1000||1.000
cp1250/Karel Gott - Zlatý slavík.wav|Být stále mlád|Karel Gott|Zlatý slavík|2|2000|1.000|
cp1251/01. Сторона А.wav|Группа крови|Кино|Группа крови|1|3000||
cp1251/02. %D1%F2%EE%F0%EE%ED%E0 %C1.wav|Закрой за мной дверь|Кино|Группа крови|2|3000||
eucjp/久石譲 - 千と千尋の神隠し.wav|あの夏へ|久石譲|千と千尋の神隠し|1|1000||1.000
eucjp/久石譲 - 千と千尋の神隠し.wav|竜の少年|久石譲|千と千尋の神隠し|2|1000|1.000|2.000
eucjp/久石譲 - 千と千尋の神隠し.wav|ボイラー虫|久石譲|千と千尋の神隠し|3|1000|2.000|3.000
eucjp/久石譲 - 千と千尋の神隠し.wav|あの日の川へ|久石譲|千と千尋の神隠し|4|1000|3.000|4.000
eucjp/久石譲 - 千と千尋の神隠し.wav|ふたたび|久石譲|千と千尋の神隠し|5|1000|4.000|5.000
eucjp/久石譲 - 千と千尋の神隠し.wav|いつも何度でも|久石譲|千と千尋の神隠し|6|1000|5.000|
euckr/서태지와 아이들 - 난 알아요.wav|난 알아요|서태지와 아이들|난 알아요|1|1000||1.000
euckr/서태지와 아이들 - 난 알아요.wav|환상 속의 그대|서태지와 아이들|난 알아요|2|2000|1.000|
gbk/王菲 - 唱游.wav|打误|王菲|唱游|1|1000||1.000
gbk/王菲 - 唱游.wav|人间|王菲|唱游|2|1000|1.000|2.000
gbk/王菲 - 唱游.wav|催眠|王菲|唱游|3|1000|2.000|
iso2/Czesław Niemen - Dziwny jest ten świat.wav|Dziwny jest ten świat|Czesław Niemen|Dziwny jest ten świat|1|1000||1.000
iso2/Czesław Niemen - Dziwny jest ten świat.wav|Jednego serca|Czesław Niemen|Dziwny jest ten świat|2|2000|1.000|
koi8/ДДТ - Осень.wav|Осень|ДДТ|Осень|1|1000||1.000
koi8/ДДТ - Осень.wav|Это всё|ДДТ|Осень|2|2000|1.000|
missing/王菲 - 打误.wav|打误|王菲|唱游|1|3000||
sjis/久石譲 - あの夏へ.wav|あの夏へ|久石譲|久石譲作品集|1|3000||
sjis/久石譲 - 竜の少年.wav|竜の少年|久石譲|久石譲作品集|2|3000||
sjis/久石譲 - ボイラー虫.wav|ボイラー虫|久石譲|久石譲作品集|3|3000||
sjis/久石譲 - ソナチネ.wav|ソナチネ|久石譲|久石譲作品集|4|3000||
utf16/서태지와 아이들 - 1집.wav|난 알아요|서태지와 아이들|서태지와 아이들|1|1000||1.000
utf16/서태지와 아이들 - 1집.wav|환상 속의 그대|서태지와 아이들|서태지와 아이들|2|1000|1.000|2.000
utf16/서태지와 아이들 - 1집.wav|내 모든 것|서태지와 아이들|서태지와 아이들|3|1000|2.000|
utf16be/周杰倫 - 七里香.wav|我的地盤|周杰倫|七里香|1|1000||1.000
utf16be/周杰倫 - 七里香.wav|七里香|周杰倫|七里香|2|2000|1.000|
EOF2
diff "$work/expected" "$work/got" || fail "sheets in other encodings: other entries"
printf 'lodrix-playlist: %s\n' "$enc/broken/rip.cue: cannot be read: not valid UTF-16" \
    "$enc/missing/rip.cue: FILE \"王菲 - 人间.wav\" not in the folder, tracks left out" | cmp -s - "$work/err" ||
    fail "sheets in other encodings: other messages: $(cat "$work/err")"
# With --chapters a file with two or more chapters (an audiobook's M4B, ...) is an entry per chapter (title, place),
# creator and album the file's; a file split by a sheet is not split again; without it, whole.
make_book
"$program" --chapters "$book" 2>"$work/err" | entries /dev/stdin "file://$book/" | cut -d '|' -f 1-5,7,8 >"$work/got"
cat >"$work/expected" <<'EOF2'
book.m4b|Kapitel Eins|Autorin|Hoerbuch|1||1.500
book.m4b|Kapitel Zwei|Autorin|Hoerbuch|2|1.500|3.000
book.m4b|Kapitel Drei|Autorin|Hoerbuch|3|3.000|
book.mka|Kapitel Eins|Autorin|Hoerbuch|1||1.500
book.mka|Kapitel Zwei|Autorin|Hoerbuch|2|1.500|3.000
book.mka|Kapitel Drei|Autorin|Hoerbuch|3|3.000|
book.mp3|Kapitel Eins|Autorin|Hoerbuch|1||1.500
book.mp3|Kapitel Zwei|Autorin|Hoerbuch|2|1.500|3.000
book.mp3|Kapitel Drei|Autorin|Hoerbuch|3|3.000|
book.ogg|Eins|||1||2.000
book.ogg|Zwei|||2|2.000|
sheet.flac|E1|||1||1.667
sheet.flac|E2|||2|1.667|
EOF2
diff "$work/expected" "$work/got" || fail "--chapters: other entries"
[ "$("$program" "$book" | grep -c "<track>")" = 6 ] || fail "chapters without --chapters: not one entry a file, the sheet's two"

# VLC plays each part from its start (whole seconds in its log) to its stop (what it played
# of a list of that one entry; VLC starts a WAV up to 50 ms before a start time).
chmod -R a+rX "$cue" && chmod a+r "$work/cue.xspf" || exit 1
"$load" --play "$work/cue.xspf" >"$work/played" || fail "VLC did not play the cue list"
[ "$(grep -c '^opened' "$work/played")" = 14 ] && [ "$(grep '^start' "$work/played" | tr '\n' ' ')" = "$(printf 'start\t1 start\t3 start\t0 start\t1 start\t1 start\t1 start\t1 ')" ] ||
    fail "VLC did not open every part, or not at its start: $(cat "$work/played")"
for part in 1 2 3; do
    awk -v n=$part '/<track>/ { k++; skip = k != n } !skip { print } /<\/track>/ { skip = 0 }' "$work/cue.xspf" >"$work/part.xspf" &&
        chmod a+r "$work/part.xspf"
    printf '%s ' "$("$load" --played "$work/part.xspf")"
done >"$work/got"
awk '{ split("1400 1600 1200", part); for (i = 1; i <= 3; i++) if ($i < part[i] || $i > part[i] + 60) exit 1 }' "$work/got" ||
    fail "VLC did not play each part from its start to its end: played $(cat "$work/got")ms of 1400 1600 1200"

# M3U8 entries as rows: the arguments, then the list's lines ("~" between them, the scratch
# folder as W), the status and the messages. Tags and none, a cue part's start and stop, an
# unknown length; a name with a line feed is left out with one message, the rest written.
mkdir "$root" && write_wav "$root/$(printf 'new\nline').wav" 100 && write_wav "$root/track 2.wav" 100 &&
    echo garbage >"$work/garbage.mp3" || exit 1
while IFS='|' read -r arguments expected; do
    eval "set -- $arguments"
    "$program" --format=m3u8 "$@" >"$work/out" 2>"$work/err"
    got="$(tr '\n' '~' <"$work/out") status $? $(cat "$work/err")"
    got=$(printf '%s' "$got" | sed "s|$work|W|g")
    [ "$got" = "$expected" ] || fail "M3U8 $arguments: $got; expected $expected"
done <<'EOF2'
"$tags/a.mp3" "$tags/h.wav"|#EXTM3U~#EXTINF:0,Künstler - ID3v2~W/tags/a.mp3~#EXTINF:0,h.wav~W/tags/h.wav~ status 0 
"$cue/Album/image.cue"|#EXTM3U~#EXTINF:1,Die Band - Eins~#EXTVLCOPT:stop-time=1.400~#EXTALBUMARTURL:file://W/cue/Album/cover.jpg~W/cue/Album/image.wav~#EXTINF:2,Gast - Zwei~#EXTVLCOPT:start-time=1.400~#EXTVLCOPT:stop-time=3.000~#EXTALBUMARTURL:file://W/cue/Album/cover.jpg~W/cue/Album/image.wav~#EXTINF:1,Die Band - Drei~#EXTVLCOPT:start-time=3.000~#EXTALBUMARTURL:file://W/cue/Album/cover.jpg~W/cue/Album/image.wav~ status 0 
"$work/garbage.mp3"|#EXTM3U~#EXTINF:-1,garbage.mp3~W/garbage.mp3~ status 0 
"$root"/new?line.wav "$root/track 2.wav"|#EXTM3U~#EXTINF:0,track 2.wav~W/Musik & <Hörbücher> #1 100%/track 2.wav~ status 1 lodrix-playlist: W/Musik & <Hörbücher> #1 100%/new?line.wav: name M3U cannot carry (a line end, or not UTF-8), left out
EOF2
# VLC plays an M3U8 list kept beside the music (../ locations), each cue part from its start,
# and takes the artist, title and cover from the list (the WAV has no tags of its own).
mkdir "$work/Playlists" && cp "$tags/Cover.JPG" "$cue/Album/cover.jpg" &&
    "$program" --paths=relative -o "$work/Playlists/cue.m3u8" "$cue/Album" &&
    "$program" --paths=relative -o "$work/Playlists/cue.xspf" "$cue/Album" &&
    "$program" -o "$work/Playlists/album.m3u8" "$cue/Album" && chmod -R a+rX "$work/Playlists" "$cue" ||
    fail "M3U8 lists for VLC"
grep -q '^\.\./cue/Album/image.wav$' "$work/Playlists/cue.m3u8" || fail "M3U8: no ../ location"
for list in cue.m3u8 cue.xspf; do
    "$load" --play "$work/Playlists/$list" >"$work/played" || fail "VLC did not play $list"
    [ "$(grep -c "^opened	file://$cue/Album/image.wav\$" "$work/played")" = 3 ] &&
        [ "$(grep '^start' "$work/played" | tr '\n' ' ')" = "$(printf 'start\t1 start\t3 ')" ] ||
        fail "VLC did not open every part of $list, or not at its start: $(cat "$work/played")"
done
"$load" --metas "$work/Playlists/album.m3u8" | cut -f 3,4,6 >"$work/got"
for part in 'Eins	Die Band' 'Zwei	Gast' 'Drei	Die Band'; do printf '%s\tfile://%s/cover.jpg\n' "$part" "$cue/Album"; done |
    diff - "$work/got" || fail "VLC did not take title, artist and cover from the M3U8 list"

[ "$failures" = 0 ] && echo "lodrix-playlist: tags, cue sheets in their encodings and chapters read back, VLC played every part, M3U8 entries as they should be"
exit "$failures"
