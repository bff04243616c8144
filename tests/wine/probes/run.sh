#!/usr/bin/env bash
# Builds the probes and runs them under Wine in a private environment (own
# prefix, locale, Xvfb display; stopped again at exit). Logs go to RUN_DIR.
#   tests/wine/probes/run.sh [RUN_DIR] [edit timing arguments...]
# e.g. run.sh build/probes-run --reps 5 --lengths 3000,4000,6000
# Exit code: 0 when every probe passed and nothing was left in the registry.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../../.." && pwd)
run=${1:-$top/build/probes-run}
shift || true
mkdir -p "$run"
run=$(cd "$run" && pwd)
bin=$(bash "$here/build.sh" "$run/bin")

# shellcheck source=../../../scripts/wine-env.sh
source "$top/scripts/wine-env.sh"
trap wine_env_stop EXIT
wine_env_start "$run/wine"

rc=0
for probe in probe_key_security probe_link_keys; do
  echo "== $probe"
  wine "$bin/$probe.exe" | tee "$run/$probe.log" || rc=1
done
echo "== probe_edit_timing $*"
wine "$bin/probe_edit_timing.exe" "$@" | tee "$run/probe_edit_timing.log" || rc=1

# The probes' keys are volatile: a fresh wineserver must not see any of them.
wineserver -k || true
wineserver -w || true
if wine reg query 'HKLM\SOFTWARE\VornexProbe' >/dev/null 2>&1; then
  echo "FAIL HKLM\\SOFTWARE\\VornexProbe still exists after the wineserver restarted"
  rc=1
else
  echo "PASS nothing of the probes left in the registry after the wineserver restarted"
fi
exit "$rc"
