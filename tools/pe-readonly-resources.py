#!/usr/bin/env python3
"""Finishes a PE executable after linking: makes its resource section read-only and writes its
checksum.

GNU ld gives .rsrc the writable flag of a data section; the linker of the platform's own tools
does not. The program's resources (the firmware image above all) are never written, so the
section is marked read-only after linking: a stray write then faults instead of changing them.

GNU ld leaves the header's checksum at 0. It is computed here, last, over the finished file, as
the platform's tools compute it; it depends on the bytes alone, so the build stays reproducible.
"""
import struct
import sys

IMAGE_SCN_MEM_WRITE = 0x80000000
CHECKSUM_OFFSET = 64  # in the optional header, the same in PE32 and PE32+


def pe_checksum(data, checksum_at):
    """The PE checksum: the file's 16-bit words added with their carries folded in, the checksum
    field itself left out, plus the file's length."""
    total = 0
    padded = bytes(data) + (b"\0" if len(data) % 2 else b"")
    for (word,) in struct.iter_unpack("<H", padded):
        total += word
    total -= struct.unpack_from("<H", data, checksum_at)[0]
    total -= struct.unpack_from("<H", data, checksum_at + 2)[0]
    while total > 0xFFFF:
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


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
                break
        else:
            sys.exit(f"{path}: no .rsrc section")
        # Tools differ on a file of odd length: Windows counts the last byte as a word of its
        # own, osslsigncode leaves it out. GNU ld ends the file with the symbols' string table,
        # whose length is the names' affair; a zero byte after it (outside every section) gives
        # the file an even length, on which all agree.
        if len(data) % 2:
            data.append(0)
        checksum_at = pe + 24 + CHECKSUM_OFFSET
        struct.pack_into("<I", data, checksum_at, pe_checksum(data, checksum_at))
        image.seek(0)
        image.write(data)


if __name__ == "__main__":
    main(sys.argv[1])
