"""Prints what libregf reads of a hive, one line a key or value, in the
format of tests/hive/hive_dump.cpp:  K path  /  V path|name|type|hex data.

    /usr/bin/python3 regf_dump.py HIVE
"""
import sys

import pyregf


def out(line):
    sys.stdout.buffer.write(line.encode('utf-8', 'surrogatepass') + b'\n')


def shown(data):
    if len(data) <= 64:
        return data.hex()
    h = 2166136261
    for b in data:
        h = ((h ^ b) * 16777619) & 0xFFFFFFFF
    return '%d bytes, fnv %08x' % (len(data), h)


def walk(key, path):
    out('K ' + path)
    for i in range(key.number_of_values):
        value = key.get_value(i)
        data = value.data or b''
        out('V %s|%s|%d|%s' % (path, value.name or '', value.type, shown(data)))
    for i in range(key.number_of_sub_keys):
        child = key.get_sub_key(i)
        walk(child, child.name if not path else path + '\\' + child.name)


hive = pyregf.file()
hive.open(sys.argv[1])
walk(hive.get_root_key(), '')
