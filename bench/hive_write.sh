#!/usr/bin/env bash
# What changing an offline hive costs, against one durable copy of it: builds
# a SOFTWARE hive of about MEGABYTES holding REDIRECTIONS IFEO subkeys with a
# Debugger value (plus filler), then times, each on a fresh copy, vornex-cli's
# scan, one repair and --yes delete-all, and `cp` + fsync of the same file;
# wall time and peak memory from /usr/bin/time. Not a test: it checks only
# that each command did its job.
#
#   bash bench/hive_write.sh [REDIRECTIONS [MEGABYTES]]     (default 1000 100)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
redirections=${1:-1000}
megabytes=${2:-100}
build=$root/build/bench-native
work=$(mktemp -d /tmp/vornex-hive-write.XXXXXX)
trap 'rm -rf "$work"' EXIT

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVORNEX_BENCH=ON >"$work/build.log" 2>&1 &&
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

fresh
copy=$(timed sh -c 'cp "$1" "$2" && sync "$2"' sh "$work/run/SOFTWARE" "$work/run/copy")
fresh
scan=$(timed "$cli" --hive "$work/run/SOFTWARE" scan)
found=$(wc -l <"$work/out")
[ "$found" -eq "$redirections" ] || { echo "scan listed $found, not $redirections" >&2; cat "$work/err" >&2; exit 1; }
fresh
repair=$(timed "$cli" --hive "$work/run/SOFTWARE" repair program00000.exe)
grep -q 'backup of the hive' "$work/out" || { echo "repair failed:" >&2; cat "$work/out" "$work/err" >&2; exit 1; }
fresh
delete_all=$(timed "$cli" --hive "$work/run/SOFTWARE" --yes delete-all)
left=$("$cli" --hive "$work/run/SOFTWARE" scan | wc -l)
[ "$left" -eq 0 ] || { echo "delete-all left $left" >&2; cat "$work/err" >&2; exit 1; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.1fx", a / b; else printf "-" }'; }
read -r copy_s copy_kib <<<"$copy"
printf 'hive: %d redirections, %.1f MB (%d bytes)\n' "$redirections" "$(awk -v s="$size" 'BEGIN { print s / 1e6 }')" "$size"
printf '| %-24s | %9s | %12s | %14s |\n' "what" "seconds" "peak RSS MB" "vs one copy"
printf '|%s|%s|%s|%s|\n' "--------------------------" "-----------" "--------------" "----------------"
for row in "cp + fsync:$copy" "scan:$scan" "repair (one value):$repair" "delete-all:$delete_all"; do
    name=${row%%:*}
    read -r s kib <<<"${row#*:}"
    printf '| %-24s | %9s | %12.1f | %14s |\n' "$name" "$s" "$(awk -v k="$kib" 'BEGIN { print k / 1024 }')" \
        "$(ratio "$s" "$copy_s")"
done
