#!/usr/bin/env bash
# Runs the win_driver self-test under Wine in fresh environments.
#
#   scripts/test-wine-selftest.sh BUILD_DIR [RUN_DIR]
#
# BUILD_DIR holds (somewhere below it) wd_selftest.exe, wd_sample_app.exe
# and wd_dpi_probe.exe; nothing is built here. RUN_DIR (default: a new
# folder under /tmp) keeps the logs and screenshots; the prefixes (about
# 700 MB each) are removed after a pass unless WINE_KEEP_PREFIX=1.
# Exit code 0 = pass.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source-path=SCRIPTDIR source=wine-env.sh
source "$here/wine-env.sh"

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: $0 BUILD_DIR [RUN_DIR]" >&2
    exit 2
fi
build_dir=$(cd "$1" && pwd)
run_dir=${2:-$(mktemp -d /tmp/wine-selftest.XXXXXX)}
mkdir -p "$run_dir"
run_dir=$(cd "$run_dir" && pwd)

find_exe() {
    local f
    f=$(find "$build_dir" -maxdepth 5 -name "$1" -type f -print -quit)
    if [ -z "$f" ]; then
        echo "$1 not found below $build_dir" >&2
        exit 2
    fi
    printf '%s\n' "$f"
}
selftest=$(find_exe wd_selftest.exe)
probe=$(find_exe wd_dpi_probe.exe)
[ -f "$(dirname "$selftest")/wd_sample_app.exe" ] || { echo "wd_sample_app.exe must sit beside wd_selftest.exe" >&2; exit 2; }

ms_since() { echo $(( ($(date +%s%N) - $1) / 1000000 )); }

trap wine_env_stop EXIT
trap 'exit 130' INT TERM

failures=0
results=()

# 1. The driver self-test at the default DPI.
t=$(date +%s%N)
wine_env_start "$run_dir/main"
start_ms=$(ms_since "$t")
echo "environment started in $start_ms ms (log: $run_dir/main/env.log)"

out=$run_dir/main/out
mkdir -p "$out"
t=$(date +%s%N)
rc=0
timeout 180 wine "$selftest" --out "$(wine_env_winpath "$out")" 2>"$run_dir/main/selftest.stderr" |
    tee "$run_dir/main/selftest.log" || rc=$?
drive_ms=$(ms_since "$t")
echo "self-test driver ran in $drive_ms ms, exit code $rc"
if [ "$rc" -ne 0 ]; then
    failures=$((failures + 1))
    results+=("FAIL: wd_selftest.exe (exit code $rc)")
else
    results+=("PASS: wd_selftest.exe")
fi
wine_env_screenshot "$out/final-root.png" || true
for bmp in "$out"/*.bmp; do
    [ -e "$bmp" ] || continue
    convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
wine_env_stop

# 2. A prefix at 144 DPI: a DPI-aware program must see it.
t=$(date +%s%N)
wine_env_start "$run_dir/dpi144" 144
dpi_start_ms=$(ms_since "$t")
rc=0
probe_out=$(timeout 60 wine "$probe" 144 2>>"$run_dir/dpi144/probe.stderr") || rc=$?
echo "dpi probe: $probe_out"
if [ "$rc" -ne 0 ]; then
    failures=$((failures + 1))
    results+=("FAIL: LogPixels=144 reaches GetDeviceCaps(LOGPIXELSY)")
else
    results+=("PASS: LogPixels=144 reaches GetDeviceCaps(LOGPIXELSY)")
fi
wine_env_stop

if [ "$failures" -eq 0 ] && [ "${WINE_KEEP_PREFIX:-0}" != 1 ]; then
    rm -rf "$run_dir/main/prefix" "$run_dir/dpi144/prefix" "$run_dir/main/locale" "$run_dir/dpi144/locale"
fi

printf '%s\n' "${results[@]}"
echo "timings: env start ${start_ms} ms, driver run ${drive_ms} ms, env start at 144 DPI ${dpi_start_ms} ms"
echo "results in $run_dir"
echo "$(( ${#results[@]} - failures )) passed, $failures failed"
[ "$failures" -eq 0 ]
