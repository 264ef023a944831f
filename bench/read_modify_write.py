#!/usr/bin/env python3
"""What a user might write instead of Corvinade: read the whole dump into memory, patch
the matching module records, and write the whole file back.

    read_modify_write.py DUMP EXE
"""
import struct
import sys


def main():
    dump_path, exe_path = sys.argv[1], sys.argv[2]
    with open(exe_path, "rb") as f:
        exe = f.read()
    nt = struct.unpack_from("<I", exe, 0x3C)[0]
    stamp = struct.unpack_from("<I", exe, nt + 8)[0]
    size = struct.unpack_from("<I", exe, nt + 80)[0]
    checksum = struct.unpack_from("<I", exe, nt + 88)[0]
    with open(dump_path, "rb") as f:
        dump = bytearray(f.read())
    streams, directory = struct.unpack_from("<II", dump, 8)
    matched = 0
    for i in range(streams):
        kind, _, rva = struct.unpack_from("<III", dump, directory + 12 * i)
        if kind != 4:
            continue
        count = struct.unpack_from("<I", dump, rva)[0]
        for j in range(count):
            record = rva + 4 + 108 * j
            if struct.unpack_from("<I", dump, record + 16)[0] == stamp:
                struct.pack_into("<II", dump, record + 8, size, checksum)
                matched += 1
    with open(dump_path, "wb") as f:
        f.write(dump)
    return 0 if matched else 1


if __name__ == "__main__":
    sys.exit(main())
