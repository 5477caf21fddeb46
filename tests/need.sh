# need COMMAND... : a test that lacks a tool skips (exit 77), except in CI, where a skip
# could hide a missing install step and so fails.
need() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 && continue
        if [ "${CI:-}" = true ]; then echo "FAIL: $tool is missing in CI" >&2; exit 1; fi
        echo "SKIP: $tool is not installed" >&2
        exit 77
    done
}
