#!/bin/sh
# The .deb that CPack builds, unpacked into a scratch root: both commands run from there and
# their man pages are in place and render without warnings.
# Usage: package.sh BUILD_DIR
set -u
build=$1
. "$(dirname "$0")/common.sh"
need cpack dpkg-deb dpkg-shlibdeps xmllint groff
[ -x "$build/lodrix-playlist" ] || skip "lodrix-playlist is not built (no libavformat), so the package would lack it"

work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
# lodrix-playlist keeps its readings in the scratch folder, never in the user's.
export XDG_CACHE_HOME="$work/cache"
(cd "$build" && cpack -G DEB -B "$work/package" >/dev/null) || { echo "cpack failed"; exit 1; }
deb=$(ls "$work"/package/*.deb) || exit 1
dpkg-deb -x "$deb" "$work/root" || exit 1
bin=$work/root/usr/bin
man=$work/root/usr/share/man

mkdir "$work/music" && write_wav "$work/music/a b.wav" 250
"$bin/lodrix" "file:///m/a&b.mp3" 1 1000 -v -n 1 | xmllint --noout - || { echo "installed lodrix"; exit 1; }
cmp -s "$bin/lodrix" "$build/lodrix" || { echo "the package holds another lodrix than the one built"; exit 1; }
"$bin/lodrix-playlist" "$work/music" | grep -q '<duration>250</duration>' || { echo "installed lodrix-playlist"; exit 1; }
# dpkg-shlibdeps names what lodrix-playlist links; lodrix itself needs nothing. With the small
# FFmpeg linked in, that is at most the C and C++ runtime, and FFmpeg's licence and source
# note ship.
depends=$(dpkg-deb -f "$deb" Depends)
if ldd "$build/lodrix-playlist" | grep -q libavformat; then
    case $depends in *libavformat*) ;; *) echo "the package does not depend on libavformat: '$depends'"; exit 1 ;; esac
else
    case $depends in *libav*) echo "FFmpeg is linked in, but the package depends on it: '$depends'"; exit 1 ;; esac
    for file in FFmpeg-COPYING.LGPLv2.1.txt FFmpeg-SOURCE.txt; do
        [ -s "$work/root/usr/share/doc/lodrix/$file" ] || { echo "no usr/share/doc/lodrix/$file"; exit 1; }
    done
fi
# utf8proc, PCRE2 and uchardet linked in (no dependency on them) bring their notices along, as
# their licences ask.
case $depends in
*libutf8proc*) ;;
*) [ -s "$work/root/usr/share/doc/lodrix/utf8proc-copyright" ] || { echo "utf8proc linked in, but not its notice"; exit 1; } ;;
esac
case $depends in
*libpcre2*) ;;
*) [ -s "$work/root/usr/share/doc/lodrix/pcre2-copyright" ] || { echo "PCRE2 linked in, but not its notice"; exit 1; } ;;
esac
case $depends in
*libuchardet*) ;;
*) [ -s "$work/root/usr/share/doc/lodrix/uchardet-copyright" ] || { echo "uchardet linked in, but not its notice"; exit 1; } ;;
esac
grep -q '^Copyright (c) 2026 The Lodrix authors$' "$work/root/usr/share/doc/lodrix/copyright" ||
    { echo "no licence in usr/share/doc/lodrix/copyright"; exit 1; }
# Each man page where man looks for it in its language, rendered without warnings (-k: preconv
# takes the German page's UTF-8 from its coding line) and showing a heading in that language.
while read -r page heading; do
    [ -f "$man/$page" ] || { echo "no man page $page"; exit 1; }
    warnings=$(LC_ALL=C.UTF-8 groff -k -man -Tutf8 -ww -z "$man/$page" 2>&1)
    [ -z "$warnings" ] || { echo "$page: $warnings"; exit 1; }
    LC_ALL=C.UTF-8 groff -k -man -Tutf8 -P-cbou "$man/$page" | grep -qx "$heading" ||
        { echo "$page: no heading $heading"; exit 1; }
done <<EOF
man1/lodrix.1 UEBERSICHT
man1/lodrix-playlist.1 SYNOPSIS
de/man1/lodrix-playlist.1 ÜBERSICHT
EOF
echo "$(basename "$deb"): $(dpkg-deb -c "$deb" | grep -c 'usr/') files; both commands and man pages work from the unpacked root; Depends: $depends"
