# Sourced by bench/run.sh: lodrix-playlist's sections, 5 on, run by playlist_sections with
# run.sh's variables and helpers (work, rounds, playlist, lodrix, seconds, median, medians, pairs,
# ratio_of_medians).
# shellcheck shell=bash
playlist_sections() {
    echo "5. lodrix-playlist on 1000 one-second MP3 files and a small video against one ffprobe"
    echo "   run on one of them"
    mkdir -p "$work/lib"
    ffmpeg -v error -f lavfi -i sine=d=1 "$work/one.mp3"
    ffmpeg -v error -f lavfi -i testsrc=d=2:s=160x120 -f lavfi -i sine=d=2 -shortest "$work/lib/video.mp4"
    for i in $(seq 1000); do cp "$work/one.mp3" "$work/lib/track $i.mp3"; done
    read -r -d '' probe_time list_time < <(medians --warmup 3 --runs $((rounds * 4)) \
        "ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 $work/one.mp3" "$playlist --no-cache $work/lib") || true
    awk -v p="$probe_time" -v l="$list_time" 'BEGIN {
        printf "   ffprobe %.0f ms, lodrix-playlist %.0f ms: %.2fx (goal: at most 5x)\n", p * 1e3, l * 1e3, l / p }'
    # processor_time RUNS DIR: the median processor time in seconds, user and system, of a run
    # on DIR with its readers (each waited for by the run, so counted in its children's).
    processor_time() { python3 -c 'import resource, statistics, subprocess, sys
def used():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime
times = []
for _ in range(int(sys.argv[1])):
    before = used()
    subprocess.run(sys.argv[2:], stdout=subprocess.DEVNULL, check=True)
    times.append(used() - before)
print(statistics.median(times))' "$1" "$playlist" --no-cache "$2"; }
    # Peak RSS (ru_maxrss) of one run, and its time.
    peak() { python3 -c 'import resource, subprocess, sys, time
start = time.time(); subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, check=True)
print(time.time() - start, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' "$playlist" --no-cache "$@"; }
    echo
    echo "6. Memory: peak RSS for 1, 10000, 20000 and 100000 files in a folder under a 3.5 KB path"
    deep=$work/deep
    for _ in $(seq 17); do deep=$deep/$(printf '%0200d' 0); done
    python3 - "$work/one.mp3" "$deep" <<'PY'
import os, shutil, sys
one, deep = sys.argv[1:]
for count in (1, 10000, 20000, 100000):
    folder = os.path.join(deep, str(count))
    os.makedirs(folder)
    for i in range(count):
        # A file system takes some 65000 links to one file.
        if i % 50000 == 0:
            source = os.path.join(folder, f"source {i}")
            shutil.copyfile(one, source)
        os.link(source, os.path.join(folder, f"track {i}.mp3"))
    os.unlink(os.path.join(folder, f"source 0"))
PY
    read -r _ one_rss < <(peak "$deep/1")
    for count in 10000 20000 100000; do
        read -r took rss < <(peak "$deep/$count")
        awk -v c="$count" -v t="$took" -v r="$rss" -v o="$one_rss" 'BEGIN {
            printf "   %6d files: %.2f s, %d KiB: %.2fx one file (%d KiB)%s\n", c, t, r, r / o, o,
                   c == 20000 ? " (goal: at most 1.3x)" : "" }'
    done
    echo "   shuffled, the 100000 files (the whole list held before it is written), against the plain run:"
    for mode in tracks spread; do
        read -r shuffled_took shuffled_rss < <(peak --shuffle=$mode --seed=1 "$deep/100000")
        awk -v m="$mode" -v t="$shuffled_took" -v r="$shuffled_rss" -v pt="$took" -v pr="$rss" 'BEGIN {
            printf "   --shuffle=%s: %.2f s, %d KiB: %.2fx the time, %.2fx the memory\n", m, t, r, t / pt, r / pr }'
    done

    echo
    echo "7. A mixed library of 10000 files (70% MP3 with and without a Xing header or with cover"
    echo "   art, FLAC, M4A, MKV, OGG, WAV; 1-3 s, tagged; albums of 20 with a cover.jpg), and its first"
    echo "   1000, against the read floor (bench/floor.c: walk, open, read 64 KiB, close), warm cache,"
    echo "   medians of $rounds"
    cc -O2 -pthread -o "$work/floor" "$(dirname "$0")/floor.c"
    templates=$work/templates
    mkdir -p "$templates"
    ffmpeg -v error -f lavfi -i testsrc=s=300x300:d=1 -frames:v 1 "$templates/cover.jpg"
    # A genre and a year per length, an artist per kind: 7c asks for a third of the library.
    for seconds in 1.3 2.1 2.9; do
        sine="-f lavfi -i sine=f=440:d=$seconds"
        case $seconds in
        1.3) tags="-metadata genre=Rock -metadata date=1975" ;;
        2.1) tags="-metadata genre=Hardrock -metadata date=1995" ;;
        *) tags="-metadata genre=Jazz -metadata date=1980" ;;
        esac
        ffmpeg -v error $sine -b:a 128k $tags -metadata artist=Xing "$templates/xing $seconds.mp3"
        ffmpeg -v error $sine -q:a 4 -write_xing 0 $tags -metadata artist=Plain "$templates/no-xing $seconds.mp3"
        ffmpeg -v error $sine -i "$templates/cover.jpg" -map 0 -map 1 -c:v copy -disposition:v attached_pic $tags \
            -metadata artist=Cover "$templates/cover $seconds.mp3"
        ffmpeg -v error $sine $tags -metadata artist=Flac "$templates/a $seconds.flac"
        ffmpeg -v error $sine -c:a aac $tags -metadata artist=Aac "$templates/a $seconds.m4a"
        ffmpeg -v error $sine -f lavfi -i testsrc=s=64x48:d=$seconds -c:v mpeg4 $tags -metadata artist=Video \
            "$templates/a $seconds.mkv"
        ffmpeg -v error $sine $tags -metadata artist=Vorbis "$templates/a $seconds.ogg"
        ffmpeg -v error $sine -ac 2 -ar 44100 $tags -metadata artist=Wave "$templates/a $seconds.wav"
    done
    python3 - "$templates" "$work/library" 10000 <<'PY'
import os, shutil, sys
templates, library, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
# Of every 20 tracks: 14 MP3 (5 with a Xing header, 5 without, 4 with cover art), 2 FLAC,
# and one M4A, MKV, OGG and WAV.
kinds = ["xing"] * 5 + ["no-xing"] * 5 + ["cover"] * 4 + ["flac"] * 2 + ["m4a", "mkv", "ogg", "wav"]
for n in range(count):
    album = os.path.join(library, f"Artist {n // 200}", f"Album {n // 20}")
    if n % 20 == 0:
        os.makedirs(album)
        shutil.copyfile(os.path.join(templates, "cover.jpg"), os.path.join(album, "cover.jpg"))
    kind, seconds = kinds[n % 20], ("1.3", "2.1", "2.9")[n % 3]
    source = f"{kind} {seconds}.mp3" if kind in ("xing", "no-xing", "cover") else f"a {seconds}.{kind}"
    shutil.copyfile(os.path.join(templates, source), os.path.join(album, f"{n % 20 + 1:02d} Track.{source.rsplit('.', 1)[1]}"))
PY
    # The first 50 albums: a collection of a thousand tracks, the same kinds in the same mix.
    mkdir "$work/library1000" && cp -al "$work/library/Artist "[0-4] "$work/library1000/"
    for size in 10000 1000; do
        library=$work/library
        [ "$size" = 1000 ] && library=$work/library1000
        read -r -d '' floor_time list_time < <(medians --warmup 1 --runs "$rounds" \
            "$work/floor $library" "$playlist --no-cache $library") || true
        awk -v n="$size" -v f="$floor_time" -v l="$list_time" -v c="$(processor_time "$rounds" "$library")" 'BEGIN {
            printf "   %5d files: floor %.1f ms, lodrix-playlist %.1f ms: %.2fx the floor (goal: at most 2.5x);\n", n, f * 1e3, l * 1e3, l / f
            printf "          processor time %.0f us per file\n", c * 1e6 / n }'
    done
    # Cold cache, where this machine lets the page cache be dropped.
    if (sync && echo 3 >/proc/sys/vm/drop_caches) 2>/dev/null; then
        for run in 1 2 3; do
            for command in "$work/floor" "$playlist"; do
                sync && echo 3 >/proc/sys/vm/drop_caches
                seconds sh -c 'exec "$0" "$@" >/dev/null' "$command" $([ "$command" = "$playlist" ] && echo --no-cache) "$work/library"
            done
        done | paste - - >"$work/cold-ns"
        awk '{ print $1 }' "$work/cold-ns" >"$work/cold-floor"
        awk '{ print $2 }' "$work/cold-ns" >"$work/cold-list"
        ratio_of_medians "$work/cold-floor" "$work/cold-list" "cold cache, medians of 3: "
    else
        echo "   cold cache: not measured (the page cache cannot be dropped here)"
    fi

    echo
    echo "7a. One file (an MP3 of the library) against the read floor of that file, medians of 20"
    mkdir "$work/single" && cp "$(find "$work/library" -name '*.mp3' | head -n 1)" "$work/single/"
    read -r -d '' floor_time list_time < <(medians --warmup 5 --runs 20 \
        "$work/floor $work/single" "$playlist --no-cache $work/single") || true
    awk -v f="$floor_time" -v l="$list_time" -v c="$(processor_time 20 "$work/single")" 'BEGIN {
        printf "   floor %.2f ms, lodrix-playlist %.2f ms: %.2fx (goal: at most 4x); processor time %.1f ms\n",
               f * 1e3, l * 1e3, l / f, c * 1e3 }'
    echo
    echo "7b. The same library, a playlist in each of its 500 album folders: one -e run against one"
    echo "   -o playlist of the whole library, and against a loop of 500 -o runs; medians of $rounds"
    echo "   (BEFORE=path/to/an/older/lodrix-playlist measures that one too, in the same rounds)"
    for build in ${BEFORE:+"$BEFORE"} "$playlist"; do
        # An older build may have no cache, and no --no-cache.
        read -r -d '' one_time each_time < <(medians --warmup 1 --runs "$rounds" \
            "$build $([ "$build" = "$playlist" ] && echo --no-cache) -o $work/all.xspf $work/library" \
            "$build $([ "$build" = "$playlist" ] && echo --no-cache) -e $work/library") || true
        awk -v o="$one_time" -v e="$each_time" -v b="$([ "$build" = "$playlist" ] && echo this || echo before)" 'BEGIN {
            printf "   %s: one -o %.2f s, -e %.2f s: %.2fx (goal: at most 1.3x)\n", b, o, e, e / o }'
    done
    loop_start=$(date +%s%N)
    for album in "$work"/library/*/*/; do "$playlist" --no-cache -o "$album/album.xspf" "$album"; done
    loop_time=$(( $(date +%s%N) - loop_start ))
    awk -v e="$each_time" -v l="$loop_time" 'BEGIN {
        printf "   a loop of 500 -o runs %.2f s: %.1fx -e\n", l / 1e9, l / 1e9 / e }'
    find "$work/library" -name '*.xspf' -delete
    echo
    query='genre:rock year:1970..1989' pattern='genre::^[[:alpha:]]ock$ artist::^\w+$'
    echo "7c. The same library, --match '$query' --sort=artist,year (a third of it, sorted as a"
    echo "   whole), then --match '$pattern' (regular expressions, a third of it), each against"
    echo "   the plain run: $((rounds * 2)) pairs, each first in every other pair, medians; processor time"
    echo "   too, which the load of other programs on the machine moves far less"
    pairs $((rounds * 2)) plain selected -- "$playlist" --no-cache "$work/library" -- \
        "$playlist" --no-cache --match="$query" --sort=artist,year "$work/library"
    echo "   $("$playlist" --no-cache --match="$query" "$work/library" | grep -c '<track>') tracks selected"
    pairs $((rounds * 2)) plain pattern -- "$playlist" --no-cache "$work/library" -- \
        "$playlist" --no-cache --match="$pattern" "$work/library"
    echo "   $("$playlist" --no-cache --match="$pattern" "$work/library" | grep -c '<track>') tracks selected"

    slowfs=$(dirname "$0")/../../shared/tools/slowfs
    echo
    echo "8. A share that waits 1 ms per operation (slowfs): the 1000 MP3 files of 5. against the"
    echo "   read floor with 16 reads in flight, medians of 3"
    if [ -e /dev/fuse ] && [ -x "$slowfs" ] && command -v fusermount3 >/dev/null; then
        mkdir "$work/share"
        "$slowfs" "$work/lib" "$work/share" 0.001 &
        for _ in $(seq 100); do [ -e "$work/share/video.mp4" ] && break; sleep 0.1; done
        for run in 1 2 3; do
            seconds sh -c 'exec "$0" "$1" 16 >/dev/null' "$work/floor" "$work/share" >>"$work/share-floor"
            seconds sh -c 'exec "$0" --no-cache "$1" >/dev/null' "$playlist" "$work/share" >>"$work/share-list"
        done
        fusermount3 -u "$work/share"
        wait
        ratio_of_medians "$work/share-floor" "$work/share-list" "" " (goal: at most 1.3x)"
    else
        echo "   not measured: no /dev/fuse, fusermount3 or $slowfs"
    fi

    echo
    echo "9. Hostile files: three MP4s whose sample tables ask for gigabytes of index, a 10 GB"
    echo "   sparse .mp3 of zeros, beside one good MP3: time and peak memory summed over every"
    echo "   process of the run"
    mkdir "$work/hostile"
    for count in 50000000 70000000 89000000; do
        python3 "$(dirname "$0")/../tests/greedy_mp4.py" "$work/hostile/$count.m4a" "$count"
    done
    truncate -s 10G "$work/hostile/zeros.mp3"
    cp "$work/one.mp3" "$work/hostile/good.mp3"
    python3 - "$playlist" --no-cache "$work/hostile" <<'PY'
import os, subprocess, sys, time
# Each process's peak (VmHWM), sampled until it ends; the run's figure is their sum.
start, peaks = time.time(), {}
run = subprocess.Popen(sys.argv[1:], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
def sample(pid):
    try:
        with open(f"/proc/{pid}/status") as status:
            fields = dict(line.split(":", 1) for line in status)
        if pid == run.pid or int(fields["PPid"]) == run.pid:
            peaks[pid] = max(peaks.get(pid, 0), int(fields["VmHWM"].split()[0]))
    except (OSError, KeyError, ValueError):
        pass
while run.poll() is None:
    for pid in os.listdir("/proc"):
        if pid.isdigit():
            sample(int(pid))
    time.sleep(0.005)
took, out = time.time() - start, run.stdout.read().decode()
good = [line for line in out.split("<track>") if "good.mp3" in line and "<duration>1" in line]
print(f"   {took:.1f} s, {sum(peaks.values()) / 1024:.0f} MiB in {len(peaks)} processes, the good file's"
      f" duration {'right' if good else 'wrong'} (goal: under 12 s and 1 GiB)")
PY

    echo
    echo "10. The readings' cache, runs alternating, medians of $rounds: the mixed library of 7., its"
    echo "    first run into an empty cache against --no-cache, and a second run against the read floor"
    cache=$work/readings.sqlite
    clear_cache() { rm -f "$cache" "$cache-wal" "$cache-shm"; }
    # The database and its log, which holds the last stores until it fills.
    cache_bytes() { cat "$cache" "$cache-wal" 2>/dev/null | wc -c; }
    for run in $(seq "$rounds"); do
        clear_cache
        seconds sh -c 'exec "$0" --cache="$1" "$2" >/dev/null' "$playlist" "$cache" "$work/library" >>"$work/first-ns"
        seconds sh -c 'exec "$0" --no-cache "$1" >/dev/null' "$playlist" "$work/library" >>"$work/uncached-ns"
        seconds sh -c 'exec "$0" "$1" >/dev/null' "$work/floor" "$work/library" >>"$work/floor-ns"
        seconds sh -c 'exec "$0" --cache="$1" "$2" >/dev/null' "$playlist" "$cache" "$work/library" >>"$work/second-ns"
    done
    awk -v u="$(median <"$work/uncached-ns")" -v f="$(median <"$work/first-ns")" 'BEGIN {
        printf "    first run: --no-cache %.2f s, into an empty cache %.2f s: %.2fx (goal: at most 1.1x)\n", u / 1e9, f / 1e9, f / u }'
    ratio_of_medians "$work/floor-ns" "$work/second-ns" " second run: " " (goal: at most 1.0x)"
    awk -v s="$(cache_bytes)" 'BEGIN { printf "    the cache: %.1f MiB for 10000 files, %.0f bytes a file\n", s / 1048576, s / 10000 }'
    echo "    -e over its 500 album folders: a second run against the first, into an empty cache"
    for run in $(seq "$rounds"); do
        clear_cache
        seconds "$playlist" --cache="$cache" -e "$work/library" >>"$work/each-first-ns"
        seconds "$playlist" --cache="$cache" -e "$work/library" >>"$work/each-second-ns"
    done
    find "$work/library" -name '*.xspf' -delete
    awk -v f="$(median <"$work/each-first-ns")" -v s="$(median <"$work/each-second-ns")" 'BEGIN {
        printf "    first -e %.2f s, second -e %.2f s: %.2fx\n", f / 1e9, s / 1e9, s / f }'
    if [ -e /dev/fuse ] && [ -x "$slowfs" ] && command -v fusermount3 >/dev/null; then
        echo "    The 1000 MP3 files of 5. on the share of 8., a second run against the read floor with"
        echo "    16 reads in flight, medians of 3"
        mkdir -p "$work/share"
        "$slowfs" "$work/lib" "$work/share" 0.001 &
        for _ in $(seq 100); do [ -e "$work/share/video.mp4" ] && break; sleep 0.1; done
        clear_cache
        "$playlist" --cache="$cache" "$work/share" >/dev/null
        for run in 1 2 3; do
            seconds sh -c 'exec "$0" "$1" 16 >/dev/null' "$work/floor" "$work/share" >>"$work/share-floor-16"
            seconds sh -c 'exec "$0" --cache="$1" "$2" >/dev/null' "$playlist" "$cache" "$work/share" >>"$work/share-second"
        done
        fusermount3 -u "$work/share"
        wait
        ratio_of_medians "$work/share-floor-16" "$work/share-second" " " " (goal: at most 0.5x)"
    fi
    echo "    The 100000 files of 6. (one folder under a 3.5 KB path, links to two files):"
    clear_cache
    took=$(seconds sh -c 'exec "$0" --cache="$1" "$2" >/dev/null' "$playlist" "$cache" "$deep/100000")
    awk -v t="$took" -v s="$(cache_bytes)" 'BEGIN {
        printf "    first run %.1f s; the cache %.1f MiB, %.0f bytes a file\n", t / 1e9, s / 1048576, s / 100000 }'
    echo
    echo "11. Tracks inside files. The mixed library of 7. with --chapters against without (its files"
    echo "    have no chapters: what looking costs), $((rounds * 2)) pairs, each first in every other pair,"
    echo "    medians; then 500 albums ripped as one FLAC with a cue sheet of 20 tracks each, against"
    echo "    the read floor of those files, medians of $rounds; both with --no-cache"
    pairs $((rounds * 2)) without --chapters -- "$playlist" --no-cache "$work/library" -- \
        "$playlist" --no-cache --chapters "$work/library"
    ffmpeg -v error -f lavfi -i sine=d=60 "$templates/image.flac"
    awk 'BEGIN { print "PERFORMER \"Band\""; print "TITLE \"Album\""; print "FILE \"image.flac\" WAVE"
                 for (t = 1; t <= 20; t++) printf "  TRACK %02d AUDIO\n    TITLE \"Track %d\"\n    INDEX 01 %02d:%02d:00\n", t, t, (t - 1) * 3 / 60, (t - 1) * 3 % 60 }' \
        >"$templates/image.cue"
    for album in $(seq 500); do
        mkdir -p "$work/cue/Album $album" && ln "$templates/image.flac" "$templates/image.cue" "$work/cue/Album $album/"
    done
    read -r -d '' floor_time list_time < <(medians --warmup 1 --runs "$rounds" \
        "$work/floor $work/cue" "$playlist --no-cache $work/cue") || true
    awk -v f="$floor_time" -v l="$list_time" -v n="$("$playlist" --no-cache "$work/cue" | grep -c '<track>')" 'BEGIN {
        printf "    500 cue albums, %d tracks: floor %.1f ms, lodrix-playlist %.1f ms: %.2fx the floor\n", n, f * 1e3, l * 1e3, l / f }'
    echo
    echo "12. Ten lists from one --lists file over the mixed library of 7. against one plain -o run of"
    echo "    it, $((rounds * 2)) pairs, each first in every other pair, medians; then the same ten lists as"
    echo "    ten runs against the --lists run, medians of $rounds; all with --no-cache"
    mkdir "$work/lists"
    cat >"$work/lists/lists.txt" <<EOF
all.xspf
rock.m3u8 --match=genre:rock
jazz.xspf --match=genre:=~jazz --sort=artist,title
seventies.m3u8 --match=year:1970..1979
long.m3u8 --match=length:2..
flac.m3u8 --match=path::\\.flac\$ --paths=relative
newest.m3u8 --sort=-mtime --limit=100
hour.xspf --shuffle --seed=1 --limit=1h
xing.xspf --order=tags --match=artist:xing
phone.m3u8 --prefix=$work/library=/storage/sdcard1/Music
EOF
    GOAL=1.3 pairs $((rounds * 2)) plain lists -- "$playlist" --no-cache -o "$work/lists/plain.xspf" "$work/library" -- \
        "$playlist" --no-cache --lists="$work/lists/lists.txt" "$work/library"
    for run in $(seq "$rounds"); do
        seconds "$playlist" --no-cache --lists="$work/lists/lists.txt" "$work/library" >>"$work/lists-ns"
        seconds sh -c 'while read -r name options; do
            eval "\"\$0\" --no-cache -o \"\$1/\$name\" $options \"\$2\"" || exit; done <"$1/lists.txt"' \
            "$playlist" "$work/lists" "$work/library" >>"$work/ten-ns"
    done
    awk -v l="$(median <"$work/lists-ns")" -v t="$(median <"$work/ten-ns")" 'BEGIN {
        printf "    one --lists run %.2f s, ten runs %.2f s: %.1fx\n", l / 1e9, t / 1e9, t / l }'

    if [ -n "${BEFORE:-}" ]; then
        echo
        echo "13. This build against BEFORE ($BEFORE), $((rounds * 2)) pairs each, each first in every"
        echo "    other pair, medians: the mixed library of 7. and its first 1000 files with --no-cache,"
        echo "    a second run from each build's own cache, 7c's selection, and 7b's -e"
        before_cache=$work/before.sqlite this_cache=$work/this.sqlite
        "$BEFORE" --cache="$before_cache" "$work/library" >/dev/null
        "$playlist" --cache="$this_cache" "$work/library" >/dev/null
        export GOAL=1.03
        for what in "1000 files" "10000 files" "second run" selection each; do
            echo "    $what:"
            case $what in
            "1000 files") set -- --no-cache "$work/library1000" ;;
            "10000 files") set -- --no-cache "$work/library" ;;
            selection) set -- --no-cache --match="$query" --sort=artist,year "$work/library" ;;
            each) set -- --no-cache -e "$work/library" ;;
            *) set -- "$work/library" ;;
            esac
            if [ "$what" = "second run" ]; then
                pairs $((rounds * 2)) before this -- "$BEFORE" --cache="$before_cache" "$@" -- \
                    "$playlist" --cache="$this_cache" "$@"
            else
                pairs $((rounds * 2)) before this -- "$BEFORE" "$@" -- "$playlist" "$@"
            fi
        done
        find "$work/library" -name '*.xspf' -delete
    fi

    echo
    echo "14. Text in other code pages, against the build before (BEFORE=path/to/it): the mixed library"
    echo "    of 7 (all of its text UTF-8: what looking costs; goal: within 2%), then a copy whose"
    echo "    MP3s without cover art (half the library) hold ID3v1 tags in Windows-1251 only (each"
    echo "    such file's texts detected and decoded); $((rounds * 2)) pairs, each first in every other"
    echo "    pair, medians; both with --no-cache"
    if [ -x "${BEFORE:-}" ]; then
        pairs $((rounds * 2)) before this 1.02 -- "$BEFORE" --no-cache "$work/library" -- \
            "$playlist" --no-cache "$work/library"
        for kind in xing no-xing; do
            for seconds in 1.3 2.1 2.9; do
                ffmpeg -v error -i "$templates/$kind $seconds.mp3" -map 0:a -c copy -id3v2_version 0 \
                    -write_xing "$([ "$kind" = xing ] && echo 1 || echo 0)" "$templates/$kind-1251 $seconds.mp3"
                python3 -c 'import sys
texts = [text.encode("cp1251").ljust(30, b"\0") for text in ("Группа крови", "Кино", "Звезда по имени Солнце")]
open(sys.argv[1], "ab").write(b"TAG" + b"".join(texts) + b"1989" + bytes(30) + b"\xff")' "$templates/$kind-1251 $seconds.mp3"
            done
        done
        cp -r "$work/library" "$work/library1251"
        python3 - "$templates" "$work/library1251" <<'PY'
import os, shutil, sys
templates, library = sys.argv[1:]
for n in range(10000):
    if n % 20 < 10:
        kind = "xing" if n % 20 < 5 else "no-xing"
        album = os.path.join(library, f"Artist {n // 200}", f"Album {n // 20}")
        shutil.copyfile(os.path.join(templates, f"{kind}-1251 {('1.3', '2.1', '2.9')[n % 3]}.mp3"),
                        os.path.join(album, f"{n % 20 + 1:02d} Track.mp3"))
PY
        pairs $((rounds * 2)) before this -- "$BEFORE" --no-cache "$work/library1251" -- \
            "$playlist" --no-cache "$work/library1251"
        echo "   titles read: $("$playlist" --no-cache "$work/library1251" | grep -c '<title>Группа крови</title>') of 5000"
    else
        echo "   not measured: BEFORE names no program"
    fi
}
