#!/bin/sh
# lodrix-playlist on a folder tree of hostile names: the playlist parses, lists every media
# file in natural order with its location, has ffprobe's durations, and loads in VLC.
# Usage: lodrix_playlist.sh LODRIX LODRIX_PLAYLIST VLC_LOAD
set -u
lodrix=$1 script=$2 load=$3
. "$(dirname "$0")/common.sh"
need xmllint ffprobe vlc

work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
root="$work/Musik & <Hörbücher> 100%"
# The tree, in the order the playlist must list it ("\n" a newline in the name), then the
# files it must leave out.
listed='"double" '"'single'"'.mp3
-dash.ogg
100% a%41.wav
Album 2/b.flac
Album 10/a.MP3
new\nline.mp3
Tom & Jerry <1>.mp3
Tom &amp; Jerry.mp3
track 2.mp3
Track 10.mp3'
count=10
printf '%s\nnotes.txt\n.hidden/z.mp3\n' "$listed" | while IFS= read -r name; do
    path=$(printf '%b' "$root/$name.")
    mkdir -p "${path%/*}" && : >"${path%.}"
done
ln -s . "$root/loop"
# 1.5 s of 8-bit mono sound at 8000 Hz, for ffprobe to measure.
{ printf 'RIFF\004\057\000\000WAVEfmt \020\000\000\000\001\000\001\000\100\037\000\000'
  printf '\100\037\000\000\001\000\010\000data\340\056\000\000'; head -c 12000 /dev/zero; } >"$root/100% a%41.wav"

failures=0
fail() { echo "$*"; failures=$((failures + 1)); }
LODRIX=$lodrix sh "$script" "$root" >"$work/list.xspf" || fail "lodrix-playlist failed"
xmllint --noout "$work/list.xspf" || fail "the playlist is not XML"
location() { xmllint --xpath "string((//*[local-name()='location'])[$1])" "$work/list.xspf"; }
[ "$(xmllint --xpath "count(//*[local-name()='track'])" "$work/list.xspf")" = $count ] ||
    fail "not $count tracks"

# VLC percent-decodes the location, so the tracks it reports are the file names themselves.
"$load" "$work/list.xspf" >"$work/loaded" || fail "VLC did not load the playlist"
index=0
while IFS= read -r name; do
    index=$((index + 1))
    want=$(printf '%b.' "file://$root/$name" | sed 's/%/%25/g')
    [ "$(location $index)." = "$want" ] || fail "track $index: $(location $index), expected ${want%.}"
done <<EOF_LISTED
$listed
EOF_LISTED
printf 'file://%s/%s\t%s\n' "$root" "100% a%41.wav" 1500 | grep -qxF -f - "$work/loaded" ||
    fail "VLC did not get the WAV file with 1500 ms: $(grep wav "$work/loaded")"
[ "$(grep -cF "file://$root/" "$work/loaded")" = "$count" ] || fail "VLC loaded other tracks: $(cat "$work/loaded")"

# No media file: a message, status 1, nothing on standard output.
mkdir "$work/empty"
LODRIX=$lodrix sh "$script" "$work/empty" >"$work/out" 2>"$work/err"
[ $? = 1 ] && [ ! -s "$work/out" ] && [ -s "$work/err" ] || fail "an empty folder did not end in status 1 and a message"
# A failed lodrix run stops the script with a failure.
LODRIX=false sh "$script" "$root" >/dev/null 2>&1 && fail "a failed lodrix run was not reported"

[ "$failures" = 0 ] && echo "lodrix-playlist: $count files in natural order, parsed, loaded in VLC, 1500 ms measured"
exit "$failures"
