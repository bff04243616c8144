#!/usr/bin/env bash
# Runs the Wine test programs of a win64 build in a fresh Wine environment.
#   scripts/run-wine-tests.sh BUILD_DIR RUN_DIR
# Screenshots land in RUN_DIR/artifacts as PNG (those of the 144-DPI run in
# artifacts/144dpi); logs in RUN_DIR/*.log.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=wine-env.sh
source "$here/wine-env.sh"

build_dir=$(cd "$1" && pwd)
run_dir=$2
mkdir -p "$run_dir/artifacts"
run_dir=$(cd "$run_dir" && pwd)
tests_dir=$build_dir/wine-tests

trap wine_env_stop EXIT
trap 'exit 130' INT TERM
wine_env_start "$run_dir/env"

status=0
run() {  # name, exe, args...
    local name=$1; shift
    echo "== $name"
    timeout 600 wine "$@" >"$run_dir/$name.log" 2>"$run_dir/$name.stderr" || status=1
    # gtest's own lines, without Wine's noise.
    grep -E '^\[ *(RUN|OK|FAILED|PASSED|SKIPPED) *\]|Failure|Expected|Which is|actual|^  ' "$run_dir/$name.log" |
        grep -vE '^\[ RUN' || true
}

run contract "$tests_dir/vornex_contract_tests.exe"
run e2e "$tests_dir/vornex_e2e.exe" --exe "$(wine_env_winpath "$build_dir/Vornex.exe")" \
    --cli "$(wine_env_winpath "$build_dir/cli/vornex-cli.exe")" \
    --out "$(wine_env_winpath "$run_dir/artifacts")" --dpi 96
wine_env_stop

# The layout, the auto-size labels, the list, the banner and the fonts once
# more in a prefix at 144 DPI (tests tied to one DPI skip themselves at the other).
dpi_tests='Dpi.*:Fonts.*:Detail.*:List.*'
dpi_tests+=':VornexE2E.WindowHasItsCaptionFrameAndStoredPlace:VornexE2E.ControlsStandAtTheirDesignRectanglesInTabOrder'
mkdir -p "$run_dir/artifacts/144dpi"
wine_env_start "$run_dir/env144" 144
run e2e-144dpi "$tests_dir/vornex_e2e.exe" --gtest_filter="$dpi_tests" \
    --exe "$(wine_env_winpath "$build_dir/Vornex.exe")" \
    --out "$(wine_env_winpath "$run_dir/artifacts/144dpi")" --dpi 144

for bmp in "$run_dir"/artifacts/*.bmp "$run_dir"/artifacts/144dpi/*.bmp; do
    [ -e "$bmp" ] || continue
    convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
exit $status
