#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test: the native
# suites, the Wine suites on the real Vornex.exe, and the harness self-test.
# Ends with one summary line "N passed, N failed"; exit code 0 when all pass.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
out=$root/build/test-run
rm -rf "$out"
mkdir -p "$out"

passed=0
failed=0
step_failed() {  # a step that produced no count of its own counts as one failure
    echo "FAILED: $1" >&2
    failed=$((failed + 1))
}
count_gtest() {  # log file
    local p f
    p=$(grep -oE '^\[  PASSED  \] [0-9]+ test' "$1" | grep -oE '[0-9]+' | tail -1)
    f=$(grep -oE '^\[  FAILED  \] [0-9]+ tests?, listed below' "$1" | grep -oE '[0-9]+' | tail -1)
    passed=$((passed + ${p:-0}))
    failed=$((failed + ${f:-0}))
    [ -n "$p$f" ]
}

echo "== installing packages"
bash scripts/install-deps.sh >"$out/install.log" 2>&1 || { cat "$out/install.log"; step_failed "install"; }

echo "== building (native, win64, win32, sanitizers, fuzzer)"
{
    cmake --preset native && cmake --build --preset native &&
        cmake --preset win64 && cmake --build --preset win64 &&
        cmake --preset win32 -DVORNEX_WINE_TESTS=OFF && cmake --build --preset win32 &&
        cmake --preset native-asan && cmake --build --preset native-asan &&
        cmake --preset fuzz && cmake --build --preset fuzz
} >"$out/build.log" 2>&1
build_rc=$?
if [ $build_rc -ne 0 ]; then
    tail -40 "$out/build.log"
    step_failed "build"
    echo "0 passed, $failed failed"
    exit 1
fi
ls -l build/win64/Vornex.exe build/win32/Vornex.exe build/win64/cli/vornex-cli.exe build/win32/cli/vornex-cli.exe

echo "== native tests"
native_log=$out/native.log
build/native/tests/native/vornex_native_tests >"$native_log" 2>&1
native_rc=$?
grep -E '^\[  FAILED  \]|: Failure$' "$native_log" || true
count_gtest "$native_log" || step_failed "native tests (no summary)"
[ $native_rc -eq 0 ] || grep -q 'listed below' "$native_log" || step_failed "native tests exit $native_rc"
tail -1 "$native_log"

echo "== vornex-cli: hive store, wider scan and commands (native)"
for suite in vornex_hive_contract_tests vornex_cli_tests; do
    for flavour in native native-asan; do
        log=$out/$suite-$flavour.log
        build/$flavour/tests/cli/$suite >"$log" 2>&1
        rc=$?
        grep -E '^\[  FAILED  \]|: Failure$|ERROR: AddressSanitizer|runtime error' "$log" || true
        count_gtest "$log" || step_failed "$suite ($flavour, no summary)"
        [ $rc -eq 0 ] || grep -q 'listed below' "$log" || step_failed "$suite ($flavour) exit $rc"
        tail -1 "$log"
    done
done

echo "== vornex-cli end to end on hive files"
cli_log=$out/cli-e2e.log
bash tests/cli/cli_test.sh build/native/cli/vornex-cli build/native/tests/cli/vornex_hive_fixture >"$cli_log" 2>&1
cli_rc=$?
grep -E '^FAIL' "$cli_log" || true
line=$(grep -E '^[0-9]+ passed, [0-9]+ failed' "$cli_log" | tail -1)
if [ -n "$line" ]; then
    passed=$((passed + $(echo "$line" | cut -d' ' -f1)))
    failed=$((failed + $(echo "$line" | cut -d' ' -f3)))
    echo "$line"
else
    step_failed "vornex-cli end to end (no summary)"
fi
[ $cli_rc -eq 0 ] || [ -n "$line" ] || step_failed "vornex-cli end to end exit $cli_rc"

echo "== native tests with AddressSanitizer and UBSan"
asan_log=$out/native-asan.log
build/native-asan/tests/native/vornex_native_tests >"$asan_log" 2>&1
asan_rc=$?
grep -E '^\[  FAILED  \]|ERROR: AddressSanitizer|runtime error' "$asan_log" || true
count_gtest "$asan_log" || step_failed "sanitizer tests (no summary)"
[ $asan_rc -eq 0 ] || grep -q 'listed below' "$asan_log" || step_failed "sanitizer tests exit $asan_rc"

echo "== fuzzing the scan and repairs (bounded)"
corpus=$out/fuzz-corpus
mkdir -p "$corpus"
cp tests/fuzz/corpus/* "$corpus"/ 2>/dev/null || true
if build/fuzz/tests/fuzz/vornex_fuzz -max_total_time="${VORNEX_FUZZ_SECONDS:-30}" -artifact_prefix="$out/" \
    "$corpus" >"$out/fuzz.log" 2>&1; then
    passed=$((passed + 1))
    grep -E '^Done [0-9]+ runs' "$out/fuzz.log" || true
else
    tail -30 "$out/fuzz.log"
    step_failed "fuzzer found a failing input (saved under $out/)"
fi

echo "== Wine tests on Vornex.exe"
bash scripts/run-wine-tests.sh build/win64 "$out/wine"
wine_rc=$?
for log in "$out"/wine/contract.log "$out"/wine/e2e.log "$out"/wine/e2e-144dpi.log; do
    [ -f "$log" ] && count_gtest "$log" || step_failed "$(basename "$log") (no summary)"
done
[ $wine_rc -eq 0 ] || [ $failed -gt 0 ] || step_failed "Wine tests exit $wine_rc"
echo "screenshots: $out/wine/artifacts"

echo "== Wine harness self-test"
selftest_log=$out/selftest.log
bash scripts/test-wine-selftest.sh build/win64/tests/wine "$out/selftest" >"$selftest_log" 2>&1
selftest_rc=$?
line=$(grep -E '^[0-9]+ passed, [0-9]+ failed' "$selftest_log" | tail -1)
if [ -n "$line" ]; then
    passed=$((passed + $(echo "$line" | cut -d' ' -f1)))
    failed=$((failed + $(echo "$line" | cut -d' ' -f3)))
else
    step_failed "harness self-test (no summary)"
fi
[ $selftest_rc -eq 0 ] || [ -n "$line" ] || step_failed "harness self-test exit $selftest_rc"
grep -E '^(PASS|FAIL)' "$selftest_log" || true

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
