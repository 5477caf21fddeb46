#!/bin/sh
# Joins a playlist from hostile names, one run per line of the track table, and loads it in
# the real VLC: every track must come back, in order, with its location and duration.
# Usage: vlc_load.sh LODRIX VLC_LOAD TRACK_TABLE
set -u
lodrix=$1 load=$2 table=$3
. "$(dirname "$0")/need.sh"
need vlc runuser

work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
tab=$(printf '\t')
directory="/srv/Tom & Jerry's <Musik> #1"
count=$(grep -vc '^#' "$table")

position=0
grep -v '^#' "$table" | while IFS=$tab read -r form name location; do
    position=$((position + 1))
    set -- "$name" "$position" "$((position * 1000))"
    [ "$position" -eq 1 ] && set -- "$@" -v
    [ "$position" -eq "$count" ] && set -- "$@" -n "$count"
    [ "$form" = dir ] && set -- "$@" -p
    PWD=$directory "$lodrix" "$@" >>"$work/playlist" || exit 1
    printf '%s\t%s\n' "$location" "$((position * 1000))" >>"$work/expected"
done || { echo "a run failed"; exit 1; }

"$load" "$work/playlist" >"$work/loaded" || exit 1
diff "$work/expected" "$work/loaded" || { echo "VLC loaded other tracks than were written"; exit 1; }
echo "VLC loaded all $count tracks in order"

# The check itself must be able to fail: a raw "&", as an unescaped writer would leave it.
sed '0,/&amp;/s//\&/' "$work/playlist" >"$work/broken"
if "$load" "$work/broken" >/dev/null 2>&1; then
    echo "VLC loaded a playlist with a raw '&': the check cannot tell"
    exit 1
fi
echo "VLC refused the playlist with a raw '&', as it should"
