#!/bin/sh
# lodrix-playlist on a tree of real files with hostile names, in a folder named with "#" and
# "%": the playlist parses, VLC lists every file in natural order with its location and
# duration, and opens every one. Then durations against ffprobe, and the failure paths.
# Usage: lodrix_playlist.sh LODRIX_PLAYLIST VLC_LOAD LODRIX
set -u
program=$1 load=$2 lodrix=$3
. "$(dirname "$0")/common.sh"
need xmllint ffmpeg ffprobe vlc runuser

work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
# Every run keeps its readings in the scratch folder, never in the user's.
export XDG_CACHE_HOME="$work/cache"
root="$work/Musik & <Hörbücher> #1 100%" moved="$work/moved #2 x"
# The tree, in the order the playlist must list it, as printf %b reads it ("\0374" the
# Latin-1 byte 0xFC); then what it must leave out.
listed='"double" '"'single'"'.wav
-dash.wav
100% a%41.wav
Album 2/b.wav
Album 10/a.WAV
ctl\01 cr\r.wav
hash#1 what?.wav
Latin\0374.wav
new\nline.wav
Tom & Jerry <1>.wav
Tom &amp; Jerry.wav
track 2.wav
Track 10.wav'
count=13
failures=0
fail() { echo "$*"; failures=$((failures + 1)); }

mkdir -p "$root/Album 2" "$root/Album 10" "$root/.hidden" || exit 1
printf '%s\n' "$listed" | while IFS= read -r name; do
    path=$(printf '%b.' "$root/$name") && path=${path%.}
    # 1500.625 ms: the playlist must round it to 1501.
    case $name in 100*) write_wav "$path" 1500 5 ;; *) write_wav "$path" 100 ;; esac
    printf 'file://%s\t%s\n' "$path" "$(case $name in 100*) echo 1501 ;; *) echo 100 ;; esac)" >>"$work/expected"
    printf 'opened\tfile://%s\n' "$path" >>"$work/expected-play"
    printf 'opened\tfile://%s\n' "$moved/${path#"$root/"}" >>"$work/expected-moved"
done
write_wav "$root/.hidden/z.wav" 100
: >"$root/notes.txt"
ln -s . "$root/loop"
# Made early: the reading of a file changed within 3 s before a run is not kept. Ten thousand
# links to one file, and files to rewrite with new tags of the same size.
tenfold() { mkdir "$2" && for i in 0 1 2 3 4 5 6 7 8 9; do cp -al "$1" "$2/$i" || exit 1; done; }
mkdir -p "$work/1" "$work/small" "$work/kept" "$work/cached" "$work/retagged" && write_wav "$work/1/a.wav" 10 || exit 1
tenfold "$work/1" "$work/10" && tenfold "$work/10" "$work/100" && tenfold "$work/100" "$work/1000" &&
    tenfold "$work/1000" "$work/10000"
for tag in a b c; do
    ffmpeg -nostdin -v error -f lavfi -i sine=d=0.5 -metadata title="$tag 1" "$work/cached/$tag.mp3" &&
        ffmpeg -nostdin -v error -f lavfi -i sine=d=0.5 -metadata title="$tag 2" "$work/retagged/$tag.mp3" || exit 1
done
chmod -R a+rX "$work"

"$program" "$root" >"$work/list.xspf" 2>"$work/err" || fail "lodrix-playlist failed: $(cat "$work/err")"
xmllint --noout "$work/list.xspf" || fail "the playlist is not XML"
[ "$(xmllint --xpath "count(//*[local-name()='track'])" "$work/list.xspf")" = $count ] || fail "not $count tracks"
"$load" "$work/list.xspf" >"$work/loaded" || fail "VLC did not load the playlist"
diff "$work/expected" "$work/loaded" || fail "VLC listed other tracks, or in another order"
"$load" --play "$work/list.xspf" >"$work/played" || fail "VLC did not play the playlist"
diff "$work/expected-play" "$work/played" || fail "VLC did not open every track"

# -o into the listed folder: locations relative to it, so the list still opens once the
# folder is moved and renamed; a file outside it stays absolute.
mkdir "$root/sub [1]" && write_wav "$root/sub [1]/a.wav" 100 && write_wav "$root/Track 1: Intro.wav" 100 &&
    write_wav "$work/outside.wav" 100 || exit 1
for file in "sub [1]/a.wav" "Track 1: Intro.wav"; do printf 'opened\tfile://%s\n' "$moved/$file"; done >>"$work/expected-moved"
printf 'opened\tfile://%s\n' "$work/outside.wav" >>"$work/expected-moved"
"$program" -o "$root/all.xspf" "$root" "$work/outside.wav" 2>"$work/err" || fail "-o: $(cat "$work/err")"
grep -q "<location>./Track 1: Intro.wav</location>" "$root/all.xspf" && grep -q "<location>file://$work/outside.wav<" "$root/all.xspf" ||
    fail "-o: not ./ before a first part with a colon, or the outside file not absolute"
mv "$root" "$moved" && chmod -R a+rX "$work" || exit 1
"$load" --play "$moved/all.xspf" | LC_ALL=C sort >"$work/played" || fail "VLC did not play the moved playlist"
LC_ALL=C sort "$work/expected-moved" | diff - "$work/played" || fail "VLC did not open every track of the moved playlist"
mv "$moved" "$root"

# Durations as ffprobe reads them; a garbage .mp3 gets 0; a FIFO is left out with a message,
# without opening it.
ffmpeg -v error -f lavfi -i sine=d=1.2345 "$work/sine.mp3" && echo garbage >"$work/garbage.mp3" &&
    mkfifo "$work/fifo" || exit 1
probed=$(ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 "$work/sine.mp3" |
    awk '{ printf "%d", $1 * 1000 + 0.5 }')
timeout 20 "$program" "$work/sine.mp3" "$work/fifo" "$work/garbage.mp3" >"$work/out" 2>"$work/err" ||
    fail "files and a FIFO as operands: status $?"
durations=$(xmllint --xpath "//*[local-name()='duration']/text()" "$work/out" | tr '\n' ' ')
[ "$durations" = "$probed 0 " ] || fail "durations '$durations', expected '$probed 0 ' (ffprobe, garbage)"
grep -q "fifo: not a regular file" "$work/err" || fail "no message for the FIFO: $(cat "$work/err")"

# The bytes are those of lodrix -p in the file's folder, each "&" of the name given as "&amp;".
mkdir -p "$work/partly/locked" && write_wav "$work/partly/a & b.wav" 100 || exit 1
(cd "$work/partly" && PWD=$work/partly "$lodrix" "a &amp; b.wav" 1 100 -v -n 1 -p) >"$work/expected-bytes"
"$program" --title=Wiedergabeliste "$work/partly" | cmp -s - "$work/expected-bytes" || fail "other bytes than lodrix -p writes"

# An unreadable folder is reported and the rest goes on (as nobody: root reads everything).
chmod 000 "$work/partly/locked" && chmod a+rx "$work/partly" "$work/partly/a & b.wav"
as_user=
mkdir -m 1777 "$work/nobody" || exit 1
[ "$(id -u)" -eq 0 ] && as_user="runuser -u nobody -- env XDG_CACHE_HOME=$work/nobody"
$as_user "$program" "$work/partly" >"$work/out" 2>"$work/err" || fail "a locked subfolder stopped the run"
grep -q 'a &amp; b.wav' "$work/out" && grep -q 'locked: folder cannot be read' "$work/err" ||
    fail "a locked subfolder: $(cat "$work/err")"

# No media file: a message, status 1, nothing on standard output. Operands that are missing
# or cannot be read are reported as they are, the others still listed, and the status is 1.
mkdir "$work/empty" && ln -s loop "$work/loop" || exit 1
"$program" "$work/empty" >"$work/out" 2>"$work/err"
[ $? = 1 ] && [ ! -s "$work/out" ] && [ "$(wc -l <"$work/err")" = 1 ] || fail "no media: not status 1 with one message"
"$program" "$work/missing" "$work/loop" "$work/partly" >"$work/out" 2>"$work/err"
[ $? = 1 ] && grep -q 'a &amp; b.wav' "$work/out" && grep -q 'missing: no such file or folder' "$work/err" &&
    grep -q 'loop: cannot be read: Too many levels of symbolic links' "$work/err" || fail "missing operands: $(cat "$work/err")"

# Files that would make libavformat open other files: a concat list naming a FIFO and one
# naming itself (a hang and a crash before), DASH and HLS lists naming a FIFO outside the
# tree. Each is read as what it is, and nothing else is opened: opening a FIFO would hang.
hostile="$work/hostile"
mkdir -p "$hostile/in" && mkfifo "$hostile/in/pipe" "$hostile/outside.mp4" || exit 1
printf 'ffconcat version 1.0\nfile pipe\n' >"$hostile/in/concat.mp3"
printf 'ffconcat version 1.0\nfile self.mp3\n' >"$hostile/in/self.mp3"
printf '<?xml version="1.0"?><MPD xmlns="urn:mpeg:dash:schema:mpd:2011" type="static" mediaPresentationDuration="PT9S" minBufferTime="PT1S" profiles="urn:mpeg:dash:profile:isoff-on-demand:2011"><Period><AdaptationSet mimeType="audio/mp4"><Representation id="1" bandwidth="1" codecs="mp4a.40.2"><BaseURL>file://%s/outside.mp4</BaseURL></Representation></AdaptationSet></Period></MPD>\n' "$hostile" >"$hostile/in/dash.mp3"
printf '#EXTM3U\n#EXT-X-TARGETDURATION:9\n#EXTINF:9,\nfile://%s/outside.mp4\n#EXT-X-ENDLIST\n' "$hostile" >"$hostile/in/hls.mp3"
timeout 20 "$program" "$hostile/in" >"$work/out" 2>"$work/err" || fail "hostile lists: status $? $(cat "$work/err")"
[ "$(grep -c '<duration>0</duration>' "$work/out")" = 4 ] || fail "hostile lists: not four tracks of duration 0"

# ".." in a relative operand is taken as the system takes it, from where a linked folder
# leads; without a working directory a relative operand, or a relative path in a query, cannot
# be located: status 3.
mkdir -p "$work/real/sub" "$work/gone" && ln -s real/sub "$work/link" && write_wav "$work/real/x.wav" 100 || exit 1
(cd "$work/link" && PWD=$work/link "$program" ../x.wav) | grep -q "<location>file://$work/real/x.wav</location>" ||
    fail "../x.wav in a linked folder: not the file the system opens"
(cd "$work/gone" && rmdir "$work/gone" && "$program" x.wav >"$work/out" 2>"$work/err"; [ $? = 3 ] && [ ! -s "$work/out" ] &&
    "$program" --match=path:x "$work/real" >"$work/out" 2>"$work/err"; [ $? = 3 ] && [ ! -s "$work/out" ]) ||
    fail "a removed working directory: $(cat "$work/err")"
(cd "$work" && for _ in $(seq 25); do mkdir "$(printf '%0200d' 0)" && cd -P 00*; done && write_wav x.wav 100 &&
    "$program" x.wav >"$work/out" 2>"$work/err"; [ $? = 3 ] && [ ! -s "$work/out" ]) ||
    fail "a working directory longer than the C library takes: $(cat "$work/err")"

# Durations as ffprobe reports them, on the formats of the extension list and their edge
# cases: MP3 with and without a Xing header and with cover art, 24-bit and RF64 WAV, Opus,
# faststart M4A, ADTS, MPEG-TS, an M4A and a WAV named .mp3, an unreadable file (0 and a word);
# AMR, TAK, DSF and DSDIFF, which Debian's ffmpeg cannot write, made byte by byte.
edge="$work/edge"
mkdir "$edge" && ffmpeg -v error -f lavfi -i testsrc=s=64x64:d=1 -frames:v 1 "$work/cover.png" || exit 1
while read -r name options; do
    # shellcheck disable=SC2086
    ffmpeg -nostdin -v error -f lavfi -i sine=d=1.2345 -f lavfi -i testsrc=s=96x64:d=1.2345 $options "$edge/$name" ||
        fail "ffmpeg could not make $name"
done <<'EOF2'
vbr.mp3 -map 0 -q:a 4
no-xing.mp3 -map 0 -q:a 4 -write_xing 0
cbr-no-xing.mp3 -map 0 -b:a 96k -write_xing 0
s24.wav -map 0 -c:a pcm_s24le
rf64.wav -map 0 -rf64 always
a.flac -map 0
a.ogg -map 0
a.opus -map 0
fast.m4a -map 0 -movflags +faststart
a.mka -map 0
a.aac -map 0
a.aiff -map 0
a.wv -map 0
a.wma -map 0
a.mp2 -map 0
a.ts -map 0 -map 1
a.m2ts -map 0 -map 1 -mpegts_m2ts_mode 1
a.mpg -map 0 -map 1 -c:a mp2
a.vob -map 0 -map 1 -c:a mp2
a.avi -map 0 -map 1
a.flv -map 0 -map 1 -ar 44100
a.mkv -map 0 -map 1
a.mp4 -map 0 -map 1
a.webm -map 0 -map 1
a.wmv -map 0 -map 1
a.m4b -map 0
a.m4r -map 0 -f ipod
a.3g2 -map 0 -map 1 -c:a aac -c:v mpeg4
a.aifc -map 0 -c:a pcm_alaw
a.ac3 -map 0
a.eac3 -map 0
a.dts -map 0 -strict -2
a.au -map 0
a.caf -map 0
a.w64 -map 0
a.tta -map 0
a.spx -map 0 -ar 16000
a.mts -map 0 -map 1 -mpegts_m2ts_mode 1
a.m2t -map 0 -map 1
a.asf -map 0 -map 1
a.rm -map 0
a.ra -map 0
a.rmvb -map 0 -map 1 -f rm
a.mpa -map 0
a.weba -map 0 -f webm
EOF2
python3 -c 'import struct, sys
def crc24(data, crc=0xB704CE):
    for byte in data:
        crc ^= byte << 16
        for _ in range(8):
            crc = (crc << 1) ^ (0x864CFB if crc & 0x800000 else 0)
    return (crc & 0xFFFFFF).to_bytes(3, "little")
def write(name, data): open(sys.argv[1] + "/" + name, "wb").write(data)
write("a.amr", b"#!AMR\n" + (b"\x3c" + bytes(31)) * 62)
# STREAMINFO, bits from the lowest: codec 2, profile, frame size, samples, type, rate - 6000, bits - 8, channels - 1.
info = (2 | 2 << 10 | 54441 << 14 | (44100 - 6000) << 52 | (16 - 8) << 70).to_bytes(10, "little")
write("a.tak", b"tBaK\x01\x0d\x00\x00" + info + crc24(info) + bytes(4))
samples = 3484253
data = b"\x69" * (-(-samples // 8 // 4096) * 4096)
write("a.dsf", b"DSD " + struct.pack("<QQQ", 28, 92 + len(data), 0) + b"fmt " +
      struct.pack("<QIIIIIIQII", 52, 1, 0, 1, 1, 2822400, 1, samples, 4096, 0) + b"data" + struct.pack("<Q", 12 + len(data)) + data)
data = data[:samples // 8]
prop = (b"SND FS  " + struct.pack(">QI", 4, 2822400) + b"CHNL" + struct.pack(">QH", 6, 1) + b"C   CMPR" +
        struct.pack(">Q", 19) + b"DSD \x0enot compressed\0")
form = (b"DSD FVER" + struct.pack(">QI", 4, 0x01050000) + b"PROP" + struct.pack(">Q", len(prop)) + prop + b"DSD " +
        struct.pack(">Q", len(data)) + data)
write("a.dff", b"FRM8" + struct.pack(">Q", len(form)) + form)' "$edge" || fail "could not write AMR, TAK, DSF, DSDIFF"
ffmpeg -v error -f lavfi -i sine=d=1.5 -i "$work/cover.png" -map 0 -map 1 -c:v copy -disposition:v attached_pic "$edge/cover.mp3" &&
    # Frames of many sizes and no header: the length depends on which frames the probe reads.
    ffmpeg -v error -f lavfi -i anoisesrc=d=5.5:seed=1 -q:a 2 -write_xing 0 "$edge/noise-no-xing.mp3" &&
    cp "$edge/fast.m4a" "$edge/m4a named.mp3" && cp "$edge/s24.wav" "$edge/wav named.mp3" &&
    cp "$edge/a.flac" "$edge/unreadable.flac" && chmod 000 "$edge/unreadable.flac" && chmod a+rX "$work" || exit 1
$as_user "$program" "$edge" >"$work/out" 2>"$work/err"
xmllint --xpath "//*[local-name()='location' or local-name()='duration']/text()" "$work/out" |
    while read -r location && read -r duration; do
        file=${location#file://}
        probed=$(ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 "$file" 2>/dev/null |
            awk '{ printf "%d", $1 * 1000 + 0.5 }')
        case $file in *unreadable*) probed=0 ;; esac
        printf '%s\t%s\t%s\n' "${file##*/}" "$duration" "${probed:-0}"
    done >"$work/durations"
[ "$(wc -l <"$work/durations")" = 54 ] && awk -F '\t' '$2 != $3 { exit 1 }' "$work/durations" ||
    fail "durations (name, ours, ffprobe's):$(printf '\n'; cat "$work/durations")"
grep -q 'unreadable.flac: cannot be read, duration 0: Permission denied' "$work/err" || fail "no word on the unreadable file"

# Tags, one file per tag system (ID3v2, ID3v1 with a Latin-1 byte, FLAC, Ogg Vorbis and Opus
# on the stream, M4A, Matroska, ASF, a WAV without), one with hostile bytes, a cover beside a
# lower-ranked one and a CD1/ below it: valid XSPF 1, each element read back as the tag.
tags=$work/tags
mkdir -p "$tags/CD1" || exit 1
tagged() { name=$1 && shift && ffmpeg -nostdin -v error -f lavfi -i sine=d=0.2 "$@" "$tags/$name" || fail "ffmpeg: $name"; }
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
cue=$work/cue
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
# that is no UTF-16 is one message, its file listed whole; a FILE missing is named decoded. Rows:
# folder, layout, encoding (python's), performer, album, files, titles.
enc=$work/encodings
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
book=$work/book
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

# With -o, a full disk and a SIGTERM in the middle leave the old playlist as it was and no
# temporary file. A thousand files make a list larger than the small file system, ten
# thousand a run long enough to be stopped.
if [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
    unshare -m sh -c 'mount -t tmpfs -o size=64k tmpfs "$1" && echo old >"$1/all.xspf" || exit 99
        "$2" -o "$1/all.xspf" "$3" 2>"$4"
        [ $? = 2 ] && [ "$(cat "$1/all.xspf")" = old ] && [ "$(ls -A "$1")" = all.xspf ]' \
        sh "$work/small" "$program" "$work/1000" "$work/err" || fail "-o on a full disk: $(cat "$work/err")"
    grep -qx 'lodrix-playlist: error writing the output: No space left on device' "$work/err" ||
        fail "-o on a full disk: $(cat "$work/err")"
else
    echo "SKIP (full disk with -o): a small file system can be mounted only by root with unshare"
fi
# The readers: one killed (as by a crash) and one stopped while the run works leave the list
# whole, every file but the ones they were reading read again (under AddressSanitizer a crash
# is an exit, not a signal); with -o, SIGTERM and SIGKILL at any moment leave the old playlist
# as it was and no other file. The readings of the files they were reading are not kept.
readers() { awk -v parent="$1" '$4 == parent { print $1 }' /proc/[0-9]*/stat 2>/dev/null; }
kept() { python3 -c 'import sqlite3, sys
for folder, name in sqlite3.connect(sys.argv[1]).execute("SELECT path, name FROM readings JOIN folders ON folder = folders.id"):
    print((folder + b"/" + name).decode())' "$1" | LC_ALL=C sort; }
"$program" --cache="$work/readers.sqlite" "$work/10000" >"$work/out" 2>"$work/err" &
pid=$!
for _ in $(seq 500); do [ "$(readers $pid | wc -l)" -ge 2 ] && break; sleep 0.01; done
set -- $(readers $pid) none none
kill -SEGV "$1"; kill -STOP "$2"
wait $pid
[ $? = 0 ] && [ "$(grep -c '<duration>10<' "$work/out")" -ge 9998 ] && [ "$(grep -c '<track>' "$work/out")" = 10000 ] &&
    ! grep -v -e ': cannot be read, duration 0: not read to its end after 10 s' -e ': cannot be read, duration 0: reader process ended by signal SIGSEGV' \
        -e ': cannot be read, duration 0: reader process ended early' "$work/err" ||
    fail "a killed and a stopped reader: not the whole list with status 0: $(cat "$work/err")"
xmllint --xpath "//*[local-name()='location' or local-name()='duration']/text()" "$work/out" | paste - - |
    awk -F '\t' '$2 == 10 { print substr($1, 8) }' | LC_ALL=C sort >"$work/measured"
kept "$work/readers.sqlite" | diff "$work/measured" - >/dev/null || fail "not kept as read: $(kept "$work/readers.sqlite" | wc -l) files"
for signal in TERM KILL; do
    echo old >"$work/kept/all.xspf"
    "$program" --no-cache -o "$work/kept/all.xspf" "$work/10000" 2>/dev/null &
    pid=$!
    # A stopped reader holds the run (for 10 s) until the signal comes, however fast it reads.
    for _ in $(seq 500); do [ -n "$(readers $pid)" ] && break; sleep 0.01; done
    reader=$(readers $pid | head -n 1)
    kill -STOP $reader 2>/dev/null
    kill -$signal $pid
    wait $pid
    status=$?
    # A reader stopped before it took the run's end for its own ends once it runs again.
    kill -CONT $reader 2>/dev/null
    for _ in $(seq 100); do kill -0 $reader 2>/dev/null || break; sleep 0.05; done
    [ $status -gt 128 ] && [ "$(cat "$work/kept/all.xspf")" = old ] && [ "$(ls -A "$work/kept")" = all.xspf ] &&
        ! kill -0 $reader 2>/dev/null ||
        fail "-o ended by SIG$signal: status $status, the old playlist, no stray file or reader: $(ls -A "$work/kept")"
done

# An MP4 of a few hundred bytes whose sample table asks for gigabytes of index beside good
# files: the run stays small and quick, the good files' durations right.
python3 "$(dirname "$0")/greedy_mp4.py" "$work/greedy/a.m4a" 89000000 || exit 1
cp "$work/sine.mp3" "$work/greedy/b.mp3" && cp "$work/1/a.wav" "$work/greedy/c.wav" || exit 1
python3 -c 'import resource, subprocess, sys, time
start = time.time(); out = subprocess.run(sys.argv[1:], capture_output=True).stdout.decode()
seconds, kib = time.time() - start, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
durations = [line.strip()[10:-11] for line in out.splitlines() if "<duration>" in line]
print(f"{seconds:.1f} s, {kib} KiB, durations {durations}")
sys.exit(0 if seconds < 5 and kib < 400 * 1024 and durations[1:] == [sys.argv[3], "10"] else 1)' \
    "$program" "$work/greedy" "$probed" >"$work/greedy.txt" || fail "a greedy MP4: $(cat "$work/greedy.txt")"

# The readings' cache. A second run writes the first one's bytes, from the cache: a kept reading
# changed in the database with its checksum shows; changed without it, the file is read again,
# with one message. A file rewritten with new tags of the same size, and one replaced by another
# of the same size and time, are read again; an unreadable one is not kept.
titles() { xmllint --xpath "//*[local-name()='title' or local-name()='duration']/text()" "$1" | tr '\n' ' '; }
# set_duration DATABASE FOLDER NAME [checksum]: the kept reading's duration 4242 ms, the number
# after the outcome and the error, seven bits a byte (0x92 0x21); with "checksum", its checksum
# (CRC-32 over the folder, the name, the key's seven numbers and the reading) made anew.
set_duration() { python3 -c 'import sqlite3, struct, sys, zlib
database = sqlite3.connect(sys.argv[1])
where = " WHERE name = ? AND folder = (SELECT id FROM folders WHERE path = ?)"
key = (sys.argv[3].encode(), sys.argv[2].encode())
row = database.execute("SELECT device, inode, size, modified_ns, changed_ns, version, fingerprint, reading FROM readings" + where, key).fetchone()
end = 2
while row[7][end] & 0x80:
    end += 1
reading = row[7][:2] + bytes([0x92, 0x21]) + row[7][end + 1:]
checksum = zlib.crc32(key[1] + b"\0" + key[0] + b"\0" + struct.pack("<7q", *row[:7]) + reading)
database.execute("UPDATE readings SET reading = ?, checksum = " + ("?" if len(sys.argv) > 4 else "checksum + 0 * ?") + where,
                 (reading, checksum) + key)
database.commit()' "$@"; }
"$program" "$tags" "$work/cached" >"$work/first.xspf" 2>"$work/err" && "$program" "$tags" "$work/cached" >"$work/out" &&
    cmp -s "$work/first.xspf" "$work/out" || fail "a second run: other bytes $(cat "$work/err")"
set_duration "$work/cache/lodrix/readings.sqlite" "$work/cached" b.mp3 &&
    set_duration "$work/cache/lodrix/readings.sqlite" "$work/cached" c.mp3 checksum || exit 1
"$program" "$work/cached" >"$work/first.xspf" 2>"$work/err"
[ "$(cat "$work/err")" = "lodrix-playlist: $work/cache/lodrix/readings.sqlite: damaged entries in the cache, read again" ] ||
    fail "a reading changed without its checksum: $(cat "$work/err")"
[ "$(wc -c <"$work/cached/a.mp3")" = "$(wc -c <"$work/retagged/a.mp3")" ] &&
    [ "$(wc -c <"$work/cached/b.mp3")" = "$(wc -c <"$work/retagged/b.mp3")" ] || exit 1
cat "$work/retagged/a.mp3" >"$work/cached/a.mp3" && cp "$work/retagged/b.mp3" "$work/cached/.b.mp3" &&
    touch -r "$work/cached/b.mp3" "$work/cached/.b.mp3" && mv "$work/cached/.b.mp3" "$work/cached/b.mp3" || exit 1
"$program" "$work/cached" >"$work/out"
titles "$work/first.xspf" | sed 's/ a 1 / a 2 /; s/ b 1 / b 2 /' | diff - "$(titles "$work/out" >"$work/got"; echo "$work/got")" &&
    grep -q ' c 1 4242 ' "$work/got" || fail "the cache: not the kept reading (c 1 4242), or an old one"
$as_user "$program" --cache="$work/nobody/edge.sqlite" "$edge" >/dev/null 2>&1
# Every file of the durations' table but the unreadable one.
readable=$(($(wc -l <"$work/durations") - 1))
[ "$(kept "$work/nobody/edge.sqlite" | wc -l)" = "$readable" ] && ! kept "$work/nobody/edge.sqlite" | grep -q unreadable ||
    fail "the cache: not the $readable readable files of $edge kept"
# The cache never fails a run nor changes its list: a damaged database is moved aside, one that
# cannot be written is one message; two runs at once both work; --no-cache makes none.
"$program" --no-cache "$work/cached" >"$work/expected.xspf" && "$program" --no-cache "$work/1000" >"$work/expected-1000.xspf" ||
    exit 1
echo 'no database' >"$work/other.sqlite" && mkdir -m 555 "$work/readonly" || exit 1
"$program" --cache="$work/other.sqlite" "$work/cached" >"$work/out" 2>"$work/err" && cmp -s "$work/expected.xspf" "$work/out" &&
    [ "$(cat "$work/err")" = "lodrix-playlist: $work/other.sqlite: not a lodrix cache, going on without it" ] &&
    [ "$(cat "$work/other.sqlite")" = "no database" ] && [ "$(ls "$work"/other.sqlite*)" = "$work/other.sqlite" ] ||
    fail "another program's file as the cache: $(cat "$work/err")"
$as_user env XDG_CACHE_HOME="$work/readonly" "$program" "$work/cached" >"$work/out" 2>"$work/err" &&
    cmp -s "$work/expected.xspf" "$work/out" &&
    [ "$(cat "$work/err")" = "lodrix-playlist: $work/readonly/lodrix/readings.sqlite: cache not usable, going on without it: Permission denied" ] ||
    fail "a read-only cache folder: $(cat "$work/err")"
if [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
    unshare -m sh -c 'mount -t tmpfs -o size=1m tmpfs "$1" && "$2" --cache="$1/readings.sqlite" "$3" >/dev/null || exit 99
        head -c 2m /dev/zero >"$1/filler" 2>/dev/null
        "$2" --cache="$1/readings.sqlite" "$4" >"$5.xspf" 2>"$5"' sh "$work/small" "$program" "$work/cached" "$work/1000" "$work/err" &&
        cmp -s "$work/expected-1000.xspf" "$work/err.xspf" &&
        [ "$(cat "$work/err")" = "lodrix-playlist: $work/small/readings.sqlite: cache not usable, going on without it: No space left on device" ] ||
        fail "a cache on a full disk: $(cat "$work/err")"
else
    echo "SKIP (a cache on a full disk): a small file system can be mounted only by root with unshare"
fi
"$program" --cache="$work/shared.sqlite" "$work/1000" >"$work/one.xspf" 2>"$work/one.err" &
pid=$!
"$program" --cache="$work/shared.sqlite" "$work/1000" >"$work/two.xspf" 2>"$work/two.err" && wait $pid &&
    cmp -s "$work/expected-1000.xspf" "$work/one.xspf" && cmp -s "$work/expected-1000.xspf" "$work/two.xspf" &&
    [ ! -s "$work/one.err" ] && [ ! -s "$work/two.err" ] && [ "$(kept "$work/shared.sqlite" | wc -l)" = 1000 ] ||
    fail "two runs at once: $(cat "$work/one.err" "$work/two.err")"
# The other run holds a new database's write lock as this one switches it to its log.
python3 -c 'import sqlite3, sys, time
held = sqlite3.connect(sys.argv[1], isolation_level=None); held.execute("BEGIN IMMEDIATE")
print(flush=True); time.sleep(0.5); held.execute("COMMIT")' "$work/held.sqlite" |
    { read -r _ && "$program" --cache="$work/held.sqlite" "$work/1000" >"$work/out" 2>"$work/err"; } &&
    cmp -s "$work/expected-1000.xspf" "$work/out" && [ ! -s "$work/err" ] && [ "$(kept "$work/held.sqlite" | wc -l)" = 1000 ] ||
    fail "a new database's lock held: $(cat "$work/err")"
XDG_CACHE_HOME=$work/none "$program" --no-cache "$work/cached" >/dev/null && [ ! -e "$work/none" ] || fail "--no-cache made a cache"
# Where the change time is the modification time (exFAT, FAT; the suite's hook makes any file
# system look like one), a file retagged in place, its size and time kept, is read again.
mkdir "$work/stick" && cp -p "$work/cached/c.mp3" "$work/stick/a.mp3" && touch -r "$work/stick/a.mp3" "$work/stamp" &&
    [ "$(wc -c <"$work/stick/a.mp3")" = "$(wc -c <"$work/retagged/b.mp3")" ] || exit 1
LODRIX_TEST_NO_CHANGE_TIME=1 "$program" --cache="$work/stick.sqlite" "$work/stick" >/dev/null &&
    cat "$work/retagged/b.mp3" >"$work/stick/a.mp3" && touch -r "$work/stamp" "$work/stick/a.mp3" || exit 1
LODRIX_TEST_NO_CHANGE_TIME=1 "$program" --cache="$work/stick.sqlite" "$work/stick" >"$work/out" 2>"$work/err"
"$program" --no-cache "$work/stick" >"$work/stick.xspf"
[ "$(titles "$work/out")" = "$(titles "$work/stick.xspf")" ] && grep -q '<title>b 2<' "$work/out" && [ ! -s "$work/err" ] &&
    [ "$(kept "$work/stick.sqlite")" = "$work/stick/a.mp3" ] ||
    fail "retagged in place on a file system without change times: $(titles "$work/out") $(cat "$work/err")"
# Another process holds the database for 10 s, for its writes (BEGIN EXCLUSIVE) or whole (in
# exclusive locking mode, which readers wait for too): the run takes less than a second longer
# than beside a free one, with one message, and writes the same list.
now_ms() { date +%s%3N; }
for mode in NORMAL EXCLUSIVE; do
    rm -f "$work"/free.sqlite* "$work"/locked.sqlite* "$work/holder"
    "$program" --cache="$work/free.sqlite" "$work/1" >/dev/null && "$program" --cache="$work/locked.sqlite" "$work/1" >/dev/null || exit 1
    start=$(now_ms) && "$program" --cache="$work/free.sqlite" "$work/1000" >/dev/null && free_ms=$(($(now_ms) - start)) || exit 1
    python3 -c 'import sqlite3, sys, time
held = sqlite3.connect(sys.argv[1], isolation_level=None); held.execute("PRAGMA locking_mode = " + sys.argv[2])
held.execute("BEGIN EXCLUSIVE"); held.execute("SELECT count(*) FROM readings").fetchone()
print(flush=True); time.sleep(10)' "$work/locked.sqlite" $mode >"$work/holder" &
    holder=$!
    for _ in $(seq 100); do [ -s "$work/holder" ] && break; sleep 0.05; done
    start=$(now_ms) && "$program" --cache="$work/locked.sqlite" "$work/1000" >"$work/out" 2>"$work/err"
    locked_ms=$(($(now_ms) - start))
    kill $holder && wait $holder
    cmp -s "$work/expected-1000.xspf" "$work/out" && [ "$locked_ms" -lt $((free_ms + 1000)) ] &&
        [ "$(cat "$work/err")" = "lodrix-playlist: $work/locked.sqlite: cache locked by another process, going on without waiting" ] ||
        fail "a database another process holds ($mode): $locked_ms ms against $free_ms ms, $(cat "$work/err")"
done
# A run killed part way (kill -9) has kept what it read: stores come at least once a second.
# Its list is held up by a pipe nobody reads; the next run reads only the files not kept, and
# takes a kept reading from the database.
mkfifo "$work/stalled" && { sleep 60 <"$work/stalled" & } || exit 1
stalled=$!
"$program" --cache="$work/killed.sqlite" "$work/10000" >"$work/stalled" 2>/dev/null &
pid=$!
count_kept() { python3 -c 'import sqlite3, sys; print(sqlite3.connect(sys.argv[1]).execute("SELECT count(*) FROM readings").fetchone()[0])' "$1" 2>/dev/null; }
for _ in $(seq 100); do [ "$(count_kept "$work/killed.sqlite")" -gt 0 ] 2>/dev/null && break; sleep 0.1; done
sleep 1.5 && kill -9 $pid && kill $stalled
wait $pid $stalled 2>/dev/null
stored=$(count_kept "$work/killed.sqlite") first=$(kept "$work/killed.sqlite" | head -n 1) read_again=none
if [ "${stored:-0}" -gt 0 ] && set_duration "$work/killed.sqlite" "${first%/*}" a.wav checksum; then
    if command -v strace >/dev/null; then
        strace -f -e trace=openat -o "$work/opened" "$program" --cache="$work/killed.sqlite" "$work/10000" >"$work/out" 2>/dev/null
        read_again=$(grep -c '/a\.wav", O_RDONLY' "$work/opened")
    else
        "$program" --cache="$work/killed.sqlite" "$work/10000" >"$work/out" && read_again=$((10000 - stored))
    fi
fi
[ "${stored:-0}" -gt 0 ] && [ "$stored" -lt 10000 ] && [ "$read_again" = $((10000 - stored)) ] &&
    [ "$(grep -c '<duration>4242<' "$work/out")" = 1 ] ||
    fail "a killed run: ${stored:-no} readings kept, $read_again files read again of 10000"

# A failed write ends in status 2 and one line naming the program.
"$program" "$work/partly" >/dev/full 2>"$work/err"
[ $? = 2 ] && grep -qx 'lodrix-playlist: error writing the output: No space left on device' "$work/err" ||
    fail "a full disk: $(cat "$work/err")"

[ "$failures" = 0 ] && echo "lodrix-playlist: $count files in natural order, VLC opened every one, 1501 ms rounded, $probed ms as ffprobe, failure paths as they should be"
exit "$failures"
