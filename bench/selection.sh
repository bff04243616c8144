#!/usr/bin/env bash
# Selection benchmark: the time from a real click on a line to the advice box
# holding the advice, for commands of 10,000, 100,000 and 1,000,000
# characters, in Vornex.exe before the advice cut long commands (df0045e) and
# now. Builds both, runs them in one Wine environment, prints a table (also
# written to build/bench-selection/table.md). Not a test: it checks nothing.
#
#   bash bench/selection.sh
#
# VORNEX_BEFORE: the commit measured as "before" (default df0045e), checked
# out as a git worktree in build/bench-before and built there with its own
# win64 preset. VORNEX_BEFORE_TIMEOUT: seconds a "before" selection may take
# before the program is killed (default 120); the 1,000,000-character one is
# expected to take about ten minutes, so it is run once and cut off.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$root/build/bench-selection
win_dir=$root/build/bench-win64
before_commit=${VORNEX_BEFORE:-df0045e}
before_tree=$root/build/bench-before
before_timeout=${VORNEX_BEFORE_TIMEOUT:-120}
lengths=(10000 100000 1000000)
after_reps=5

rm -rf "$out"
mkdir -p "$out"
results=$out/results.txt
: >"$results"
say() { printf '%s %s\n' "$(date +%H:%M:%S)" "$*"; }
load() { cut -d' ' -f1-3 /proc/loadavg; }
t_start=$(date +%s)

say "building now ($(git -C "$root" rev-parse --short HEAD)) into $win_dir"
{
    cmake -S "$root" -B "$win_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" -DVORNEX_WINE_TESTS=OFF &&
        cmake --build "$win_dir" --target Vornex vornex_bench_selection
} >"$out/build-after.log" 2>&1 || { tail -30 "$out/build-after.log" >&2; exit 1; }

say "building $before_commit in the worktree $before_tree"
if [ ! -e "$before_tree/.git" ]; then
    git -C "$root" worktree add --detach "$before_tree" "$before_commit" >"$out/worktree.log" 2>&1
fi
[ "$(git -C "$before_tree" rev-parse HEAD)" = "$(git -C "$root" rev-parse "$before_commit^{commit}")" ] ||
    { echo "bench: $before_tree is not at $before_commit" >&2; exit 1; }
{
    cd "$before_tree" && cmake --preset win64 -DVORNEX_WINE_TESTS=OFF && cmake --build build/win64 --target Vornex
} >"$out/build-before.log" 2>&1 || { tail -30 "$out/build-before.log" >&2; exit 1; }
cd "$root"
after_exe=$win_dir/Vornex.exe
before_exe=$before_tree/build/win64/Vornex.exe
bench=$win_dir/bench/vornex_bench_selection.exe

# shellcheck source=../scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
trap wine_env_stop EXIT
trap 'exit 130' INT TERM
say "Wine: environment (prefix, zh_CN, Xvfb)"
wine_env_start "$out/env"
echo "RESULT load at=start avg=\"$(load)\"" >>"$results"

run() {  # exe label length reps timeout_s
    local rc=0
    say "  $2, $3 characters, $4 run(s), load $(load)"
    wine "$bench" "$(wine_env_winpath "$1")" "$3" "$4" "$5" "$2" >"$out/last.out" 2>>"$out/wine.stderr" || rc=$?
    tr -d '\r' <"$out/last.out" | { grep '^RESULT' || true; } | tee -a "$results"
    if [ $rc -ne 0 ]; then say "  warning: exited $rc"; fi
}

for length in "${lengths[@]}"; do
    run "$after_exe" after "$length" "$after_reps" 60
    case $length in
        10000) run "$before_exe" before "$length" 5 "$before_timeout" ;;
        100000) run "$before_exe" before "$length" 3 "$before_timeout" ;;
        *) run "$before_exe" before "$length" 1 "$before_timeout" ;;
    esac
    echo "RESULT load at=after-$length avg=\"$(load)\"" >>"$results"
done
wine_env_stop
trap - EXIT

# ---------------------------------------------------------------- table
field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p"; }
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
cell() {  # label length
    local lines killed
    lines=$(grep "^RESULT selection label=$1 length=$2 " "$results" || true)
    killed=$(printf '%s\n' "$lines" | field killed_after_s | head -1)
    if [ -n "$killed" ]; then
        echo "> $killed s (killed) | - | $(printf '%s\n' "$lines" | grep -c killed) run"
        return
    fi
    local ms min max n chars shown
    ms=$(printf '%s\n' "$lines" | field ms | median)
    min=$(printf '%s\n' "$lines" | field ms | sort -n | head -1)
    max=$(printf '%s\n' "$lines" | field ms | sort -n | tail -1)
    n=$(printf '%s\n' "$lines" | grep -c ms=)
    chars=$(printf '%s\n' "$lines" | field chars | sort -u | tr '\n' ' ')
    shown=$(printf '%s\n' "$lines" | field shown | sort -u | tr '\n' ' ')
    echo "$ms ($min–$max) | ${chars% } (${shown% }) | $n runs"
}
table=$out/table.md
{
    echo "| command characters | before ($before_commit): ms median (min–max) | before: characters in the box | before: runs | now: ms median (min–max) | now: characters in the box | now: runs |"
    echo "|---:|---:|---:|---:|---:|---:|---:|"
    for length in "${lengths[@]}"; do
        echo "| $length | $(cell before "$length") | $(cell after "$length") |"
    done
    echo
    echo "Load average (1, 5, 15 min): $(grep '^RESULT load' "$results" | sed 's/^RESULT load at=\([^ ]*\) avg="\(.*\)"/\1 \2/' | awk '{ printf "%s%s: %s %s %s", (NR > 1 ? "; " : ""), $1, $2, $3, $4 }')."
    echo
    echo "Machine: $(nproc) CPUs, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1), $(awk '/^MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo) RAM, $(wine --version), $(date -u '+%Y-%m-%d %H:%M UTC')."
    echo "Now: $(git -C "$root" rev-parse --short HEAD)$( [ -n "$(git -C "$root" status --porcelain 2>/dev/null)" ] && echo ' with uncommitted changes'); before: $(git -C "$before_tree" rev-parse --short HEAD); run took $(($(date +%s) - t_start)) s."
} >"$table"
cat "$table"
