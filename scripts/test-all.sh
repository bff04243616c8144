#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test through
# CTest: the native suites (plain and with ASan + UBSan), vornex-cli's suites,
# the bounded fuzz runs, the Wine suites on the real Vornex.exe and
# vornex-cli.exe, and the Wine harness self-test; then builds the downloads
# again elsewhere and compares them (scripts/check-reproducible.sh).
# Ends with one summary line "N passed, N failed" (test cases over all
# suites); exit code 0 when all pass.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
out=$root/build/test-run
rm -rf "$out"
mkdir -p "$out"

failed=0
step_failed() {  # a step that produced no count of its own counts as one failure
    echo "FAILED: $1" >&2
    failed=$((failed + 1))
}

echo "== installing packages"
bash scripts/install-deps.sh >"$out/install.log" 2>&1 || { cat "$out/install.log"; step_failed "install"; }

echo "== building (win64 and win32 with their zips, native, the benchmarks, sanitizers, fuzzers)"
# The benchmarks are built, not run (bench/run.sh does): so that none rots unseen.
{
    cmake --preset win64 && cmake --build --preset win64 && cmake --build --preset win64 --target package &&
        cmake --build --preset win64 --target benches &&
        cmake --preset win32 -DVORNEX_WINE_TESTS=OFF && cmake --build --preset win32 &&
        cmake --build --preset win32 --target package &&
        cmake --preset native && cmake --build --preset native && cmake --build --preset native --target benches &&
        cmake --preset native-asan && cmake --build --preset native-asan &&
        cmake --preset fuzz && cmake --build --preset fuzz
} >"$out/build.log" 2>&1
if [ $? -ne 0 ]; then
    tail -40 "$out/build.log"
    step_failed "build"
    echo "0 passed, $failed failed"
    exit 1
fi
ls -l build/win64/Vornex.exe build/win32/Vornex.exe build/win64/cli/vornex-cli.exe build/win32/cli/vornex-cli.exe \
    build/win64/Vornex-*-win64.zip build/win32/Vornex-*-win32.zip

run_ctest() {  # preset, label filter...
    local preset=$1
    shift
    rm -rf "build/$preset/test-logs"
    echo "== ctest --preset $preset $*"
    ctest --preset "$preset" "$@" 2>&1 | tee "$out/ctest-$preset.log" | grep -E '^ *[0-9]+/[0-9]+ Test|tests passed|tests failed'
}
run_ctest native
run_ctest native-asan -L native
run_ctest fuzz

# Adds up the cases of every suite's log: GoogleTest's summary lines, or a
# plain "N passed, N failed" line.
passed=0
for preset in native native-asan fuzz; do
    for log in build/$preset/test-logs/*.log; do
        [ -e "$log" ] || continue
        name="$preset/$(basename "$log" .log)"
        p=$(grep -oE '^\[  PASSED  \] [0-9]+ test' "$log" | grep -oE '[0-9]+' | tail -1)
        f=$(grep -oE '^\[  FAILED  \] [0-9]+ tests?, listed below' "$log" | grep -oE '[0-9]+' | tail -1)
        if [ -z "$p$f" ]; then
            line=$(grep -E '^[0-9]+ passed, [0-9]+ failed' "$log" | tail -1)
            p=$(echo "$line" | cut -s -d' ' -f1)
            f=$(echo "$line" | cut -s -d' ' -f3)
        fi
        grep -E '^\[  FAILED  \] [A-Za-z]|^FAIL|ERROR: AddressSanitizer|runtime error' "$log" | sed "s|^|$name: |" || true
        if [ -z "$p$f" ]; then
            step_failed "$name (no summary line)"
        else
            passed=$((passed + ${p:-0}))
            failed=$((failed + ${f:-0}))
        fi
    done
done
# A suite CTest saw fail must not pass unnoticed, whatever its log says.
for preset in native native-asan fuzz; do
    if grep -qE '\*\*\*(Failed|Timeout|Exception)|Not Run' "$out/ctest-$preset.log" && [ "$failed" -eq 0 ]; then
        step_failed "ctest --preset $preset reported a failing suite"
    fi
done

# The downloads once more, from a clone elsewhere, compared byte for byte.
echo "== scripts/check-reproducible.sh"
bash scripts/check-reproducible.sh >"$out/reproducible.log" 2>&1
grep -E '^(PASS|FAIL|SKIP|  )' "$out/reproducible.log"
line=$(grep -E '^[0-9]+ passed, [0-9]+ failed' "$out/reproducible.log" | tail -1)
if [ -z "$line" ]; then
    step_failed "scripts/check-reproducible.sh (no summary line)"
else
    passed=$((passed + $(echo "$line" | cut -d' ' -f1)))
    failed=$((failed + $(echo "$line" | cut -d' ' -f3)))
fi

echo "Wine screenshots: build/native/wine-run/artifacts"
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
