#!/bin/sh
# The Windows build: cross-built with MinGW-w64, run under Wine on the case table with CR LF
# line ends, wildcard expansion and UTF-8 arguments and working directory.
# lodrix-playlist.exe on a tree of real files against the Linux build, and the Windows zip.
# Usage: windows.sh build SOURCE_DIR BUILD_DIR | windows.sh suite SOURCE_DIR BUILD_DIR RUNNER CASES
#        | windows.sh playlist SOURCE_DIR BUILD_DIR LINUX_LODRIX_PLAYLIST
set -u
step=$1 source=$2 build=$3
. "$(dirname "$0")/common.sh"
need x86_64-w64-mingw32-g++-posix wine wineserver wineboot winepath setsid
export WINEDEBUG=-all WINEPREFIX="$build/wineprefix" LC_ALL=C.UTF-8

case $step in
build)
    cmake -S "$source" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-w64-x86_64.cmake" \
        -DLODRIX_TESTS=OFF >/dev/null && cmake --build "$build" || exit 1
    # A server that a run starts inherits the test's pipes and holds them for seconds: start
    # one that stays, detached, and let wineboot set up the prefix once.
    mkdir -p "$WINEPREFIX"
    setsid wineserver -p </dev/null >/dev/null 2>&1
    wineboot -i </dev/null >/dev/null 2>&1 ;;
suite)
    runner=$4 cases=$5 exe=$build/lodrix.exe
    trap 'wineserver -k 2>/dev/null' EXIT
    "$runner" "$cases" "$exe" --crlf --launcher wine --argv0 "$(winepath -w "$exe")" || exit 1

    work=$(mktemp -d) || exit 1
    trap 'rm -rf "$work"; wineserver -k 2>/dev/null' EXIT
    folder="$work/Grüße"
    mkdir "$folder" && touch "$folder/b.mp3" "$folder/a.mp3"
    (cd "$folder" && wine "$exe" '*.mp3' -p) >"$work/got" || exit 1
    # No PWD under Wine: -p takes the working directory, in UTF-8 like the arguments, as the
    # path of a file URI that VLC on Windows opens.
    printf '  <track>\r\n   <location>file:///%s/a.mp3</location>\r\n' "$(winepath -w "$folder" | tr '\\' /)" >"$work/expected"
    printf '   <duration>0</duration>\r\n' >>"$work/expected"
    printf '   <extension application="http://www.videolan.org/vlc/playlist/0">\r\n' >>"$work/expected"
    printf '    <vlc:id>b.mp3</vlc:id>\r\n   </extension>\r\n  </track>\r\n\r\n' >>"$work/expected"
    cmp "$work/expected" "$work/got" || { diff "$work/expected" "$work/got"; exit 1; }
    echo "'*.mp3' -p in $folder: a.mp3 b.mp3, the folder in UTF-8; a line end reads:"
    od -c "$work/got" | sed -n 1p

    # The README's cmd loop makes the playlist its sh loop makes, but for Z: and CR LF, on
    # names that both list in the same order.
    music="$work/Musik & 100%" && mkdir "$music" || exit 1
    for name in "1 Tom & Jerry" "2 100% a%41" "3 Hey!" "4 Grüße ^x" "5 a  b"; do : >"$music/$name.mp3"; done
    readme=$(dirname "$0")/../README.md
    awk '/^```bat$/ { on = 1; next } /^```$/ { on = 0 } on { print $0 "\r" }' "$readme" >"$work/playlist.bat"
    awk '/^```sh$/ { on = 1; next } /^```$/ { on = 0 } on' "$readme" |
        sed -e "s|cd /music|cd \"\$music\"|" -e "s|~/music.xspf|\"\$work/sh.xspf\"|" >"$work/loop.sh"
    mkdir "$work/bin" && cp "$exe" "$work/bin/lodrix.exe" && ln -s "$(dirname "$runner")/../lodrix" "$work/bin/lodrix" ||
        exit 1
    PATH=$work/bin:$PATH music=$music work=$work sh "$work/loop.sh" || { echo "the sh loop failed"; exit 1; }
    (cd "$music" && WINEPATH=$(winepath -w "$work/bin") wine cmd /c "$(winepath -w "$work/playlist.bat")" </dev/null) ||
        { echo "the cmd loop failed"; exit 1; }
    tr -d '\r' <"$work/music.xspf" | sed 's,file:///Z:/,file:///,' | diff "$work/sh.xspf" - ||
        { echo "the cmd loop made another playlist than the sh loop"; exit 1; }
    grep -q "$(printf '\r$')" "$work/music.xspf" || { echo "the cmd loop's playlist has no CR LF"; exit 1; }
    echo "the README's cmd loop: the sh loop's playlist of $(grep -c '<track>' "$work/sh.xspf") names with & % ! ^ and umlauts, but for Z: and CR LF" ;;
playlist)
    linux=$4 exe=$build/lodrix-playlist.exe
    [ -x "$exe" ] || skip "no lodrix-playlist.exe: the FFmpeg for MinGW-w64 is missing (tools/build-ffmpeg mingw)"
    need xmllint ffmpeg python3 script
    work=$(mktemp -d) || exit 1
    trap 'rm -rf "$work"; wineserver -k 2>/dev/null' EXIT
    # The Linux build keeps its readings in the scratch folder; the .exe in the Wine prefix's
    # %LOCALAPPDATA%, or where --cache names.
    export XDG_CACHE_HOME="$work/cache"
    # The names Windows allows, in a folder with an umlaut, "#" and "%"; formats that need
    # the headers, a probe of the streams (no Xing header, ADTS, AC-3, M2TS as .mts) and the
    # content (M4A as .mp3).
    tree="$work/Müsik #1 100%" failures=0
    mkdir -p "$tree/Album [2] & Co" || exit 1
    for name in "Track 2.wav" "Track 10.wav" "h#1 100% &amp;.wav" "Grüße Ärger.wav"; do write_wav "$tree/$name" 250; done
    sine="-nostdin -v error -f lavfi -i sine=d=1.2345"
    # shellcheck disable=SC2086
    ffmpeg $sine "$tree/Album [2] & Co/xing.mp3" && ffmpeg $sine -write_xing 0 "$tree/Album [2] & Co/no xing.mp3" &&
        ffmpeg $sine "$tree/Album [2] & Co/a.flac" && ffmpeg $sine "$tree/Album [2] & Co/a.opus" &&
        ffmpeg $sine "$tree/Album [2] & Co/a.aac" && ffmpeg $sine "$tree/Album [2] & Co/a.m4a" &&
        ffmpeg $sine "$tree/Album [2] & Co/a.ac3" && ffmpeg $sine -mpegts_m2ts_mode 1 "$tree/Album [2] & Co/a.mts" &&
        ffmpeg $sine "$tree/Album [2] & Co/a.tta" && cp "$tree/Album [2] & Co/a.m4a" "$tree/Album [2] & Co/m4a.mp3" || exit 1
    # Tracks inside files: a cue album in Windows-1252 with CR LF, and a book with chapters.
    mkdir "$tree/Cue" && write_wav "$tree/Cue/image.wav" 3000 &&
        printf 'TITLE "Caf\351"\r\nFILE "image.wav" WAVE\r\nTRACK 01 AUDIO\r\nINDEX 01 00:00:00\r\nTRACK 02 AUDIO\r\nTITLE "Zw\366lf"\r\nINDEX 01 00:01:30\r\nTRACK 03 AUDIO\r\nINDEX 01 00:02:00\r\n' \
            >"$tree/Cue/image.cue" &&
        printf ';FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=600\ntitle=Eins\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=600\nEND=1234\ntitle=Zwei\n' \
            >"$work/chapters" && ffmpeg $sine -i "$work/chapters" -map 0 -map_chapters 1 "$tree/Cue/book.m4b" || exit 1
    # Sheets in code pages and in UTF-16, ID3v1 tags in code pages: the same text on both.
    enc="$tree/Encodings"
    # shellcheck disable=SC2086
    write_rip "$enc/GBK" eac gbk 王菲 唱游 "王菲 - 唱游.wav" "打误|人间|催眠" &&
        write_rip "$enc/Shift-JIS" eac cp932 久石譲 久石譲作品集 "久石譲 - ソナチネ.wav|久石譲 - あの夏へ.wav" "ソナチネ|あの夏へ" &&
        write_rip "$enc/1251" foobar2000 cp1251 Кино "Группа крови" "01. Сторона А.wav|02. Сторона Б.wav" \
            "Группа крови|Закрой за мной дверь" &&
        write_rip "$enc/UTF-16" eac utf-16 "서태지와 아이들" "서태지와 아이들" "1집.wav" "난 알아요|환상 속의 그대" &&
        write_rip "$enc/UTF-16BE" foobar2000 utf-16-be 周杰倫 七里香 "七里香.wav" "我的地盤|七里香" &&
        ffmpeg $sine -id3v2_version 0 "$enc/k.mp3" && id3v1 "$enc/k.mp3" cp1251 "Группа крови" Кино "Группа крови" &&
        ffmpeg $sine -id3v2_version 0 "$enc/l.mp3" && id3v1 "$enc/l.mp3" gbk 月亮代表我的心 邓丽君 "邓丽君 15周年" || exit 1
    made=$(date +%s)
    # Standard output (with --chapters), then -o into the tree: the same bytes as the Linux
    # build, but for the drive Wine gives the root, Z:, and CR LF line ends.
    # The first under Wine's heap checks: a block freed twice or from another thread's heap
    # (a reader thread's ending once freed memory another reader still used) is a warning
    # there long before it is a crash, and a crash is caught whatever the status says.
    (cd "$tree" && WINEDEBUG=-all,warn+heap wine "$exe" --chapters . >"$work/windows.xspf" 2>"$work/heap.log") ||
        echo "lodrix-playlist.exe --chapters failed"
    if grep -q 'warn:heap' "$work/heap.log" || grep -q "Unhandled exception" "$work/heap.log" "$work/windows.xspf"; then
        echo "lodrix-playlist.exe --chapters under WINEDEBUG=warn+heap:"
        grep -m 5 -e "warn:heap" -e "Unhandled exception" "$work/heap.log" "$work/windows.xspf"
        failures=$((failures + 1))
    fi
    (cd "$tree" && wine "$exe" -o all.xspf "$tree" && mv all.xspf "$work/windows-o.xspf") ||
        { echo "lodrix-playlist.exe failed"; exit 1; }
    (cd "$tree" && "$linux" --chapters . >"$work/linux.xspf" && "$linux" -o all.xspf "$tree" && mv all.xspf "$work/linux-o.xspf") ||
        exit 1
    for form in "" -o; do
        xmllint --noout "$work/windows$form.xspf" || failures=$((failures + 1))
        grep -q "$(printf '\r$')" "$work/windows$form.xspf" || { echo "no CR LF line ends"; failures=$((failures + 1)); }
        tr -d '\r' <"$work/windows$form.xspf" | sed 's,file:///Z:/,file:///,' | diff "$work/linux$form.xspf" - ||
            { echo "lodrix-playlist.exe $form wrote other bytes than the Linux build"; failures=$((failures + 1)); }
    done
    # 14 files whole, the cue album's 3 tracks and the book's 2 chapters; of the encodings, 2
    # ID3v1 files and 4 a sheet's files whole, and 3 sheets' 7 parts.
    grep -c "<location>file:///Z:/" "$work/windows.xspf" | grep -qx 32 && ! grep -q '<location>file:' "$work/windows-o.xspf" &&
        grep -c '<vlc:option>start-time=' "$work/windows.xspf" | grep -qx 7 ||
        { echo "not 32 file:///Z:/ locations with 7 parts started later, or -o not relative"; failures=$((failures + 1)); }
    for text in 打误 ソナチネ "Закрой за мной дверь" "환상 속의 그대" 我的地盤 "Группа крови" 邓丽君; do
        grep -q "<title>$text</title>\|<creator>$text</creator>" "$work/windows.xspf" ||
            { echo "lodrix-playlist.exe: no $text"; failures=$((failures + 1)); }
    done
    # --encoding reaches the Windows readers as the Linux ones: every text that is not UTF-8 read
    # in Windows-1251, the GBK and Shift-JIS sheets too, alike on both.
    (cd "$tree" && wine "$exe" --no-cache --encoding=windows-1251 . | tr -d '\r' | sed 's,file:///Z:/,file:///,' \
        >"$work/windows-1251.xspf" && "$linux" --no-cache --encoding=windows-1251 . >"$work/linux-1251.xspf" &&
        "$linux" --no-cache . >"$work/linux-detected.xspf") &&
        ! cmp -s "$work/linux-1251.xspf" "$work/linux-detected.xspf" &&
        diff "$work/linux-1251.xspf" "$work/windows-1251.xspf" >/dev/null ||
        { echo "--encoding=windows-1251: not the Linux build's bytes, or the same as detected"; failures=$((failures + 1)); }
    # A seed shuffles alike on both (the generator is integer arithmetic of our own), and a
    # regular expression reads UTF-8 alike (it leaves out "Grüße Ärger.wav").
    shuffled="--match=^path::[[:alpha:]]rger --shuffle --seed=42 ."
    # shellcheck disable=SC2086
    (cd "$tree" && wine "$exe" $shuffled | tr -d '\r' | sed 's,file:///Z:/,file:///,' >"$work/windows-shuffled.xspf" &&
        "$linux" $shuffled >"$work/linux-shuffled.xspf") || { echo "$shuffled failed"; failures=$((failures + 1)); }
    grep -c '<track>' "$work/linux-shuffled.xspf" | grep -qx 30 && diff "$work/linux-shuffled.xspf" "$work/windows-shuffled.xspf" ||
        { echo "$shuffled: not the Linux build's 30 tracks in its order"; failures=$((failures + 1)); }

    # A second run writes the first one's bytes, every reading from the cache (a file changed
    # within 3 s of a run is not kept).
    while [ $(($(date +%s) - made)) -lt 4 ]; do sleep 1; done
    cache=$(winepath -w "$work/exe.sqlite")
    (cd "$tree" && wine "$exe" --cache="$cache" . >"$work/first.xspf" && wine "$exe" --cache="$cache" . >"$work/second.xspf") &&
        cmp "$work/first.xspf" "$work/second.xspf" &&
        [ "$(python3 -c 'import sqlite3, sys; print(sqlite3.connect(sys.argv[1]).execute("SELECT count(*) FROM readings").fetchone()[0])' "$work/exe.sqlite")" = 31 ] ||
        { echo "lodrix-playlist.exe with its cache: another second run, or not 31 readings kept"; failures=$((failures + 1)); }

    # The German --help under Wine, where the locale asks for German: through a pipe as UTF-8,
    # and on Wine's console (script gives it a terminal) as wide characters the console shows in
    # its own encoding; the umlaut must come out as the terminal's, never as another code page's.
    for how in pipe console; do
        case $how in
        pipe) (cd "$work" && LC_ALL=de_DE.UTF-8 wine "$exe" --help) ;;
        console) (cd "$work" && LC_ALL=de_DE.UTF-8 script -qc "wine '$exe' --help" /dev/null) ;;
        esac | tr -d '\r' | grep -q '^  -T, --files-from=LISTE   die Operanden aus LISTE (- für die Standardeingabe)' ||
            { echo "the German --help through a $how: no umlaut as UTF-8"; failures=$((failures + 1)); }
    done

    # The readers are processes the program starts of itself, handed files, never names: in
    # Wine's trace of files and processes, the --reader= processes read, and none opens a
    # listed file by name. The test-only hook LODRIX_TEST_READER_OPENS makes each reader try to
    # open another file by name, after its sandbox, and read it in place of its own: the
    # attempt is made in the reader, under the restricted token the program asked for (Wine's
    # own fixme: it applies no restricting SID). Whether it is refused Wine cannot show.
    hands="$work/hands" && mkdir "$hands" && write_wav "$hands/one.wav" 1200 && write_wav "$hands/two.wav" 700 &&
        write_wav "$work/other.wav" 300 || exit 1
    for hook in "" "$(winepath -w "$work/other.wav")"; do
        (cd "$hands" && LODRIX_TEST_READER_OPENS=$hook WINEDEBUG=+pid,+file,+process wine "$exe" --no-cache . \
            2>"$work/trace" | tr -d '\r' | grep -o '<duration>[0-9]*' | tr '\n' ' ' >"$work/durations")
        python3 - "$work/trace" "$hook" "$(cat "$work/durations")" <<'PY' || failures=$((failures + 1))
import re, sys
trace, hook, durations = sys.argv[1:]
starting, readers, by_name, tokens = {}, set(), {}, 0
for line in open(trace, errors="replace"):
    pid, tid = line[:4], line[5:9]
    if "CreateProcessInternalW app" in line:
        starting[tid] = "--reader=" in line
    started = re.search(r"CreateProcessInternalW started process pid ([0-9a-f]+)", line)
    if started and starting.pop(tid, False):
        readers.add(started.group(1))
    opened = re.search(r"NtCreateFile .*name=L\"[^\"]*\\\\(one|two|other)\.wav\"", line)
    if opened:
        by_name.setdefault(opened.group(1), set()).add(pid)
    tokens += "NtFilterToken support for restricting sids" in line
if not hook:
    ok = readers and durations == "<duration>1200 <duration>700 " and not (by_name.get("one", set()) | by_name.get("two", set())) & readers
    print(f"{len(readers)} readers, {durations}; the listed files opened by name in processes {sorted(by_name.get('one', set()) | by_name.get('two', set()))}, readers {sorted(readers)}")
    sys.exit(0 if ok else 1)
tried = by_name.get("other", set()) & readers
print(f"the hook: readers {sorted(tried)} of {sorted(readers)} tried to open other.wav by name, {tokens} restricted tokens asked for;"
      f" {'Wine let them (no restricted token enforced): ' if durations.count('300') == 2 else 'refused: '}{durations}")
sys.exit(0 if readers and tried == readers and tokens >= 2 * len(readers) else 1)
PY
    done

    # The hidden reader argument is the program's own: given by hand, one line and status 1;
    # beside anything else it is an unknown option; --help does not name it.
    for row in "--reader=Kanal|lodrix-playlist: --reader=Kanal: only for the program's own reader processes" \
        "--reader=1,2 .|lodrix-playlist: unknown option --reader (lodrix-playlist --help shows them all)"; do
        # shellcheck disable=SC2086
        wine "$exe" ${row%%|*} >"$work/out" 2>"$work/err"
        status=$?
        [ $status = 1 ] && [ ! -s "$work/out" ] && [ "$(tr -d '\r' <"$work/err")" = "${row#*|}" ] ||
            { echo "${row%%|*}: status $status, $(cat "$work/err")"; failures=$((failures + 1)); }
    done
    wine "$exe" --help | grep -q -e --reader && { echo "--help names --reader"; failures=$((failures + 1)); }

    # A reader killed and one stopped while the run works: the list is whole, every file but the
    # one each was reading read again; the stopped one is ended after 10 s. Readers end with their
    # run (their job's kill-on-close): none is left of any run here once it has ended.
    readers() {
        exe=$exe_windows awk 'index($0, ENVIRON["exe"]) && index($0, "--reader=") { split(FILENAME, part, "/"); print part[3]; nextfile }' \
            /proc/[0-9]*/cmdline 2>/dev/null
    }
    none_left() { for _ in $(seq 100); do [ -z "$(readers)" ] && return 0; sleep 0.05; done; return 1; }
    exe_windows=$(winepath -w "$exe")
    none_left || { echo "readers left after the runs: $(readers)"; failures=$((failures + 1)); }
    many="$work/many" && mkdir "$many" && write_wav "$many/0.wav" 10 || exit 1
    python3 -c 'import shutil, sys
for i in range(1, 3000): shutil.copyfile(sys.argv[1] + "/0.wav", f"{sys.argv[1]}/{i}.wav")' "$many" || exit 1
    wine "$exe" --no-cache "$many" >"$work/many.xspf" 2>"$work/many.err" &
    run=$!
    for _ in $(seq 500); do [ "$(readers | wc -l)" -ge 2 ] && break; sleep 0.01; done
    # shellcheck disable=SC2046
    set -- $(readers) none none
    kill -KILL "$1"; kill -STOP "$2"
    wait $run
    status=$?
    # Still stopped: only the program's ending it (or its job's) makes it go.
    none_left
    left=$? leftover=$(readers)
    # shellcheck disable=SC2086
    [ -n "$leftover" ] && kill -KILL $leftover
    tr -d '\r' <"$work/many.err" >"$work/many.lines"
    read=$(grep -c '<duration>10<' "$work/many.xspf")
    [ $status = 0 ] && [ "$(grep -c '<track>' "$work/many.xspf")" = 3000 ] && [ "$read" -ge 2998 ] &&
        [ $((read + $(wc -l <"$work/many.lines"))) = 3000 ] && [ "$(grep -c 'after 10 s' "$work/many.lines")" -le 1 ] &&
        ! grep -v -e ': cannot be read, duration 0: not read to its end after 10 s' -e ': cannot be read, duration 0: reader process ended early' \
            "$work/many.lines" && [ $left = 0 ] ||
        { echo "a killed and a stopped reader ($1, $2): status $status, $read of 3000 read, readers left: $leftover: $(cat "$work/many.lines")"; failures=$((failures + 1)); }
    echo "a killed and a stopped reader of 3000 files: $read read, the others each with its message: $(cat "$work/many.lines")"

    # Sample tables that ask for gigabytes: the one its reader cannot hold fails there with the
    # Linux build's message (no reader takes more than its memory), the others as on Linux.
    greedy="$work/greedy" && python3 "$source/tests/greedy_mp4.py" "$greedy/a.m4a" 89000000 &&
        python3 "$source/tests/greedy_mp4.py" "$greedy/b.m4a" 40000000 sizes && write_wav "$greedy/c.wav" 1000 || exit 1
    (wine "$exe" --no-cache "$greedy" >"$work/greedy-windows" 2>"$work/greedy-windows.err" &&
        "$linux" --no-cache "$greedy" >"$work/greedy-linux" 2>"$work/greedy-linux.err") ||
        { echo "the greedy files failed"; failures=$((failures + 1)); }
    for stream in "" .err; do
        tr -d '\r' <"$work/greedy-windows$stream" | sed -e 's,file:///Z:/,file:///,' -e 's,^lodrix-playlist: Z:/,lodrix-playlist: /,' |
            diff "$work/greedy-linux$stream" - || failures=$((failures + 1))
    done
    grep -qx "lodrix-playlist: $greedy/b.m4a: cannot be read, duration 0: Cannot allocate memory" "$work/greedy-linux.err" ||
        { echo "the greedy files: not the Linux build's list and message"; failures=$((failures + 1)); }

    # The zip: both programs, the README, our licence, FFmpeg's and where its source is, utf8proc's,
    # PCRE2's and uchardet's.
    (cd "$build" && cpack -G ZIP -B "$work/zip" >/dev/null) || { echo "cpack -G ZIP failed"; exit 1; }
    python3 -m zipfile -l "$work"/zip/lodrix-*-win64.zip | awk 'NR > 1 { print $1 }' | sort >"$work/listed"
    printf '%s\n' FFmpeg-COPYING.LGPLv2.1.txt FFmpeg-SOURCE.txt LICENSE.txt PCRE2-LICENCE.txt README.md \
        lodrix-playlist.exe lodrix.exe uchardet-COPYING.txt utf8proc-LICENSE.md |
        diff - "$work/listed" || { echo "the zip holds other files"; failures=$((failures + 1)); }
    [ "$failures" = 0 ] && echo "lodrix-playlist.exe: the Linux build's bytes on 31 files (a cue album, chapters, sheets and ID3v1 tags in code pages and UTF-16 among them), with and without -o, shuffled by a seed, and again from its cache; $(basename "$work"/zip/*.zip): $(tr '\n' ' ' <"$work/listed")"
    exit "$failures" ;;
esac
