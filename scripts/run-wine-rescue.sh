#!/usr/bin/env bash
# Runs the Wine suite of Vornex.exe on hive files (vornex_rescue_e2e) in a
# prefix of its own, whose drive D: is a folder holding an installed
# Windows' SOFTWARE hive; the tests set and remove the prefix's MiniNT key
# themselves, so it reaches no other suite's prefix. The hives are made here
# with the test tools, and the repaired one is read back afterwards with the
# Linux vornex-cli.
#   scripts/run-wine-rescue.sh WIN64_DIR RUN_DIR HIVE_FIXTURE DIRTY_HIVE VORNEX_CLI
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=wine-env.sh
source "$here/wine-env.sh"

if [ $# -ne 5 ]; then
    echo "usage: $0 WIN64_DIR RUN_DIR HIVE_FIXTURE DIRTY_HIVE VORNEX_CLI" >&2
    exit 2
fi
build_dir=$(cd "$1" && pwd)
mkdir -p "$2"
run_dir=$(cd "$2" && pwd)
fixture=$3
dirty=$4
cli=$5
exe=$build_dir/wine-tests/vornex_rescue_e2e.exe
[ -f "$exe" ] || { echo "$exe not found: build the win64 preset first" >&2; exit 2; }
artifacts=$run_dir/artifacts
mkdir -p "$artifacts"

hives=$run_dir/rescue-hives
rm -rf "${hives:?}"
mkdir -p "$hives/d/Windows/System32/config" "$hives/plain" "$hives/nohive" "$hives/stale"
# A second Windows on E:, whose SOFTWARE cannot be read; put in place by the
# test that wants two (as Windows.away it is no installed Windows).
mkdir -p "$hives/e/Windows.away/System32/config"
head -c 4096 /dev/urandom >"$hives/e/Windows.away/System32/config/SOFTWARE"
T=$'\t'
CV='SOFTWARE\Microsoft\Windows NT\CurrentVersion'
IFEO="$CV\\Image File Execution Options"
installed=$hives/d/Windows/System32/config/SOFTWARE
"$fixture" "$installed" <<EOF
sz${T}${CV}${T}ProductName${T}Windows 10 Pro
sz${T}${CV}${T}DisplayVersion${T}22H2
sz${T}${CV}${T}CurrentBuild${T}19045
sz${T}${IFEO}\\explorer.exe${T}Debugger${T}C:\\ProgramData\\x\\e.exe
sz${T}${IFEO}\\userinit.exe${T}Debugger${T}C:\\ProgramData\\x\\u.exe
EOF
"$fixture" "$hives/plain/SOFTWARE" <<EOF
sz${T}${IFEO}\\sethc.exe${T}Debugger${T}C:\\Windows\\System32\\cmd.exe
EOF
cp "$hives/plain/SOFTWARE" "$run_dir/plain.orig"
# Named like a hive, starting like one, and none.
{ printf 'regf'; head -c 8188 /dev/zero | tr '\0' 'x'; } >"$hives/nohive/SOFTWARE"
# Dirty, its newest state only in a log that is not there.
"$fixture" "$run_dir/stale.after" <<EOF
sz${T}${IFEO}\\sethc.exe${T}Debugger${T}C:\\Windows\\System32\\cmd.exe
sz${T}${IFEO}\\osk.exe${T}Debugger${T}C:\\Windows\\System32\\cmd.exe
EOF
"$dirty" "$hives/plain/SOFTWARE" "$run_dir/stale.after" "$hives/stale/SOFTWARE"
rm -f "$hives/stale/SOFTWARE.LOG1" "$hives/stale/SOFTWARE.LOG2"
cp "$hives/stale/SOFTWARE" "$run_dir/stale.orig"

trap wine_env_stop EXIT
trap 'exit 130' INT TERM
rm -rf "${run_dir:?}/env-rescue"
wine_env_start "$run_dir/env-rescue" 96
# wine_env_start leaves no program running: the drive is there from the first.
ln -s "$hives/d" "$WINEPREFIX/dosdevices/d:"
ln -s "$hives/e" "$WINEPREFIX/dosdevices/e:"

status=0
timeout 600 wine "$exe" --exe "$(wine_env_winpath "$build_dir/Vornex.exe")" \
    --out "$(wine_env_winpath "$artifacts")" --hives "$(wine_env_winpath "$hives")" \
    2>"$run_dir/rescue.stderr" || status=$?
wine_env_stop

for bmp in "$artifacts"/*.bmp; do
    [ -e "$bmp" ] || continue
    convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done

# The repair went into the installed Windows' hive, the copy beside it holds
# the hive as it was, and the hives only shown are byte for byte as made.
failed=0
check() {
    local what=$1; shift
    if "$@"; then echo "PASS: $what"; else echo "FAIL: $what"; failed=1; fi
}
after=$("$cli" --hive "$installed" scan || true)
check "the repaired hive lists explorer.exe" grep -q '^explorer.exe' <<<"$after"
check "the repaired hive no longer lists userinit.exe" bash -c '! grep -q userinit.exe <<<"$1"' _ "$after"
backups=("$installed".vornex-backup-*)
check "one copy beside the hive" test "${#backups[@]}" -eq 1 -a -f "${backups[0]}"
copy=$("$cli" --hive "${backups[0]}" scan || true)
check "the copy holds the hive as it was" bash -c 'grep -q userinit.exe <<<"$1" && grep -q explorer.exe <<<"$1"' _ "$copy"
check "the hive only shown is unchanged" cmp -s "$run_dir/plain.orig" "$hives/plain/SOFTWARE"
check "the stale hive is unchanged" cmp -s "$run_dir/stale.orig" "$hives/stale/SOFTWARE"
[ "$failed" -eq 0 ] || status=1
exit $status
