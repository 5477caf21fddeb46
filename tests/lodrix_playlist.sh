#!/bin/sh
# lodrix-playlist on a tree of real files with hostile names, in a folder named with "#" and
# "%": the playlist parses, VLC lists every file in natural order with its location and
# duration, and opens every one; -o into it, which then moves. Then durations against ffprobe,
# and the failure paths.
# Usage: lodrix_playlist.sh LODRIX_PLAYLIST VLC_LOAD LODRIX
set -u
program=$1 load=$2 lodrix=$3
. "$(dirname "$0")/common.sh"
need xmllint ffmpeg ffprobe vlc runuser

. "$(dirname "$0")/playlist_setup.sh"
moved="$work/moved #2 x"
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
make_sine && echo garbage >"$work/garbage.mp3" && mkfifo "$work/fifo" || exit 1
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
# The cache keeps every file of the table but the unreadable one, once they are old enough.
settled "$edge"
$as_user "$program" --cache="$work/nobody/edge.sqlite" "$edge" >/dev/null 2>&1
readable=$(($(wc -l <"$work/durations") - 1))
[ "$(kept "$work/nobody/edge.sqlite" | wc -l)" = "$readable" ] && ! kept "$work/nobody/edge.sqlite" | grep -q unreadable ||
    fail "the cache: not the $readable readable files of $edge kept"

# A failed write ends in status 2 and one line naming the program.
"$program" "$work/partly" >/dev/full 2>"$work/err"
[ $? = 2 ] && grep -qx 'lodrix-playlist: error writing the output: No space left on device' "$work/err" ||
    fail "a full disk: $(cat "$work/err")"

[ "$failures" = 0 ] && echo "lodrix-playlist: $count files in natural order, VLC opened every one, 1501 ms rounded, $probed ms as ffprobe, failure paths as they should be"
exit "$failures"
