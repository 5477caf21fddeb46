#!/bin/bash
# Prints Lodrix's speed as ratios against baselines measured in the same run, since these
# machines are too noisy for absolute times to mean much.
# Needs: hyperfine, cc, GNU coreutils (seq, dd, cat), python3. Usage: bench/run.sh [path/to/lodrix]
set -euo pipefail
lodrix=$(realpath "${1:-build/lodrix}")
rounds=${ROUNDS:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# lodrix-playlist's readings' cache stays in the scratch folder. Sections 5 to 9 measure reading
# (--no-cache), section 10 the cache.
export XDG_CACHE_HOME="$work/cache"

seconds() { local start=$(date +%s%N); "$@"; echo $(( $(date +%s%N) - start )); }
# ratio_of_medians FLOOR_NS LIST_NS PREFIX SUFFIX: one line of two medians of nanoseconds and their ratio.
ratio_of_medians() {
    awk -v f="$(median <"$1")" -v l="$(median <"$2")" -v p="$3" -v s="${4:-}" 'BEGIN {
        printf "   %sfloor %.2f s, lodrix-playlist %.2f s: %.2fx%s\n", p, f / 1e9, l / 1e9, l / f, s }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# pairs N A B [GOAL] -- COMMAND_A... -- COMMAND_B...: N pairs of runs, each command first in
# every other pair; the medians of time and of processor time (the program and its children,
# which the load of other programs moves far less), and B's against A's (goal: at most GOAL,
# else $GOAL, else 1.05x).
pairs() {
    python3 - "$@" <<'PY'
import os, resource, statistics, subprocess, sys, time
pairs, names = int(sys.argv[1]), sys.argv[2:4]
goal, rest = (os.environ.get("GOAL", "1.05"), sys.argv[5:]) if sys.argv[4] == "--" else (sys.argv[4], sys.argv[6:])
runs = {names[0]: rest[:rest.index("--")], names[1]: rest[rest.index("--") + 1:]}
took = {name: [] for name in names}
for pair in range(pairs):
    for name in names if pair % 2 == 0 else names[::-1]:
        before, start = resource.getrusage(resource.RUSAGE_CHILDREN), time.time()
        subprocess.run(runs[name], stdout=subprocess.DEVNULL, check=True)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        took[name].append((time.time() - start, after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime))
for what, index in (("time", 0), ("processor time", 1)):
    a, b = (statistics.median(run[index] for run in took[name]) for name in names)
    print(f"   {what}: {names[0]} {a:.2f} s, {names[1]} {b:.2f} s: {b / a:.3f}x (goal: at most {goal}x)")
PY
}
# Median time in seconds of each command, from hyperfine's CSV (command,mean,stddev,median,
# user,system,min,max), counted from the end: a command may hold commas.
medians() { hyperfine -N --style none "$@" --export-csv "$work/t.csv" >/dev/null 2>&1; awk -F, 'NR > 1 { print $(NF - 4) }' "$work/t.csv"; }

# The smallest process there is: a static ELF whose entry point only calls exit.
printf '.globl _start\n_start:\n mov $60, %%eax\n xor %%edi, %%edi\n syscall\n' >"$work/exit.s"
cc -nostdlib -static -o "$work/smallest" "$work/exit.s"

# PLAYLIST_ONLY=1: only the lodrix-playlist sections.
if [ -z "${PLAYLIST_ONLY:-}" ]; then
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
echo "4. Through a pipe: lodrix a -n $pipe_count | cat, $((bytes / 1000000)) MB, against the bare pipe:"
echo "   dd if=/dev/zero bs=64K count=$blocks | cat, medians of 4 alternating runs"
for run in 1 2 3 4; do
    seconds bash -c "'$lodrix' a -n $pipe_count | cat >/dev/null" >>"$work/tool-ns"
    seconds bash -c "dd if=/dev/zero bs=64K count=$blocks status=none | cat >/dev/null" >>"$work/pipe-ns"
done
awk -v b="$bytes" -v t="$(median <"$work/tool-ns")" -v p="$(median <"$work/pipe-ns")" 'BEGIN {
    printf "   pipe %.0f MB/s, lodrix %.0f MB/s, ratio %.2fx (goal: at least 0.9x)\n", b / p * 1e3, b / t * 1e3, p / t }'
fi

playlist=$(dirname "$lodrix")/lodrix-playlist
if [ -x "$playlist" ] && command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null; then
    # shellcheck source=bench/playlist.sh
    . "$(dirname "$0")/playlist.sh"
    playlist_sections
fi
