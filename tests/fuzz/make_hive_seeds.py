"""Seeds for the hive fuzzers, made from the shared real hives (read by path,
written only into the given folder, never into the source tree).

    make_hive_seeds.py HIVES_DIR regf|replay OUT_DIR
"""
import os
import struct
import sys

hives, kind, out = sys.argv[1], sys.argv[2], sys.argv[3]
os.makedirs(out, exist_ok=True)


def read(relative):
    with open(os.path.join(hives, relative), 'rb') as f:
        return f.read()


if kind == 'regf':
    # Small real hives, whole: the reader starts from real structure.
    n = 0
    for folder, _, files in os.walk(hives):
        for name in sorted(files):
            path = os.path.join(folder, name)
            if name.endswith(('.md', '.tsv', '.xz')) or os.path.getsize(path) > 70000:
                continue
            with open(path, 'rb') as f:
                data = f.read()
            if data[:4] == b'regf':
                n += 1
                with open(os.path.join(out, 'hive-%03d' % n), 'wb') as f:
                    f.write(data)
else:
    # Layout of replay_fuzz.cpp: flags, primary length, LOG1 length, then the three.
    def seed(name, primary, log1, log2, flags=0):
        p, a, b = (read(x) if x else b'' for x in (primary, log1, log2))
        with open(os.path.join(out, name), 'wb') as f:
            f.write(bytes([flags]) + struct.pack('<II', len(p), len(a)) + p + a + b)

    for tag, stem in (('new', 'yarp/NewDirtyHive1/NewDirtyHive'), ('old', 'yarp/OldDirtyHive/OldDirtyHive')):
        seed(tag, stem, stem + '.LOG1', stem + '.LOG2')
        seed(tag + '-rehash', stem, stem + '.LOG1', stem + '.LOG2', 8)
