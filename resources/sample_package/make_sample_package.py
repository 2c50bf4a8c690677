#!/usr/bin/env python3
"""Makes the sample Windows Installer patch package that the launcher embeds.

    make_sample_package.py --output <file.msp> [--size <bytes>] [--target-version <version>]

The package is written here, from the published formats, as a compound file that holds:
- the patch package's summary information: the target product codes in its template, the
  list of its transforms in its last author, the patch code in its revision number;
- per target product and per version it may be at, a pair of transform substorages, as the
  patch creation tools make them: the first changes that product's database (ProductVersion
  becomes the target version, and the registry value that the Registry row
  "ServicePackLevel" writes, the host key's "ServicePack", "0" before, becomes "2"); its
  twin, named like it with a leading "#", changes nothing here (the tools put the patch's
  own rows there);
- an empty database of the package's own (string pool and table list), as every patch
  package has;
- one stream of fixed pseudo-random bytes that pads the file to the requested size.
Wine's installer cannot generate transforms (MsiDatabaseGenerateTransformW is not
implemented there), so their string pools and table streams are written here too. The
same inputs give the same file byte for byte.
"""

import argparse
import dataclasses
import datetime
import hashlib
import re
import struct
import sys
import uuid
from pathlib import Path

HERE = Path(__file__).resolve().parent
TARGETS_FILE = HERE / "target_products.txt"

DEFAULT_SIZE = 9720320
DEFAULT_TARGET_VERSION = "8.2.0.4"
# The versions the patch applies to, each with the name its transforms start with.
BASES = [("8.0.24.6", "RTMToSP2."), ("8.1.0.3", "SP1ToSP2.")]
PATCH_CODE = "{3F1D2B7A-9C4E-4A61-8E25-D7B0C6A91F38}"
PATCH_CLASS = uuid.UUID("000C1086-0000-0000-C000-000000000046")
TRANSFORM_CLASS = uuid.UUID("000C1082-0000-0000-C000-000000000046")
PRODUCT = "Brimfold Tessary Desktop R16.0"
FILLER_STREAM = "Filler"
# The filler must not fit in the mini stream, so that it grows the file sector by sector.
MIN_FILLER = 4096
GUID_RE = re.compile(r"\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}")
VERSION_RE = re.compile(r"\d{1,5}(\.\d{1,5}){1,3}")

# What the transforms change: (table, its columns in database order, primary key first,
# the key of the row, the column changed, its new value or None for the target version).
REGISTRY_COLUMNS = ("Registry", "Root", "Key", "Name", "Value", "Component_")
CHANGES = [
    ("Property", ("Property", "Value"), "ProductVersion", "Value", None),
    ("Registry", REGISTRY_COLUMNS, "ServicePackLevel", "Value", "2"),
]
# The sample products' upgrade codes follow from their product codes this way (see
# tests/e2e/sample_machine/sample_products.py); the transforms name them as real ones do.
SAMPLE_CODE_NAMESPACE = uuid.UUID("5d0c7c39-2a61-4e0b-9a57-b1f3a3e1c0d4")
# What the installer checks before it applies a transform (the upper word of its Character
# Count): the product code, the upgrade code, and the version's first three fields equal to
# the base's; the patch creation tools' default.
VALIDATE_PRODUCT, VALIDATE_UPDATE, VALIDATE_EQUAL, VALIDATE_UPGRADECODE = 0x2, 0x20, 0x100, 0x800
VALIDATION = VALIDATE_PRODUCT | VALIDATE_UPGRADECODE | VALIDATE_UPDATE | VALIDATE_EQUAL
# The errors the installer lets pass while it applies one (the lower word): a row or table
# added that exists, deleted that is missing, a row updated that is missing; the tools'
# default for patches. Wine's installer reads this word as the validation flags instead,
# where these bits ask for language, product code, platform, major and minor version: the
# sample passes each of those checks there (see the README on testing under Wine).
ERROR_CONDITIONS = 0x001F

# Summary-information property ids and the variant types they are stored with.
PID_CODEPAGE, PID_TITLE, PID_SUBJECT, PID_AUTHOR, PID_KEYWORDS, PID_COMMENTS = 1, 2, 3, 4, 5, 6
PID_TEMPLATE, PID_LASTAUTHOR, PID_REVNUMBER, PID_CREATE_DTM = 7, 8, 9, 12
PID_PAGECOUNT, PID_WORDCOUNT, PID_CHARCOUNT, PID_APPNAME, PID_SECURITY = 14, 15, 16, 18, 19
VT_I2, VT_I4, VT_LPSTR, VT_FILETIME = 0x02, 0x03, 0x1E, 0x40
FMTID_SUMMARY = uuid.UUID("F29F85E0-4FF9-1068-AB91-08002B27B3D9")
SUMMARY_STREAM = "\x05SummaryInformation"
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


@dataclasses.dataclass
class Transform:
    """One transform substorage: the product it is for, from which version to which, and
    what the installer checks; a twin ("#" name) changes no row."""
    name: str
    product: str
    base_version: str
    new_version: str
    validation: int = VALIDATION
    errors: int = ERROR_CONDITIONS
    twin: bool = False

    @property
    def description(self):
        """Revision Number: "{base product}version;{new product}version;{upgrade code}"; a
        patch keeps the product code."""
        return (f"{self.product}{self.base_version};{self.product}{self.new_version};"
                f"{upgrade_code(self.product)}")


def transform_name(base_version, index):
    """The name of the transform from base_version for the target at index (from 0)."""
    prefix = dict(BASES)[base_version]
    return f"{prefix}{index + 1}"


def sample_transforms(targets, target_version):
    """Per target, in template order, a pair per base version: the transform, its twin."""
    pairs = []
    for index, code in enumerate(targets):
        for base, _ in BASES:
            name = transform_name(base, index)
            pairs += [Transform(name, code, base, target_version),
                      Transform("#" + name, code, base, target_version, twin=True)]
    return pairs


def upgrade_code(product_code):
    name = "upgrade:" + product_code.upper()
    return "{" + str(uuid.uuid5(SAMPLE_CODE_NAMESPACE, name)).upper() + "}"


# --- Summary information -------------------------------------------------------------

def summary_properties(targets, transforms):
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
        # The transform substorages, in the order the installer applies them.
        (PID_LASTAUTHOR, VT_LPSTR, ";".join(":" + t.name for t in transforms)),
        # The patch code; codes of obsoleted patches would follow it without separator.
        (PID_REVNUMBER, VT_LPSTR, PATCH_CODE),
        (PID_CREATE_DTM, VT_FILETIME, CREATED),
        # 3: needs Windows Installer 2.0 or later.
        (PID_WORDCOUNT, VT_I4, 3),
        (PID_APPNAME, VT_LPSTR, "Brimfold sample package script"),
        # 4: read-only enforced, as for every patch package.
        (PID_SECURITY, VT_I4, 4),
    ]


def transform_summary_properties(t):
    """(pid, type, value) of the summary of one transform."""
    return [
        (PID_CODEPAGE, VT_I2, CODEPAGE),
        (PID_TITLE, VT_LPSTR, "Transform"),
        (PID_SUBJECT, VT_LPSTR, f"{PRODUCT} SP2 Update"),
        (PID_AUTHOR, VT_LPSTR, "Brimfold"),
        # Platform and language of the base and of the result: any.
        (PID_TEMPLATE, VT_LPSTR, "Intel;0"),
        (PID_LASTAUTHOR, VT_LPSTR, "Intel;0"),
        (PID_REVNUMBER, VT_LPSTR, t.description),
        (PID_CREATE_DTM, VT_FILETIME, CREATED),
        (PID_PAGECOUNT, VT_I4, 200),
        (PID_CHARCOUNT, VT_I4, t.validation << 16 | t.errors),
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


# --- Database streams --------------------------------------------------------------

NAME_ALPHABET = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz._"


def stream_name(name, table=True):
    """The compound-file name of a database stream: two name characters per UTF-16 unit
    where both are in the alphabet, and the mark 0x4840 in front of a table's stream."""
    out = ["\u4840"] if table else []
    i = 0
    while i < len(name):
        first = NAME_ALPHABET.find(name[i])
        second = NAME_ALPHABET.find(name[i + 1]) if i + 1 < len(name) else -1
        if first < 0:
            out.append(name[i])
        elif second < 0:
            out.append(chr(0x4800 + first))
        else:
            out.append(chr(0x3800 + first + (second << 6)))
            i += 1
        i += 1
    return "".join(out)


class StringPool:
    """The strings that table streams refer to by number, from 1; 0 stands for null."""

    def __init__(self, codepage):
        self.codepage = codepage
        self.ids, self.counts = {}, []

    def ref(self, text):
        if text not in self.ids:
            self.ids[text] = len(self.ids) + 1
            self.counts.append(0)
        self.counts[self.ids[text] - 1] += 1
        return self.ids[text]

    def streams(self):
        """(name, bytes) of "_StringPool" (code page, then length and reference count of
        each string) and "_StringData" (the strings one after another)."""
        encoded = [text.encode(f"cp{self.codepage}") for text in self.ids]
        if len(encoded) > 0xFFFF or any(len(text) > 0xFFFF for text in encoded):
            raise ValueError("long strings and 3-byte string references are not written")
        pool = struct.pack("<I", self.codepage) + b"".join(
            struct.pack("<HH", len(text), count) for text, count in zip(encoded, self.counts))
        return [(stream_name("_StringPool"), pool), (stream_name("_StringData"), b"".join(encoded))]


def row_update(pool, columns, key, changes):
    """One row of a transform's table stream that changes columns of an existing row: a
    16-bit mask with bit n set for each column n changed (its low bit clear, which marks a
    masked row), then the row's key and the new values in column order. Every column
    written is a string, stored as its number in the transform's string pool."""
    mask, values = 0, [pool.ref(key)]
    for n, column in enumerate(columns[1:], start=1):
        if column in changes:
            mask |= 1 << n
            values.append(pool.ref(changes[column]))
    if not mask or set(changes) - set(columns[1:]):
        raise ValueError(f"nothing to change in columns {columns} with {changes}")
    return struct.pack(f"<H{len(values)}H", mask, *values)


def transform_streams(t):
    """The streams of one transform, as (name, bytes)."""
    pool = StringPool(CODEPAGE)
    tables = {}
    for table, columns, key, column, value in ([] if t.twin else CHANGES):
        new = t.new_version if value is None else value
        tables[table] = tables.get(table, b"") + row_update(pool, columns, key, {column: new})
    summary = property_set(transform_summary_properties(t))
    return ([(SUMMARY_STREAM, summary)] + pool.streams()
            + [(stream_name(table), rows) for table, rows in tables.items()])


# --- Compound file -------------------------------------------------------------------

SECTOR, MINI_SECTOR, MINI_CUTOFF, ENTRY = 512, 64, 4096, 128
ENDOFCHAIN, FREESECT, FATSECT, DIFSECT = 0xFFFFFFFE, 0xFFFFFFFF, 0xFFFFFFFD, 0xFFFFFFFC
NOSTREAM = 0xFFFFFFFF
MAGIC = bytes.fromhex("D0CF11E0A1B11AE1")
HEADER_FAT_SLOTS, FAT_SLOTS, DIFAT_SLOTS = 109, SECTOR // 4, SECTOR // 4 - 1


class Storage:
    """A storage: its (name, stream bytes or Storage) children and its class id."""

    def __init__(self, children, clsid=None):
        self.children, self.clsid = children, clsid


@dataclasses.dataclass
class Entry:
    """One directory entry; `kids` are the indexes of a storage's children."""
    name: str
    kind: int  # 1 storage, 2 stream, 5 root storage
    clsid: object = None
    data: bytes = b""
    kids: list = dataclasses.field(default_factory=list)
    left: int = NOSTREAM
    right: int = NOSTREAM
    child: int = NOSTREAM
    black: bool = True
    start: int = 0


def sectors(length, size=SECTOR):
    return -(-length // size)


def flatten(root):
    """Every entry of the tree, the root first. A storage's children are ordered as the
    directory compares names: shorter first, then by their upper-case form."""
    entries = []

    def add(name, node, kind):
        index = len(entries)
        if not isinstance(node, Storage):
            entries.append(Entry(name, kind, data=node))
            return index
        entries.append(Entry(name, kind, node.clsid))
        ordered = sorted(node.children, key=lambda kid: (len(kid[0]), kid[0].upper()))
        entries[index].kids = [add(kid, child, 1 if isinstance(child, Storage) else 2)
                               for kid, child in ordered]
        return index

    add("Root Entry", root, 5)
    return entries


def link_siblings(entries, kids):
    """Links a storage's sorted children into a balanced red-black tree; returns its
    root. Only the deepest level is red, and only when it is not full, so that every
    path down holds the same number of black entries."""
    depth = {}

    def build(lo, hi, level):
        if lo >= hi:
            return NOSTREAM
        mid = (lo + hi) // 2
        entry = entries[kids[mid]]
        depth[kids[mid]] = level
        entry.left, entry.right = build(lo, mid, level + 1), build(mid + 1, hi, level + 1)
        return kids[mid]

    top = build(0, len(kids), 0)
    deepest = max(depth.values())
    if len(kids) != 2 ** (deepest + 1) - 1:
        for index, level in depth.items():
            entries[index].black = level < deepest
    return top


def layout(entries):
    """Sector counts of the parts of the file after its header: FAT, DIFAT, directory,
    mini FAT, mini stream, big streams."""
    lengths = [len(e.data) for e in entries if e.kind == 2]
    mini = sum(sectors(n, MINI_SECTOR) for n in lengths if n < MINI_CUTOFF)
    parts = [sectors(len(entries) * ENTRY), sectors(mini * 4), sectors(mini * MINI_SECTOR),
             sum(sectors(n) for n in lengths if n >= MINI_CUTOFF)]
    # The FAT also maps its own sectors and those of the DIFAT.
    fat = difat = 0
    while True:
        needed = sectors(sum(parts) + fat + difat, FAT_SLOTS)
        needed_difat = sectors(max(0, needed - HEADER_FAT_SLOTS), DIFAT_SLOTS)
        if (needed, needed_difat) == (fat, difat):
            return [fat, difat] + parts
        fat, difat = needed, needed_difat


def file_size(root):
    return SECTOR * (1 + sum(layout(flatten(root))))


def chain(table, count):
    """Appends a chain of `count` sectors to an allocation table; returns its start."""
    if not count:
        return ENDOFCHAIN
    start = len(table)
    table += list(range(start + 1, start + count)) + [ENDOFCHAIN]
    return start


def ints(values, count):
    """`count` little-endian 32-bit values, padded with FREESECT."""
    return struct.pack(f"<{count}I", *values, *[FREESECT] * (count - len(values)))


def compound_file(root):
    """The bytes of a version 3 compound file (512-byte sectors) holding the tree. The
    sectors follow each other as: FAT, DIFAT, directory, mini FAT, mini stream, and the
    streams too big for the mini stream."""
    entries = flatten(root)
    fat_count, difat_count, dir_count, minifat_count, mini_count, _ = layout(entries)
    fat = [FATSECT] * fat_count + [DIFSECT] * difat_count
    first_dir, first_minifat, first_mini = (chain(fat, count)
                                            for count in (dir_count, minifat_count, mini_count))
    minifat, ministream, body = [], bytearray(), []
    for entry in entries:
        if entry.kind == 2 and len(entry.data) < MINI_CUTOFF:
            entry.start = chain(minifat, sectors(len(entry.data), MINI_SECTOR))
            ministream += entry.data + bytes(-len(entry.data) % MINI_SECTOR)
        elif entry.kind == 2:
            entry.start = chain(fat, sectors(len(entry.data)))
            body += [entry.data, bytes(-len(entry.data) % SECTOR)]
    entries[0].start, entries[0].data = first_mini, ministream

    directory = bytearray()
    for entry in entries:
        if entry.kids:
            entry.child = link_siblings(entries, entry.kids)
    for entry in entries:
        name = entry.name.encode("utf-16-le")
        if len(name) > 62:
            raise ValueError(f"compound-file name longer than 31 characters: {entry.name!r}")
        directory += struct.pack("<64sHBBIII16sIQQIQ", name, len(name) + 2, entry.kind, entry.black,
                                 entry.left, entry.right, entry.child,
                                 entry.clsid.bytes_le if entry.clsid else bytes(16),
                                 0, 0, 0, entry.start, len(entry.data))
    unused = struct.pack("<68xIII48x", NOSTREAM, NOSTREAM, NOSTREAM)
    directory += unused * (dir_count * SECTOR // ENTRY - len(entries))

    # The header lists the first FAT sectors, each DIFAT sector the next ones and then
    # the DIFAT sector after it.
    listed = list(range(fat_count))
    difat = b"".join(
        ints(listed[HEADER_FAT_SLOTS + n * DIFAT_SLOTS:][:DIFAT_SLOTS], DIFAT_SLOTS)
        + struct.pack("<I", fat_count + n + 1 if n + 1 < difat_count else ENDOFCHAIN)
        for n in range(difat_count))
    header = struct.pack("<8s16sHHHHH6xIIIIIIIII", MAGIC, bytes(16), 0x3E, 3, 0xFFFE, 9, 6,
                         0, fat_count, first_dir, 0, MINI_CUTOFF, first_minifat, minifat_count,
                         fat_count if difat_count else ENDOFCHAIN, difat_count)
    return b"".join([header, ints(listed[:HEADER_FAT_SLOTS], HEADER_FAT_SLOTS),
                     ints(fat, fat_count * FAT_SLOTS), difat, directory,
                     ints(minifat, minifat_count * FAT_SLOTS),
                     ministream, bytes(mini_count * SECTOR - len(ministream)), *body])


# --- The package ---------------------------------------------------------------------

def filler_bytes(length):
    # SHAKE output is fixed by its standard, does not compress, and the output for a
    # length is the start of the output for any longer one.
    return hashlib.shake_128(b"Brimfold Tessary sample patch filler").digest(length)


def package_tree(targets, transforms, filler):
    children = [(SUMMARY_STREAM, property_set(summary_properties(targets, transforms))),
                # The package's own database holds no table and no string.
                (stream_name("_StringPool"), struct.pack("<I", 0)),
                (stream_name("_StringData"), b""),
                (stream_name("_Tables"), b""),
                (stream_name(FILLER_STREAM, table=False), filler)]
    for t in transforms:
        children.append((t.name, Storage(transform_streams(t), TRANSFORM_CLASS)))
    return Storage(children, PATCH_CLASS)


def build(output, size, target_version=DEFAULT_TARGET_VERSION, transforms=None):
    """Writes the package; another list of transforms makes a variant of it.
    A file that already holds these bytes is left alone, so that a build depending on it
    has nothing to redo."""
    if not VERSION_RE.fullmatch(target_version):
        raise SystemExit(f"make_sample_package.py: not a product version: {target_version!r}")
    targets = load_targets()
    transforms = sample_transforms(targets, target_version) if transforms is None else transforms
    filler = memoryview(filler_bytes(size))

    def size_with(length):
        return file_size(package_tree(targets, transforms, filler[:length]))

    # The filler takes whole sectors; allocation-table sectors come and go with it, so
    # step down until the file fits, then up while it still does.
    length = size // SECTOR * SECTOR
    while length >= MIN_FILLER and size_with(length) > size:
        length -= sectors(size_with(length) - size) * SECTOR
    if length < MIN_FILLER:
        raise SystemExit(f"make_sample_package.py: --size {size} is less than the smallest package")
    while size_with(length + SECTOR) <= size:
        length += SECTOR
    data = compound_file(package_tree(targets, transforms, filler[:length]))
    output = Path(output)
    if not output.is_file() or output.stat().st_size != len(data) or output.read_bytes() != data:
        output.write_bytes(data)


def main(argv=None):
    parser = argparse.ArgumentParser(description="Make the sample patch package.")
    parser.add_argument("--output", required=True, help="the .msp file to write")
    parser.add_argument("--size", type=int, default=DEFAULT_SIZE,
                        help=f"wanted file size in bytes, met or undershot (default {DEFAULT_SIZE})")
    parser.add_argument("--target-version", default=DEFAULT_TARGET_VERSION,
                        help="the ProductVersion the patch sets (default %(default)s)")
    args = parser.parse_args(argv)
    build(args.output, args.size, args.target_version)


if __name__ == "__main__":
    sys.exit(main())
