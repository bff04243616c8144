#!/usr/bin/env bash
# The Linux build's side of the Wine suite hive-cli (hive_cli_test.cpp):
#
#   hive_cli_oracle.sh expect NATIVE_BUILD DATA
#       before it: the seeded hives, what the Linux vornex-cli says on every
#       hive (DATA/cases.txt; DATA/expected/N-scan.*, N-json.*: stdout,
#       stderr, exit code) and the copies vornex-cli.exe is to repair
#       (DATA/repairs.txt: Linux path, Windows path, current folder)
#   hive_cli_oracle.sh check NATIVE_BUILD DATA
#       after it: each repaired copy read back by the Linux build and hivexget
#
# DATA/drive-d is to be the prefix's drive D:.
set -uo pipefail
# English, as the Wine side runs vornex-cli.exe: the outputs are compared whole.
export LC_ALL=C
mode=$1
native=$2
data=$3
cli=$native/cli/vornex-cli
hives=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/../shared/hives
T=$'\t'
IFEO='SOFTWARE\Microsoft\Windows NT\CurrentVersion\Image File Execution Options'
HIFEO='\Microsoft\Windows NT\CurrentVersion\Image File Execution Options'

zpath() { local p; p=$(realpath -ms "$1"); printf 'Z:%s' "${p//\//\\}"; }

seed() {  # file, then script lines on standard input
    "$native/tests/cli/vornex_hive_fixture" "$1" >/dev/null
}

expect() {
    rm -rf "$data"
    mkdir -p "$data/expected" "$data/fixture" "$data/dirty"
    # Names whose order is the same in the Windows list and the registry's.
    seed "$data/fixture/SOFTWARE" <<EOF || return 1
sz${T}${IFEO}\\notepad.exe${T}Debugger${T}C:\\evil.exe /q
sz${T}${IFEO}\\notepad.exe${T}Other${T}kept
sz${T}${IFEO}\\Calc.exe${T}DEBUGGER${T}calc$(printf '\342\200\256')exe.txt
sz${T}${IFEO}\\中文.exe${T}Debugger${T}C:\\程序.exe
EOF
    # Dirty, its newest state only in a log named in another letter case.
    printf '%s\n' "sz${T}${IFEO}\\a.exe${T}Other${T}kept" | seed "$data/dirty/before" &&
        printf '%s\n' "sz${T}${IFEO}\\a.exe${T}Debugger${T}C:\\from-the-log.exe" | seed "$data/dirty/after" &&
        "$native/tests/cli/vornex_dirty_hive" "$data/dirty/before" "$data/dirty/after" "$data/dirty/SOFTWARE" \
            >/dev/null &&
        mv "$data/dirty/SOFTWARE.LOG1" "$data/dirty/software.log1" && rm "$data/dirty/before" "$data/dirty/after" ||
        return 1

    # Dirty, its log a link to a file outside the folder: never read (and so stale).
    mkdir -p "$data/linked" && cp "$data/dirty/SOFTWARE" "$data/linked/SOFTWARE" &&
        cp "$data/dirty/software.log1" "$data/outside.log1" && ln -s ../outside.log1 "$data/linked/SOFTWARE.LOG1" ||
        return 1

    local n=0 file
    { find "$hives" -type f | LC_ALL=C sort; echo "$data/fixture/SOFTWARE"; echo "$data/dirty/SOFTWARE";
        echo "$data/linked/SOFTWARE"; } >"$data/cases.txt"
    while IFS= read -r file; do
        n=$((n + 1))
        "$cli" --hive "$file" scan >"$data/expected/$n-scan.out" 2>"$data/expected/$n-scan.err"
        echo $? >"$data/expected/$n-scan.rc"
        "$cli" --hive "$file" scan --json >"$data/expected/$n-json.out" 2>"$data/expected/$n-json.err"
        echo $? >"$data/expected/$n-json.rc"
    done <"$data/cases.txt"

    # The copies to repair: a drive letter, a relative path, a \\?\ path past
    # 260 characters through folder names no code page holds, a link.
    local config=$data/drive-d/Windows/System32/config
    local long=$data/long
    local part
    for part in 1 2 3 4; do long+="/$(printf '修复😀%.0s' $(seq 14))-$part"; done
    mkdir -p "$config" "$data/cwd/config" "$long" "$data/target" "$data/link"
    cp "$data/fixture/SOFTWARE" "$config/SOFTWARE"
    cp "$data/fixture/SOFTWARE" "$data/cwd/config/SOFTWARE"
    cp "$data/fixture/SOFTWARE" "$long/SOFTWARE"
    cp "$data/fixture/SOFTWARE" "$data/target/SOFTWARE"
    ln -s ../target/SOFTWARE "$data/link/SOFTWARE"
    {
        printf '%s\t%s\t%s\n' "$config/SOFTWARE" 'D:\Windows\System32\config\SOFTWARE' ''
        printf '%s\t%s\t%s\n' "$data/cwd/config/SOFTWARE" 'config\SOFTWARE' "$(zpath "$data/cwd")"
        printf '%s\t%s\t%s\n' "$long/SOFTWARE" "\\\\?\\$(zpath "$long/SOFTWARE")" ''
        printf '%s\t%s\t%s\n' "$data/target/SOFTWARE" "$(zpath "$data/link/SOFTWARE")" ''
    } >"$data/repairs.txt"
}

check() {
    local failed=0 unix win _ out
    while IFS=$T read -r unix win _; do
        out=$("$cli" --hive "$unix" scan)
        if [ $? -eq 1 ] && ! grep -q '^notepad.exe ' <<<"$out" && grep -q '^Calc.exe ' <<<"$out" &&
            [ "$(hivexget "$unix" "$HIFEO\\notepad.exe" Other)" = kept ] &&
            [ -z "$(hivexget "$unix" "$HIFEO\\notepad.exe" Debugger 2>/dev/null)" ]; then
            echo "PASS: repaired through $win, read back by the Linux build and hivexget"
        else
            echo "FAIL: repaired through $win, read back by the Linux build and hivexget: $out"
            failed=1
        fi
    done <"$data/repairs.txt"
    if [ -L "$data/link/SOFTWARE" ]; then
        echo "PASS: the link is still a link (written through to its target)"
    else
        echo "FAIL: the link was replaced by a file"
        failed=1
    fi
    return $failed
}

case "$mode" in
    expect) expect ;;
    check) check ;;
    *) echo "usage: $0 expect|check NATIVE_BUILD DATA" >&2; exit 2 ;;
esac
