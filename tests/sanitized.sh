#!/bin/sh
# The whole suite again in a clang build with AddressSanitizer and UndefinedBehaviorSanitizer,
# and the libFuzzer target run for a bounded time.
# Usage: sanitized.sh build|suite|fuzz SOURCE_DIR BUILD_DIR
set -u
step=$1 source=$2 build=$3
. "$(dirname "$0")/common.sh"
need clang++ xmllint

case $step in
build)
    cmake -S "$source" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DLODRIX_SANITIZE=ON -DLODRIX_FUZZ=ON >/dev/null && cmake --build "$build" -j 2 ;;
suite)
    # An allocation larger than the machine returns null, as the C library's does: a file
    # that asks for gigabytes is one of the cases. Freed memory held in quarantine counts
    # against a reader's memory limit, so little is held.
    ASAN_OPTIONS=allocator_may_return_null=1:quarantine_size_mb=16 ctest --test-dir "$build" --output-on-failure ;;
fuzz)
    corpus=$(mktemp -d) || exit 1
    trap 'rm -rf "$corpus"' EXIT
    "$build/lodrix_fuzz" -max_total_time="${LODRIX_FUZZ_SECONDS:-60}" -print_final_stats=1 \
        -error_exitcode=1 -timeout_exitcode=1 -artifact_prefix="$build/" \
        "$corpus" "$source/fuzz/corpus" >"$corpus.log" 2>&1
    status=$?
    grep -E '^(stat::|Done)|ERROR|SUMMARY|got' "$corpus.log"
    # A few cue sheets (one also behind "cue"'s byte for reading_fuzz), and the keywords as
    # a dictionary.
    mkdir "$corpus/cue" || exit 1
    printf '\357\273\277REM GENRE Rock\r\nREM DATE 1999\r\nPERFORMER "Band"\r\nTITLE "Album"\r\nFILE "a.flac" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE "One"\r\n    INDEX 00 00:00:00\r\n    INDEX 01 00:00:32\r\n  TRACK 02 AUDIO\r\n    SONGWRITER "Writer"\r\n    INDEX 01 04:10:74\r\n' >"$corpus/cue/crlf"
    printf 'file x.wav wave\rtrack 1 audio\rtitle plain text\rindex 1 0:0:0\rtrack 2 data\rindex 1 1:0:0\rFILE "C:\\Rips\\y.wav" WAVE\rTRACK 3 AUDIO\rREM DISCNUMBER 2\rINDEX 01 02:00:00\r' >"$corpus/cue/cr"
    printf 'FILE "01.wav" WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n TRACK 02 AUDIO\n  INDEX 00 03:00:00\nFILE "02.wav" WAVE\n  INDEX 01 00:00:00\n' >"$corpus/cue/gaps"
    # A title past the longest text a reading keeps, and more tracks than a reading holds.
    printf 'FILE a.wav WAVE\nTRACK 01 AUDIO\nTITLE "%s\303\251\303\251"\nINDEX 01 00:00:00\n' \
        "$(printf '%04095d' 0 | tr 0 x)" >"$corpus/cue/long"
    { echo 'FILE a.wav WAVE'; seq 100 | awk '{ printf "TRACK %d AUDIO\nINDEX 01 %d:00:00\n", $1, $1 }'; } >"$corpus/cue/many"
    # Sheets in Windows-1251 and in UTF-16 as EAC writes it.
    printf 'TITLE "\307\340\352\360\356\351"\r\nFILE "\312\350\355\356.wav" WAVE\r\nTRACK 01 AUDIO\r\nINDEX 01 00:00:00\r\n' >"$corpus/cue/cp1251"
    printf '\377\376F\000I\000L\000E\000 \000\032\004.\000w\000a\000v\000\n\000T\000R\000A\000C\000K\000 \0001\000 \000A\000U\000D\000I\000O\000\n\000' >"$corpus/cue/utf16"
    for keyword in FILE TRACK INDEX AUDIO WAVE TITLE PERFORMER SONGWRITER REM GENRE DATE DISCNUMBER 01 00:00:00 '\"'; do
        printf '"%s"\n' "$keyword"
    done >"$corpus/cue.dict"
    # What a reader reads: seeds of a tenth of a second in the common formats, each behind
    # the byte that picks its extension (its index in the fuzzer's list).
    mkdir "$corpus/reading" || exit 1
    if [ -x "$build/reading_fuzz" ] && command -v ffmpeg >/dev/null; then
        for seed in 11:avi 18:flac 22:m4a 29:mkv 32:mp3 40:ogg 42:opus 48:ts 52:wav 55:wma; do
            ffmpeg -v error -f lavfi -i sine=d=0.1 -t 0.1 "$corpus/seed.${seed#*:}" &&
                { printf "\\$(printf %03o "${seed%%:*}")"; cat "$corpus/seed.${seed#*:}"; } >"$corpus/reading/${seed#*:}" ||
                status=1
        done
        { printf '\015'; cat "$corpus/cue/crlf"; } >"$corpus/reading/cue"
        "$build/reading_fuzz" -max_total_time="${LODRIX_READING_FUZZ_SECONDS:-30}" -print_final_stats=1 \
            -error_exitcode=1 -timeout=20 -timeout_exitcode=1 -artifact_prefix="$build/reading-" \
            "$corpus/reading" >"$corpus.log" 2>&1 || status=1
        grep -E '^(stat::|Done)|ERROR|SUMMARY' "$corpus.log"
    fi
    if [ -x "$build/cue_fuzz" ]; then
        "$build/cue_fuzz" -max_total_time="${LODRIX_CUE_FUZZ_SECONDS:-20}" -print_final_stats=1 -max_len=16384 \
            -dict="$corpus/cue.dict" -error_exitcode=1 -timeout_exitcode=1 -artifact_prefix="$build/cue-" \
            "$corpus/cue" >"$corpus.log" 2>&1 || status=1
        grep -E '^(stat::|Done)|ERROR|SUMMARY' "$corpus.log"
    fi
    # The decoder: a file's texts in code pages, the first byte the encoding given (0: detected,
    # 4: GBK, 18: UTF-16 little endian; 128 and up: taken for ID3's Latin-1 too).
    mkdir "$corpus/encoding" || exit 1
    printf '\000\307\340\352\360\356\351 \344\342\345\360\374\n\312\350\355\356' >"$corpus/encoding/cp1251"
    printf '\004\324\302\301\301\264\372\261\355\316\322\265\304\320\304\n\265\313\300\366\276\375' >"$corpus/encoding/gbk"
    printf '\200\303\222\303\260\303\245\303\252 01\n\303\212\303\250\303\255\303\256' >"$corpus/encoding/latin1"
    printf '\022\042\004\100\0045\004\072\004' >"$corpus/encoding/utf16"
    if [ -x "$build/encoding_fuzz" ]; then
        "$build/encoding_fuzz" -max_total_time="${LODRIX_ENCODING_FUZZ_SECONDS:-20}" -print_final_stats=1 -max_len=4096 \
            -error_exitcode=1 -timeout_exitcode=1 -artifact_prefix="$build/encoding-" \
            "$corpus/encoding" >"$corpus.log" 2>&1 || status=1
        grep -E '^(stat::|Done)|ERROR|SUMMARY' "$corpus.log"
    fi
    rm -f "$corpus.log"
    exit $status ;;
esac
