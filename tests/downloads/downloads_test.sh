#!/usr/bin/env bash
# The Windows downloads: builds the `package` target of the win64 and win32
# trees and checks each zip from the outside: its exact files, SHA256SUMS
# (sha256sum -c in the unpacked folder), the guide's encoding and content,
# the programs' kind and imports (system DLLs only), and, for win64, that the
# unpacked programs start under Wine. A tree that is not built is skipped
# with a message; when neither is, the suite exits 77 (CTest: skipped).
# Ends with "N passed, N failed".
#
#   tests/downloads/downloads_test.sh --version VERSION --win64 DIR --win32 DIR --run-dir DIR
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
version="" win64="" win32="" run_dir=""
while [ $# -gt 0 ]; do
    case $1 in
        --version) version=$2; shift 2 ;;
        --win64) win64=$2; shift 2 ;;
        --win32) win32=$2; shift 2 ;;
        --run-dir) run_dir=$2; shift 2 ;;
        *) echo "unknown argument $1"; echo "0 passed, 1 failed"; exit 2 ;;
    esac
done
if [ -z "$version" ] || [ -z "$win64" ] || [ -z "$win32" ] || [ -z "$run_dir" ]; then
    echo "usage: $0 --version VERSION --win64 DIR --win32 DIR --run-dir DIR"
    echo "0 passed, 1 failed"
    exit 2
fi

work=$(mktemp -d /tmp/vornex-downloads-test.XXXXXX)
trap 'rm -rf "$work"' EXIT

. "$(dirname "${BASH_SOURCE[0]}")/../shell_checks.sh"
checked_trees=0
finish() {
    echo "$passed passed, $failed failed"
    [ "$checked_trees" -gt 0 ] || exit 77
    [ "$failed" -eq 0 ]
    exit
}

guide=使用说明.txt
expected_files=$(printf '%s\n' BUILDINFO.txt LICENSE SHA256SUMS Vornex.exe vornex-cli.exe "$guide" | LC_ALL=C sort)

# Lists a zip's entries, one a line: name, then "utf8" when the entry carries
# the UTF-8 flag (bit 11), which Windows' Explorer needs to show a name that
# is not ASCII; then unpacks it flat into DIR (refusing any path in a name).
list_and_unpack() {  # ZIP DIR LIST
    python3 - "$1" "$2" >"$3" <<'EOF'
import os, sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
for i in z.infolist():
    print(i.filename + ("\tutf8" if i.flag_bits & 0x800 else ""))
    if "/" in i.filename or "\\" in i.filename or i.filename in ("", ".", ".."):
        sys.exit("entry with a path: " + i.filename)
    with open(os.path.join(sys.argv[2], i.filename), "wb") as out:
        out.write(z.read(i))
EOF
}

# DLLs every Windows since 7 has in System32: anything else (libstdc++-6.dll,
# libwinpthread-1.dll) would have to lie beside the program on the stick.
system_dlls=" $(echo advapi32.dll bcrypt.dll comctl32.dll comdlg32.dll crypt32.dll gdi32.dll kernel32.dll \
    msvcrt.dll ntdll.dll ole32.dll oleaut32.dll rpcrt4.dll shell32.dll shlwapi.dll user32.dll userenv.dll \
    uxtheme.dll version.dll ws2_32.dll) "

check_tree() {  # ARCH DIR OBJDUMP MAGIC
    local arch=$1 dir=$2 objdump=$3 magic=$4
    local name=Vornex-$version-$arch zip unpacked=$work/$arch
    if [ ! -f "$dir/CMakeCache.txt" ] || [ ! -f "$dir/Vornex.exe" ] || [ ! -f "$dir/cli/vornex-cli.exe" ]; then
        local configure="cmake --preset $arch"
        [ "$arch" = win32 ] && configure+=" -DVORNEX_WINE_TESTS=OFF"
        echo "SKIP: $name.zip: $dir is not built ($configure && cmake --build --preset $arch)"
        return
    fi
    checked_trees=$((checked_trees + 1))
    zip=$dir/$name.zip
    make_zip() {
        rm -f "$zip"
        CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2} cmake --build "$dir" --target package \
            >"$work/build-$arch.log" 2>&1 && [ -f "$zip" ] || { tail -20 "$work/build-$arch.log"; return 1; }
    }
    check "cmake --build $dir --target package makes $name.zip" make_zip || return

    mkdir -p "$unpacked"
    exact_files() {
        list_and_unpack "$zip" "$unpacked" "$work/list-$arch" || return 1
        local got
        got=$(cut -f1 "$work/list-$arch" | LC_ALL=C sort)
        [ "$got" = "$expected_files" ] || { diff <(echo "$expected_files") <(echo "$got") | sed 's/^/  /'; return 1; }
        grep -qxF "$guide"$'\tutf8' "$work/list-$arch" || { echo "  $guide has no UTF-8 flag"; return 1; }
    }
    check "$name.zip holds exactly Vornex.exe, vornex-cli.exe, LICENSE, BUILDINFO.txt, SHA256SUMS and $guide (its name flagged UTF-8)" \
        exact_files || return

    sums() {
        local listed
        listed=$(sed 's/^[0-9a-f]\{64\}  //; s/\r$//' "$unpacked/SHA256SUMS" | LC_ALL=C sort)
        [ "$listed" = "$(grep -vx SHA256SUMS <<<"$expected_files")" ] || { echo "  lists: $listed"; return 1; }
        (cd "$unpacked" && sha256sum --strict -c SHA256SUMS) | sed 's/^/  /'
        [ "${PIPESTATUS[0]}" -eq 0 ]
    }
    check "sha256sum -c SHA256SUMS passes in the unpacked folder, over every other file" sums

    same_build() {
        cmp "$unpacked/Vornex.exe" "$dir/Vornex.exe" && cmp "$unpacked/vornex-cli.exe" "$dir/cli/vornex-cli.exe" &&
            cmp "$unpacked/LICENSE" "$root/LICENSE"
    }
    check "the zip's programs are the tree's build, its LICENSE the project's" same_build

    guide_text() {
        local g=$unpacked/$guide bad=0 word
        [ "$(head -c3 "$g" | od -An -tx1 | tr -d ' ')" = efbbbf ] || { echo "  no UTF-8 BOM"; bad=1; }
        iconv -f UTF-8 -t UTF-8 "$g" >/dev/null || { echo "  not valid UTF-8"; bad=1; }
        # Every line ends in CRLF: no LF without its CR, no CR alone, and a last line ended too.
        [ "$(tr -cd '\n' <"$g" | wc -c)" -gt 20 ] &&
            [ "$(grep -c $'\r$' "$g")" -eq "$(tr -cd '\n' <"$g" | wc -c)" ] &&
            [ "$(tr -cd '\r' <"$g" | wc -c)" -eq "$(tr -cd '\n' <"$g" | wc -c)" ] &&
            [ "$(tail -c2 "$g" | od -An -tx1 | tr -d ' ')" = 0d0a ] || { echo "  line ends are not all CRLF"; bad=1; }
        for word in 手工修复 手工删除 自动修复 "Vornex $version" '--hive' 'SOFTWARE.vornex-backup-'; do
            grep -qF -- "$word" "$g" || { echo "  does not name $word"; bad=1; }
        done
        return $bad
    }
    check "$guide is UTF-8 with a BOM and CRLF, names the three buttons, the version, --hive and the backup" guide_text

    programs() {
        local bad=0 exe subsystem dump dll
        for exe in Vornex.exe vornex-cli.exe; do
            [ "$exe" = Vornex.exe ] && subsystem=00000002 || subsystem=00000003
            dump=$("$objdump" -p "$unpacked/$exe") || { echo "  $objdump cannot read $exe"; bad=1; continue; }
            grep -qE "^Magic[[:space:]]+$magic" <<<"$dump" || { echo "  $exe: $(grep '^Magic' <<<"$dump")"; bad=1; }
            grep -qE "^Subsystem[[:space:]]+$subsystem" <<<"$dump" || { echo "  $exe: $(grep '^Subsystem' <<<"$dump")"; bad=1; }
            grep -q 'DLL Name:' <<<"$dump" || { echo "  $exe: no imports found"; bad=1; }
            for dll in $(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | tr 'A-Z' 'a-z'); do
                [[ $system_dlls == *" $dll "* ]] || { echo "  $exe imports $dll"; bad=1; }
            done
        done
        return $bad
    }
    check "Vornex.exe (GUI) and vornex-cli.exe (console) are $([ "$magic" = 020b ] && echo PE32+ || echo PE32) and import system DLLs only" programs

    # The headers say Windows 7 (6.1), and every function imported is one the
    # SDK's own headers declare for Windows 7: compiled for it, an import of a
    # newer Windows is an undeclared name (the C runtime, on every Windows, aside).
    windows_seven() {
        local bad=0 exe field
        {
            printf '#define _WIN32_WINNT 0x0601\n#define WINVER 0x0601\n'
            printf '#include <windows.h>\n#include <sddl.h>\n#include <aclapi.h>\n#include <olectl.h>\n'
        } >"$work/floor-$arch.c"
        for exe in Vornex.exe vornex-cli.exe; do
            "$objdump" -p "$unpacked/$exe" >"$work/dump-$arch-$exe"
            for field in MajorSubsystemVersion:6 MinorSubsystemVersion:1 MajorOSystemVersion:6 MinorOSystemVersion:1; do
                grep -qE "^${field%:*}[[:space:]]+${field#*:}$" "$work/dump-$arch-$exe" ||
                    { echo "  $exe: $(grep "^${field%:*}" "$work/dump-$arch-$exe")"; bad=1; }
            done
        done
        awk '/DLL Name:/ { dll = tolower($3) } /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ { if (dll != "msvcrt.dll") print $3 }' \
            "$work"/dump-"$arch"-* | sort -u | awk '{ printf "void *import%d = (void *)&%s;\n", NR, $1 }' \
            >>"$work/floor-$arch.c"
        [ "$(grep -c '^void' "$work/floor-$arch.c")" -gt 50 ] || { echo "  too few imports read"; bad=1; }
        "${objdump%objdump}gcc" -c -o /dev/null "$work/floor-$arch.c" 2>"$work/floor-$arch.err" ||
            { grep 'error' "$work/floor-$arch.err" | sed 's/^/  /'; bad=1; }
        return $bad
    }
    check "both programs say Windows 7 (6.1) in their headers and import nothing Windows 7 lacks" windows_seven
}

check_tree win64 "$win64" x86_64-w64-mingw32-objdump 020b
check_tree win32 "$win32" i686-w64-mingw32-objdump 010b
# This machine's kernel runs no 32-bit program, so the win32 zip is checked
# statically only.

# --- the win64 zip's programs, unpacked, start under Wine
if [ -f "$work/win64/vornex-cli.exe" ]; then
    # shellcheck source=../../scripts/wine-env.sh
    source "$root/scripts/wine-env.sh"
    trap 'wine_env_stop; rm -rf "$work"' EXIT
    rm -rf "${run_dir:?}"
    if ! wine_env_start "$run_dir"; then
        check "a Wine environment starts in $run_dir" false
    else
        cli_version() {
            local out rc
            out=$(wine "$work/win64/vornex-cli.exe" --version 2>>"$run_dir/wine.stderr"); rc=$?
            out=${out%$'\r'}
            [ "$rc" -eq 0 ] && [ "$out" = "vornex-cli $version" ] || { echo "  exit $rc: $out"; return 1; }
        }
        check "the unpacked vornex-cli.exe --version says vornex-cli $version under Wine" cli_version
        window_opens() {
            local pid found=1 _
            wine "$work/win64/Vornex.exe" 2>>"$run_dir/wine.stderr" &
            pid=$!
            # Wine names the X window of each top-level window by its program.
            for _ in $(seq 1 150); do
                if xwininfo -root -tree | grep -v '"Default IME"' | grep -qF '("vornex.exe" "vornex.exe")'; then
                    found=0; break
                fi
                kill -0 "$pid" 2>/dev/null || break
                sleep 0.1
            done
            [ "$found" -eq 0 ] || xwininfo -root -tree | sed 's/^/  /' | head -20
            wineserver -k
            wait "$pid" 2>/dev/null
            return $found
        }
        check "the unpacked Vornex.exe opens its window under Wine" window_opens
    fi
fi
finish
