#!/usr/bin/env python3
"""Makes the resource section of a PE executable read-only.

GNU ld gives .rsrc the writable flag of a data section; the linker of the platform's own tools
does not. The program's resources (the firmware image above all) are never written, so the
section is marked read-only after linking: a stray write then faults instead of changing them.
"""
import struct
import sys

IMAGE_SCN_MEM_WRITE = 0x80000000


def main(path):
    with open(path, "r+b") as image:
        data = bytearray(image.read())
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            sys.exit(f"{path}: not a PE image")
        sections = struct.unpack_from("<H", data, pe + 6)[0]
        optional_size = struct.unpack_from("<H", data, pe + 20)[0]
        table = pe + 24 + optional_size
        for index in range(sections):
            header = table + 40 * index
            if data[header:header + 8].rstrip(b"\0") == b".rsrc":
                flags_at = header + 36
                flags = struct.unpack_from("<I", data, flags_at)[0]
                struct.pack_into("<I", data, flags_at, flags & ~IMAGE_SCN_MEM_WRITE)
                image.seek(flags_at)
                image.write(data[flags_at:flags_at + 4])
                return
        sys.exit(f"{path}: no .rsrc section")


if __name__ == "__main__":
    main(sys.argv[1])
