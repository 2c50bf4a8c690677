#!/usr/bin/env python3
"""Makes the sample Windows Installer patch package that the launcher embeds.

    make_sample_package.py --output <file.msp> [--size <bytes>]

msitools' msibuild (found on PATH) makes the compound file; this script then turns it
into a patch package in place: it writes the patch package's summary information,
sets the root storage's class to the patch class, and pads the file with one stream
of fixed pseudo-random bytes to the requested size. The same inputs give the same
file byte for byte.
"""

import argparse
import datetime
import hashlib
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import uuid
from pathlib import Path

HERE = Path(__file__).resolve().parent
TARGETS_FILE = HERE / "target_products.txt"

DEFAULT_SIZE = 9720320
PATCH_CODE = "{3F1D2B7A-9C4E-4A61-8E25-D7B0C6A91F38}"
PATCH_CLASS = uuid.UUID("000C1086-0000-0000-C000-000000000046")
PRODUCT = "Brimfold Tessary Desktop R16.0"
FILLER_STREAM = "Filler"
# The filler must not fit in the mini stream, so that it grows the file sector by sector.
MIN_FILLER = 4096
GUID_RE = re.compile(r"\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}")

# Summary-information property ids and the variant types they are stored with.
PID_CODEPAGE, PID_TITLE, PID_SUBJECT, PID_AUTHOR, PID_KEYWORDS, PID_COMMENTS = 1, 2, 3, 4, 5, 6
PID_TEMPLATE, PID_LASTAUTHOR, PID_REVNUMBER, PID_CREATE_DTM = 7, 8, 9, 12
PID_WORDCOUNT, PID_APPNAME, PID_SECURITY = 15, 18, 19
VT_I2, VT_I4, VT_LPSTR, VT_FILETIME = 0x02, 0x03, 0x1E, 0x40
FMTID_SUMMARY = uuid.UUID("F29F85E0-4FF9-1068-AB91-08002B27B3D9")
CODEPAGE = 1252
# A fixed creation time, so that every build is identical.
CREATED = datetime.datetime(2011, 5, 16, 9, 0, tzinfo=datetime.timezone.utc)


def load_targets(path=TARGETS_FILE):
    """The product codes the patch targets, one a line, in template order."""
    codes = [line.strip() for line in path.read_text(encoding="ascii").splitlines()]
    codes = [code for code in codes if code]
    bad = [code for code in codes if not GUID_RE.fullmatch(code)]
    if not codes or bad:
        raise ValueError(f"{path.name}: expected braced upper-case product codes, got {bad or 'none'}")
    return codes


def summary_properties(targets):
    """(pid, type, value) of a patch package's summary, in id order."""
    return [
        (PID_CODEPAGE, VT_I2, CODEPAGE),
        (PID_TITLE, VT_LPSTR, "Patch"),
        (PID_SUBJECT, VT_LPSTR, f"{PRODUCT} SP2 Update"),
        (PID_AUTHOR, VT_LPSTR, "Brimfold"),
        (PID_KEYWORDS, VT_LPSTR, "Installer,Patching,PCP,Database"),
        (PID_COMMENTS, VT_LPSTR, "This patch contains the logic and data required to install "
                                 f"Service Pack 2 for {PRODUCT}."),
        (PID_TEMPLATE, VT_LPSTR, ";".join(targets)),
        # The transform substorages, each with its patch transform; the installer skips
        # names it cannot open, so the sample carries the list only.
        (PID_LASTAUTHOR, VT_LPSTR, ":R160ToSP2;:#R160ToSP2"),
        # The patch code; codes of obsoleted patches would follow it without separator.
        (PID_REVNUMBER, VT_LPSTR, PATCH_CODE),
        (PID_CREATE_DTM, VT_FILETIME, CREATED),
        # 3: needs Windows Installer 2.0 or later.
        (PID_WORDCOUNT, VT_I4, 3),
        (PID_APPNAME, VT_LPSTR, "libmsi msibuild"),
        # 4: read-only enforced, as for every patch package.
        (PID_SECURITY, VT_I4, 4),
    ]


def encode_value(vtype, value):
    """One typed property value, padded to a multiple of 4 bytes."""
    if vtype == VT_I2:
        body = struct.pack("<hxx", value)
    elif vtype == VT_I4:
        body = struct.pack("<i", value)
    elif vtype == VT_FILETIME:
        epoch = datetime.datetime(1601, 1, 1, tzinfo=datetime.timezone.utc)
        body = struct.pack("<Q", (value - epoch) // datetime.timedelta(microseconds=1) * 10)
    elif vtype == VT_LPSTR:
        text = value.encode(f"cp{CODEPAGE}") + b"\0"
        body = struct.pack("<I", len(text)) + text + b"\0" * (-len(text) % 4)
    else:
        raise ValueError(f"unsupported property type {vtype:#x}")
    return struct.pack("<HH", vtype, 0) + body


def property_set(properties):
    """A "\\005SummaryInformation" stream: a property set with one section."""
    values, index, offset = [], [], 8 + 8 * len(properties)
    for pid, vtype, value in properties:
        encoded = encode_value(vtype, value)
        index.append(struct.pack("<II", pid, offset))
        values.append(encoded)
        offset += len(encoded)
    section = struct.pack("<II", offset, len(properties)) + b"".join(index + values)
    # Byte order mark, format version 0, system id (Win32, OS version 5.0), no class id.
    header = struct.pack("<HHI16sI16sI", 0xFFFE, 0, 0x00020005, bytes(16), 1,
                         FMTID_SUMMARY.bytes_le, 48)
    return header + section


ENDOFCHAIN, FREESECT, NOSTREAM = 0xFFFFFFFE, 0xFFFFFFFF, 0xFFFFFFFF
MAGIC = bytes.fromhex("D0CF11E0A1B11AE1")


class CompoundFile:
    """Just enough of the compound-file format to patch a file in place."""

    def __init__(self, data):
        if data[:8] != MAGIC:
            raise ValueError("not a compound file")
        self.data = data
        shift, mini_shift = struct.unpack_from("<HH", data, 0x1E)
        self.sector_size, self.mini_size = 1 << shift, 1 << mini_shift
        num_fat, first_dir = struct.unpack_from("<II", data, 0x2C)
        self.mini_cutoff, first_minifat, _, first_difat = struct.unpack_from("<IIII", data, 0x38)
        self.per_sector = self.sector_size // 4
        # The first 109 FAT sectors are listed in the header, any further ones in the DIFAT chain.
        fat_sectors = list(struct.unpack_from("<109I", data, 0x4C))
        difat = first_difat
        while difat not in (ENDOFCHAIN, FREESECT):
            entries = self.sector_ints(difat)
            fat_sectors += entries[:-1]
            difat = entries[-1]
        self.fat = [n for sector in fat_sectors[:num_fat] for n in self.sector_ints(sector)]
        self.dir_offsets = [self.offset(sector) + i
                            for sector in self.chain(first_dir, self.fat)
                            for i in range(0, self.sector_size, 128)]
        self.minifat_sectors = self.chain(first_minifat, self.fat)
        self.minifat = [n for sector in self.minifat_sectors for n in self.sector_ints(sector)]
        self.ministream_sectors = self.chain(self.entry_int("<I", 0, 0x74), self.fat)

    def offset(self, sector):
        return (sector + 1) * self.sector_size

    def sector_ints(self, sector):
        return list(struct.unpack_from(f"<{self.per_sector}I", self.data, self.offset(sector)))

    @staticmethod
    def chain(start, table):
        sectors = []
        while start not in (ENDOFCHAIN, FREESECT):
            sectors.append(start)
            start = table[start]
        return sectors

    def entry_int(self, fmt, index, field):
        return struct.unpack_from(fmt, self.data, self.dir_offsets[index] + field)[0]

    def entry_name(self, index):
        at = self.dir_offsets[index]
        length = self.entry_int("<H", index, 0x40)
        return bytes(self.data[at:at + max(length - 2, 0)]).decode("utf-16-le")

    def find_root_stream(self, name):
        """The directory index of the root storage's stream of that name."""
        pending = [self.entry_int("<I", 0, 0x4C)]
        while pending:
            index = pending.pop()
            if index == NOSTREAM:
                continue
            if self.entry_name(index) == name and self.data[self.dir_offsets[index] + 0x42] == 2:
                return index
            pending += [self.entry_int("<I", index, 0x44), self.entry_int("<I", index, 0x48)]
        raise KeyError(name)

    def mini_offset(self, mini_sector):
        at = mini_sector * self.mini_size
        return self.offset(self.ministream_sectors[at // self.sector_size]) + at % self.sector_size

    def set_minifat(self, mini_sector, value):
        self.minifat[mini_sector] = value
        sector = self.minifat_sectors[mini_sector // self.per_sector]
        struct.pack_into("<I", self.data, self.offset(sector) + mini_sector % self.per_sector * 4, value)

    def overwrite_small_stream(self, index, content):
        """Replaces a mini-stream stream's bytes within the mini sectors it already holds."""
        old_size = self.entry_int("<Q", index, 0x78)
        if not 0 < len(content) < self.mini_cutoff or old_size >= self.mini_cutoff:
            raise ValueError("only streams kept in the mini stream can be overwritten")
        held = self.chain(self.entry_int("<I", index, 0x74), self.minifat)
        needed = -(-len(content) // self.mini_size)
        if needed > len(held):
            raise ValueError(f"the new stream needs {needed} mini sectors, {len(held)} are held")
        padded = content + bytes(len(held) * self.mini_size - len(content))
        for n, mini_sector in enumerate(held):
            at = self.mini_offset(mini_sector)
            self.data[at:at + self.mini_size] = padded[n * self.mini_size:(n + 1) * self.mini_size]
        self.set_minifat(held[needed - 1], ENDOFCHAIN)
        for mini_sector in held[needed:]:
            self.set_minifat(mini_sector, FREESECT)
        struct.pack_into("<Q", self.data, self.dir_offsets[index] + 0x78, len(content))

    def set_root_class(self, clsid):
        at = self.dir_offsets[0] + 0x50
        self.data[at:at + 16] = clsid.bytes_le


def filler_bytes(length):
    # SHAKE output is fixed by its standard and does not compress.
    return hashlib.shake_128(b"Brimfold Tessary sample patch filler").digest(length)


def msibuild(*args):
    tool = shutil.which("msibuild")
    if tool is None:
        raise SystemExit("make_sample_package.py: msibuild (msitools) is not on PATH")
    subprocess.run([tool, *map(str, args)], check=True)


def assemble(path, filler_length, summary, targets):
    """The package with msibuild's own summary and a filler stream; returns its size."""
    path.unlink(missing_ok=True)
    # msibuild always writes a summary of its own. Its subject is a placeholder as long as
    # the final summary, so that the final summary fits in the mini sectors it takes.
    msibuild(path, "-s", "x" * len(summary), "Brimfold", ";".join(targets), PATCH_CODE)
    filler = path.with_name("filler.bin")
    filler.write_bytes(filler_bytes(filler_length))
    # msibuild refuses -s together with -a, so the stream goes in with a second call.
    msibuild(path, "-a", FILLER_STREAM, filler)
    filler.unlink()
    return path.stat().st_size


def sector_size(path):
    with open(path, "rb") as package:
        return 1 << struct.unpack_from("<H", package.read(0x20), 0x1E)[0]


def build(output, size):
    targets = load_targets()
    summary = property_set(summary_properties(targets))
    with tempfile.TemporaryDirectory() as work:
        draft = Path(work, "package.msp")
        # The file grows by whole sectors, and now and then by one more for the allocation
        # table, so step the filler by whole sectors until the size is met or cannot be.
        sizes = {}
        filler = max(MIN_FILLER, size - 16384)
        while filler not in sizes:
            last = filler
            sizes[last] = assemble(draft, last, summary, targets)
            sector = sector_size(draft)
            filler = max(MIN_FILLER, last + (size - sizes[last]) // sector * sector)
        fitting = [length for length, made in sizes.items() if made <= size]
        if not fitting:
            raise SystemExit(f"make_sample_package.py: the smallest package is "
                             f"{min(sizes.values())} bytes, more than --size {size}")
        best = max(fitting, key=lambda length: (sizes[length], length))
        if best != last:
            assemble(draft, best, summary, targets)

        data = bytearray(draft.read_bytes())
        package = CompoundFile(data)
        package.overwrite_small_stream(package.find_root_stream("\x05SummaryInformation"), summary)
        package.set_root_class(PATCH_CLASS)
        Path(output).write_bytes(data)
    return len(data)


def main(argv=None):
    parser = argparse.ArgumentParser(description="Make the sample patch package.")
    parser.add_argument("--output", required=True, help="the .msp file to write")
    parser.add_argument("--size", type=int, default=DEFAULT_SIZE,
                        help=f"wanted file size in bytes, met or undershot (default {DEFAULT_SIZE})")
    args = parser.parse_args(argv)
    build(args.output, args.size)


if __name__ == "__main__":
    sys.exit(main())
