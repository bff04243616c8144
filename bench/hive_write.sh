#!/usr/bin/env bash
# What changing an offline hive costs, against one durable copy of it: builds
# a SOFTWARE hive of about MEGABYTES holding REDIRECTIONS IFEO subkeys with a
# Debugger value (plus filler), then times, each on a fresh copy, vornex-cli's
# scan, one repair and --yes delete-all, and `cp` + fsync of the same file;
# wall time and peak memory from /usr/bin/time. Not a test: it checks only
# that each command did its job.
#
#   bash bench/hive_write.sh [REDIRECTIONS [MEGABYTES [RUNS]]]     (default 1000 100 5)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
redirections=${1:-1000}
megabytes=${2:-100}
runs=${3:-5}
build=$root/build/bench-native
work=$(mktemp -d /tmp/vornex-hive-write.XXXXXX)
trap 'rm -rf "$work"' EXIT

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >"$work/build.log" 2>&1 &&
    cmake --build "$build" -j2 --target vornex-cli vornex_hive_write_hive >>"$work/build.log" 2>&1 ||
    { tail -30 "$work/build.log" >&2; exit 1; }
cli=$build/cli/vornex-cli

"$build/bench/vornex_hive_write_hive" "$work/hive" "$redirections" "$megabytes"
size=$(stat -c %s "$work/hive")

fresh() { rm -rf "$work/run"; mkdir "$work/run"; cp "$work/hive" "$work/run/SOFTWARE"; sync -f "$work/run"; }
# Runs a command under /usr/bin/time: prints "seconds peak-KiB".
timed() {
    /usr/bin/time -f '%e %M' -o "$work/time" "$@" >"$work/out" 2>"$work/err" || true
    tail -1 "$work/time"  # after a "Command exited with non-zero status" line, if any
}

# Each figure is the median of RUNS runs, each on a fresh copy: on a shared
# VM one run alone moves by half its time.
median_of() {  # command...: "seconds peak-KiB", the median seconds and the largest peak
    local i out times=() peak=0
    for ((i = 0; i < runs; i++)); do
        fresh
        out=$(timed "$@")
        times+=("${out% *}")
        [ "${out#* }" -gt "$peak" ] && peak=${out#* }
        check_run || return 1
    done
    echo "$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p") $peak"
}
check_run() { :; }
copy=$(median_of sh -c 'cp "$1" "$2" && sync "$2"' sh "$work/run/SOFTWARE" "$work/run/copy")
check_run() {
    found=$(wc -l <"$work/out")
    [ "$found" -eq "$redirections" ] || { echo "scan listed $found, not $redirections" >&2; cat "$work/err" >&2; return 1; }
}
scan=$(median_of "$cli" --hive "$work/run/SOFTWARE" scan)
check_run() {
    grep -q 'backup of the hive' "$work/out" || { echo "repair failed:" >&2; cat "$work/out" "$work/err" >&2; return 1; }
}
repair=$(median_of "$cli" --hive "$work/run/SOFTWARE" repair program00000.exe)
check_run() {
    left=$("$cli" --hive "$work/run/SOFTWARE" scan | wc -l)
    [ "$left" -eq 0 ] || { echo "delete-all left $left" >&2; cat "$work/err" >&2; return 1; }
}
delete_all=$(median_of "$cli" --hive "$work/run/SOFTWARE" --yes delete-all)

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.1fx", a / b; else printf "-" }'; }
read -r copy_s copy_kib <<<"$copy"
printf 'hive: %d redirections, %.1f MB (%d bytes); medians of %d runs\n' "$redirections" "$(awk -v s="$size" 'BEGIN { print s / 1e6 }')" "$size" "$runs"
printf '| %-24s | %9s | %12s | %14s |\n' "what" "seconds" "peak RSS MB" "vs one copy"
printf '|%s|%s|%s|%s|\n' "--------------------------" "-----------" "--------------" "----------------"
for row in "cp + fsync:$copy" "scan:$scan" "repair (one value):$repair" "delete-all:$delete_all"; do
    name=${row%%:*}
    read -r s kib <<<"${row#*:}"
    printf '| %-24s | %9s | %12.1f | %14s |\n' "$name" "$s" "$(awk -v k="$kib" 'BEGIN { print k / 1024 }')" \
        "$(ratio "$s" "$copy_s")"
done
