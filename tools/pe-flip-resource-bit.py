#!/usr/bin/env python3
"""Copies a PE executable with one bit flipped in the middle of one of its resources, as a
damaged download would have it: for tests of what the program does with a carried image that
is not the one it was built with. The header's checksum is left as it was, like the damage would.

    pe-flip-resource-bit.py INPUT OUTPUT TYPE ID      (e.g. TYPE 10 for RCDATA, ID 151)

It prints the file offset of the flipped byte.
"""
import struct
import sys

RESOURCE_DIRECTORY = 2


class PeFile:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE image")
        sections = struct.unpack_from("<H", data, pe + 6)[0]
        optional_size = struct.unpack_from("<H", data, pe + 20)[0]
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        directories = optional + (112 if magic == 0x20B else 96)
        self.resource_rva = struct.unpack_from("<I", data, directories + 8 * RESOURCE_DIRECTORY)[0]
        self.sections = []
        for index in range(sections):
            header = optional + optional_size + 40 * index
            virtual_size, virtual_address, raw_size, raw_pointer = struct.unpack_from(
                "<IIII", data, header + 8)
            self.sections.append((virtual_address, max(virtual_size, raw_size), raw_pointer))

    def offset(self, rva):
        for virtual_address, size, raw_pointer in self.sections:
            if virtual_address <= rva < virtual_address + size:
                return raw_pointer + rva - virtual_address
        raise ValueError(f"RVA 0x{rva:x} lies in no section")

    def entry(self, directory_rva, wanted_id):
        """The entry of a resource directory with the given numeric ID: (is it a directory, its
        offset from the start of the resources)."""
        at = self.offset(directory_rva)
        named, numbered = struct.unpack_from("<HH", self.data, at + 12)
        for index in range(named + numbered):
            name, target = struct.unpack_from("<II", self.data, at + 16 + 8 * index)
            if not name & 0x80000000 and name == wanted_id:
                return bool(target & 0x80000000), target & 0x7FFFFFFF
        raise ValueError(f"no resource entry {wanted_id}")

    def resource_data(self, type_id, resource_id):
        """File offset and size of the resource's data, in the first language stored."""
        if self.resource_rva == 0:
            raise ValueError("no resources")
        is_directory, names = self.entry(self.resource_rva, type_id)
        if not is_directory:
            raise ValueError(f"resource type {type_id} is no directory")
        is_directory, languages = self.entry(self.resource_rva + names, resource_id)
        if not is_directory:
            raise ValueError(f"resource {resource_id} is no directory")
        first = self.offset(self.resource_rva + languages)
        _, target = struct.unpack_from("<II", self.data, first + 16)
        data_entry = self.offset(self.resource_rva + (target & 0x7FFFFFFF))
        data_rva, size = struct.unpack_from("<II", self.data, data_entry)
        return self.offset(data_rva), size


def main(source, target, type_id, resource_id):
    with open(source, "rb") as image:
        data = bytearray(image.read())
    try:
        offset, size = PeFile(data).resource_data(int(type_id), int(resource_id))
    except ValueError as problem:
        sys.exit(f"{source}: {problem}")
    if size == 0:
        sys.exit(f"{source}: resource {resource_id} is empty")
    flipped = offset + size // 2
    data[flipped] ^= 0x01
    with open(target, "wb") as image:
        image.write(data)
    print(f"{target}: bit 0 of byte 0x{flipped:x} flipped (resource {resource_id}, {size} bytes)")


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    main(*sys.argv[1:])
