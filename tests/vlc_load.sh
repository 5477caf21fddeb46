#!/bin/sh
# Real files with hostile names, in a folder with a hostile name, one lodrix run per line of
# the track table, joined into one playlist. VLC must list every track in order with its
# location and duration, and open every one when it plays the list; a raw "&" is refused.
# Usage: vlc_load.sh LODRIX VLC_LOAD TRACK_TABLE
set -u
lodrix=$1 load=$2 table=$3
. "$(dirname "$0")/common.sh"
need vlc runuser

work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
folder="$work/Müsik #1 & 100%"
folder_uri="file://$work/M%C3%BCsik%20%231%20%26%20100%25"
mkdir "$folder" || exit 1
tab=$(printf '\t')
count=$(grep -vc '^#' "$table")

# Each file lasts as long as its entry says, so the durations agree whether or not VLC has
# measured the file itself.
position=0
grep -v '^#' "$table" | while IFS=$tab read -r form name file; do
    position=$((position + 1))
    name=$(printf '%b.' "$name") file=$(printf '%b.' "$file")
    name=${name%.} file=${file%.}
    duration=$((100 + position))
    write_wav "$folder/$file" "$duration"
    [ "$form" = plain ] && name=$folder_uri${name#@}
    set -- "$name" "$position" "$duration"
    [ "$position" -eq 1 ] && set -- "$@" -v
    [ "$position" -eq "$count" ] && set -- "$@" -n "$count"
    [ "$form" = dir ] && set -- "$@" -p
    (cd "$folder" && PWD=$folder "$lodrix" "$@") >>"$work/playlist" || exit 1
    printf 'file://%s/%s\t%s\n' "$folder" "$file" "$duration" >>"$work/expected"
    printf 'opened\tfile://%s/%s\n' "$folder" "$file" >>"$work/expected-play"
done || { echo "a run failed"; exit 1; }
chmod -R a+rX "$work"

"$load" "$work/playlist" >"$work/loaded" || exit 1
diff "$work/expected" "$work/loaded" || { echo "VLC listed other tracks than were written"; exit 1; }
"$load" --play "$work/playlist" >"$work/played" || exit 1
diff "$work/expected-play" "$work/played" || { echo "VLC did not open every track"; exit 1; }
echo "VLC listed all $count tracks in order and opened every one"

# The checks themselves must be able to fail: a raw "&", as an unescaped writer would leave
# it, and a track whose file is not there.
sed '0,/&amp;/s//\&/' "$work/playlist" >"$work/broken"
if "$load" "$work/broken" >/dev/null 2>&1; then
    echo "VLC loaded a playlist with a raw '&': the check cannot tell"
    exit 1
fi
"$lodrix" "$folder_uri/missing.wav" -v -n 1 >"$work/missing"
"$load" --play "$work/missing" | grep -q "^failed${tab}file://$folder/missing.wav\$" ||
    { echo "VLC's log did not tell of a file it could not open"; exit 1; }
echo "VLC refused the playlist with a raw '&' and reported the missing file, as it should"
