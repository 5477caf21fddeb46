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
root="$work/Musik & <Hörbücher> #1 100%"
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
grep -q "fifo: keine regulaere Datei" "$work/err" || fail "no message for the FIFO: $(cat "$work/err")"

# The bytes are those of lodrix -p in the file's folder, each "&" of the name given as "&amp;".
mkdir -p "$work/partly/locked" && write_wav "$work/partly/a & b.wav" 100 || exit 1
(cd "$work/partly" && PWD=$work/partly "$lodrix" "a &amp; b.wav" 1 100 -v -n 1 -p) >"$work/expected-bytes"
"$program" "$work/partly" | cmp -s - "$work/expected-bytes" || fail "other bytes than lodrix -p writes"

# An unreadable folder is reported and the rest goes on (as nobody: root reads everything).
chmod 000 "$work/partly/locked" && chmod a+rx "$work/partly" "$work/partly/a & b.wav"
as_user=
[ "$(id -u)" -eq 0 ] && as_user="runuser -u nobody --"
$as_user "$program" "$work/partly" >"$work/out" 2>"$work/err" || fail "a locked subfolder stopped the run"
grep -q 'a &amp; b.wav' "$work/out" && grep -q 'locked: Ordner nicht lesbar' "$work/err" ||
    fail "a locked subfolder: $(cat "$work/err")"

# No media file, a missing operand: a message, status 1, nothing on standard output.
mkdir "$work/empty"
for operands in "$work/empty" "$work/missing $work/partly"; do
    # shellcheck disable=SC2086
    "$program" $operands >"$work/out" 2>"$work/err"
    [ $? = 1 ] && [ ! -s "$work/out" ] && [ "$(wc -l <"$work/err")" = 1 ] ||
        fail "$operands: not status 1 with one message and nothing on standard output"
done
# A failed write ends in status 2 and one line naming the program.
"$program" "$work/partly" >/dev/full 2>"$work/err"
[ $? = 2 ] && grep -qx 'lodrix-playlist: Fehler beim Schreiben der Ausgabe: No space left on device' "$work/err" ||
    fail "a full disk: $(cat "$work/err")"

[ "$failures" = 0 ] && echo "lodrix-playlist: $count files in natural order, VLC opened every one, 1501 ms rounded, $probed ms as ffprobe, failure paths as they should be"
exit "$failures"
