"""Writes a zip or a tar.gz whose bytes depend only on the files' contents:
every time stamp is SOURCE_DATE_EPOCH, owners are root, modes are fixed
(0755 for the programs given with --exec, 0644 for the rest), entries go in
the order given, and no host, user or time reaches the archive.

    python3 reproducible_archive.py zip|tgz OUT EPOCH DIR [--exec NAME]... -- NAME...
    python3 reproducible_archive.py deb-modes DEB

NAMEs are paths relative to DIR; a folder NAME is taken with its files, sorted.
deb-modes gives the members of a .deb (an ar archive) mode 0644 in place: the
tool that writes it takes them from the builder's umask.
"""
import gzip
import io
import os
import sys
import tarfile
import time
import zipfile


def entries(base, names):
    for name in names:
        path = os.path.join(base, name)
        if os.path.isdir(path):
            yield name, None
            for child in sorted(os.listdir(path)):
                yield from entries(base, [name + '/' + child])
        else:
            yield name, path


def mode_of(name, executables):
    return 0o755 if os.path.basename(name) in executables else 0o644


def write_zip(out, epoch, files, executables):
    stamp = time.gmtime(max(epoch, 315532800))[:6]  # zip times start in 1980
    with zipfile.ZipFile(out, 'w', zipfile.ZIP_DEFLATED) as archive:
        for name, path in files:
            if path is None:
                continue
            info = zipfile.ZipInfo(name, stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3  # Unix: the mode below is what unzip sets
            info.external_attr = (0o100000 | mode_of(name, executables)) << 16
            with open(path, 'rb') as data:
                archive.writestr(info, data.read())


def write_tgz(out, epoch, files, executables):
    raw = io.BytesIO()
    with tarfile.open(fileobj=raw, mode='w', format=tarfile.GNU_FORMAT) as archive:
        for name, path in files:
            info = tarfile.TarInfo(name)
            info.mtime = epoch
            info.uid = info.gid = 0
            info.uname = info.gname = 'root'
            if path is None:
                info.type = tarfile.DIRTYPE
                info.mode = 0o755
                archive.addfile(info)
                continue
            info.mode = mode_of(name, executables)
            info.size = os.path.getsize(path)
            with open(path, 'rb') as data:
                archive.addfile(info, data)
    with open(out, 'wb') as target:
        with gzip.GzipFile(filename='', mode='wb', fileobj=target, mtime=epoch, compresslevel=9) as packed:
            packed.write(raw.getvalue())


def fix_deb_modes(path):
    with open(path, 'r+b') as deb:
        data = bytearray(deb.read())
        if data[:8] != b'!<arch>\n':
            sys.exit(path + ': not an ar archive')
        at = 8
        while at + 60 <= len(data):
            data[at + 40:at + 48] = b'100644  '
            size = int(data[at + 48:at + 58])
            at += 60 + size + (size & 1)
        deb.seek(0)
        deb.write(data)


def main(argv):
    if argv[1] == 'deb-modes':
        fix_deb_modes(argv[2])
        return
    kind, out, epoch, base = argv[1], argv[2], int(argv[3]), argv[4]
    rest = argv[5:]
    executables = set()
    while rest and rest[0] == '--exec':
        executables.add(rest[1])
        rest = rest[2:]
    if not rest or rest[0] != '--':
        sys.exit('usage: reproducible_archive.py zip|tgz OUT EPOCH DIR [--exec NAME]... -- NAME...')
    files = list(entries(base, rest[1:]))
    (write_zip if kind == 'zip' else write_tgz)(out, epoch, files, executables)


if __name__ == '__main__':
    main(sys.argv)
