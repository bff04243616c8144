#!/usr/bin/env bash
# A bounded libFuzzer run (VORNEX_FUZZ_SECONDS, 30 by default) over seeds
# copied into WORK_DIR, so that the run's new inputs stay out of the source
# tree. Ends with "N passed, N failed": one case.
#   scripts/run-fuzz.sh FUZZER WORK_DIR SEED_DIR|SEED_COMMAND... [-- FUZZER_ARGS...]
# A seed source that is a folder is copied; otherwise it is a command run
# with the corpus folder as its last argument.
set -uo pipefail
fuzzer=$1 work=$2
shift 2
rm -rf "$work"
mkdir -p "$work/corpus"
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
    if [ -d "$1" ]; then
        cp "$1"/* "$work/corpus/" 2>/dev/null || true
    else
        eval "$1 \"$work/corpus\"" || { echo "seed command failed: $1"; echo "0 passed, 1 failed"; exit 1; }
    fi
    shift
done
[ "${1:-}" = "--" ] && shift
seconds=${VORNEX_FUZZ_SECONDS:-30}
if "$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=20 -artifact_prefix="$work/" "$@" \
    "$work/corpus" 2>"$work/fuzz.log"; then
    grep -E '^Done [0-9]+ runs' "$work/fuzz.log" || true
    echo "1 passed, 0 failed"
else
    tail -30 "$work/fuzz.log"
    echo "a failing input was saved under $work/"
    echo "0 passed, 1 failed"
    exit 1
fi
