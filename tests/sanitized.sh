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
    ctest --test-dir "$build" --output-on-failure ;;
fuzz)
    corpus=$(mktemp -d) || exit 1
    trap 'rm -rf "$corpus"' EXIT
    "$build/lodrix_fuzz" -max_total_time="${LODRIX_FUZZ_SECONDS:-60}" -print_final_stats=1 \
        -error_exitcode=1 -timeout_exitcode=1 -artifact_prefix="$build/" \
        "$corpus" "$source/fuzz/corpus" >"$corpus.log" 2>&1
    status=$?
    grep -E '^(stat::|Done)|ERROR|SUMMARY|got' "$corpus.log"
    rm -f "$corpus.log"
    exit $status ;;
esac
