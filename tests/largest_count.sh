#!/bin/sh
# The largest count runs through a pipe to its very end: 65 GB, the last item tid 2147483647.
set -u
lodrix=$1
status=$(mktemp) || exit 1
trap 'rm -f "$status"' EXIT
last=$( { "$lodrix" a -n 2147483647; echo $? >"$status"; } | tail -n 3)
expected='  <vlc:item tid="2147483647"/>
 </extension>
</playlist>'
[ "$last" = "$expected" ] || { printf 'the list ended with:\n%s\n' "$last"; exit 1; }
[ "$(cat "$status")" = 0 ] || { echo "exit status $(cat "$status")"; exit 1; }
echo "the list ends at tid 2147483647 with the closing lines, status 0"
