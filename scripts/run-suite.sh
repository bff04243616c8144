#!/usr/bin/env bash
# Runs one test suite for CTest and keeps its whole output in LOG, where the
# test command reads the counts of its summary line; the output is also
# passed on, so that CTest shows it for a failure.
#   scripts/run-suite.sh LOG COMMAND [ARGS...]
set -uo pipefail
log=$1
shift
mkdir -p "$(dirname "$log")"
"$@" >"$log" 2>&1
rc=$?
cat "$log"
exit $rc
