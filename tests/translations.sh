#!/bin/sh
# Every text of lodrix-playlist marked for translation has its German text in po/de.po, and
# the catalog is one msgfmt takes with its checks (formats that match their ids).
# Usage: translations.sh SOURCE_DIR
set -u
source=$1
. "$(dirname "$0")/common.sh"
need msgfmt xgettext msgcmp
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
msgfmt --check -o /dev/null "$source/po/de.po" || exit 1
find "$source/src/lodrix-playlist" -name '*.cpp' ! -name '*_test.cpp' | sort >"$work/files"
xgettext --language=C++ --from-code=UTF-8 --keyword=N_ --keyword=translated -f "$work/files" -o "$work/ids.pot" ||
    exit 1
msgcmp "$source/po/de.po" "$work/ids.pot" || { echo "texts without their German in po/de.po (above)"; exit 1; }
echo "$(grep -c '^msgid ' "$work/ids.pot") texts, each with its German"
