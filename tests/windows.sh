#!/bin/sh
# The Windows build: cross-built with MinGW-w64, run under Wine on the case table with CR LF
# line ends, wildcard expansion and UTF-8 arguments and working directory.
# Usage: windows.sh build SOURCE_DIR BUILD_DIR | windows.sh suite SOURCE_DIR BUILD_DIR RUNNER CASES
set -u
step=$1 source=$2 build=$3
. "$(dirname "$0")/common.sh"
need x86_64-w64-mingw32-g++-posix wine wineserver wineboot winepath setsid
export WINEDEBUG=-all WINEPREFIX="$build/wineprefix" LC_ALL=C.UTF-8

case $step in
build)
    cmake -S "$source" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-w64-x86_64.cmake" \
        -DLODRIX_TESTS=OFF >/dev/null && cmake --build "$build" || exit 1
    # A server that a run starts inherits the test's pipes and holds them for seconds: start
    # one that stays, detached, and let wineboot set up the prefix once.
    mkdir -p "$WINEPREFIX"
    setsid wineserver -p </dev/null >/dev/null 2>&1
    wineboot -i </dev/null >/dev/null 2>&1 ;;
suite)
    runner=$4 cases=$5 exe=$build/lodrix.exe
    trap 'wineserver -k 2>/dev/null' EXIT
    "$runner" "$cases" "$exe" --crlf --launcher wine --argv0 "$(winepath -w "$exe")" || exit 1

    work=$(mktemp -d) || exit 1
    trap 'rm -rf "$work"; wineserver -k 2>/dev/null' EXIT
    folder="$work/Grüße"
    mkdir "$folder" && touch "$folder/b.mp3" "$folder/a.mp3"
    (cd "$folder" && wine "$exe" '*.mp3' -p) >"$work/got" || exit 1
    # No PWD under Wine: -p takes the working directory, in UTF-8 like the arguments, as the
    # path of a file URI that VLC on Windows opens.
    printf '  <track>\r\n   <location>file:///%s/a.mp3</location>\r\n' "$(winepath -w "$folder" | tr '\\' /)" >"$work/expected"
    printf '   <duration>0</duration>\r\n' >>"$work/expected"
    printf '   <extension application="http://www.videolan.org/vlc/playlist/0">\r\n' >>"$work/expected"
    printf '    <vlc:id>b.mp3</vlc:id>\r\n   </extension>\r\n  </track>\r\n\r\n' >>"$work/expected"
    cmp "$work/expected" "$work/got" || { diff "$work/expected" "$work/got"; exit 1; }
    echo "'*.mp3' -p in $folder: a.mp3 b.mp3, the folder in UTF-8; a line end reads:"
    od -c "$work/got" | sed -n 1p ;;
esac
