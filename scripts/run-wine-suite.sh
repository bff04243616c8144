#!/usr/bin/env bash
# Runs one Wine test suite of a win64 build in a fresh Wine environment of its
# own (prefix, locale, Xvfb display) and stops what it started.
#   scripts/run-wine-suite.sh SUITE BUILD_DIR RUN_DIR [NATIVE_DIR]
# SUITE: contract (the registry contract against Wine's registry),
# loader-integer (the loader's reading of a number against ntdll's), hivefiles
# (the hive file layer, commit and backup over Win32 files), e2e (the
# end-to-end driver of Vornex.exe and vornex-cli.exe at 96 DPI) or e2e-144dpi
# (the layout, label, list, banner and font tests again at 144 DPI) or
# hive-cli (vornex-cli.exe --hive against the Linux build of NATIVE_DIR, which
# also reads back what it repaired: tests/e2e/hive_cli_oracle.sh).
# The suite's own output goes to standard output; Wine's to RUN_DIR/SUITE.stderr.
# Screenshots land in RUN_DIR/artifacts[/144dpi] as PNG.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=wine-env.sh
source "$here/wine-env.sh"

if [ $# -lt 3 ] || [ $# -gt 4 ]; then
    echo "usage: $0 SUITE BUILD_DIR RUN_DIR [NATIVE_DIR]" >&2
    exit 2
fi
suite=$1
build_dir=$(cd "$2" && pwd)
run_dir=$3
mkdir -p "$run_dir"
run_dir=$(cd "$run_dir" && pwd)
tests_dir=$build_dir/wine-tests

dpi=96
artifacts=$run_dir/artifacts
args=()
case "$suite" in
    contract) exe=$tests_dir/vornex_contract_tests.exe ;;
    loader-integer) exe=$tests_dir/vornex_loader_integer_tests.exe ;;
    hivefiles) exe=$tests_dir/vornex_hive_files_tests.exe ;;
    e2e) exe=$tests_dir/vornex_e2e.exe ;;
    hive-cli) exe=$tests_dir/vornex_hive_cli_tests.exe ;;
    e2e-144dpi)
        exe=$tests_dir/vornex_e2e.exe
        dpi=144
        artifacts=$run_dir/artifacts/144dpi
        # Tests tied to one DPI skip themselves at the other.
        filter='Dpi.*:Fonts.*:Detail.*:List.*'
        filter+=':VornexE2E.WindowHasItsCaptionFrameAndStoredPlace:VornexE2E.ControlsStandAtTheirDesignRectanglesInTabOrder'
        args+=(--gtest_filter="$filter")
        ;;
    *) echo "unknown suite $suite" >&2; exit 2 ;;
esac
[ -f "$exe" ] || { echo "$exe not found: build the win64 preset first" >&2; exit 2; }
mkdir -p "$artifacts"
oracle=$here/../tests/e2e/hive_cli_oracle.sh
data=$run_dir/hive-cli-data
if [ "$suite" = hive-cli ]; then
    native_dir=$(cd "${4:?hive-cli needs NATIVE_DIR}" && pwd)
    bash "$oracle" expect "$native_dir" "$data" || { echo "the Linux build's side could not be prepared" >&2; exit 1; }
fi

trap wine_env_stop EXIT
trap 'exit 130' INT TERM
# A prefix of this run's own: one left by an earlier run may still be settling.
rm -rf "${run_dir:?}/env-$suite"
wine_env_start "$run_dir/env-$suite" "$dpi"

if [ "$suite" != contract ] && [ "$suite" != loader-integer ] && [ "$suite" != hivefiles ] &&
   [ "$suite" != hive-cli ]; then
    args+=(--exe "$(wine_env_winpath "$build_dir/Vornex.exe")"
           --out "$(wine_env_winpath "$artifacts")" --dpi "$dpi")
    [ "$suite" = e2e ] && args+=(--cli "$(wine_env_winpath "$build_dir/cli/vornex-cli.exe")")
fi
if [ "$suite" = hive-cli ]; then
    mkdir -p "$data/runs"
    args+=(--cli "$(wine_env_winpath "$build_dir/cli/vornex-cli.exe")" --data "$(wine_env_winpath "$data")"
           --out "$(wine_env_winpath "$data/runs")")
    # Drive D: holds a Windows folder, as an attached disk would.
    ln -sfn "$data/drive-d" "$WINEPREFIX/dosdevices/d:"
fi
status=0
# vornex-cli.exe speaks the UI language, which under Wine a child takes from
# the driver's Unix locale: the tests that read its English run in English,
# the rest in the prefix's Chinese; the language test runs in both.
english='*CliGuarded*:*CliReadOnly*:*CliLink*:CliAgrees.*:UndoRoundTrip.EachCommandLine*'
if [ "$suite" = e2e ]; then
    timeout 900 wine "$exe" "${args[@]}" --gtest_filter="*-$english" 2>"$run_dir/$suite.stderr" || status=$?
    LC_ALL=C.UTF-8 LANG=C.UTF-8 timeout 900 wine "$exe" "${args[@]}" --gtest_filter="$english:CliLanguage.*" \
        2>>"$run_dir/$suite.stderr" || status=$?
elif [ "$suite" = hive-cli ]; then
    # Compared with the Linux build's output, which the oracle makes in English.
    LC_ALL=C.UTF-8 LANG=C.UTF-8 timeout 900 wine "$exe" "${args[@]}" 2>"$run_dir/$suite.stderr" || status=$?
else
    timeout 900 wine "$exe" "${args[@]}" 2>"$run_dir/$suite.stderr" || status=$?
fi
wine_env_stop
if [ "$suite" = hive-cli ]; then
    bash "$oracle" check "$native_dir" "$data" || status=1
fi

for bmp in "$artifacts"/*.bmp; do
    [ -e "$bmp" ] || continue
    convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
exit $status
