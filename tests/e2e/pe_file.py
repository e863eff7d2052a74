"""Reads what Windows shows of a built .exe: its architecture and version resource."""

import pathlib
import struct

MACHINES = {0x8664: "x64", 0x14C: "x86"}
RT_VERSION = 16
RESOURCE_DIRECTORY = 2


class PeFile:
    def __init__(self, path):
        self.data = pathlib.Path(path).read_bytes()
        header = struct.unpack_from("<I", self.data, 0x3C)[0]
        if self.data[:2] != b"MZ" or self.data[header:header + 4] != b"PE\0\0":
            raise ValueError(f"{path} is not a PE file")
        coff = header + 4
        machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", self.data, coff)
        self.machine = MACHINES.get(machine, hex(machine))
        optional = coff + 20
        magic = struct.unpack_from("<H", self.data, optional)[0]
        directories = optional + (112 if magic == 0x20B else 96)
        self.resource_rva = struct.unpack_from("<I", self.data, directories + 8 * RESOURCE_DIRECTORY)[0]
        table = optional + optional_size
        self.sections = [struct.unpack_from("<IIII", self.data, table + 40 * index + 8)
                         for index in range(sections)]

    def offset(self, rva):
        for virtual_size, address, raw_size, raw_offset in self.sections:
            if address <= rva < address + max(virtual_size, raw_size):
                return raw_offset + rva - address
        raise ValueError(f"RVA {rva:#x} lies in no section")

    def _first_entry(self, directory, wanted=None):
        """The offset (from the resource root) of an entry: the one with id wanted, or the first."""
        root = self.offset(self.resource_rva)
        named, numbered = struct.unpack_from("<HH", self.data, root + directory + 12)
        for index in range(named + numbered):
            name, target = struct.unpack_from("<II", self.data, root + directory + 16 + 8 * index)
            if wanted is None or name == wanted:
                return target & 0x7FFFFFFF
        return None

    def version_info(self):
        """The fixed file and product versions and the string table, or None without one."""
        if not self.resource_rva:
            return None
        names = self._first_entry(0, RT_VERSION)
        if names is None:
            return None
        languages = self._first_entry(names)
        leaf = self._first_entry(languages)
        rva, size = struct.unpack_from("<II", self.data, self.offset(self.resource_rva) + leaf)
        start = self.offset(rva)
        return _parse_version(self.data[start:start + size])


def _align(offset):
    return (offset + 3) & ~3


def _blocks(data, start, end):
    """The children of a version block as (key, value bytes, is text, children start, end)."""
    while start + 6 <= end:
        length, value_length, is_text = struct.unpack_from("<HHH", data, start)
        if length == 0:
            break
        key_end = start + 6
        while data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[start + 6:key_end].decode("utf-16-le")
        value_start = _align(key_end + 2)
        value_end = value_start + (value_length * 2 if is_text else value_length)
        yield key, data[value_start:value_end], is_text, _align(value_end), start + length
        start = _align(start + length)


def _parse_version(data):
    key, fixed, _, children, end = next(_blocks(data, 0, len(data)))
    if key != "VS_VERSION_INFO" or struct.unpack_from("<I", fixed, 0)[0] != 0xFEEF04BD:
        raise ValueError("malformed version resource")
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", fixed, 8)
    info = {
        "file_version": (file_ms >> 16, file_ms & 0xFFFF, file_ls >> 16, file_ls & 0xFFFF),
        "product_version": (product_ms >> 16, product_ms & 0xFFFF,
                            product_ls >> 16, product_ls & 0xFFFF),
        "strings": {},
    }
    for key, _, _, table_start, table_end in _blocks(data, children, end):
        if key != "StringFileInfo":
            continue
        for _, _, _, strings_start, strings_end in _blocks(data, table_start, table_end):
            for name, value, _, _, _ in _blocks(data, strings_start, strings_end):
                info["strings"][name] = value.decode("utf-16-le").rstrip("\0")
    return info
