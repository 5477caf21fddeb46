#!/bin/bash
# Prints Lodrix's speed as ratios against baselines measured in the same run, since these
# machines are too noisy for absolute times to mean much.
# Needs: hyperfine, cc, GNU coreutils (seq, dd, cat), python3. Usage: bench/run.sh [path/to/lodrix]
set -euo pipefail
lodrix=$(realpath "${1:-build/lodrix}")
rounds=${ROUNDS:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# Median time in seconds of each command, from hyperfine's CSV (command,mean,stddev,median,...).
medians() { hyperfine -N --style none "$@" --export-csv "$work/t.csv" >/dev/null 2>&1; tail -n +2 "$work/t.csv" | cut -d, -f4; }

# The smallest process there is: a static ELF whose entry point only calls exit.
printf '.globl _start\n_start:\n mov $60, %%eax\n xor %%edi, %%edi\n syscall\n' >"$work/exit.s"
cc -nostdlib -static -o "$work/smallest" "$work/exit.s"

echo "1. One run: lodrix /m/a.mp3 3 180 >/dev/null against the smallest process (exit only) and"
echo "   /bin/true, $rounds rounds of 1000 spawns each"
for round in $(seq "$rounds"); do
    read -r -d '' smallest true_time tool < <(medians --warmup 50 --runs 1000 "$work/smallest" /bin/true "$lodrix /m/a.mp3 3 180") || true
    awk -v s="$smallest" -v b="$true_time" -v t="$tool" -v r="$round" 'BEGIN {
        printf "   round %d: smallest %.0f us, /bin/true %.0f us, lodrix %.0f us: %.2fx the smallest, %.2fx /bin/true\n",
               r, s * 1e6, b * 1e6, t * 1e6, t / s, t / b }'
    awk -v s="$smallest" -v t="$tool" 'BEGIN { print t / s }' >>"$work/spawn"
    awk -v b="$true_time" -v t="$tool" 'BEGIN { print t / b }' >>"$work/spawn-true"
done
printf '   median ratio: %.2fx the smallest process (goal: at most 1.5x), %.2fx /bin/true\n\n' \
    "$(median <"$work/spawn")" "$(median <"$work/spawn-true")"

count=20000000
echo "2. Item list: lodrix a -n $count >/dev/null against seq 1 $count >/dev/null, bytes per second"
tool_bytes=$("$lodrix" a -n "$count" | wc -c)
seq_bytes=$(seq 1 "$count" | wc -c)
read -r -d '' seq_time tool_time < <(medians --warmup 2 --runs $((rounds * 3)) "seq 1 $count" "$lodrix a -n $count") || true
awk -v sb="$seq_bytes" -v st="$seq_time" -v tb="$tool_bytes" -v tt="$tool_time" 'BEGIN {
    printf "   seq %.0f MB/s, lodrix %.0f MB/s, ratio %.2fx (goal: at least 4x)\n\n", sb / st / 1e6, tb / tt / 1e6, (tb / tt) / (sb / st) }'

echo "3. Memory: peak RSS (VmHWM) of count 1 and 100000 against count $count"
# ru_maxrss would count the launcher's own pages from before exec, so read the tool's VmHWM
# while it is blocked on a pipe that is full from the start, and again as the pipe drains.
python3 - "$lodrix" "$count" <<'PY'
import os, subprocess, sys, time
def peak(count):
    read_end, write_end = os.pipe()
    os.set_blocking(write_end, False)
    try:
        while True:
            os.write(write_end, b"x" * 4096)
    except BlockingIOError:
        pass
    os.set_blocking(write_end, True)
    child = subprocess.Popen([sys.argv[1], "a", "-n", str(count)], stdout=write_end)
    os.close(write_end)
    time.sleep(0.2)  # until it has started and blocked on the full pipe
    highest = 0
    while True:
        try:
            with open(f"/proc/{child.pid}/status") as status:
                for line in status:
                    if line.startswith("VmHWM:"):
                        highest = max(highest, int(line.split()[1]))
        except OSError:
            pass
        if not os.read(read_end, 1 << 20):
            break
    child.wait()
    return highest
small, full_block, large = peak(1), peak(100000), peak(int(sys.argv[2]))
print(f"   count 1: {small} KiB, count 100000: {full_block} KiB, count {sys.argv[2]}: {large} KiB")
print(f"   ratio {large / small:.2f}x against count 1 (the output block is touched as it fills),")
print(f"   {large / full_block:.2f}x against count 100000 (goal: 1.00x)\n")
PY

pipe_count=100000000
bytes=$("$lodrix" a -n "$pipe_count" | wc -c)
blocks=$((bytes / 65536))
seconds() { local start=$(date +%s%N); "$@"; echo $(( $(date +%s%N) - start )); }
echo "4. Through a pipe: lodrix a -n $pipe_count | cat, $((bytes / 1000000)) MB, against the bare pipe:"
echo "   dd if=/dev/zero bs=64K count=$blocks | cat, medians of 4 alternating runs"
for run in 1 2 3 4; do
    seconds bash -c "'$lodrix' a -n $pipe_count | cat >/dev/null" >>"$work/tool-ns"
    seconds bash -c "dd if=/dev/zero bs=64K count=$blocks status=none | cat >/dev/null" >>"$work/pipe-ns"
done
awk -v b="$bytes" -v t="$(median <"$work/tool-ns")" -v p="$(median <"$work/pipe-ns")" 'BEGIN {
    printf "   pipe %.0f MB/s, lodrix %.0f MB/s, ratio %.2fx (goal: at least 0.9x)\n", b / p * 1e3, b / t * 1e3, p / t }'

playlist=$(dirname "$lodrix")/lodrix-playlist
if [ -x "$playlist" ] && command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null; then
    echo
    echo "5. lodrix-playlist on 1000 one-second MP3 files and a small video against one ffprobe"
    echo "   run on one of them; then 10000 files: time and peak RSS against 1000"
    mkdir -p "$work/lib"
    ffmpeg -v error -f lavfi -i sine=d=1 "$work/one.mp3"
    ffmpeg -v error -f lavfi -i testsrc=d=2:s=160x120 -f lavfi -i sine=d=2 -shortest "$work/lib/video.mp4"
    for i in $(seq 1000); do cp "$work/one.mp3" "$work/lib/track $i.mp3"; done
    read -r -d '' probe_time list_time < <(medians --warmup 3 --runs $((rounds * 4)) \
        "ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 $work/one.mp3" "$playlist $work/lib") || true
    awk -v p="$probe_time" -v l="$list_time" 'BEGIN {
        printf "   ffprobe %.0f ms, lodrix-playlist %.0f ms: %.2fx (goal: at most 5x)\n", p * 1e3, l * 1e3, l / p }'
    peak() { python3 -c 'import resource, subprocess, sys, time
start = time.time(); subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, check=True)
print(time.time() - start, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' "$playlist" "$@"; }
    read -r small_time small_rss < <(peak "$work/lib")
    mkdir -p "$work/big"
    for i in $(seq 10000); do ln "$work/one.mp3" "$work/big/track $i.mp3"; done
    read -r big_time big_rss < <(peak "$work/big")
    awk -v st="$small_time" -v sr="$small_rss" -v bt="$big_time" -v br="$big_rss" 'BEGIN {
        printf "   1001 files: %.2f s, %d KiB; 10000 files: %.2f s, %d KiB\n", st, sr, bt, br
        printf "   %.2f KiB more per file (the names), %.1fx the time for 10x the files\n", (br - sr) / 8999, bt / st }'
fi
