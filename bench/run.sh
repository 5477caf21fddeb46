#!/bin/bash
# Prints Lodrix's speed as ratios against baselines measured in the same run, since these
# machines are too noisy for absolute times to mean much.
# Needs: hyperfine, GNU coreutils (seq, dd, cat), python3. Usage: bench/run.sh [path/to/lodrix]
set -euo pipefail
lodrix=$(realpath "${1:-build/lodrix}")
rounds=${ROUNDS:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# Median time in seconds of each command, from hyperfine's CSV (command,mean,stddev,median,...).
medians() { hyperfine -N --style none "$@" --export-csv "$work/t.csv" >/dev/null 2>&1; tail -n +2 "$work/t.csv" | cut -d, -f4; }

echo "1. One run: lodrix /m/a.mp3 3 180 >/dev/null against /bin/true, $rounds rounds of 1000 spawns"
for round in $(seq "$rounds"); do
    read -r -d '' baseline tool < <(medians --warmup 50 --runs 1000 /bin/true "$lodrix /m/a.mp3 3 180") || true
    awk -v b="$baseline" -v t="$tool" -v r="$round" 'BEGIN { printf "   round %d: /bin/true %.3f ms, lodrix %.3f ms, ratio %.2fx\n", r, b * 1000, t * 1000, t / b }'
    awk -v b="$baseline" -v t="$tool" 'BEGIN { print t / b }' >>"$work/spawn"
done
printf '   median ratio: %.2fx (goal: at most 0.90x)\n\n' "$(median <"$work/spawn")"

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

largest=2147483647
# Everything but the item lines, plus 21 bytes and the digits for each item line.
bytes=$(( $("$lodrix" a -n 1 | wc -c) - 22 ))
for ((low = 1, digits = 1; low <= largest; low *= 10, digits++)); do
    high=$(( low * 10 - 1 < largest ? low * 10 - 1 : largest ))
    bytes=$(( bytes + (high - low + 1) * (21 + digits) ))
done
blocks=$((bytes / 65536))
seconds() { local start=$(date +%s%N); "$@"; echo $(( $(date +%s%N) - start )) >"$work/ns"; }
echo "4. Largest count through a pipe: lodrix a -n $largest | cat, $((bytes / 1000000)) MB,"
echo "   against the bare pipe: dd if=/dev/zero bs=64K count=$blocks | cat"
seconds bash -c "'$lodrix' a -n $largest | cat >/dev/null"; tool_ns=$(cat "$work/ns")
seconds bash -c "dd if=/dev/zero bs=64K count=$blocks status=none | cat >/dev/null"; pipe_ns=$(cat "$work/ns")
awk -v b="$bytes" -v t="$tool_ns" -v p="$pipe_ns" 'BEGIN {
    printf "   pipe %.0f MB/s, lodrix %.0f MB/s, ratio %.2fx (goal: about 1x: the pipe is the limit)\n", b / p * 1e3, b / t * 1e3, p / t }'
