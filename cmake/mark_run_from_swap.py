#!/usr/bin/env python3
"""Marks launcher.exe to be run from the swap file, in place, and writes its checksum again.

  mark_run_from_swap.py EXE

Started from a network share or a removable drive, an image is paged in from where it lies,
and a network hiccup or a pulled drive then ends the process with no exit code and no log.
With IMAGE_FILE_NET_RUN_FROM_SWAP and IMAGE_FILE_REMOVABLE_RUN_FROM_SWAP in its header,
Windows copies the image to the swap file first. GNU ld has no option for them (MSVC's link
sets them with /SWAPRUN). The header's checksum covers the flags, so it is computed again.

When it fails, EXE is removed, so that no build takes it for finished.
"""
import os
import struct
import sys

NET_RUN_FROM_SWAP = 0x0800
REMOVABLE_RUN_FROM_SWAP = 0x0400
# Enough for the DOS header, its stub and the PE headers up to the checksum; even, so that
# the 16-bit words of the checksum start at the same place in every chunk.
HEADER_BYTES = 4096
CHUNK_BYTES = 1 << 20


class Refused(Exception):
    pass


def header_offsets(header):
    """(offset of the file header's Characteristics, offset of the optional header's
    CheckSum) in an image that starts with header."""
    if header[:2] != b"MZ" or len(header) < 0x40:
        raise Refused("not an executable image (no MZ header)")
    pe = struct.unpack_from("<I", header, 0x3C)[0]
    checksum_at = pe + 4 + 20 + 64
    if checksum_at + 4 > len(header) or header[pe:pe + 4] != b"PE\0\0":
        raise Refused("not a PE image (no PE header where the MZ header points)")
    return pe + 4 + 18, checksum_at


def word_sum(data):
    """The sum of the little-endian 16-bit words of data, modulo 0xFFFF: each word's
    place value, 0x10000 ** n, is 1 modulo 0xFFFF, so the bytes read as one number do."""
    return int.from_bytes(data, "little") % 0xFFFF


def mark(path):
    with open(path, "r+b") as f:
        header = bytearray(f.read(HEADER_BYTES))
        characteristics_at, checksum_at = header_offsets(header)
        flags = struct.unpack_from("<H", header, characteristics_at)[0]
        struct.pack_into("<H", header, characteristics_at,
                         flags | NET_RUN_FROM_SWAP | REMOVABLE_RUN_FROM_SWAP)
        # The checksum: the 16-bit words with end-around carry, its own field taken as 0,
        # plus the file's length.
        struct.pack_into("<I", header, checksum_at, 0)
        total, length = word_sum(header), len(header)
        while chunk := f.read(CHUNK_BYTES):
            total = (total + word_sum(chunk)) % 0xFFFF
            length += len(chunk)
        # End-around carry never turns words that are not all 0 ("MZ" is not) into 0.
        total = total or 0xFFFF
        struct.pack_into("<I", header, checksum_at, (total + length) & 0xFFFFFFFF)
        f.seek(0)
        f.write(header)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: mark_run_from_swap.py EXE")
    exe = sys.argv[1]
    try:
        mark(exe)
    except (Refused, OSError) as error:
        if os.path.lexists(exe):
            os.remove(exe)
        sys.exit(f"{exe} not marked to run from the swap file, and removed: {error}")


if __name__ == "__main__":
    main()
