#!/bin/sh
# Joins three runs into one playlist, as a script would, and reads it back with libxml2:
# the document must parse, and each value must come back as it was given.
set -u
lodrix=$1
playlist=$(mktemp) || exit 1
trap 'rm -f "$playlist"' EXIT

{
    "$lodrix" 'file:///m/Tom & Jerry <1>.mp3' 1 180 -v &&
    "$lodrix" 'http://h/s?a=1&amp;b=2' 2 &&
    "$lodrix" 'Caf&#233; "Ol&eacute;".ogg' 3 60 -n 3 -p
} >"$playlist" || { echo "a run failed"; exit 1; }

xmllint --noout "$playlist" || exit 1

failures=0
expect() { # xpath expected
    got=$(xmllint --xpath "$1" "$playlist" 2>&1)
    [ "$got" = "$2" ] || { echo "$1: got '$got', expected '$2'"; failures=$((failures + 1)); }
}
track='/*[local-name()="playlist"]/*[local-name()="trackList"]/*[local-name()="track"]'
expect "count($track)" 3
expect "string($track[1]/*[local-name()='location'])" 'file:///m/Tom & Jerry <1>.mp3'
expect "string($track[2]/*[local-name()='location'])" 'http://h/s?a=1&b=2'
expect "string($track[3]/*[local-name()='location'])" "file://$PWD/Café \"Ol&eacute;\".ogg"
expect "string($track[1]/*[local-name()='duration'])" 180
expect "string($track[2]/*[local-name()='duration'])" 0
expect "string($track[3]//*[local-name()='id'])" 3
expect "count(//*[local-name()='item'])" 3
expect "string((//*[local-name()='item'])[3]/@tid)" 3
[ "$failures" -eq 0 ] && echo "joined playlist: all checks passed"
exit "$failures"
