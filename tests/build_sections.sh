#!/bin/sh
# tools/build-ffmpeg against a cache holding only some of its sections names just the missing
# ones to build, and leaves no temporary folder behind. The sections kept are links to the ones
# the build used, so their names are the script's own.
# Usage: build_sections.sh SOURCE_DIR
set -u
source=$1
. "$(dirname "$0")/common.sh"
cache=${LODRIX_CACHE:-$HOME/.cache/lodrix}
for section in ffmpeg-host ffmpeg-mingw sqlite-mingw utf8proc-mingw pcre2-mingw uchardet-mingw; do
    [ -d "$cache/$section" ] || skip "$cache/$section is not built (tools/build-ffmpeg)"
done
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
failures=0

# Rows: the targets asked for | the sections the cache holds | the ones it must build.
while IFS='|' read -r targets kept expected; do
    rm -rf "$work/cache" "$work/tmp" && mkdir "$work/cache" "$work/tmp"
    for section in $kept; do ln -s "$(readlink -f "$cache/$section")" "$work/cache/"; done
    # shellcheck disable=SC2086 # the targets are words
    got=$(TMPDIR=$work/tmp "$source/tools/build-ffmpeg" --dry-run $targets "$work/cache" 2>&1 >/dev/null |
        sed -n 's/^build-ffmpeg: would build //p' | tr '\n' ' ')
    if [ "$got" != "$expected" ]; then
        echo "FAIL $targets with [$kept]: builds [$got], expected [$expected]"
        failures=$((failures + 1))
    fi
    for section in $kept; do
        [ -L "$work/cache/$section" ] || { echo "FAIL $targets with [$kept]: $section not named"; failures=$((failures + 1)); }
    done
    [ -z "$(ls -A "$work/tmp")" ] || { echo "FAIL $targets with [$kept]: left $(ls "$work/tmp")"; failures=$((failures + 1)); }
done <<'ROWS'
all||ffmpeg-host sqlite-mingw utf8proc-mingw pcre2-mingw uchardet-mingw ffmpeg-mingw 
all|ffmpeg-host|sqlite-mingw utf8proc-mingw pcre2-mingw uchardet-mingw ffmpeg-mingw 
all|sqlite-mingw ffmpeg-mingw pcre2-mingw|ffmpeg-host utf8proc-mingw uchardet-mingw 
all|ffmpeg-host ffmpeg-mingw utf8proc-mingw pcre2-mingw uchardet-mingw|sqlite-mingw 
all|ffmpeg-host ffmpeg-mingw sqlite-mingw utf8proc-mingw uchardet-mingw|pcre2-mingw 
all|ffmpeg-host ffmpeg-mingw sqlite-mingw utf8proc-mingw pcre2-mingw|uchardet-mingw 
all|ffmpeg-host ffmpeg-mingw sqlite-mingw utf8proc-mingw pcre2-mingw uchardet-mingw|
host||ffmpeg-host 
mingw|sqlite-mingw|utf8proc-mingw pcre2-mingw uchardet-mingw ffmpeg-mingw 
ROWS
[ "$failures" -eq 0 ] || exit 1
echo "9 caches: each builds just its missing sections, no temporary folder left"
