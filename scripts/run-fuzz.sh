#!/usr/bin/env bash
# A bounded libFuzzer run over a seed corpus (copied, so the run's new inputs
# stay out of the source tree). Ends with "N passed, N failed": one case.
#   scripts/run-fuzz.sh FUZZER SEED_CORPUS WORK_DIR [SECONDS]
set -uo pipefail
fuzzer=$1 seeds=$2 work=$3 seconds=${4:-${VORNEX_FUZZ_SECONDS:-30}}
rm -rf "$work"
mkdir -p "$work/corpus"
cp "$seeds"/* "$work/corpus/" 2>/dev/null || true
if "$fuzzer" -max_total_time="$seconds" -artifact_prefix="$work/" "$work/corpus" 2>"$work/fuzz.log"; then
    grep -E '^Done [0-9]+ runs' "$work/fuzz.log" || true
    echo "1 passed, 0 failed"
else
    tail -30 "$work/fuzz.log"
    echo "a failing input was saved under $work/"
    echo "0 passed, 1 failed"
    exit 1
fi
