#!/usr/bin/env bash
# The Debian package of vornex-cli: made with cpack (or given with --deb),
# then checked from the outside: its file name, file list, permissions and
# control fields (dpkg-deb), its declared dependencies against the libraries
# the binary needs, the manual page (rendered by man without a warning, and
# covering every command and option of --help), the copyright file and the
# changelog, lintian, and the packaged binary itself, run from an extracted
# tree on a hive; and the tarball made beside it (a static vornex-cli, its
# manual page and LICENSE), run in an empty root. Ends with "N passed, N
# failed"; exit code 0 when all pass.
#
#   tests/package/package_test.sh --version VERSION --fixture VORNEX_HIVE_FIXTURE
#       (--cpack CPACK --config CPackConfig.cmake | --deb vornex-cli_VERSION_ARCH.deb [--tarball TGZ])
set -uo pipefail
# The packaged vornex-cli is checked in English, whatever the caller's locale.
export LC_ALL=C
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cpack=cpack config="" deb="" version="" fixture="" tarball=""
while [ $# -gt 0 ]; do
    case $1 in
        --cpack) cpack=$2; shift 2 ;;
        --config) config=$2; shift 2 ;;
        --deb) deb=$2; shift 2 ;;
        --tarball) tarball=$2; shift 2 ;;
        --version) version=$2; shift 2 ;;
        --fixture) fixture=$2; shift 2 ;;
        *) echo "unknown argument $1"; echo "0 passed, 1 failed"; exit 2 ;;
    esac
done
if [ -z "$version" ] || [ -z "$fixture" ] || { [ -z "$config" ] && [ -z "$deb" ]; }; then
    echo "usage: $0 --version VERSION --fixture FIXTURE (--cpack CPACK --config CONFIG | --deb DEB)"
    echo "0 passed, 1 failed"
    exit 2
fi

work=$(mktemp -d /tmp/vornex-package-test.XXXXXX)
trap 'rm -rf "$work"' EXIT

. "$(dirname "${BASH_SOURCE[0]}")/../shell_checks.sh"
finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
}

arch=$(dpkg --print-architecture)

# --- the package: made by cpack into a folder of its own, or given
if [ -z "$deb" ]; then
    # The machine may be shared: the Release build inside cpack uses two jobs
    # unless told otherwise.
    export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}
    make_package() {
        "$cpack" --config "$config" -B "$work/out" >"$work/cpack.log" 2>&1 || { tail -30 "$work/cpack.log"; return 1; }
        local made
        made=$(find "$work/out" -maxdepth 1 -name '*.deb' -printf '%f\n')
        [ "$made" = "vornex-cli_${version}_${arch}.deb" ] || { echo "  cpack made: ${made:-nothing}"; return 1; }
    }
    check "cpack makes exactly one package, vornex-cli_${version}_${arch}.deb" make_package || finish
    deb=$work/out/vornex-cli_${version}_${arch}.deb
    tarball=$work/out/vornex-cli-${version}-linux-$(uname -m).tar.gz
else
    deb=$(readlink -f "$deb")
    check "the package given is named vornex-cli_${version}_${arch}.deb" \
        test "$(basename "$deb")" = "vornex-cli_${version}_${arch}.deb" -a -f "$deb" || finish
fi

# --- the files
dpkg-deb --contents "$deb" >"$work/contents" 2>"$work/contents.err" ||
    { cat "$work/contents.err"; check "dpkg-deb lists the package" false; finish; }
expected_files=$(printf '%s\n' ./usr/ ./usr/bin/ ./usr/bin/vornex-cli ./usr/share/ ./usr/share/doc/ \
    ./usr/share/doc/vornex-cli/ ./usr/share/doc/vornex-cli/changelog.gz ./usr/share/doc/vornex-cli/copyright \
    ./usr/share/man/ ./usr/share/man/man1/ ./usr/share/man/man1/vornex-cli.1.gz \
    ./usr/share/man/zh_CN/ ./usr/share/man/zh_CN/man1/ ./usr/share/man/zh_CN/man1/vornex-cli.1.gz | sort)
file_list() {
    local got
    got=$(awk '$6 != "./" {print $6}' "$work/contents" | sort)  # "./", the root, is no file
    [ "$got" = "$expected_files" ] || { diff <(echo "$expected_files") <(echo "$got") | sed 's/^/  /'; return 1; }
}
check "the package holds exactly vornex-cli, its manual pages, copyright and changelog" file_list

# Modes and owners as dpkg-deb shows them: root:root, folders and the program
# rwxr-xr-x, the other files rw-r--r--.
modes() {
    awk '{
        want = ($1 ~ /^d/ || $6 == "./usr/bin/vornex-cli") ? "xr-xr-x" : "-r--r--"
        if (substr($1, 4) != want || substr($1, 2, 2) != "rw" || $2 != "root/root") { print "  " $0; bad = 1 }
    } END { exit bad }' "$work/contents"
}
check "files are owned by root, the program and folders 0755, the rest 0644" modes

mkdir -p "$work/x"
dpkg-deb -x "$deb" "$work/x" || { check "dpkg-deb extracts the package" false; finish; }
bin=$work/x/usr/bin/vornex-cli

elf_machine() {
    case $arch in
        amd64) echo 'x86-64' ;; arm64) echo 'aarch64' ;; i386) echo 'Intel 80386' ;; armhf) echo 'ARM' ;;
        *) echo 'ELF' ;;
    esac
}
binary_kind() {
    local what
    what=$(file -b "$bin")
    case $what in
        ELF*executable*) ;;
        *) echo "  $what"; return 1 ;;
    esac
    [[ $what == *"$(elf_machine)"* ]] && [[ $what == *", stripped"* ]] || { echo "  $what"; return 1; }
}
check "usr/bin/vornex-cli is a stripped ELF executable for $arch" binary_kind

# Only the Release configuration links with -z relro -z now (CMakeLists.txt):
# a package made from the Debug tree itself would not have them.
release_build() {
    readelf -lW "$bin" | grep -q 'GNU_RELRO' && readelf -dW "$bin" | grep -qE '\(FLAGS\).*BIND_NOW|\(BIND_NOW\)' ||
        { echo "  no full RELRO: not the Release build"; return 1; }
}
check "the program is the Release build (full RELRO, bind now)" release_build

# --- control fields
field() { dpkg-deb --field "$deb" "$1"; }
control() {
    local bad=0
    [ "$(field Package)" = vornex-cli ] || { echo "  Package: $(field Package)"; bad=1; }
    [ "$(field Version)" = "$version" ] || { echo "  Version: $(field Version), project $version"; bad=1; }
    [ "$(field Architecture)" = "$arch" ] || { echo "  Architecture: $(field Architecture)"; bad=1; }
    [ "$(field Section)" = utils ] || { echo "  Section: $(field Section)"; bad=1; }
    [ "$(field Priority)" = optional ] || { echo "  Priority: $(field Priority)"; bad=1; }
    field Maintainer | grep -qE '^[^<>]+ <[^<>@ ]+@[^<>@ ]+>$' || { echo "  Maintainer: $(field Maintainer)"; bad=1; }
    [[ $(field Installed-Size) =~ ^[0-9]+$ ]] || { echo "  Installed-Size: $(field Installed-Size)"; bad=1; }
    return $bad
}
check "control: Package, Version $version, Architecture $arch, Section, Priority, Maintainer" control

description() {
    local text summary
    text=$(field Description)
    summary=$(head -1 <<<"$text")
    # A summary line of its own, then a long description of several lines,
    # none longer than 80 columns.
    [ -n "$summary" ] && [ "$(wc -l <<<"$text")" -ge 3 ] && awk 'length > 80 { bad = 1 } END { exit bad }' <<<"$text" ||
        { echo "$text" | sed 's/^/  /'; return 1; }
}
check "control: Description has a summary and a long description" description

# Depends as dpkg-shlibdeps computed it: libc6 with a version, and nothing
# else (the C++ runtime is linked in).
depends=$(field Depends)
echo "Depends: $depends"
depends_fields() {
    local bad=0 p
    grep -qE "(^|, )libc6 \(>= [0-9][^)]*\)(,|$)" <<<"$depends" || { echo "  libc6 with a version is missing"; bad=1; }
    for p in $(tr ',' '\n' <<<"$depends" | sed -E 's/^ *//; s/ .*//; s/:.*//'); do
        case $p in
            libc6) ;;
            *) echo "  unexpected dependency $p"; bad=1 ;;
        esac
    done
    return $bad
}
check "control: Depends is libc6 with a version, and nothing else" depends_fields

# Every shared library the program loads comes from a package named in Depends.
needed_covered() {
    local bad=0 lib path pkg
    for lib in $(readelf -dW "$bin" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
        path=$(ldconfig -p | awk -v l="$lib" '$1 == l { print $NF; exit }')
        [ -n "$path" ] || { echo "  $lib: not found here"; bad=1; continue; }
        pkg=$(dpkg -S "$(readlink -f "$path")" 2>/dev/null | head -1 | cut -d: -f1)
        [ -n "$pkg" ] || pkg=$(dpkg -S "$path" 2>/dev/null | head -1 | cut -d: -f1)
        grep -qE "(^|, )$(sed 's/+/\\+/g' <<<"$pkg")( |,|$)" <<<"$depends" ||
            { echo "  $lib (package ${pkg:-unknown}) is not in Depends"; bad=1; }
    done
    return $bad
}
check "each library the program needs (readelf NEEDED) belongs to a package in Depends" needed_covered

# apt resolves the package's dependencies on this machine (a simulation: it
# installs nothing).
apt_simulation() {
    apt-get install --simulate -o Debug::NoLocking=1 "$deb" >"$work/apt.log" 2>&1 &&
        grep -q "^Inst vornex-cli " "$work/apt.log" || { sed 's/^/  /' "$work/apt.log" | tail -15; return 1; }
}
check "apt-get install --simulate ./vornex-cli_*.deb resolves its dependencies" apt_simulation

# --- the packaged program, run from the extracted tree
version_line() {
    local out
    out=$("$bin" --version) && [ "$out" = "vornex-cli $version" ] || { echo "  got: $out"; return 1; }
}
check "the packaged vornex-cli --version says vornex-cli $version" version_line

"$bin" --help >"$work/help" 2>"$work/help.err"
help_rc=$?
help_text() {
    [ "$help_rc" -eq 0 ] && [ ! -s "$work/help.err" ] && head -1 "$work/help" | grep -q '^usage: vornex-cli ' &&
        grep -q '^Exit codes: ' "$work/help" || { echo "  exit $help_rc"; cat "$work/help" "$work/help.err"; return 1; }
}
check "the packaged vornex-cli --help prints its usage, exit 0" help_text

libraries_found() {
    ! ldd "$bin" | grep -q 'not found' || { ldd "$bin"; return 1; }
}
check "every library of the packaged program is found (ldd)" libraries_found

IFEO='SOFTWARE\Microsoft\Windows NT\CurrentVersion\Image File Execution Options'
T=$'\t'
on_a_hive() {
    local hive=$work/hive/SOFTWARE out rc
    mkdir -p "$work/hive"
    "$fixture" "$hive" <<EOF2 || { echo "  cannot make the hive"; return 1; }
sz${T}${IFEO}\\explorer.exe${T}Debugger${T}C:\\evil.exe
sz${T}${IFEO}\\explorer.exe${T}Other${T}kept
key${T}${IFEO}\\plain.exe
EOF2
    cp "$hive" "$work/original"
    out=$("$bin" --hive "$hive" scan); rc=$?
    [ "$rc" -eq 1 ] && [ "$out" = 'explorer.exe  C:\evil.exe' ] || { echo "  scan: exit $rc, $out"; return 1; }
    # A dry run changes nothing, so the redirection is still found: exit 1.
    out=$("$bin" --hive "$hive" --dry-run repair explorer.exe); rc=$?
    [ "$rc" -eq 1 ] && [ "$out" = "would delete value Debugger of HKLM\\$IFEO\\explorer.exe" ] &&
        cmp -s "$hive" "$work/original" && ! ls "$work"/hive/*.vornex-backup-* >/dev/null 2>&1 ||
        { echo "  dry run: exit $rc, $out"; return 1; }
    out=$("$bin" --hive "$hive" repair explorer.exe); rc=$?
    [ "$rc" -eq 0 ] || { echo "  repair: exit $rc, $out"; return 1; }
    local backup
    backup=$(ls "$work"/hive/SOFTWARE.vornex-backup-* 2>/dev/null)
    [ "$(wc -l <<<"$backup")" -eq 1 ] && cmp -s "$backup" "$work/original" || { echo "  backup: $backup"; return 1; }
    grep -qF "backup of the hive: $backup" <<<"$out" || { echo "  repair said: $out"; return 1; }
    out=$("$bin" --hive "$hive" scan); rc=$?
    [ "$rc" -eq 0 ] && [ -z "$out" ] || { echo "  scan after: exit $rc, $out"; return 1; }
    [ "$(hivexget "$hive" '\Microsoft\Windows NT\CurrentVersion\Image File Execution Options\explorer.exe' Other)" = kept ]
}
check "the packaged vornex-cli scans a hive, repairs it and writes its backup" on_a_hive

# --- the manual page
man_gz=$work/x/usr/share/man/man1/vornex-cli.1.gz
gzip_clean() {
    # gzip -n: no file name and a zero time stamp in the header (bytes 4-7).
    gzip -t "$man_gz" && [ "$(od -An -tx1 -j3 -N5 "$man_gz" | tr -d ' ')" = 0000000000 ] ||
        { od -An -tx1 -N10 "$man_gz"; return 1; }
}
check "the manual page is gzipped without a name or time stamp" gzip_clean

LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$man_gz" >"$work/man.raw" 2>"$work/man.err"
man_rc=$?
col -bx <"$work/man.raw" >"$work/man.txt"
man_renders() {
    [ "$man_rc" -eq 0 ] && [ ! -s "$work/man.err" ] && [ -s "$work/man.txt" ] ||
        { echo "  man exited $man_rc:"; sed 's/^/  /' "$work/man.err"; return 1; }
}
check "man -l renders the manual page without a warning" man_renders

man_sections() {
    local bad=0 s
    for s in NAME SYNOPSIS DESCRIPTION COMMANDS OPTIONS 'EXIT STATUS' FILES EXAMPLES 'SEE ALSO'; do
        grep -qx "$s" "$work/man.txt" || { echo "  no section $s"; bad=1; }
    done
    grep -qE '^ +vornex-cli +- +list ' "$work/man.txt" || { echo "  NAME line"; bad=1; }
    tail -1 "$work/man.txt" | grep -qF "vornex-cli $version" || { echo "  footer: $(tail -1 "$work/man.txt")"; bad=1; }
    return $bad
}
check "the manual page has its sections, and the version $version in its footer" man_sections

# The Chinese page: found by man -L zh_CN, rendered without a warning, the same sections.
zh_man_renders() {
    local found
    found=$(LC_ALL=C.UTF-8 MANPATH="$work/x/usr/share/man" man -L zh_CN -w vornex-cli) &&
        [ "$found" = "$work/x/usr/share/man/zh_CN/man1/vornex-cli.1.gz" ] || { echo "  man -L zh_CN -w: $found"; return 1; }
    LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$found" 2>"$work/man.zh.err" | LC_ALL=C.UTF-8 col -bx >"$work/man.zh.txt" &&
        [ ! -s "$work/man.zh.err" ] || { sed 's/^/  /' "$work/man.zh.err"; return 1; }
    [ "$(grep -cxE '[^ ].*' "$work/man.zh.txt")" = "$(grep -cxE '[^ ].*' "$work/man.txt")" ] &&
        grep -q '手工修复' "$work/man.zh.txt" && tail -1 "$work/man.zh.txt" | grep -qF "vornex-cli $version" ||
        { echo "  sections or footer"; return 1; }
}
check "man -L zh_CN finds the Chinese manual page; it renders without a warning" zh_man_renders

section() {  # the text of one section of the rendered page
    awk -v s="$1" '/^[A-Z][A-Z ]*$/ { on = ($0 == s); next } on' "$work/man.txt"
}
# What --help of the packaged program names, the manual page describes.
man_covers_help() {
    local bad=0 word
    for word in $(grep -oE -- '--[a-z][a-z-]*' "$work/help" | sort -u); do
        section OPTIONS | grep -qE "^ {7}$word\b" || { echo "  option $word is not described under OPTIONS"; bad=1; }
    done
    for word in $(sed -n 's/^  \([a-z][a-z-]*\)  .*/\1/p' "$work/help"); do
        section COMMANDS | grep -qE "^ {7}$word\b" || { echo "  command $word is not described under COMMANDS"; bad=1; }
    done
    for word in $(grep -oE '\b[0-9] (nothing|redirections|bad|a repair|the scan)' "$work/help" | cut -c1); do
        section 'EXIT STATUS' | grep -qE "^ {7}$word\b" || { echo "  exit code $word is not under EXIT STATUS"; bad=1; }
    done
    return $bad
}
check "every option, command and exit code of --help is described in the manual page" man_covers_help

man_files() {
    section FILES | grep -q 'vornex-backup-YYYYmmdd-HHMMSS' && section FILES | grep -q 'LOG1' &&
        section FILES | grep -q 'LOG2' || { section FILES; return 1; }
}
check "the manual page's FILES names the backup and the .LOG1/.LOG2 logs" man_files

# --- copyright and changelog
copyright=$work/x/usr/share/doc/vornex-cli/copyright
copyright_file() {
    local body license
    head -1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' &&
        grep -qx 'Files: \*' "$copyright" && grep -qx 'License: Expat' "$copyright" &&
        grep -q '^Copyright: .*Vornex 开发组' "$copyright" || { cat "$copyright"; return 1; }
    # The license text: LICENSE's, from "Permission" on, one space in, " ." for a blank line.
    body=$(sed -n '/^ Permission/,$p' "$copyright" | sed -e 's/^ \.$//' -e 's/^ //')
    license=$(sed -n '/^Permission/,$p' "$root/LICENSE")
    [ -n "$license" ] && [ "$body" = "$license" ] || { diff <(echo "$license") <(echo "$body"); return 1; }
}
check "copyright is machine-readable, Expat, Vornex 开发组, with the text of LICENSE" copyright_file

changelog() {
    local log=$work/x/usr/share/doc/vornex-cli/changelog.gz
    zcat "$log" >"$work/changelog" &&
        [ "$(dpkg-parsechangelog -l "$work/changelog" -S Source)" = vornex-cli ] &&
        [ "$(dpkg-parsechangelog -l "$work/changelog" -S Version)" = "$version" ] ||
        { cat "$work/changelog"; return 1; }
}
check "changelog.gz parses, for vornex-cli $version" changelog

# --- the tarball: for a Linux without dpkg
if [ -z "$tarball" ]; then
    skip "the tarball (none given)"
else
    tar_name=vornex-cli-${version}-linux-$(uname -m)
    tar_contents() {
        [ "$(basename "$tarball")" = "$tar_name.tar.gz" ] || { echo "  named $(basename "$tarball")"; return 1; }
        local got
        got=$(tar tzf "$tarball" | sort)
        [ "$got" = "$(printf '%s\n' "$tar_name/" "$tar_name/BUILDINFO.txt" "$tar_name/LICENSE" "$tar_name/vornex-cli" "$tar_name/vornex-cli.1" \
            "$tar_name/vornex-cli.zh_CN.1")" ] ||
            { echo "  $got"; return 1; }
    }
    check "$tar_name.tar.gz holds vornex-cli, its manual pages, BUILDINFO.txt and LICENSE, in one folder" tar_contents
    mkdir -p "$work/t" && tar xzf "$tarball" -C "$work/t"
    static_bin=$work/t/$tar_name/vornex-cli
    fully_static() {
        # No interpreter and no library to load: nothing outside the file.
        ! readelf -lW "$static_bin" | grep -q 'INTERP' && ! readelf -dW "$static_bin" 2>/dev/null | grep -q 'NEEDED' &&
            cmp -s "$work/t/$tar_name/LICENSE" "$root/LICENSE" ||
            { file "$static_bin"; return 1; }
    }
    check "the tarball's vornex-cli is fully static, its LICENSE the project's" fully_static
    # An empty root: the program and a hive, no libc, no /proc, nothing else.
    empty_root() {
        local r=$work/root out rc
        mkdir -p "$r" && cp "$static_bin" "$r/vornex-cli" && cp "$work/original" "$r/SOFTWARE" || return 1
        out=$(chroot "$r" /vornex-cli --version 2>&1); rc=$?
        [ "$rc" -eq 0 ] && [ "$out" = "vornex-cli $version" ] || { echo "  --version: exit $rc, $out"; return 1; }
        out=$(chroot "$r" /vornex-cli --hive /SOFTWARE scan); rc=$?
        [ "$rc" -eq 1 ] && [ "$out" = 'explorer.exe  C:\evil.exe' ] || { echo "  scan: exit $rc, $out"; return 1; }
        out=$(chroot "$r" /vornex-cli --hive /SOFTWARE repair explorer.exe); rc=$?
        [ "$rc" -eq 0 ] && ls "$r"/SOFTWARE.vornex-backup-* >/dev/null 2>&1 || { echo "  repair: exit $rc, $out"; return 1; }
    }
    if [ "$(id -u)" -ne 0 ] || ! chroot / true 2>/dev/null; then
        skip "the tarball's vornex-cli in an empty root (chroot needs root here)"
    else
        check "the tarball's vornex-cli runs in an empty root: --version, scan and repair" empty_root
    fi
fi

# --- lintian: no error and no warning
lintian_clean() {
    lintian --fail-on error,warning --tag-display-limit 0 "$deb" >"$work/lintian" 2>&1 ||
        { sed 's/^/  /' "$work/lintian"; return 1; }
    sed 's/^/  lintian: /' "$work/lintian"
}
check "lintian finds no error and no warning" lintian_clean

finish
