#!/usr/bin/env bash
# vornex-cli end to end on offline hives: fixtures written with hivex's own
# calls (vornex_hive_fixture, from the minimal empty hive), scanned and
# repaired by vornex-cli, and read back with hivex's own tools (hivexget,
# hivexml). Ends with "N passed, N failed"; exit code 0 when all pass.
#
#   tests/cli/cli_test.sh VORNEX_CLI VORNEX_HIVE_FIXTURE VORNEX_DIRTY_HIVE [FAIL_IO_LIBRARY]
set -uo pipefail
# vornex-cli speaks English here, whatever the caller's locale.
export LC_ALL=C
cli=$1
fixture=$2
dirty=$3
fail_io=${4:-}
hives=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/../shared/hives
work=$(mktemp -d /tmp/vornex-cli-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
schema=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/cli/scan.schema.json

. "$(dirname "${BASH_SOURCE[0]}")/../shell_checks.sh"

IFEO='SOFTWARE\Microsoft\Windows NT\CurrentVersion\Image File Execution Options'
HIFEO='\Microsoft\Windows NT\CurrentVersion\Image File Execution Options'  # hivexget: from the root
T=$'\t'
rlo=$(printf '\342\200\256')  # U+202E as UTF-8 bytes, whatever the locale

make_fixture() {  # file
    "$fixture" "$1" <<EOF2
sz${T}${IFEO}\\notepad.exe${T}Debugger${T}C:\\evil.exe /q
sz${T}${IFEO}\\notepad.exe${T}Other${T}kept
dword${T}${IFEO}\\notepad.exe${T}GlobalFlag${T}0
sz${T}${IFEO}\\Calc.exe${T}DEBUGGER${T}calc${rlo}exe.txt
sz${T}${IFEO}\\中文.exe${T}Debugger${T}C:\\程序.exe
expand${T}${IFEO}\\expand.exe${T}Debugger${T}C:\\x.exe
sz${T}${IFEO}\\Your Image File Name Here without a path${T}Debugger${T}C:\\x.exe
key${T}${IFEO}\\plain.exe
sz${T}${IFEO}\\nested.exe${T}Debugger${T}n.exe
key${T}${IFEO}\\nested.exe\\inner
dword${T}${IFEO}\\svchost.exe${T}UseFilter${T}1
sz${T}${IFEO}\\svchost.exe\\f1${T}FilterFullPath${T}C:\\Windows\\svchost.exe
sz${T}${IFEO}\\svchost.exe\\f1${T}Debugger${T}C:\\filter.exe
sz${T}${IFEO}\\mon.exe${T}GlobalFlag${T}+0x200
sz${T}SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SilentProcessExit\\mon.exe${T}MonitorProcess${T}C:\\monitor.exe
dword${T}${IFEO}\\ver.exe${T}GlobalFlag${T}256
sz${T}${IFEO}\\ver.exe${T}VerifierDlls${T}evil.dll
sz${T}SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\w32.exe${T}Debugger${T}C:\\w32.exe
EOF2
}

# The whole hive as lines, without where cells lie and the keys' last-write
# times (a change sets its key's, as Windows does).
dump() {
    hivexml "$1" | sed -E -e 's#<byte_runs>(<byte_run [^>]*/>)*</byte_runs>##g' -e 's/ mtime="[^"]*"//g' \
        -e 's#<mtime>[^<]*</mtime>##g' -e 's/></>\n</g'
}

run() {  # expected exit code, output file, arguments...
    local expected=$1 out=$2; shift 2
    "$cli" "$@" >"$out" 2>"$out.err"
    local rc=$?
    if [ "$rc" -ne "$expected" ]; then
        echo "  vornex-cli $* exited $rc, expected $expected; stderr: $(cat "$out.err")"
        return 1
    fi
}

no_backup() { ! ls "$work"/*.vornex-backup-* >/dev/null 2>&1; }
one_line_stderr() { [ "$(wc -l <"$1")" -eq 1 ] && grep -q '^vornex-cli: ' "$1"; }

hive=$work/SOFTWARE
make_fixture "$hive" || { echo "cannot make the fixture"; echo "0 passed, 1 failed"; exit 1; }
cp "$hive" "$work/original"

# --- scan
expected_scan=$(printf '%s\n' \
    'Calc.exe     calc\u202Eexe.txt' \
    'nested.exe   n.exe' \
    'notepad.exe  C:\evil.exe /q' \
    '中文.exe     C:\程序.exe')
scan_text() {
    run 1 "$work/scan.txt" --hive "$hive" scan && [ "$(cat "$work/scan.txt")" = "$expected_scan" ] ||
        { echo "  got:"; cat "$work/scan.txt"; return 1; }
}
check "scan lists the window's entries, exactly, escaped U+202E, UTF-8 kept" scan_text

# mon.exe's GlobalFlag is "+0x200": the loader reads it as 0x200.
scan_all() {
    run 1 "$work/all.txt" --hive "$hive" scan --all || return 1
    grep -q '^filter-debugger  *svchost.exe  *C:\\filter.exe  *FilterFullPath=C:\\Windows\\svchost.exe' "$work/all.txt" &&
        grep -q '^silent-exit-monitor  *mon.exe  *C:\\monitor.exe  *GlobalFlag=0x00000200' "$work/all.txt" &&
        grep -q '^verifier-dlls  *ver.exe  *evil.dll  *GlobalFlag=0x00000100' "$work/all.txt" &&
        grep -q '^wow64-debugger  *w32.exe  *C:\\w32.exe' "$work/all.txt" &&
        [ "$(grep -c '^debugger ' "$work/all.txt")" -eq 4 ] && [ "$(wc -l <"$work/all.txt")" -eq 8 ] ||
        { cat "$work/all.txt"; return 1; }
}
check "scan --all adds each wider kind, marked" scan_all

scan_json() {
    run 1 "$work/scan.json" --hive "$hive" scan --all --json || return 1
    python3 - "$work/scan.json" "$schema" <<'PY'
import json, sys
doc = json.load(open(sys.argv[1], encoding="utf-8"))
schema = json.load(open(sys.argv[2], encoding="utf-8"))
def check(value, s, where):
    t = s.get("type")
    types = {"object": dict, "array": list, "string": str, "integer": int, "boolean": bool}
    assert t is None or isinstance(value, types[t]), where
    for key in s.get("required", []):
        assert key in value, f"{where}: {key} missing"
    for key, sub in s.get("properties", {}).items():
        if key in value: check(value[key], sub, where + "." + key)
    if "enum" in s: assert value in s["enum"], f"{where}: {value}"
    if t == "array": [check(v, s["items"], where + "[]") for v in value]
check(doc, schema, "$")
names = [(e["kind"], e["name"], e["command"]) for e in doc["entries"]]
assert doc["count"] == len(names) == 8, names
assert ("debugger", "Calc.exe", "calc\u202eexe.txt") in names, names
assert ("debugger", "中文.exe", "C:\\程序.exe") in names, names
PY
}
check "scan --json is one UTF-8 document that the schema describes" scan_json

scan_csv() {
    run 1 "$work/scan.csv" --hive "$hive" scan --csv &&
        [ "$(head -1 "$work/scan.csv")" = "kind,name,command,key,detail,link" ] && [ "$(wc -l <"$work/scan.csv")" -eq 5 ]
}
check "scan --csv has a header and one line an entry" scan_csv
check "scanning writes nothing" cmp -s "$hive" "$work/original"

# --- dry runs
dry_runs() {
    run 1 "$work/dry1" --hive "$hive" --dry-run repair notepad.exe &&
        grep -q '^would delete value Debugger of HKLM\\SOFTWARE\\.*\\notepad.exe$' "$work/dry1" &&
        # Checked as the registry would: nested.exe has a subkey, so the
        # automatic repair would pass it over, say why, and remove the rest.
        run 3 "$work/dry2" --hive "$hive" --dry-run delete-all &&
        grep -qxF "would delete key HKLM\\$IFEO\\Calc.exe" "$work/dry2" && ! grep -q 'nested' "$work/dry2" &&
        [ "$(grep -c '^would delete key' "$work/dry2")" -eq 3 ] &&
        grep -q 'nested.exe: it has subkeys of its own.*repair nested.exe' "$work/dry2.err" &&
        cmp -s "$hive" "$work/original" && no_backup
}
check "--dry-run shows the changes, writes nothing, makes no backup" dry_runs

refused() {
    run 2 "$work/noyes" --hive "$hive" delete-all && one_line_stderr "$work/noyes.err" &&
        run 2 "$work/unlisted" --hive "$hive" repair plain.exe &&
        run 2 "$work/case" --hive "$hive" repair NOTEPAD.EXE &&
        cmp -s "$hive" "$work/original" && no_backup
}
check "delete-all without --yes and names not listed exactly are refused" refused

# --- repair: only the Debugger value goes; the backup is the original
repair() {
    run 1 "$work/repair" --hive "$hive" repair notepad.exe || return 1
    local backup
    backup=$(ls "$work"/SOFTWARE.vornex-backup-* 2>/dev/null | head -1)
    [ -n "$backup" ] && cmp -s "$backup" "$work/original" || { echo "  backup missing or different"; return 1; }
    [ -z "$(hivexget "$hive" "$HIFEO\\notepad.exe" Debugger 2>/dev/null)" ] || return 1
    [ "$(hivexget "$hive" "$HIFEO\\notepad.exe" Other)" = "kept" ] || return 1
    diff <(dump "$work/original") <(dump "$hive") >"$work/repair.diff"
    [ "$(grep '^[<>]' "$work/repair.diff")" = '< <value type="string" key="Debugger" value="C:\evil.exe /q">
< </value>' ] ||
        { cat "$work/repair.diff"; return 1; }
    rm -f "$backup"
}
check "repair NAME removes exactly that Debugger value; the backup equals the original" repair

delete_one() {
    cp "$hive" "$work/before-delete"
    run 1 "$work/delete" --hive "$hive" delete "中文.exe" || return 1
    ! hivexget "$hive" "$HIFEO\\中文.exe" >/dev/null 2>&1 || return 1
    diff <(dump "$work/before-delete") <(dump "$hive") >"$work/delete.diff"
    [ "$(grep '^[<>]' "$work/delete.diff")" = '< <node name="中文.exe">
< <value type="string" key="Debugger" value="C:\程序.exe">
< </value>
< </node>' ] ||
        { cat "$work/delete.diff"; return 1; }
    local backup
    backup=$(ls "$work"/SOFTWARE.vornex-backup-* | head -1)
    cmp -s "$backup" "$work/before-delete" && rm -f "$backup"
}
check "delete NAME removes exactly that subkey" delete_one

delete_all() {
    cp "$hive" "$work/before-all"
    # nested.exe has a subkey: the registry refuses, and the repair stops there.
    run 3 "$work/all" --hive "$hive" --yes delete-all || return 1
    one_line_stderr "$work/all.out.err" 2>/dev/null || one_line_stderr "$work/all.err" || return 1
    ! hivexget "$hive" "$HIFEO\\Calc.exe" >/dev/null 2>&1 && hivexget "$hive" "$HIFEO\\nested.exe" Debugger >/dev/null &&
        hivexget "$hive" "$HIFEO\\plain.exe" >/dev/null 2>&1
    local rc=$?
    rm -f "$work"/SOFTWARE.vornex-backup-*
    return $rc
}
check "delete-all --yes stops at a subkey the registry will not delete, exit 3" delete_all

# --- unreadable sources: exit 2, one line on stderr, nothing written
unreadable() {
    local f=$1
    cp "$f" "$f.before"
    run 2 "$work/bad" --hive "$f" scan && one_line_stderr "$work/bad.err" &&
        run 2 "$work/bad" --hive "$f" --yes delete-all && cmp -s "$f" "$f.before" && no_backup
}
head -c 3000 "$work/original" >"$work/truncated-header"
head -c $(( $(stat -c %s "$work/original") - 4096 )) "$work/original" >"$work/truncated"
{ printf 'rgef'; tail -c +5 "$work/original"; } >"$work/signature"
printf 'not a hive at all\n' >"$work/text"
check "a hive cut inside its base block" unreadable "$work/truncated-header"
check "a hive missing its last bin" unreadable "$work/truncated"
check "a wrong signature" unreadable "$work/signature"
check "a text file" unreadable "$work/text"
missing() { run 2 "$work/missing" --hive "$work/no/such/SOFTWARE" scan && one_line_stderr "$work/missing.err"; }
check "a missing path" missing
empty_hive() {
    "$fixture" "$work/empty" </dev/null && run 2 "$work/empty-out" --hive "$work/empty" scan &&
        grep -q 'cannot open' "$work/empty-out.err"
}
check "a hive without the IFEO key (not a SOFTWARE hive)" empty_hive

# Bad offsets: the root's subkey-list offset (root cell at 0x1020, field at
# +0x20) set to values that lead nowhere valid, checksum left as it is (the
# base block is not touched).
bad_offsets() {
    local ok=0 i
    for i in 1 2 3 4 5 6 7 8; do
        cp "$work/original" "$work/offset"
        local value=$(( (i * 2654435761) & 0x7FFFFFFF ))
        [ $i -eq 1 ] && value=$((0x24))   # into a cell, not at its start
        [ $i -eq 2 ] && value=$((0x7FFFFFF0))
        python3 -c "import struct,sys; f=open(sys.argv[1],'r+b'); f.seek(0x1040); f.write(struct.pack('<I', int(sys.argv[2])))" \
            "$work/offset" "$value"
        cp "$work/offset" "$work/offset.before"
        run 2 "$work/off" --hive "$work/offset" scan && run 2 "$work/off" --hive "$work/offset" repair notepad.exe &&
            cmp -s "$work/offset" "$work/offset.before" || { ok=1; echo "  offset $value"; }
    done
    no_backup && return $ok
}
check "bad subkey-list offsets: exit 2, nothing written" bad_offsets

# A small fuzz loop: random bytes anywhere. Whatever it hits, no crash, the
# file stays as it was, and an error is one line.
fuzz() {
    local ok=0 round size rc
    size=$(stat -c %s "$work/original")
    for round in $(seq 1 60); do
        cp "$work/original" "$work/fuzz"
        python3 - "$work/fuzz" "$round" "$size" <<'PY'
import random, sys
r = random.Random(int(sys.argv[2]))
data = bytearray(open(sys.argv[1], "rb").read())
for _ in range(r.randint(1, 8)):
    data[r.randrange(4096, len(data))] = r.randrange(256)
open(sys.argv[1], "wb").write(data)
PY
        cp "$work/fuzz" "$work/fuzz.before"
        "$cli" --hive "$work/fuzz" scan --all >/dev/null 2>"$work/fuzz.err"; rc=$?
        # 4: damage under the IFEO key, said as places that could not be read.
        if [ $rc -gt 4 ] || [ $rc -eq 3 ] || { [ $rc -eq 2 ] && ! one_line_stderr "$work/fuzz.err"; } ||
            { [ $rc -eq 4 ] && ! grep -q 'incomplete' "$work/fuzz.err"; }; then
            ok=1; echo "  round $round: exit $rc"
        fi
        "$cli" --hive "$work/fuzz" --dry-run delete-all >/dev/null 2>&1; rc=$?
        [ $rc -le 4 ] || { ok=1; echo "  round $round: dry-run exit $rc"; }
        cmp -s "$work/fuzz" "$work/fuzz.before" || { ok=1; echo "  round $round: file changed"; }
    done
    no_backup && return $ok
}
check "fuzzed hives: no crash, nothing written, damage never reported as clean" fuzz

# --- What Windows would read: a dirty hive's newest state is in its log.
fixture_from() {  # file, then script lines on standard input
    "$fixture" "$1" >/dev/null
}
redirect_only_in_log() {
    local d=$work/dirty1
    mkdir -p "$d"
    printf '%s\n' "sz${T}${IFEO}\\notepad.exe${T}Other${T}kept" | fixture_from "$d/before" &&
        printf '%s\n' "sz${T}${IFEO}\\notepad.exe${T}Other${T}kept" \
            "sz${T}${IFEO}\\notepad.exe${T}Debugger${T}C:\\from-the-log.exe" | fixture_from "$d/after" &&
        "$dirty" "$d/before" "$d/after" "$d/SOFTWARE" >/dev/null || return 1
    cp "$d/SOFTWARE" "$d/primary.before"; cp "$d/SOFTWARE.LOG1" "$d/log.before"
    # hivex alone reads the stale primary: no Debugger there.
    ! hivexget "$d/SOFTWARE" "$HIFEO\\notepad.exe" Debugger >/dev/null 2>&1 &&
        run 1 "$d/scan" --hive "$d/SOFTWARE" scan &&
        grep -qx 'notepad.exe  C:\\from-the-log.exe' "$d/scan" &&
        grep -q '^hive: transaction logs applied (SOFTWARE.LOG1)' "$d/scan" &&
        run 1 "$d/scan.json" --hive "$d/SOFTWARE" scan --json &&
        grep -q '"recovery": "replayed"' "$d/scan.json" &&
        run 1 "$d/scan.csv" --hive "$d/SOFTWARE" scan --csv && grep -q '^hive,' "$d/scan.csv" &&
        cmp -s "$d/SOFTWARE" "$d/primary.before" && cmp -s "$d/SOFTWARE.LOG1" "$d/log.before"
}
check "dirty hive: a redirection only in its log is listed; reading changes no file" redirect_only_in_log

removed_in_log() {
    local d=$work/dirty2
    mkdir -p "$d"
    printf '%s\n' "sz${T}${IFEO}\\notepad.exe${T}Debugger${T}C:\\evil.exe" "sz${T}${IFEO}\\notepad.exe${T}Other${T}kept" |
        fixture_from "$d/before" && cp "$d/before" "$d/after" &&
        "$cli" --hive "$d/after" repair notepad.exe >/dev/null 2>&1 && rm -f "$d"/after.vornex-backup-* &&
        "$dirty" "$d/before" "$d/after" "$d/SOFTWARE" >/dev/null || return 1
    # The primary alone still holds the redirection a user removed.
    hivexget "$d/SOFTWARE" "$HIFEO\\notepad.exe" Debugger >/dev/null 2>&1 &&
        run 0 "$d/scan" --hive "$d/SOFTWARE" scan && grep -q '^hive: transaction logs applied' "$d/scan" &&
        ! grep -q notepad "$d/scan"
}
check "dirty hive: a redirection its log removed is not listed" removed_in_log

stale_without_log() {
    local d=$work/dirty3
    mkdir -p "$d"
    cp "$work/dirty1/SOFTWARE" "$d/SOFTWARE" && cp "$work/dirty1/SOFTWARE.LOG1" "$d/SOFTWARE.LOG1" || return 1
    printf '\377' | dd of="$d/SOFTWARE.LOG1" bs=1 seek=100 conv=notrunc status=none  # its header's checksum fails
    run 4 "$d/scan" --hive "$d/SOFTWARE" scan && grep -q '^stale: ' "$d/scan" && grep -q 'out of date' "$d/scan.err" &&
        run 4 "$d/scan.json" --hive "$d/SOFTWARE" scan --json && grep -q '"stale": true' "$d/scan.json" &&
        rm "$d/SOFTWARE.LOG1" && run 4 "$d/nolog" --hive "$d/SOFTWARE" scan
}
check "dirty hive with no usable log: stale, exit 4" stale_without_log

seq_of() {  # file, offset: a base block's sequence number
    python3 -c "import struct,sys; d=open(sys.argv[1],'rb').read(); print(struct.unpack_from('<I', d, int(sys.argv[2]))[0])" "$1" "$2"
}
dirty_written() {
    local d=$work/dirty4
    mkdir -p "$d"
    printf '%s\n' "sz${T}${IFEO}\\notepad.exe${T}Other${T}kept" "key${T}${IFEO}\\other.exe" | fixture_from "$d/before" &&
        printf '%s\n' "sz${T}${IFEO}\\notepad.exe${T}Other${T}kept" "key${T}${IFEO}\\other.exe" \
            "sz${T}${IFEO}\\notepad.exe${T}Debugger${T}C:\\from-the-log.exe" \
            "sz${T}${IFEO}\\other.exe${T}Note${T}only in the log" | fixture_from "$d/after" &&
        "$dirty" "$d/before" "$d/after" "$d/SOFTWARE" >/dev/null || return 1
    cp "$d/SOFTWARE" "$d/primary.before"; cp "$d/SOFTWARE.LOG1" "$d/log.before"
    run 0 "$d/repair" --hive "$d/SOFTWARE" repair notepad.exe || return 1
    local backup
    backup=$(ls "$d"/SOFTWARE.vornex-backup-* | grep -v 'LOG1$')
    # hivex alone reads the written primary: the log's state plus the change.
    [ "$(hivexget "$d/SOFTWARE" "$HIFEO\\other.exe" Note)" = "only in the log" ] &&
        [ "$(hivexget "$d/SOFTWARE" "$HIFEO\\notepad.exe" Other)" = "kept" ] &&
        ! hivexget "$d/SOFTWARE" "$HIFEO\\notepad.exe" Debugger >/dev/null 2>&1 &&
        # Clean, and past every log entry: the old log is never replayed over it.
        [ "$(seq_of "$d/SOFTWARE" 4)" = "$(seq_of "$d/SOFTWARE" 8)" ] &&
        [ "$(seq_of "$d/SOFTWARE" 4)" -gt "$(seq_of "$d/SOFTWARE.LOG1" 4)" ] &&
        run 0 "$d/scan" --hive "$d/SOFTWARE" scan && ! grep -q 'transaction logs applied' "$d/scan" &&
        cmp -s "$d/SOFTWARE.LOG1" "$d/log.before" &&
        cmp -s "$backup" "$d/primary.before" && cmp -s "$backup.LOG1" "$d/log.before" &&
        # The backup set is the hive as it was, logs and all.
        run 1 "$d/scan.backup" --hive "$backup" scan && grep -q 'from-the-log' "$d/scan.backup"
}
check "dirty hive: written as its logs' state plus the change, clean, backed up with its logs" dirty_written

stale_not_written() {
    local d=$work/dirty3
    cp "$work/dirty1/SOFTWARE.LOG1" "$d/SOFTWARE.LOG1" && printf '\377' | dd of="$d/SOFTWARE.LOG1" bs=1 seek=100 conv=notrunc status=none
    cp "$d/SOFTWARE" "$d/p.before"; cp "$d/SOFTWARE.LOG1" "$d/l.before"
    run 2 "$d/repair" --hive "$d/SOFTWARE" repair notepad.exe && grep -q 'no transaction log could be applied' "$d/repair.err" &&
        run 2 "$d/dry" --hive "$d/SOFTWARE" --dry-run repair notepad.exe && cmp -s "$d/dry.err" "$d/repair.err" &&
        cmp -s "$d/SOFTWARE" "$d/p.before" && cmp -s "$d/SOFTWARE.LOG1" "$d/l.before" &&
        ! ls "$d"/*.vornex-backup-* >/dev/null 2>&1
}
check "dirty hive with no usable log: not written, every file as it was" stale_not_written

through_a_symlink() {
    local d=$work/symlink
    mkdir -p "$d/real"
    cp "$work/original" "$d/real/SOFTWARE" && ln -s real/SOFTWARE "$d/SOFTWARE" || return 1
    run 1 "$d/repair" --hive "$d/SOFTWARE" repair notepad.exe &&
        [ -L "$d/SOFTWARE" ] && [ "$(readlink "$d/SOFTWARE")" = "real/SOFTWARE" ] &&
        ! hivexget "$d/real/SOFTWARE" "$HIFEO\\notepad.exe" Debugger >/dev/null 2>&1 &&
        cmp -s "$d"/real/SOFTWARE.vornex-backup-* "$work/original" && ! ls "$d"/*.vornex-* >/dev/null 2>&1
}
check "a --hive path that is a symbolic link: the file it points at is written, the link stays" through_a_symlink

locked_hive() {
    local d=$work/locked
    mkdir -p "$d" && cp "$work/original" "$d/SOFTWARE" || return 1
    flock "$d/SOFTWARE" sleep 30 & local holder=$!
    sleep 0.5
    run 2 "$d/repair" --hive "$d/SOFTWARE" repair notepad.exe; local rc=$?
    kill "$holder" 2>/dev/null; wait "$holder" 2>/dev/null
    [ $rc -eq 0 ] && grep -q 'in use by another program' "$d/repair.err" && cmp -s "$d/SOFTWARE" "$work/original" &&
        ! ls "$d"/*.vornex-* >/dev/null 2>&1
}
check "a hive locked by another program: a clear message, nothing changed" locked_hive

# Small file systems of their own: read-only, or too small for what is written.
with_tmpfs() {  # size in KiB, then the check
    local size=$1; shift
    local mnt=$work/mnt
    mkdir -p "$mnt"
    if ! mount -t tmpfs -o "size=${size}k" tmpfs "$mnt" 2>/dev/null; then
        echo "  (no tmpfs can be mounted here)"; return 2
    fi
    "$@" "$mnt"; local rc=$?
    umount "$mnt" 2>/dev/null
    return $rc
}
read_only_fs() {
    local mnt=$1
    cp "$work/original" "$mnt/SOFTWARE" && mount -o remount,ro "$mnt" || return 1
    run 2 "$work/ro" --hive "$mnt/SOFTWARE" repair notepad.exe && grep -q 'Read-only file system' "$work/ro.err" &&
        cmp -s "$mnt/SOFTWARE" "$work/original" && [ "$(ls "$mnt")" = "SOFTWARE" ]
}
full_for_the_hive() {  # room for the hive alone: the new one does not fit
    local mnt=$1
    cp "$work/original" "$mnt/SOFTWARE" || return 1
    run 3 "$work/full1" --hive "$mnt/SOFTWARE" repair notepad.exe && grep -q 'No space left' "$work/full1.err" &&
        cmp -s "$mnt/SOFTWARE" "$work/original" && cmp -s "$mnt"/SOFTWARE.vornex-backup-* "$work/original" &&
        ! ls "$mnt"/*.vornex-new-* >/dev/null 2>&1
}
room_for_two_hives() {  # the backup is the old file under a second name: it needs no room of its own
    local mnt=$1
    cp "$work/original" "$mnt/SOFTWARE" || return 1
    run 1 "$work/room" --hive "$mnt/SOFTWARE" repair notepad.exe &&
        cmp -s "$mnt"/SOFTWARE.vornex-backup-* "$work/original" && ! cmp -s "$mnt/SOFTWARE" "$work/original" &&
        [ "$(stat -c %h "$mnt/SOFTWARE" "$mnt"/SOFTWARE.vornex-backup-*)" = "$(printf '1\n1')" ]
}
hive_kib=$(( ($(stat -c %s "$work/original") + 4095) / 4096 * 4 ))
check_or_skip() {  # description, then the check; a check that cannot run here is said, not counted
    local what=$1; shift
    "$@"; local rc=$?
    if [ $rc -eq 2 ]; then echo "SKIP: $what"; return; fi
    if [ $rc -eq 0 ]; then passed=$((passed + 1)); echo "PASS: $what"; else failed=$((failed + 1)); echo "FAIL: $what"; fi
}
# A write cut at each step in turn: the k-th write, flush or rename fails.
# Whatever step it is, the hive and its log are as they were, no temporary
# file is left, and a backup left behind is whole.
interrupted_at_each_step() {
    [ -n "$fail_io" ] || { echo "  (no failing-I/O library in this build)"; return 2; }
    local d=$work/cut ok=0 kind k rc backup
    mkdir -p "$d"
    for kind in WRITE FSYNC RENAME; do
        for k in $(seq 1 40); do
            rm -rf "${d:?}"/*
            cp "$work/dirty4/primary.before" "$d/SOFTWARE"; cp "$work/dirty4/log.before" "$d/SOFTWARE.LOG1"
            env LD_PRELOAD="$fail_io" "VORNEX_FAIL_$kind=$k" "$cli" --hive "$d/SOFTWARE" repair notepad.exe                 >"$d/out" 2>"$d/err"; rc=$?
            [ $rc -eq 0 ] && break   # past the last such call: the change went through
            # After the rename only the folder's flush is left: the new hive is
            # in place and whole (as a successful run leaves it), and it says so.
            if [ $rc -eq 3 ] && grep -q 'new hive is in place' "$d/err"; then
                hivexget "$d/SOFTWARE" "$HIFEO\\other.exe" Note >/dev/null || { ok=1; echo "  $kind $k: not whole"; }
                continue
            fi
            if [ $rc -ne 3 ] || ! cmp -s "$d/SOFTWARE" "$work/dirty4/primary.before" ||
                ! cmp -s "$d/SOFTWARE.LOG1" "$work/dirty4/log.before" || ls "$d"/*.vornex-new-* >/dev/null 2>&1; then
                ok=1; echo "  $kind $k: exit $rc, or a file not as it was"
            fi
            for backup in "$d"/SOFTWARE.vornex-backup-*; do
                [ -e "$backup" ] || continue
                case "$backup" in
                    *.LOG1) cmp -s "$backup" "$work/dirty4/log.before" || { ok=1; echo "  $kind $k: a partial log backup"; } ;;
                    *) cmp -s "$backup" "$work/dirty4/primary.before" || { ok=1; echo "  $kind $k: a partial backup"; } ;;
                esac
            done
        done
        [ $rc -eq 0 ] || { ok=1; echo "  $kind: never succeeded"; }
    done
    return $ok
}
check_or_skip "a write cut at each step leaves every file as it was" interrupted_at_each_step
check_or_skip "a read-only file system: a clear message, nothing changed" with_tmpfs $((hive_kib * 2)) read_only_fs
check_or_skip "a disk full at the new hive: the hive as it was, its backup kept, no temporary file" \
    with_tmpfs $((hive_kib + 8)) full_for_the_hive
check_or_skip "room for two hives is enough: the backup is a second name of the old file, not a copy" \
    with_tmpfs $((hive_kib * 2 + 8)) room_for_two_hives

# --- Names as the registry compares them, read exactly.
names_exactly() {
    local d=$work/names
    mkdir -p "$d"
    printf '%s\n' "sz${T}${IFEO}\\İnstaller.exe${T}Debugger${T}C:\\dotted.exe" \
        "sz${T}${IFEO}\\ınstaller.exe${T}Debugger${T}C:\\dotless.exe" \
        "sz${T}${IFEO}\\hidden.exe${T}一locker${T}x" "lone${T}${IFEO}\\hidden.exe${T}一locker" \
        "sz${T}${IFEO}\\hidden.exe${T}Debugger${T}C:\\behind.exe" \
        "keyname${T}${IFEO}${T}foo.exe\\bar" "sz${T}${IFEO}\\foo.exe\\bar${T}Debugger${T}C:\\one-name.exe" \
        "sz${T}${IFEO}\\foo.exe${T}Other${T}x" | fixture_from "$d/SOFTWARE" || return 1
    run 1 "$d/scan" --hive "$d/SOFTWARE" scan &&
        grep -qx 'İnstaller.exe  *C:\\dotted.exe' "$d/scan" && grep -qx 'ınstaller.exe  *C:\\dotless.exe' "$d/scan" &&
        grep -qx 'hidden.exe  *C:\\behind.exe' "$d/scan" && grep -qx 'foo.exe\\u005Cbar  *C:\\one-name.exe' "$d/scan" &&
        run 1 "$d/del" --hive "$d/SOFTWARE" delete ınstaller.exe &&
        hivexget "$d/SOFTWARE" "$HIFEO\\İnstaller.exe" Debugger >/dev/null &&
        run 1 "$d/scan2" --hive "$d/SOFTWARE" scan && ! grep -q 'ınstaller' "$d/scan2" &&
        run 1 "$d/del2" --hive "$d/SOFTWARE" delete 'foo.exe\u005Cbar' &&
        hivexget "$d/SOFTWARE" "$HIFEO\\foo.exe" Other >/dev/null &&
        run 1 "$d/scan3" --hive "$d/SOFTWARE" scan && ! grep -q 'one-name' "$d/scan3"
}
check "names: İ and ı apart, a lone surrogate hides nothing, a backslash is part of a name" names_exactly

links_in_hive() {
    local d=$work/links
    mkdir -p "$d"
    printf '%s\n' "sz${T}SOFTWARE\\Vendor\\Target${T}Debugger${T}C:\\through.exe" \
        "sz${T}SOFTWARE\\Vendor\\Target${T}Precious${T}kept" \
        "link${T}${IFEO}\\linked.exe${T}\\REGISTRY\\MACHINE\\SOFTWARE\\Vendor\\Target" | fixture_from "$d/SOFTWARE" || return 1
    dump "$d/SOFTWARE" | grep -v 'linked.exe\|SymbolicLinkValue' >"$d/before.xml"
    run 1 "$d/scan" --hive "$d/SOFTWARE" scan &&
        grep -qx 'linked.exe  C:\\through.exe  (through a registry link to \\REGISTRY\\MACHINE\\SOFTWARE\\Vendor\\Target)' "$d/scan" &&
        run 0 "$d/repair" --hive "$d/SOFTWARE" repair linked.exe && grep -q '^deleted link key ' "$d/repair" &&
        hivexget "$d/SOFTWARE" '\Vendor\Target' Debugger >/dev/null && hivexget "$d/SOFTWARE" '\Vendor\Target' Precious >/dev/null &&
        ! hivexget "$d/SOFTWARE" "$HIFEO\\linked.exe" >/dev/null 2>&1
}
check "a link key is followed within the hive and removed as a link" links_in_hive

# --- Planted by malware: decoy names at each level, links, logs. What the
# scan lists must be what libregf reads of the real IFEO key and hivex of each
# entry's real path; a repair reaches the real key.
ifeo_oracle() {  # hive: name TAB command of each REG_SZ Debugger below the real IFEO key, per libregf
    /usr/bin/python3 - "$1" <<'PY'
import sys, pyregf
hive = pyregf.file()
hive.open(sys.argv[1])
ifeo = hive.get_key_by_path('\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options')
for key in (ifeo.sub_keys if ifeo else []):
    value = key.get_value_by_name('Debugger')
    if value is not None and value.type == 1:
        sys.stdout.buffer.write((key.name + '\t' + value.get_data_as_string() + '\n').encode('utf-8'))
PY
}
listed() {  # hive: name TAB command of each entry vornex-cli lists
    "$cli" --hive "$1" scan --json | /usr/bin/python3 -c '
import json, sys
for e in json.load(sys.stdin)["entries"]:
    sys.stdout.buffer.write((e["name"] + "\t" + e["command"] + "\n").encode("utf-8"))'
}
decoys() {
    local d=$work/decoys ok=0 i=0
    mkdir -p "$d"
    local real="sz${T}${IFEO}\\sethc.exe${T}Debugger${T}C:\\Windows\\System32\\cmd.exe"
    local other="sz${T}${IFEO}\\utilman.exe${T}Debugger${T}C:\\evil.exe"
    local rootName='Microsoft\Windows NT\CurrentVersion\Image File Execution Options'
    local cases=(
        "keyname${T}SOFTWARE${T}${rootName}"
        "keyname${T}SOFTWARE${T}${rootName}\\sethc.exe
sz${T}SOFTWARE\\${rootName}\\sethc.exe${T}Debugger${T}C:\\harmless.exe"
        "keyname${T}SOFTWARE\\Microsoft${T}Windows NT\\CurrentVersion"
        "keyname${T}${IFEO}${T}sethc.exe\\x
sz${T}${IFEO}\\sethc.exe\\x${T}Debugger${T}C:\\decoy.exe"
    )
    for extra in "${cases[@]}"; do
        i=$((i + 1))
        printf '%s\n%s\n%s\n' "$real" "$other" "$extra" | fixture_from "$d/$i" || return 1
        ifeo_oracle "$d/$i" | sort >"$d/$i.oracle"
        listed "$d/$i" | sort >"$d/$i.listed"
        cmp -s "$d/$i.oracle" "$d/$i.listed" || { ok=1; echo "  case $i: listed differs from libregf"; diff "$d/$i.oracle" "$d/$i.listed"; }
        [ "$(hivexget "$d/$i" "$HIFEO\\sethc.exe" Debugger)" = 'C:\Windows\System32\cmd.exe' ] || { ok=1; echo "  case $i: hivex"; }
        run 1 "$d/$i.repair" --hive "$d/$i" repair sethc.exe || { ok=1; continue; }
        ! hivexget "$d/$i" "$HIFEO\\sethc.exe" Debugger >/dev/null 2>&1 &&
            hivexget "$d/$i" "$HIFEO\\utilman.exe" Debugger >/dev/null &&
            grep -v '^sethc.exe	' "$d/$i.oracle" | cmp -s - <(ifeo_oracle "$d/$i" | sort) ||
            { ok=1; echo "  case $i: the repair missed the real key or touched another"; }
    done
    return $ok
}
check "decoy names at each level hide nothing and divert no repair (libregf, hivex)" decoys

links_as_windows_resolves() {
    local d=$work/linkforms ok=0 i=0
    mkdir -p "$d"
    # target; expected exit of scan; the command it must list (empty: reported unread)
    local cases=(
        '\REGISTRY\MACHINE\SOFTWARE\Evil\sethc\|1|C:\through.exe'
        '\REGISTRY\MACHINE\SOFTWARE\\Evil\\\sethc|1|C:\through.exe'
        '\REGISTRY\MACHINE\SOFTWARE\Evil\gone|4|'
        'REGISTRY\MACHINE\SOFTWARE\Evil\sethc|4|'
    )
    for row in "${cases[@]}"; do
        i=$((i + 1))
        IFS='|' read -r target rc command <<<"$row"
        printf '%s\n' "sz${T}SOFTWARE\\Evil\\sethc${T}Debugger${T}C:\\through.exe" \
            "link${T}${IFEO}\\sethc.exe${T}${target}" | fixture_from "$d/$i" || return 1
        run "$rc" "$d/$i.scan" --hive "$d/$i" scan || { ok=1; continue; }
        if [ -n "$command" ]; then
            grep -q "^sethc.exe  $(printf '%s' "$command" | sed 's/\\/\\\\/g')  (through a registry link" "$d/$i.scan" ||
                { ok=1; echo "  $target: not listed"; }
        else
            grep -q "^incomplete: could not read .*sethc.exe (open-subkey, error 1921)" "$d/$i.scan" ||
                { ok=1; echo "  $target: not reported unread"; cat "$d/$i.scan"; }
        fi
    done
    return $ok
}
check "link targets: followed where Windows' parser takes them, else reported unread" links_as_windows_resolves

logs_planted() {
    local d=$work/logs ok=0
    mkdir -p "$d/outside"
    printf '%s\n' "sz${T}${IFEO}\\sethc.exe${T}Debugger${T}C:\\x.exe" | fixture_from "$d/SOFTWARE" || return 1
    head -c 4096 /dev/urandom >"$d/outside/secret"
    # Clean hive: its logs are neither read nor copied, however they are planted.
    ln -s outside/secret "$d/SOFTWARE.LOG1"
    truncate -s 3G "$d/SOFTWARE.LOG2"
    run 1 "$d/scan" --hive "$d/SOFTWARE" scan && [ ! -s "$d/scan.err" ] || { ok=1; echo "  clean: logs read"; }
    run 0 "$d/repair" --hive "$d/SOFTWARE" repair sethc.exe || ok=1
    ls "$d"/SOFTWARE.vornex-backup-*.LOG* >/dev/null 2>&1 && { ok=1; echo "  clean: a log copied"; }
    # Dirty: the link, a folder and an oversized log are refused, said, never copied.
    printf '%s\n' "sz${T}${IFEO}\\a.exe${T}Other${T}x" | fixture_from "$d/old" &&
        printf '%s\n' "sz${T}${IFEO}\\a.exe${T}Debugger${T}C:\\y.exe" | fixture_from "$d/new" &&
        "$dirty" "$d/old" "$d/new" "$d/dirty" >/dev/null || return 1
    for planted in link folder huge; do
        rm -rf "$d/dirty.LOG1" "$d"/dirty.vornex-backup-*
        case $planted in
            link) ln -s outside/secret "$d/dirty.LOG1" ;;
            folder) mkdir "$d/dirty.LOG1" ;;
            huge) truncate -s 3G "$d/dirty.LOG1" ;;
        esac
        run 4 "$d/$planted" --hive "$d/dirty" scan &&
            grep -q 'transaction log not read' "$d/$planted.err" && grep -q '^stale:' "$d/$planted" ||
            { ok=1; echo "  dirty, $planted: not refused and said"; }
    done
    return $ok
}
check "planted logs: a clean hive's never read; a link, a folder, a huge one refused and said" logs_planted

dry_run_agrees() {
    local d=$work/agree
    mkdir -p "$d"
    cp "$work/names/SOFTWARE" "$d/odd" 2>/dev/null || return 1   # a value named with a lone surrogate
    cp "$d/odd" "$d/odd.before"
    # Beside a value named with a lone surrogate: the dry run and the real
    # run agree, and the redirection goes.
    run 1 "$d/dry" --hive "$d/odd" --dry-run repair hidden.exe && cmp -s "$d/odd" "$d/odd.before" &&
        run 1 "$d/real" --hive "$d/odd" repair hidden.exe &&
        [ "$(sed -e 's/^would delete /deleted /' "$d/dry")" = "$(grep -v '^backup of the hive\|redirection.* left$' "$d/real")" ] &&
        run 1 "$d/scan" --hive "$d/odd" scan && ! grep -q '^hidden.exe ' "$d/scan" || return 1
    local how
    for how in "repair notepad.exe" "delete Calc.exe" "--yes delete-all"; do
        cp "$work/original" "$d/h"
        # shellcheck disable=SC2086
        "$cli" --hive "$d/h" --dry-run $how >"$d/w" 2>/dev/null
        # shellcheck disable=SC2086
        "$cli" --hive "$d/h" $how >"$d/r" 2>/dev/null
        rm -f "$d"/h.vornex-backup-*
        sed -e 's/^would delete /deleted /' "$d/w" >"$d/w2"
        grep -v '^backup of the hive\|redirection.* left$' "$d/r" | diff -q - "$d/w2" >/dev/null || { echo "  $how"; return 1; }
    done
}
check "--dry-run promises exactly what the real run does" dry_run_agrees

csv_formulas() {
    local d=$work/csv
    mkdir -p "$d"
    printf '%s\n' "sz${T}${IFEO}\\=cmd.exe${T}Debugger${T}=cmd|' /C calc'!A0" \
        "sz${T}${IFEO}\\plus.exe${T}Debugger${T}+1" "sz${T}${IFEO}\\at.exe${T}Debugger${T}@SUM(1)" \
        "sz${T}${IFEO}\\minus.exe${T}Debugger${T}-2" | fixture_from "$d/SOFTWARE" || return 1
    run 1 "$d/scan.csv" --hive "$d/SOFTWARE" scan --csv &&
        grep -qF '"'"'"'=cmd.exe","'"'"'=cmd|'"'"' /C calc'"'"'!A0"' "$d/scan.csv" &&
        grep -qF '"plus.exe","'"'"'+1"' "$d/scan.csv" && grep -qF '"at.exe","'"'"'@SUM(1)"' "$d/scan.csv" &&
        grep -qF '"minus.exe","'"'"'-2"' "$d/scan.csv" &&
        ! grep -E '(^|,)"[=+@-]' "$d/scan.csv"
}
check "CSV cells never start a formula" csv_formulas

output_errors() {
    cp "$work/original" "$work/full"
    "$cli" --hive "$work/full" scan >/dev/full 2>"$work/full.err"; local rc=$?
    [ $rc -ne 0 ] && one_line_stderr "$work/full.err" || return 1
    "$cli" --hive "$work/full" scan --json 2>"$work/pipe.err" | head -c 1 >/dev/null
    [ "${PIPESTATUS[0]}" -ne 0 ] || [ "$(wc -c <"$work/original")" -lt 100 ]
}
check "output to a full disk or a closed pipe: non-zero exit" output_errors

shared_hives() {
    local ok=0 f rc count=0
    [ -d "$hives" ] || { echo "  $hives missing"; return 1; }
    while IFS= read -r -d '' f; do
        count=$((count + 1))
        timeout 60 "$cli" --hive "$f" scan --all >"$work/shared.out" 2>"$work/shared.err"; rc=$?
        # None of them holds an IFEO key: one clear line and exit 2, whatever the file.
        if [ $rc -ne 2 ] || ! one_line_stderr "$work/shared.err" || [ -s "$work/shared.out" ]; then
            ok=1; echo "  $f: exit $rc: $(head -c 300 "$work/shared.err")"
        fi
    done < <(find "$hives" -type f ! -name '*.md' ! -name '*.tsv' -print0)
    echo "  $count files"
    return $ok
}
check "every shared hive file: no crash, no hang, one line and exit 2" shared_hives

usage() {
    run 0 "$work/help" --help && grep -q '^usage: vornex-cli' "$work/help" &&
        run 0 "$work/version" --version && grep -qE '^vornex-cli [0-9.]+$' "$work/version" &&
        run 2 "$work/bad" frobnicate && one_line_stderr "$work/bad.err" &&
        run 2 "$work/nohive" scan && one_line_stderr "$work/nohive.err"
}
check "--help, --version, bad usage" usage

# LC_MESSAGES decides once LC_ALL is empty; only the words change.
chinese() {
    local zh=(env LC_ALL= LC_MESSAGES=zh_CN.UTF-8 LANG=C "$cli")
    "${zh[@]}" --help >"$work/help.zh" && ! cmp -s "$work/help" "$work/help.zh" && grep -q '手工修复' "$work/help.zh" &&
        { "${zh[@]}" scan 2>"$work/nohive.zh.err"; [ $? -eq 2 ]; } && one_line_stderr "$work/nohive.zh.err" &&
        ! cmp -s "$work/nohive.err" "$work/nohive.zh.err" && grep -q '配置单元' "$work/nohive.zh.err" ||
        { echo "  usage or error"; return 1; }
    make_fixture "$work/zh.hive" || return 1
    for format in --json --csv; do
        { "${zh[@]}" --hive "$work/zh.hive" scan $format >"$work/zh.out"; [ $? -eq 1 ]; } &&
            { "$cli" --hive "$work/zh.hive" scan $format >"$work/en.out"; [ $? -eq 1 ]; } &&
            cmp "$work/en.out" "$work/zh.out" || { echo "  $format differs"; return 1; }
    done
}
check "in Chinese: usage and errors translated, JSON and CSV byte for byte the same" chinese

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
