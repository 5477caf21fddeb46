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
    # What a reader reads: seeds of a tenth of a second in the common formats, each behind
    # the byte that picks its extension (its index in the fuzzer's list).
    mkdir "$corpus/reading" || exit 1
    if [ -x "$build/reading_fuzz" ] && command -v ffmpeg >/dev/null; then
        for seed in 11:avi 17:flac 21:m4a 28:mkv 31:mp3 39:ogg 41:opus 47:ts 51:wav 54:wma; do
            ffmpeg -v error -f lavfi -i sine=d=0.1 -t 0.1 "$corpus/seed.${seed#*:}" &&
                { printf "\\$(printf %03o "${seed%%:*}")"; cat "$corpus/seed.${seed#*:}"; } >"$corpus/reading/${seed#*:}" ||
                status=1
        done
        "$build/reading_fuzz" -max_total_time="${LODRIX_READING_FUZZ_SECONDS:-30}" -print_final_stats=1 \
            -error_exitcode=1 -timeout=20 -timeout_exitcode=1 -artifact_prefix="$build/reading-" \
            "$corpus/reading" >"$corpus.log" 2>&1 || status=1
        grep -E '^(stat::|Done)|ERROR|SUMMARY' "$corpus.log"
    fi
    rm -f "$corpus.log"
    exit $status ;;
esac
