#!/usr/bin/env bash
# What reading a large hive costs vornex-cli.exe --hive under Wine against the
# Linux build: builds a SOFTWARE hive of about MEGABYTES holding REDIRECTIONS
# IFEO subkeys (as bench/hive_write.sh does), then times `scan` RUNS times with
# each program, and vornex-cli.exe --version for Wine's own start-up; wall
# time (median) and peak RSS from /usr/bin/time. Not a test: it checks only
# that each scan listed every redirection.
#
#   bash bench/hive_cli_wine.sh [REDIRECTIONS [MEGABYTES [RUNS]]]   (default 1000 100 5)
#
# Needs the win64 preset built (build/win64/cli/vornex-cli.exe, Release).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
redirections=${1:-1000}
megabytes=${2:-100}
runs=${3:-5}
build=$root/build/bench-native
exe=$root/build/win64/cli/vornex-cli.exe
[ -f "$exe" ] || { echo "$exe not found: build the win64 preset first" >&2; exit 2; }
work=$(mktemp -d /tmp/vornex-hive-cli-wine.XXXXXX)
# shellcheck source=../scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
trap 'wine_env_stop; rm -rf "$work"' EXIT

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >"$work/build.log" 2>&1 &&
    cmake --build "$build" -j2 --target vornex-cli vornex_hive_write_hive >>"$work/build.log" 2>&1 ||
    { tail -30 "$work/build.log" >&2; exit 1; }
"$build/bench/vornex_hive_write_hive" "$work/SOFTWARE" "$redirections" "$megabytes"
size=$(stat -c %s "$work/SOFTWARE")

wine_env_start "$work/wine"
wineserver -p  # one server for every run: its start is no part of a scan
hive_win=$(wine_env_winpath "$work/SOFTWARE")

# Median seconds and the largest peak RSS (KiB) of RUNS runs of a command
# whose standard output has `lines` lines (-1: not checked).
measure() {
    local lines=$1
    shift
    local i times=() peak=0 s kib
    for i in $(seq "$runs"); do
        /usr/bin/time -f '%e %M' -o "$work/time" "$@" >"$work/out" 2>"$work/err" || true
        read -r s kib < <(tail -1 "$work/time")
        if [ "$lines" -ge 0 ] && [ "$(wc -l <"$work/out")" -ne "$lines" ]; then
            echo "$* listed $(wc -l <"$work/out"), not $lines:" >&2
            cat "$work/err" >&2
            exit 1
        fi
        times+=("$s")
        [ "$kib" -gt "$peak" ] && peak=$kib
    done
    printf '%s %s\n' "$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")" "$peak"
}

linux=$(measure "$redirections" "$build/cli/vornex-cli" --hive "$work/SOFTWARE" scan)
wine_start=$(measure -1 wine "$exe" --version)
wine_scan=$(measure "$redirections" wine "$exe" --hive "$hive_win" scan)

printf 'hive: %d redirections, %.1f MB; median of %d runs\n' "$redirections" \
    "$(awk -v s="$size" 'BEGIN { print s / 1e6 }')" "$runs"
printf '| %-40s | %7s | %11s |\n' "what" "seconds" "peak RSS MB"
printf '|%s|%s|%s|\n' "------------------------------------------" "---------" "-------------"
for row in "Linux vornex-cli --hive scan:$linux" "vornex-cli.exe --version under Wine:$wine_start" \
    "vornex-cli.exe --hive scan under Wine:$wine_scan"; do
    read -r s kib <<<"${row#*:}"
    printf '| %-40s | %7s | %11.1f |\n' "${row%%:*}" "$s" "$(awk -v k="$kib" 'BEGIN { print k / 1024 }')"
done
