#!/bin/sh
# lodrix-playlist's runs cut short and its readers: -o on a full disk and ended by a signal,
# readers killed and stopped, a file that asks for gigabytes. Then the readings' cache: what it
# keeps and reads again, a cache that is damaged, read-only, full, shared or locked, a run killed.
# Usage: lodrix_playlist_runs.sh LODRIX_PLAYLIST VLC_LOAD LODRIX
set -u
program=$1 load=$2 lodrix=$3
. "$(dirname "$0")/common.sh"
need xmllint ffmpeg ffprobe runuser
. "$(dirname "$0")/playlist_setup.sh"
# Made early: the reading of a file changed within 3 s before a run is not kept. Ten thousand
# links to one file, files to rewrite with new tags of the same size, and the tagged folder.
tenfold() { mkdir "$2" && for i in 0 1 2 3 4 5 6 7 8 9; do cp -al "$1" "$2/$i" || exit 1; done; }
mkdir -p "$work/1" "$work/small" "$work/kept" "$work/cached" "$work/retagged" && write_wav "$work/1/a.wav" 10 || exit 1
tenfold "$work/1" "$work/10" && tenfold "$work/10" "$work/100" && tenfold "$work/100" "$work/1000" &&
    tenfold "$work/1000" "$work/10000"
for tag in a b c; do
    ffmpeg -nostdin -v error -f lavfi -i sine=d=0.5 -metadata title="$tag 1" "$work/cached/$tag.mp3" &&
        ffmpeg -nostdin -v error -f lavfi -i sine=d=0.5 -metadata title="$tag 2" "$work/retagged/$tag.mp3" || exit 1
done
make_tags && make_sine && chmod -R a+rX "$work" || exit 1

# With -o, a full disk and a SIGTERM in the middle leave the old playlist as it was and no
# temporary file. A thousand files make a list larger than the small file system, ten
# thousand a run long enough to be stopped.
if [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
    unshare -m sh -c 'mount -t tmpfs -o size=64k tmpfs "$1" && echo old >"$1/all.xspf" || exit 99
        "$2" -o "$1/all.xspf" "$3" 2>"$4"
        [ $? = 2 ] && [ "$(cat "$1/all.xspf")" = old ] && [ "$(ls -A "$1")" = all.xspf ]' \
        sh "$work/small" "$program" "$work/1000" "$work/err" || fail "-o on a full disk: $(cat "$work/err")"
    grep -qx 'lodrix-playlist: error writing the output: No space left on device' "$work/err" ||
        fail "-o on a full disk: $(cat "$work/err")"
else
    echo "SKIP (full disk with -o): a small file system can be mounted only by root with unshare"
fi
# The readers: one killed (as by a crash) and one stopped while the run works leave the list
# whole, every file but the ones they were reading read again (under AddressSanitizer a crash
# is an exit, not a signal); with -o, SIGTERM and SIGKILL at any moment leave the old playlist
# as it was and no other file. The readings of the files they were reading are not kept.
readers() { awk -v parent="$1" '$4 == parent { print $1 }' /proc/[0-9]*/stat 2>/dev/null; }
# From here on the trees made early are old enough for the runs to keep their readings.
settled "$work/10000" "$work/cached" "$tags"
"$program" --cache="$work/readers.sqlite" "$work/10000" >"$work/out" 2>"$work/err" &
pid=$!
for _ in $(seq 500); do [ "$(readers $pid | wc -l)" -ge 2 ] && break; sleep 0.01; done
set -- $(readers $pid) none none
kill -SEGV "$1"; kill -STOP "$2"
wait $pid
[ $? = 0 ] && [ "$(grep -c '<duration>10<' "$work/out")" -ge 9998 ] && [ "$(grep -c '<track>' "$work/out")" = 10000 ] &&
    ! grep -v -e ': cannot be read, duration 0: not read to its end after 10 s' -e ': cannot be read, duration 0: reader process ended by signal SIGSEGV' \
        -e ': cannot be read, duration 0: reader process ended early' "$work/err" ||
    fail "a killed and a stopped reader: not the whole list with status 0: $(cat "$work/err")"
xmllint --xpath "//*[local-name()='location' or local-name()='duration']/text()" "$work/out" | paste - - |
    awk -F '\t' '$2 == 10 { print substr($1, 8) }' | LC_ALL=C sort >"$work/measured"
kept "$work/readers.sqlite" | diff "$work/measured" - >/dev/null || fail "not kept as read: $(kept "$work/readers.sqlite" | wc -l) files"
for signal in TERM KILL; do
    echo old >"$work/kept/all.xspf"
    "$program" --no-cache -o "$work/kept/all.xspf" "$work/10000" 2>/dev/null &
    pid=$!
    # A stopped reader holds the run (for 10 s) until the signal comes, however fast it reads.
    for _ in $(seq 500); do [ -n "$(readers $pid)" ] && break; sleep 0.01; done
    reader=$(readers $pid | head -n 1)
    kill -STOP $reader 2>/dev/null
    kill -$signal $pid
    wait $pid
    status=$?
    # A reader stopped before it took the run's end for its own ends once it runs again.
    kill -CONT $reader 2>/dev/null
    for _ in $(seq 100); do kill -0 $reader 2>/dev/null || break; sleep 0.05; done
    [ $status -gt 128 ] && [ "$(cat "$work/kept/all.xspf")" = old ] && [ "$(ls -A "$work/kept")" = all.xspf ] &&
        ! kill -0 $reader 2>/dev/null ||
        fail "-o ended by SIG$signal: status $status, the old playlist, no stray file or reader: $(ls -A "$work/kept")"
done

# An MP4 of a few hundred bytes whose sample table asks for gigabytes of index beside good
# files: the run stays small and quick, the good files' durations right.
python3 "$(dirname "$0")/greedy_mp4.py" "$work/greedy/a.m4a" 89000000 || exit 1
cp "$work/sine.mp3" "$work/greedy/b.mp3" && cp "$work/1/a.wav" "$work/greedy/c.wav" || exit 1
python3 -c 'import resource, subprocess, sys, time
start = time.time(); out = subprocess.run(sys.argv[1:], capture_output=True).stdout.decode()
seconds, kib = time.time() - start, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
durations = [line.strip()[10:-11] for line in out.splitlines() if "<duration>" in line]
print(f"{seconds:.1f} s, {kib} KiB, durations {durations}")
sys.exit(0 if seconds < 5 and kib < 400 * 1024 and durations[1:] == [sys.argv[3], "10"] else 1)' \
    "$program" "$work/greedy" "$probed" >"$work/greedy.txt" || fail "a greedy MP4: $(cat "$work/greedy.txt")"

# The readings' cache. A second run writes the first one's bytes, from the cache: a kept reading
# changed in the database with its checksum shows; changed without it, the file is read again,
# with one message. A file rewritten with new tags of the same size, and one replaced by another
# of the same size and time, are read again.
titles() { xmllint --xpath "//*[local-name()='title' or local-name()='duration']/text()" "$1" | tr '\n' ' '; }
# set_duration DATABASE FOLDER NAME [checksum]: the kept reading's duration 4242 ms, the number
# after the outcome and the error, seven bits a byte (0x92 0x21); with "checksum", its checksum
# (CRC-32 over the folder, the name, the key's seven numbers and the reading) made anew.
set_duration() { python3 -c 'import sqlite3, struct, sys, zlib
database = sqlite3.connect(sys.argv[1])
where = " WHERE name = ? AND folder = (SELECT id FROM folders WHERE path = ?)"
key = (sys.argv[3].encode(), sys.argv[2].encode())
row = database.execute("SELECT device, inode, size, modified_ns, changed_ns, version, fingerprint, reading FROM readings" + where, key).fetchone()
end = 2
while row[7][end] & 0x80:
    end += 1
reading = row[7][:2] + bytes([0x92, 0x21]) + row[7][end + 1:]
checksum = zlib.crc32(key[1] + b"\0" + key[0] + b"\0" + struct.pack("<7q", *row[:7]) + reading)
database.execute("UPDATE readings SET reading = ?, checksum = " + ("?" if len(sys.argv) > 4 else "checksum + 0 * ?") + where,
                 (reading, checksum) + key)
database.commit()' "$@"; }
"$program" "$tags" "$work/cached" >"$work/first.xspf" 2>"$work/err" && "$program" "$tags" "$work/cached" >"$work/out" &&
    cmp -s "$work/first.xspf" "$work/out" || fail "a second run: other bytes $(cat "$work/err")"
set_duration "$work/cache/lodrix/readings.sqlite" "$work/cached" b.mp3 &&
    set_duration "$work/cache/lodrix/readings.sqlite" "$work/cached" c.mp3 checksum || exit 1
"$program" "$work/cached" >"$work/first.xspf" 2>"$work/err"
[ "$(cat "$work/err")" = "lodrix-playlist: $work/cache/lodrix/readings.sqlite: damaged entries in the cache, read again" ] ||
    fail "a reading changed without its checksum: $(cat "$work/err")"
[ "$(wc -c <"$work/cached/a.mp3")" = "$(wc -c <"$work/retagged/a.mp3")" ] &&
    [ "$(wc -c <"$work/cached/b.mp3")" = "$(wc -c <"$work/retagged/b.mp3")" ] || exit 1
cat "$work/retagged/a.mp3" >"$work/cached/a.mp3" && cp "$work/retagged/b.mp3" "$work/cached/.b.mp3" &&
    touch -r "$work/cached/b.mp3" "$work/cached/.b.mp3" && mv "$work/cached/.b.mp3" "$work/cached/b.mp3" || exit 1
"$program" "$work/cached" >"$work/out"
titles "$work/first.xspf" | sed 's/ a 1 / a 2 /; s/ b 1 / b 2 /' | diff - "$(titles "$work/out" >"$work/got"; echo "$work/got")" &&
    grep -q ' c 1 4242 ' "$work/got" || fail "the cache: not the kept reading (c 1 4242), or an old one"
# The cache never fails a run nor changes its list: a damaged database is moved aside, one that
# cannot be written is one message; two runs at once both work; --no-cache makes none.
"$program" --no-cache "$work/cached" >"$work/expected.xspf" && "$program" --no-cache "$work/1000" >"$work/expected-1000.xspf" ||
    exit 1
echo 'no database' >"$work/other.sqlite" && mkdir -m 555 "$work/readonly" || exit 1
"$program" --cache="$work/other.sqlite" "$work/cached" >"$work/out" 2>"$work/err" && cmp -s "$work/expected.xspf" "$work/out" &&
    [ "$(cat "$work/err")" = "lodrix-playlist: $work/other.sqlite: not a lodrix cache, going on without it" ] &&
    [ "$(cat "$work/other.sqlite")" = "no database" ] && [ "$(ls "$work"/other.sqlite*)" = "$work/other.sqlite" ] ||
    fail "another program's file as the cache: $(cat "$work/err")"
$as_user env XDG_CACHE_HOME="$work/readonly" "$program" "$work/cached" >"$work/out" 2>"$work/err" &&
    cmp -s "$work/expected.xspf" "$work/out" &&
    [ "$(cat "$work/err")" = "lodrix-playlist: $work/readonly/lodrix/readings.sqlite: cache not usable, going on without it: Permission denied" ] ||
    fail "a read-only cache folder: $(cat "$work/err")"
if [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
    unshare -m sh -c 'mount -t tmpfs -o size=1m tmpfs "$1" && "$2" --cache="$1/readings.sqlite" "$3" >/dev/null || exit 99
        head -c 2m /dev/zero >"$1/filler" 2>/dev/null
        "$2" --cache="$1/readings.sqlite" "$4" >"$5.xspf" 2>"$5"' sh "$work/small" "$program" "$work/cached" "$work/1000" "$work/err" &&
        cmp -s "$work/expected-1000.xspf" "$work/err.xspf" &&
        [ "$(cat "$work/err")" = "lodrix-playlist: $work/small/readings.sqlite: cache not usable, going on without it: No space left on device" ] ||
        fail "a cache on a full disk: $(cat "$work/err")"
else
    echo "SKIP (a cache on a full disk): a small file system can be mounted only by root with unshare"
fi
"$program" --cache="$work/shared.sqlite" "$work/1000" >"$work/one.xspf" 2>"$work/one.err" &
pid=$!
"$program" --cache="$work/shared.sqlite" "$work/1000" >"$work/two.xspf" 2>"$work/two.err" && wait $pid &&
    cmp -s "$work/expected-1000.xspf" "$work/one.xspf" && cmp -s "$work/expected-1000.xspf" "$work/two.xspf" &&
    [ ! -s "$work/one.err" ] && [ ! -s "$work/two.err" ] && [ "$(kept "$work/shared.sqlite" | wc -l)" = 1000 ] ||
    fail "two runs at once: $(cat "$work/one.err" "$work/two.err")"
# The other run holds a new database's write lock as this one switches it to its log.
python3 -c 'import sqlite3, sys, time
held = sqlite3.connect(sys.argv[1], isolation_level=None); held.execute("BEGIN IMMEDIATE")
print(flush=True); time.sleep(0.5); held.execute("COMMIT")' "$work/held.sqlite" |
    { read -r _ && "$program" --cache="$work/held.sqlite" "$work/1000" >"$work/out" 2>"$work/err"; } &&
    cmp -s "$work/expected-1000.xspf" "$work/out" && [ ! -s "$work/err" ] && [ "$(kept "$work/held.sqlite" | wc -l)" = 1000 ] ||
    fail "a new database's lock held: $(cat "$work/err")"
XDG_CACHE_HOME=$work/none "$program" --no-cache "$work/cached" >/dev/null && [ ! -e "$work/none" ] || fail "--no-cache made a cache"
# Where the change time is the modification time (exFAT, FAT; the suite's hook makes any file
# system look like one), a file retagged in place, its size and time kept, is read again.
mkdir "$work/stick" && cp -p "$work/cached/c.mp3" "$work/stick/a.mp3" && touch -r "$work/stick/a.mp3" "$work/stamp" &&
    [ "$(wc -c <"$work/stick/a.mp3")" = "$(wc -c <"$work/retagged/b.mp3")" ] || exit 1
LODRIX_TEST_NO_CHANGE_TIME=1 "$program" --cache="$work/stick.sqlite" "$work/stick" >/dev/null &&
    cat "$work/retagged/b.mp3" >"$work/stick/a.mp3" && touch -r "$work/stamp" "$work/stick/a.mp3" || exit 1
LODRIX_TEST_NO_CHANGE_TIME=1 "$program" --cache="$work/stick.sqlite" "$work/stick" >"$work/out" 2>"$work/err"
"$program" --no-cache "$work/stick" >"$work/stick.xspf"
[ "$(titles "$work/out")" = "$(titles "$work/stick.xspf")" ] && grep -q '<title>b 2<' "$work/out" && [ ! -s "$work/err" ] &&
    [ "$(kept "$work/stick.sqlite")" = "$work/stick/a.mp3" ] ||
    fail "retagged in place on a file system without change times: $(titles "$work/out") $(cat "$work/err")"
# Another process holds the database for 10 s, for its writes (BEGIN EXCLUSIVE) or whole (in
# exclusive locking mode, which readers wait for too): the run takes less than a second longer
# than beside a free one, with one message, and writes the same list.
now_ms() { date +%s%3N; }
for mode in NORMAL EXCLUSIVE; do
    rm -f "$work"/free.sqlite* "$work"/locked.sqlite* "$work/holder"
    "$program" --cache="$work/free.sqlite" "$work/1" >/dev/null && "$program" --cache="$work/locked.sqlite" "$work/1" >/dev/null || exit 1
    start=$(now_ms) && "$program" --cache="$work/free.sqlite" "$work/1000" >/dev/null && free_ms=$(($(now_ms) - start)) || exit 1
    python3 -c 'import sqlite3, sys, time
held = sqlite3.connect(sys.argv[1], isolation_level=None); held.execute("PRAGMA locking_mode = " + sys.argv[2])
held.execute("BEGIN EXCLUSIVE"); held.execute("SELECT count(*) FROM readings").fetchone()
print(flush=True); time.sleep(10)' "$work/locked.sqlite" $mode >"$work/holder" &
    holder=$!
    for _ in $(seq 100); do [ -s "$work/holder" ] && break; sleep 0.05; done
    start=$(now_ms) && "$program" --cache="$work/locked.sqlite" "$work/1000" >"$work/out" 2>"$work/err"
    locked_ms=$(($(now_ms) - start))
    kill $holder && wait $holder
    cmp -s "$work/expected-1000.xspf" "$work/out" && [ "$locked_ms" -lt $((free_ms + 1000)) ] &&
        [ "$(cat "$work/err")" = "lodrix-playlist: $work/locked.sqlite: cache locked by another process, going on without waiting" ] ||
        fail "a database another process holds ($mode): $locked_ms ms against $free_ms ms, $(cat "$work/err")"
done
# A run killed part way (kill -9) has kept what it read: stores come at least once a second.
# Its list is held up by a pipe nobody reads; the next run reads only the files not kept, and
# takes a kept reading from the database.
mkfifo "$work/stalled" && { sleep 60 <"$work/stalled" & } || exit 1
stalled=$!
"$program" --cache="$work/killed.sqlite" "$work/10000" >"$work/stalled" 2>/dev/null &
pid=$!
count_kept() { python3 -c 'import sqlite3, sys; print(sqlite3.connect(sys.argv[1]).execute("SELECT count(*) FROM readings").fetchone()[0])' "$1" 2>/dev/null; }
for _ in $(seq 100); do [ "$(count_kept "$work/killed.sqlite")" -gt 0 ] 2>/dev/null && break; sleep 0.1; done
sleep 1.5 && kill -9 $pid && kill $stalled
wait $pid $stalled 2>/dev/null
stored=$(count_kept "$work/killed.sqlite") first=$(kept "$work/killed.sqlite" | head -n 1) read_again=none
if [ "${stored:-0}" -gt 0 ] && set_duration "$work/killed.sqlite" "${first%/*}" a.wav checksum; then
    if command -v strace >/dev/null; then
        strace -f -e trace=openat -o "$work/opened" "$program" --cache="$work/killed.sqlite" "$work/10000" >"$work/out" 2>/dev/null
        read_again=$(grep -c '/a\.wav", O_RDONLY' "$work/opened")
    else
        "$program" --cache="$work/killed.sqlite" "$work/10000" >"$work/out" && read_again=$((10000 - stored))
    fi
fi
[ "${stored:-0}" -gt 0 ] && [ "$stored" -lt 10000 ] && [ "$read_again" = $((10000 - stored)) ] &&
    [ "$(grep -c '<duration>4242<' "$work/out")" = 1 ] ||
    fail "a killed run: ${stored:-no} readings kept, $read_again files read again of 10000"

[ "$failures" = 0 ] && echo "lodrix-playlist: -o and the readers through full disks, signals and a greedy file, the readings' cache as it should be"
exit "$failures"
