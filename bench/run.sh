#!/usr/bin/env bash
# Start-up and scan benchmark of Vornex: builds what it needs, runs every
# measurement on one registry per size, and prints the tables (also written to
# build/bench-run/table.md). About 10 minutes on 2 cores. Not a test: it checks
# nothing and is not part of scripts/test-all.sh.
#
#   bash bench/run.sh
#
# VORNEX_BENCH_CPU: the one CPU that Wine (its server and every program) is
# pinned to; default 1 (0 on a one-CPU machine). See bench/README.md for why.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$root/build/bench-run
native_dir=$root/build/bench-native
win_dir=$root/build/bench-win64
sizes=(100 1000 10000 100000)
startup_reps=15

rm -rf "$out"
mkdir -p "$out"
results=$out/results.txt
: >"$results"
log=$out/run.log
exec 3>&1
say() { printf '%s %s\n' "$(date +%H:%M:%S)" "$*" >&3; printf '%s %s\n' "$(date +%H:%M:%S)" "$*" >>"$log"; }
t_start=$(date +%s)

cpu=${VORNEX_BENCH_CPU:-}
if [ -z "$cpu" ]; then
    if [ "$(nproc)" -ge 2 ]; then cpu=1; else cpu=0; fi
fi

# ---------------------------------------------------------------- build
need_install=0
for tool in cmake ninja valgrind wine Xvfb x86_64-w64-mingw32-g++-posix taskset; do
    command -v "$tool" >/dev/null 2>&1 || need_install=1
done
if [ $need_install -eq 1 ]; then
    say "installing packages (scripts/install-deps.sh)"
    bash "$root/scripts/install-deps.sh" >>"$log" 2>&1
fi

say "building native (Release) and win64 (Release)"
{
    cmake -S "$root" -B "$native_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release &&
        cmake --build "$native_dir" --target vornex_bench_native &&
        cmake -S "$root" -B "$win_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" -DVORNEX_WINE_TESTS=OFF \
            &&
        cmake --build "$win_dir" --target Vornex vornex_bench vornex_bench_null \
            vornex_bench_nobanner vornex_bench_nocom
} >"$out/build.log" 2>&1 || {
    tail -30 "$out/build.log" >&2
    echo "bench: build failed (see $out/build.log)" >&2
    exit 1
}
native=$native_dir/bench/vornex_bench_native
bench=$win_dir/bench/vornex_bench.exe
vornex_exe=$win_dir/Vornex.exe
null_exe=$win_dir/bench/vornex_bench_null.exe
nobanner_exe=$win_dir/bench/vornex_bench_nobanner.exe
nocom_exe=$win_dir/bench/vornex_bench_nocom.exe
for exe in "$vornex_exe" "$null_exe" "$nobanner_exe" "$nocom_exe"; do
    echo "RESULT exe name=$(basename "$exe") bytes=$(stat -c %s "$exe")" >>"$results"
done

# ---------------------------------------------------------------- native
say "native: scan and floor over the in-memory store, ${sizes[*]} subkeys"
"$native" "${sizes[@]}" | tee -a "$log" | grep '^RESULT' >>"$results"

say "native: callgrind instruction counts of the scan and the floor"
mkdir -p "$out/callgrind"
valgrind --tool=callgrind --instr-atstart=no --callgrind-out-file="$out/callgrind/cg.%p" \
    "$native" --callgrind "${sizes[@]}" >>"$log" 2>&1
for dump in "$out"/callgrind/cg.*.*; do
    label=$(sed -n 's/^desc: Trigger: Client Request: //p' "$dump")
    ir=$(sed -n 's/^totals: //p' "$dump")
    if [ -n "$label" ]; then echo "RESULT callgrind-${label%-*} size=${label##*-} ir=$ir" >>"$results"; fi
done

# ---------------------------------------------------------------- Wine
# shellcheck source=../scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
server_pid=
stop_all() {
    wine_env_stop
    if [ -n "$server_pid" ]; then wait "$server_pid" 2>/dev/null || true; fi
}
trap stop_all EXIT
trap 'exit 130' INT TERM
say "Wine: environment (prefix, zh_CN, Xvfb)"
wine_env_start "$out/env"
# One persistent server for the whole run, on the one CPU; in the foreground
# of its own job so that its pid is known.
taskset -c "$cpu" wineserver -f -p >>"$out/wineserver.log" 2>&1 &
server_pid=$!
sleep 0.5

pin() { taskset -c "$cpu" "$@"; }
# Runs a command of the bench program; its RESULT lines go to the results.
wb_with() {  # runner args...
    local rc=0 runner=$1
    shift
    $runner wine "$bench" "$@" >"$out/last.out" 2>>"$out/wine.stderr" || rc=$?
    tr -d '\r' <"$out/last.out" | tee -a "$log" | { grep '^RESULT' || true; } >>"$results"
    if [ $rc -ne 0 ]; then say "  warning: vornex_bench $* exited $rc"; fi
}
wb() { wb_with pin "$@"; }
wb_unpinned() { wb_with command "$@"; }
win() { wine_env_winpath "$1"; }
now_us() { echo $(($(date +%s%N) / 1000)); }
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ifeo_key='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Image File Execution Options'
empty_key='HKLM\SOFTWARE\VornexBench\Empty'

# `wine reg query KEY /s`, timed from here, three times; median in ms.
peer() {  # size key label
    local i s e times=() file=$out/peer-$3-$1.txt
    for i in 1 2 3; do
        s=$(now_us)
        pin wine reg query "$2" /s >"$file" 2>>"$out/wine.stderr" || true
        e=$(now_us)
        times+=($((e - s)))
    done
    echo "RESULT $3 size=$1 ms=$(printf '%s\n' "${times[@]}" | median | awk '{ printf "%.1f", $1 / 1000 }') keys=$(grep -c '^HKEY_LOCAL_MACHINE' "$file" || true)" >>"$results"
}

# Waits for the server's periodic save of system.reg after a seed, so that it
# does not stall a timed scan (RegFlushKey does not save under Wine).
wait_for_save() {  # size
    local reg=$WINEPREFIX/system.reg before i
    before=$(stat -c %y "$reg")
    for i in $(seq 1 70); do
        sleep 0.5
        if [ "$(stat -c %y "$reg")" != "$before" ]; then
            echo "RESULT save size=$1 waited_s=$(awk -v i="$i" 'BEGIN { print i / 2 }') bytes=$(stat -c %s "$reg")" >>"$results"
            return 0
        fi
    done
    echo "RESULT save size=$1 waited_s=none" >>"$results"
}

say "Wine: start-up, 0 redirections (the notice box)"
wb reset
wb startup "$(win "$vornex_exe")" VornexFrmMain box "$startup_reps" vornex-0
wb startup "$(win "$nocom_exe")" VornexFrmMain box "$startup_reps" nocom-0
wb startup "$(win "$null_exe")" VornexBenchNull box "$startup_reps" null-0 0
say "Wine: start-up, 200 redirections"
wb seed 0 200 all
wb startup "$(win "$vornex_exe")" VornexFrmMain 200 "$startup_reps" vornex-200
wb startup "$(win "$nobanner_exe")" VornexFrmMain 200 "$startup_reps" nobanner-200
wb startup "$(win "$nocom_exe")" VornexFrmMain 200 "$startup_reps" nocom-200
wb startup "$(win "$null_exe")" VornexBenchNull 200 "$startup_reps" null-200 200
wb scan 0 pinned

say "Wine: the same, unpinned (server and programs on any CPU)"
taskset -a -p -c 0-$(($(nproc) - 1)) "$server_pid" >>"$log" 2>&1
wb_unpinned startup "$(win "$vornex_exe")" VornexFrmMain 200 5 vornex-200-unpinned
wb_unpinned startup "$(win "$null_exe")" VornexBenchNull 200 5 null-200-unpinned 200
wb_unpinned scan 5 unpinned
taskset -a -p -c "$cpu" "$server_pid" >>"$log" 2>&1
for i in 1 2 3; do wb ole "$(win "$root/assets/banner.jpg")"; done

say "Wine: scan, floor and peer at ${sizes[*]} subkeys"
wb reset
seeded=0
for size in "${sizes[@]}"; do
    say "  $size subkeys: seed"
    wb seed "$seeded" "$size"
    seeded=$size
    if [ "$size" -ge 10000 ]; then
        say "  $size subkeys: waiting for Wine's periodic registry save"
        wait_for_save "$size"
    fi
    say "  $size subkeys: scan and floors"
    wb scan 0 pinned
    say "  $size subkeys: wine reg query /s"
    peer "$size" "$ifeo_key" peer
    peer "$size" "$empty_key" peer-empty
done
last=${sizes[-1]}
listed=$(awk -v p="RESULT wine-scan size=$last label=pinned " 'index($0, p) == 1 { for (i = 1; i <= NF; i++) if ($i ~ /^found=/) print substr($i, 7) }' "$results")
say "Wine: start-up with the $last-subkey key"
wb startup "$(win "$vornex_exe")" VornexFrmMain "${listed:-201}" 3 "vornex-$last"

stop_all
trap - EXIT
server_pid=

# ---------------------------------------------------------------- tables
get() {  # "prefix of a RESULT line" key
    awk -v p="RESULT $1 " -v k="$2" 'index($0, p) == 1 {
        for (i = 1; i <= NF; i++) if (index($i, k "=") == 1) { print substr($i, length(k) + 2); exit } }' "$results"
}
calc() { awk "BEGIN { v = $2; if (v != v) print \"-\"; else printf \"$1\", v }" 2>/dev/null || echo "-"; }
num() { local v; v=$(get "$1" "$2"); echo "${v:-0}"; }

table=$out/table.md
{
    echo "### Scan under Wine: FrmMain::Form_Load on the real registry, real hidden list box"
    echo
    echo "Median of repeated runs, Wine pinned to one CPU. Floor: RegEnumKeyExW, RegOpenKeyExW (relative, KEY_QUERY_VALUE),"
    echo "RegQueryValueExW(\"Debugger\"), RegCloseKey. Peer: \`wine reg query IFEO /s\`, net of the same on an empty key."
    echo
    echo "| subkeys | Debugger values / listed | seed ms (µs per new subkey) | scan ms | scan µs/subkey | floor ms | floor µs/subkey | scan/floor | peer ms raw / empty / net | scan/peer(net) |"
    echo "|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
    prev=0
    for size in "${sizes[@]}"; do
        p="wine-scan size=$size label=pinned"
        f="wine-floor size=$size label=pinned"
        seed_ms=$(num "seed from=$prev to=$size" ms)
        peer_raw=$(num "peer size=$size" ms)
        peer_empty=$(num "peer-empty size=$size" ms)
        echo "| $size | $(num "$f" found) / $(num "$p" found) | $seed_ms ($(calc %.0f "$seed_ms * 1000 / ($size - $prev)")) | $(num "$p" ms) | $(num "$p" us_per_subkey) | $(num "$f" ms) | $(num "$f" us_per_subkey) | $(calc %.2f "$(num "$p" ms) / $(num "$f" ms)") | $peer_raw / $peer_empty / $(calc %.1f "$peer_raw - $peer_empty") | $(calc %.2f "$(num "$p" ms) / ($peer_raw - $peer_empty)") |"
        prev=$size
    done
    echo
    echo "### Where the scan's time goes under Wine (ms, median)"
    echo
    echo "| subkeys | scan | scan, list not redrawn while filled | scan, in-memory list | floor | floor, opened like the scan (full path, KEY_ALL_ACCESS) | floor, values enumerated like the scan | registry calls: scan / floor (per subkey) |"
    echo "|---:|---:|---:|---:|---:|---:|---:|---:|"
    for size in 200 "${sizes[@]}"; do
        l="size=$size label=pinned"
        echo "| $size$( [ "$size" = 200 ] && echo ' (all redirected)') | $(num "wine-scan $l" ms) | $(num "wine-scan-quietlist $l" ms) | $(num "wine-scan-memlist $l" ms) | $(num "wine-floor $l" ms) | $(num "wine-floor-fullpath $l" ms) | $(num "wine-floor-enum $l" ms) | $(num "wine-scan $l" calls) / $(num "wine-floor $l" calls) ($(calc %.2f "$(num "wine-scan $l" calls) / $size") / $(calc %.2f "$(num "wine-floor $l" calls) / $size")) |"
    done
    echo
    echo "### Scan natively: over vornex::MemoryRegistry, in-memory controls (Release -O3)"
    echo
    echo "Floor natively: the same loop through the Registry interface (values can only be enumerated there), subkeys opened relative."
    echo
    echo "| subkeys | scan ms | scan µs/subkey | floor ms | scan/floor | scan Ir (callgrind) | Ir/subkey | floor Ir | Ir scan/floor |"
    echo "|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
    for size in "${sizes[@]}"; do
        n="native size=$size"
        ir=$(num "callgrind-scan size=$size" ir)
        fir=$(num "callgrind-floor size=$size" ir)
        echo "| $size | $(num "$n" scan_ms) | $(calc %.3f "$(num "$n" scan_ms) * 1000 / $size") | $(num "$n" floor_ms) | $(calc %.2f "$(num "$n" scan_ms) / $(num "$n" floor_ms)") | $ir | $(calc %.0f "$ir / $size") | $fir | $(calc %.2f "$ir / $fir") |"
    done
    echo
    echo "### Growth: cost per subkey, relative to 1,000 subkeys (1.00 = linear)"
    echo
    echo "Median, and in brackets the fastest run (contention on a shared machine only adds time)."
    echo
    echo "| subkeys | Wine scan µs/subkey | × | Wine floor µs/subkey | × | native scan µs/subkey | × | Ir/subkey | × |"
    echo "|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
    per() { calc %.1f "$(num "$1" "$2") * 1000 / $3"; }
    ws0=$(per "wine-scan size=1000 label=pinned" ms 1000)
    wm0=$(per "wine-scan size=1000 label=pinned" min_ms 1000)
    wf0=$(per "wine-floor size=1000 label=pinned" ms 1000)
    wn0=$(per "wine-floor size=1000 label=pinned" min_ms 1000)
    ns0=$(calc %.6f "$(num "native size=1000" scan_ms) * 1000 / 1000")
    ir0=$(calc %.3f "$(num "callgrind-scan size=1000" ir) / 1000")
    for size in "${sizes[@]}"; do
        [ "$size" -ge 1000 ] || continue
        ws=$(per "wine-scan size=$size label=pinned" ms "$size")
        wm=$(per "wine-scan size=$size label=pinned" min_ms "$size")
        wf=$(per "wine-floor size=$size label=pinned" ms "$size")
        wn=$(per "wine-floor size=$size label=pinned" min_ms "$size")
        ns=$(calc %.6f "$(num "native size=$size" scan_ms) * 1000 / $size")
        ir=$(calc %.3f "$(num "callgrind-scan size=$size" ir) / $size")
        echo "| $size | $ws ($wm) | $(calc %.2f "$ws / $ws0") ($(calc %.2f "$wm / $wm0")) | $wf ($wn) | $(calc %.2f "$wf / $wf0") ($(calc %.2f "$wn / $wn0")) | $(calc %.3f "$ns") | $(calc %.2f "$ns / $ns0") | $(calc %.0f "$ir") | $(calc %.3f "$ir / $ir0") |"
    done
    echo
    echo "### Start-up under Wine: CreateProcessW to the window shown with its list filled (or to the notice box), idle"
    echo
    echo "Median of $startup_reps starts after one cold start (pinned), peak working set from GetProcessMemoryInfo before the close."
    echo
    echo "| program | IFEO key | ready ms median (min–max) | WaitForInputIdle ms | cold start ms | peak working set MiB | peak private MiB | exe bytes |"
    echo "|---|---|---:|---:|---:|---:|---:|---:|"
    row() {  # label program key exe
        local s="startup label=$1"
        [ -n "$(get "$s" ready_ms)" ] || return 0
        echo "| $2 | $3 | $(num "$s" ready_ms) ($(num "$s" ready_min_ms)–$(num "$s" ready_max_ms)) | $(num "$s" idle_ms) | $(num "$s" cold_ready_ms) | $(calc %.1f "$(num "$s" peak_ws_kib) / 1024") | $(calc %.1f "$(num "$s" peak_private_kib) / 1024") | $(num "exe name=$4" bytes) |"
    }
    row vornex-0 Vornex.exe "empty: notice box" Vornex.exe
    row nocom-0 "Vornex.exe without OLE (no COM, no banner)" "empty: notice box" vornex_bench_nocom.exe
    row null-0 "least window + box (floor)" "empty: notice box" vornex_bench_null.exe
    row vornex-200 Vornex.exe "200 redirections" Vornex.exe
    row nobanner-200 "Vornex.exe without the banner decode" "200 redirections" vornex_bench_nobanner.exe
    row nocom-200 "Vornex.exe without OLE (no COM, no banner)" "200 redirections" vornex_bench_nocom.exe
    row null-200 "least window + 200-line list (floor)" "200 redirections" vornex_bench_null.exe
    row "vornex-$last" Vornex.exe "$last subkeys (mix)" Vornex.exe
    row vornex-200-unpinned "Vornex.exe, Wine unpinned" "200 redirections" Vornex.exe
    row null-200-unpinned "least window, Wine unpinned" "200 redirections" vornex_bench_null.exe
    echo
    echo "### Unpinned (Wine's server and programs free to use both CPUs), 200 redirections"
    echo
    echo "| | scan ms median (min–max) | floor ms median (min–max) |"
    echo "|---|---:|---:|"
    echo "| pinned | $(num "wine-scan size=200 label=pinned" ms) ($(num "wine-scan size=200 label=pinned" min_ms)–$(num "wine-scan size=200 label=pinned" max_ms)) | $(num "wine-floor size=200 label=pinned" ms) ($(num "wine-floor size=200 label=pinned" min_ms)–$(num "wine-floor size=200 label=pinned" max_ms)) |"
    echo "| unpinned | $(num "wine-scan size=200 label=unpinned" ms) ($(num "wine-scan size=200 label=unpinned" min_ms)–$(num "wine-scan size=200 label=unpinned" max_ms)) | $(num "wine-floor size=200 label=unpinned" ms) ($(num "wine-floor size=200 label=unpinned" min_ms)–$(num "wine-floor size=200 label=unpinned" max_ms)) |"
    echo
    echo "Banner through OLE in a fresh process (3 runs, ms): $(grep '^RESULT ole' "$results" | sed 's/^RESULT ole //' | awk '{ printf "%s%s", (NR > 1 ? "; " : ""), $0 }')"
    echo
    echo "Registry saves waited for: $(grep '^RESULT save' "$results" | sed 's/^RESULT save //' | awk '{ printf "%s%s", (NR > 1 ? "; " : ""), $0 }')"
    echo
    echo "Machine: $(nproc) CPUs, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1), $(awk '/^MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo) RAM, $(wine --version), $(date -u '+%Y-%m-%d %H:%M UTC'), Wine pinned to CPU $cpu."
    echo "Tree: $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo 'not a git checkout')$( [ -n "$(git -C "$root" status --porcelain 2>/dev/null)" ] && echo ' with uncommitted changes'); run took $(($(date +%s) - t_start)) s."
} >"$table"
cat "$table"
