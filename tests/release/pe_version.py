#!/usr/bin/env python3
"""Reads the version resource of Windows programs natively, so that 32-bit
programs are checked on hosts that cannot run them.

    pe_version.py --version X.Y.Z FILE...   exit 1 with a reason per bad file
"""
import argparse
import struct
import sys

PRODUCT_NAME = "考生登录客户端"
RT_VERSION = 16
MACHINES = {0x014C: "i386", 0x8664: "amd64"}


class PeError(Exception):
    pass


def pe_machine_and_version(data):
    """(machine name, fixed file version, fixed product version, {key: value})."""
    if data[:2] != b"MZ":
        raise PeError("not an MZ executable")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise PeError("no PE header")
    machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    rsrc_rva, rsrc_size = struct.unpack_from("<II", data, directories + 2 * 8)
    if rsrc_size == 0:
        raise PeError("no resources")
    table = optional + optional_size
    for i in range(sections):
        _, vsize, vaddr, raw_size, raw_ptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
        if vaddr <= rsrc_rva < vaddr + max(vsize, raw_size):
            base = raw_ptr + (rsrc_rva - vaddr)
            delta = vaddr - raw_ptr
            break
    else:
        raise PeError("resource directory outside every section")

    def entries(offset):
        named, ids = struct.unpack_from("<HH", data, base + offset + 12)
        for k in range(named + ids):
            name, target = struct.unpack_from("<II", data, base + offset + 16 + 8 * k)
            yield name, target

    version_dir = next((t for n, t in entries(0) if n == RT_VERSION), None)
    if version_dir is None or not version_dir & 0x80000000:
        raise PeError("no version resource")
    node = version_dir & 0x7FFFFFFF
    while True:  # first name, first language
        _, target = next(entries(node))
        if not target & 0x80000000:
            break
        node = target & 0x7FFFFFFF
    data_rva, data_size = struct.unpack_from("<II", data, base + target)
    start = data_rva - delta
    return (MACHINES.get(machine, hex(machine)),) + parse_version_info(data[start:start + data_size])


def parse_version_info(block):
    def node(offset):
        length, value_length, kind = struct.unpack_from("<HHH", block, offset)
        end = block.index(b"\0\0", offset + 6)
        while (end - offset - 6) % 2:
            end = block.index(b"\0\0", end + 1)
        key = block[offset + 6:end].decode("utf-16-le")
        value = (end + 2 + 3) & ~3
        children = value + (value_length * 2 if kind == 1 else value_length)
        return key, length, value, value_length, kind, (children + 3) & ~3

    def children(offset):
        key, length, value, value_length, kind, child = node(offset)
        while child < offset + length:
            yield child
            child = (child + node(child)[1] + 3) & ~3

    key, _, value, value_length, _, _ = node(0)
    if key != "VS_VERSION_INFO" or value_length < 52:
        raise PeError("malformed VS_VERSION_INFO")
    signature, _, fms, fls, pms, pls = struct.unpack_from("<IIIIII", block, value)
    if signature != 0xFEEF04BD:
        raise PeError("bad VS_FIXEDFILEINFO signature")
    strings = {}
    for child in children(0):
        if node(child)[0] != "StringFileInfo":
            continue
        for table in children(child):
            table_key = node(table)[0]
            for entry in children(table):
                name, _, value, value_length, _, _ = node(entry)
                text = block[value:value + 2 * value_length].decode("utf-16-le").rstrip("\0")
                strings[(table_key.lower(), name)] = text
    version = lambda ms, ls: (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    return version(fms, fls), version(pms, pls), strings


def problems(data, version):
    """What is wrong with the program's version resource, as a list of texts."""
    try:
        machine, file_version, product_version, strings = pe_machine_and_version(data)
    except (PeError, struct.error, ValueError, StopIteration) as error:
        return [str(error) or type(error).__name__]
    expected = tuple(int(part) for part in version.split(".")) + (0,)
    found = []
    if file_version != expected:
        found.append(f"file version {file_version}, expected {expected}")
    if product_version != expected:
        found.append(f"product version {product_version}, expected {expected}")
    # Simplified Chinese; NSIS labels its table with code page 936, windres
    # with 1200. The strings are UTF-16 either way.
    tables = sorted({t for t, _ in strings if t.startswith("0804")})
    if not tables:
        return found + [f"no Simplified Chinese string table among {sorted({t for t, _ in strings})}"]
    table = tables[0]
    for key, want in (("ProductName", PRODUCT_NAME), ("ProductVersion", version),
                      ("FileVersion", version)):
        got = strings.get((table, key))
        if got != want:
            found.append(f"{table}/{key} is {got!r}, expected {want!r}")
    if not strings.get((table, "FileDescription")):
        found.append("no FileDescription")
    return found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--version", required=True)
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    status = 0
    for path in args.files:
        with open(path, "rb") as f:
            data = f.read()
        bad = problems(data, args.version)
        machine = pe_machine_and_version(data)[0] if not bad else "?"
        for reason in bad:
            print(f"{path}: {reason}")
            status = 1
        if not bad:
            print(f"{path}: {machine}, version {args.version}, ok")
    return status


if __name__ == "__main__":
    sys.exit(main())
