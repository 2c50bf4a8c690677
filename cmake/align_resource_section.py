#!/usr/bin/env python3
"""Moves a large resource section of launcher.exe to a page boundary of the file, in place.

  align_resource_section.py [--from BYTES] EXE

The linker places each section's bytes on a 512-byte boundary of the file. Wine maps a
section whose bytes start on a page boundary (4,096 bytes) straight from the file, and reads
any other into memory of its own when the image is loaded: with a package of hundreds of
megabytes, that is as many megabytes of fresh memory filled before the launcher starts.
Windows maps either kind. Zero bytes are put before the section (at most 4,095), and the
sections after it move with it; their addresses in memory stay, so nothing inside the image
changes. A section smaller than BYTES (64 MiB) stays where the linker put it: Wine's copy
of it takes little time, and the launcher keeps its size.

Runs before the header's checksum is written (mark_run_from_swap.py) and before signing.
When it fails, EXE is removed, so that no build takes it for finished.
"""
import argparse
import os
import shutil
import struct

PAGE = 4096
ALIGN_FROM = 64 << 20
HEADER_BYTES = 4096
# Data directories that hold file offsets rather than addresses: the certificate table
# (4) and the debug directory (6); the linker's output here has neither.
FILE_OFFSET_DIRECTORIES = (4, 6)


class Refused(Exception):
    pass


def sections(header):
    """(offset of the section table, [(name, raw size, raw offset)]) of the image header."""
    if header[:2] != b"MZ" or len(header) < 0x40:
        raise Refused("not an executable image (no MZ header)")
    pe = struct.unpack_from("<I", header, 0x3C)[0]
    if pe + 24 > len(header) or header[pe:pe + 4] != b"PE\0\0":
        raise Refused("not a PE image (no PE header where the MZ header points)")
    count, = struct.unpack_from("<H", header, pe + 6)
    symbols, = struct.unpack_from("<I", header, pe + 12)
    optional_size, = struct.unpack_from("<H", header, pe + 20)
    optional = pe + 24
    magic, = struct.unpack_from("<H", header, optional)
    directories = optional + (96 if magic == 0x10B else 112)
    table = optional + optional_size
    if table + 40 * count > len(header):
        raise Refused("section table beyond the first %d bytes" % HEADER_BYTES)
    if symbols:
        raise Refused("a COFF symbol table (link with -s)")
    for index in FILE_OFFSET_DIRECTORIES:
        at = directories + 8 * index
        if at + 8 <= table and struct.unpack_from("<II", header, at) != (0, 0):
            raise Refused("data directory %d holds file offsets" % index)
    rows = []
    for n in range(count):
        at = table + 40 * n
        name = bytes(header[at:at + 8]).rstrip(b"\0").decode("ascii", "replace")
        raw_size, raw_offset = struct.unpack_from("<II", header, at + 16)
        rows.append((name, raw_size, raw_offset))
    return table, rows


def align(path, align_from=ALIGN_FROM):
    """Pads the file so that .rsrc starts on a page; returns the bytes put in (0: untouched)."""
    with open(path, "rb") as f:
        header = bytearray(f.read(HEADER_BYTES))
    table, rows = sections(header)
    resource = next((row for row in rows if row[0] == ".rsrc"), None)
    if resource is None or resource[1] < align_from or resource[2] % PAGE == 0:
        return 0
    start = resource[2]
    if any(0 < offset < start and offset + size > start for _, size, offset in rows if size):
        raise Refused("a section's bytes run into the resource section")
    padding = -start % PAGE
    for n, (_, size, offset) in enumerate(rows):
        if size and offset >= start:
            struct.pack_into("<I", header, table + 40 * n + 20, offset + padding)
    moved = path + ".aligning"
    try:
        with open(path, "rb") as source, open(moved, "wb") as target:
            # The header with its new section table, then what follows it up to the section.
            source.seek(len(header))
            before = header[:start] + source.read(max(start - len(header), 0))
            target.write(before)
            target.write(bytes(padding))
            source.seek(start)
            shutil.copyfileobj(source, target, 1 << 20)
        os.replace(moved, path)
    finally:
        if os.path.lexists(moved):
            os.remove(moved)
    return padding


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--from", dest="align_from", type=int, default=ALIGN_FROM,
                        help="the smallest resource section that is moved (bytes)")
    parser.add_argument("exe")
    args = parser.parse_args()
    try:
        align(args.exe, args.align_from)
    except (Refused, OSError) as error:
        if os.path.lexists(args.exe):
            os.remove(args.exe)
        raise SystemExit(f"{args.exe}: resource section not aligned, and removed: {error}")


if __name__ == "__main__":
    main()
