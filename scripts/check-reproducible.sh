#!/usr/bin/env bash
# Builds the four downloads a second time, from a fresh clone of this commit
# at another path, by another user where this one is root (nobody), with
# another umask, time zone and locale, later than the first build, and
# compares them byte for byte with this tree's:
#   build/win64/Vornex-VERSION-win64.zip, build/win32/Vornex-VERSION-win32.zip,
#   build/package/vornex-cli_VERSION_ARCH.deb and
#   build/package/vornex-cli-VERSION-linux-MACHINE.tar.gz
# (brought up to date here first). Names the first difference of each file
# that differs, prints what the downloads were built with (BUILDINFO.txt),
# and ends with "N passed, N failed". Commit first: the clone holds only
# what is committed.
#
#   bash scripts/check-reproducible.sh
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
. "$root/tests/shell_checks.sh"
finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
}
jobs=${CMAKE_BUILD_PARALLEL_LEVEL:-2}
export CMAKE_BUILD_PARALLEL_LEVEL=$jobs

# The four downloads of a source tree, built with the presets the README gives.
build_downloads() {  # source tree, log
    (
        cd "$1" &&
            cmake --preset win64 && cmake --build --preset win64 --target package &&
            cmake --preset win32 -DVORNEX_WINE_TESTS=OFF && cmake --build --preset win32 --target package &&
            cmake --preset package && cmake --build --preset package --target package
    ) >"$2" 2>&1
}
downloads_of() {  # source tree: the four files, one a line
    ls "$1"/build/win64/Vornex-*-win64.zip "$1"/build/win32/Vornex-*-win32.zip \
        "$1"/build/package/vornex-cli_*.deb "$1"/build/package/vornex-cli-*-linux-*.tar.gz 2>/dev/null
}

if ! git diff --quiet HEAD 2>/dev/null; then
    echo "note: uncommitted changes here are not in the clone; they may show as differences"
fi
work=$(mktemp -d /tmp/vornex-reproducible.XXXXXX)
chmod 755 "$work"
trap 'rm -rf "$work"' EXIT

# check() counts; a step the rest depends on ends the run when it fails.
step() {  # description, then the command
    local what=$1; shift
    if "$@"; then check "$what" true; else check "$what" false; tail -30 "$work/step.log"; finish; fi
}
# Configured again, so that what they record is this commit; built only where out of date.
first_built() { build_downloads "$root" "$work/step.log" && [ "$(downloads_of "$root" | wc -l)" -eq 4 ]; }
step "the downloads of this tree are up to date" first_built

# Another user where this is root: the files it writes are its own.
other_user=()
if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1 && command -v setpriv >/dev/null; then
    other_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
second_built() {
    local clone=$work/elsewhere/vornex-second-build
    mkdir -p "$work/elsewhere" "$work/home"
    # Cloned by this user (the other may not reach this tree's folder), then
    # handed over whole, and built by the other with its own umask.
    (umask 0027 && git clone -q "$root" "$clone") || return 1
    [ ${#other_user[@]} -eq 0 ] || chown -R nobody "$work/elsewhere" "$work/home"
    declare -f build_downloads >"$work/build_downloads.sh"
    chmod 644 "$work/build_downloads.sh"
    env -i PATH="$PATH" HOME="$work/home" TZ=Asia/Shanghai LANG=zh_CN.UTF-8 CMAKE_BUILD_PARALLEL_LEVEL="$jobs" \
        "${other_user[@]}" bash -c 'umask 0027 && . "$1" && build_downloads "$0" "$2"' \
        "$clone" "$work/build_downloads.sh" "$work/elsewhere/step.log"
    local built=$?
    cp "$work/elsewhere/step.log" "$work/step.log" 2>/dev/null
    return $built
}
step "the downloads built again in $work/elsewhere/vornex-second-build${other_user[*]:+ as nobody}" second_built

# Where two files first differ: a member of an archive and a byte offset.
first_difference() {  # a, b
    python3 - "$1" "$2" <<'PY'
import io, sys, tarfile, zipfile, gzip
a, b = (open(p, 'rb').read() for p in sys.argv[1:3])
def members(data, name):
    if name.endswith('.zip'):
        z = zipfile.ZipFile(io.BytesIO(data))
        return [(i.filename, z.read(i)) for i in z.infolist()]
    if name.endswith('.tar.gz'):
        t = tarfile.open(fileobj=io.BytesIO(gzip.decompress(data)))
        return [(m.name, t.extractfile(m).read() if m.isfile() else b'') for m in t.getmembers()]
    if name.endswith('.deb'):
        out, at = [], 8
        while at + 60 <= len(data):
            size = int(data[at + 48:at + 58]); out.append((data[at:at + 16].decode().strip(), data[at + 60:at + 60 + size]))
            at += 60 + size + (size & 1)
        return out
    return []
def first(x, y):
    return next((i for i in range(min(len(x), len(y))) if x[i] != y[i]), min(len(x), len(y)))
ma, mb = members(a, sys.argv[1]), members(b, sys.argv[1])
for (na, da), (nb, db) in zip(ma, mb):
    if na != nb:
        print('  members differ: %s / %s' % (na, nb)); break
    if da != db:
        print('  first difference: %s, byte %d of it' % (na, first(da, db))); break
else:
    print('  first difference: byte %d of the file' % first(a, b))
PY
}
for file in $(downloads_of "$root"); do
    relative=${file#"$root"/}
    same() {
        [ -f "$work/elsewhere/vornex-second-build/$relative" ] || { echo "  not built the second time"; return 1; }
        cmp -s "$file" "$work/elsewhere/vornex-second-build/$relative" ||
            { first_difference "$file" "$work/elsewhere/vornex-second-build/$relative"; return 1; }
    }
    check "$relative is the same, byte for byte" same
done
echo "built with:"
sed 's/^/  /' "$root/build/package/deb/BUILDINFO.txt" 2>/dev/null
finish
