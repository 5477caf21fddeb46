# Sourced by the test scripts.

# The rows that match a message match lodrix-playlist's English texts, and the system's own
# reasons in English: the language is set here, never taken from whoever runs the suite.
export LC_ALL=C.UTF-8
unset LANGUAGE

# skip REASON: the test cannot run here (exit 77), except in CI, where a skip could hide a
# missing install step and so fails.
skip() {
    if [ "${CI:-}" = true ]; then echo "FAIL in CI: $*" >&2; exit 1; fi
    echo "SKIP: $*" >&2
    exit 77
}

# need COMMAND... : skip unless every tool is installed.
need() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed"
    done
}

# write_wav FILE MS [SAMPLES]: MS milliseconds and SAMPLES eighths of one more of silence,
# 8-bit mono at 8000 Hz: a real file whose length VLC and FFmpeg read exactly.
write_wav() {
    data=$(($2 * 8 + ${3:-0}))
    {
        printf 'RIFF'; le32 $((data + 36)); printf 'WAVEfmt '; le32 16
        printf '\001\000\001\000'; le32 8000; le32 8000; printf '\001\000\010\000data'; le32 "$data"
        head -c "$data" /dev/zero | tr '\000' '\200'
    } >"$1"
}
le32() {
    n=$1
    for _ in 1 2 3 4; do
        printf "\\$(printf %03o $((n % 256)))"
        n=$((n / 256))
    done
}
