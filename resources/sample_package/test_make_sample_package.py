"""Builds the sample patch package and reads it back with msitools and by hand."""

import re
import struct
import subprocess
import sys
import tempfile
import unittest
import uuid
import zlib
from pathlib import Path

HERE = Path(__file__).resolve().parent
SCRIPT = HERE / "make_sample_package.py"
SIGNATURE = bytes.fromhex("D0CF11E0A1B11AE1")
PATCH_CLASS = uuid.UUID("000C1086-0000-0000-C000-000000000046").bytes_le
TRANSFORM_CLASS = uuid.UUID("000C1082-0000-0000-C000-000000000046").bytes_le
PATCH_CODE = "{3F1D2B7A-9C4E-4A61-8E25-D7B0C6A91F38}"
NAME_ALPHABET = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz._"
TABLE_MARK = "\u4840"
# Columns of the tables the transforms change, in database order; the first is the key.
SCHEMAS = {"Property": ("Property", "Value"),
           "Registry": ("Registry", "Root", "Key", "Name", "Value", "Component_")}


def make(folder, name, *args):
    path = Path(folder, name)
    subprocess.run([sys.executable, str(SCRIPT), "--output", str(path), *args], check=True)
    return path


def msiinfo(*args):
    return subprocess.run(["msiinfo", *map(str, args)], check=True, capture_output=True).stdout


def root_class(data):
    """The class id of the root directory entry, found through the header."""
    shift, = struct.unpack_from("<H", data, 0x1E)
    first_dir, = struct.unpack_from("<I", data, 0x30)
    root = (first_dir + 1) << shift
    assert data[root:root + 20].decode("utf-16-le") == "Root Entry"
    return data[root + 0x50:root + 0x60]


def text_properties(stream):
    """pid -> text of the string properties in a one-section property set."""
    section, = struct.unpack_from("<I", stream, 44)
    count, = struct.unpack_from("<I", stream, section + 4)
    texts = {}
    for n in range(count):
        pid, at = struct.unpack_from("<II", stream, section + 8 + 8 * n)
        vtype, _, length = struct.unpack_from("<HHI", stream, section + at)
        if vtype == 0x1E:
            texts[pid] = stream[section + at + 8:section + at + 8 + length].rstrip(b"\0").decode("cp1252")
    return texts


def int_properties(stream):
    """pid -> value of the 16- and 32-bit integer properties of a one-section property set."""
    section, = struct.unpack_from("<I", stream, 44)
    count, = struct.unpack_from("<I", stream, section + 4)
    values = {}
    for n in range(count):
        pid, at = struct.unpack_from("<II", stream, section + 8 + 8 * n)
        vtype, = struct.unpack_from("<H", stream, section + at)
        if vtype in (0x02, 0x03):
            form = "<h" if vtype == 0x02 else "<i"
            values[pid], = struct.unpack_from(form, stream, section + at + 4)
    return values


def decode_name(name):
    """A database stream name in plain text; a table's stream starts with TABLE_MARK."""
    out = ""
    for unit in map(ord, name):
        if 0x3800 <= unit < 0x4800:
            out += NAME_ALPHABET[(unit - 0x3800) & 0x3F] + NAME_ALPHABET[(unit - 0x3800) >> 6]
        elif 0x4800 <= unit < 0x4840:
            out += NAME_ALPHABET[unit - 0x4800]
        else:
            out += chr(unit)
    return out


class CompoundFile:
    """Reads a compound file through its header, allocation tables and directory."""

    def __init__(self, data):
        self.data = data
        self.size = 1 << struct.unpack_from("<H", data, 0x1E)[0]
        fat_count, first_dir = struct.unpack_from("<II", data, 0x2C)
        first_minifat, _, difat = struct.unpack_from("<III", data, 0x3C)
        fat_sectors = list(struct.unpack_from("<109I", data, 0x4C))
        while difat < 0xFFFFFFFA:
            listed = self.ints(difat)
            fat_sectors, difat = fat_sectors + listed[:-1], listed[-1]
        self.fat = [n for sector in fat_sectors[:fat_count] for n in self.ints(sector)]
        table = self.chain(first_dir, self.fat, self.size, self.sector)
        self.entries = [self.entry(table[at:at + 128]) for at in range(0, len(table), 128)]
        minifat = self.chain(first_minifat, self.fat, self.size, self.sector)
        self.minifat = list(struct.unpack(f"<{len(minifat) // 4}I", minifat))
        root = self.entries[0]
        self.ministream = self.chain(root["start"], self.fat, self.size, self.sector)[:root["size"]]

    def sector(self, n, size):
        return self.data[(n + 1) * size:(n + 2) * size]

    def ints(self, n):
        return list(struct.unpack(f"<{self.size // 4}I", self.sector(n, self.size)))

    @staticmethod
    def chain(start, table, size, read):
        out = b""
        while start < 0xFFFFFFFA:
            out, start = out + read(start, size), table[start]
        return out

    @staticmethod
    def entry(raw):
        length, kind, color, left, right, child = struct.unpack_from("<HBBIII", raw, 64)
        start, size = struct.unpack_from("<IQ", raw, 116)
        return dict(name=raw[:max(length - 2, 0)].decode("utf-16-le"), kind=kind, color=color,
                    left=left, right=right, child=child, clsid=raw[80:96], start=start, size=size)

    def tree(self, index):
        """The entries of one storage's sibling tree, in order."""
        if index == 0xFFFFFFFF:
            return []
        entry = self.entries[index]
        return self.tree(entry["left"]) + [index] + self.tree(entry["right"])

    def children(self, index=0):
        return {self.entries[n]["name"]: n for n in self.tree(self.entries[index]["child"])}

    def stream(self, index):
        entry = self.entries[index]
        if entry["size"] < 4096:
            mini = lambda n, size: self.ministream[n * size:(n + 1) * size]  # noqa: E731
            return self.chain(entry["start"], self.minifat, 64, mini)[:entry["size"]]
        return self.chain(entry["start"], self.fat, self.size, self.sector)[:entry["size"]]


def transform_tables(package, index):
    """table -> [(mask, {column: text})] of one transform, decoded by the published
    format: a masked row holds the key and the columns its mask names, each string as a
    2-byte number in the transform's string pool."""
    streams = {decode_name(name): package.stream(n) for name, n in package.children(index).items()}
    pool, data = streams.pop(TABLE_MARK + "_StringPool"), streams.pop(TABLE_MARK + "_StringData")
    codepage, = struct.unpack_from("<I", pool)
    strings, at = [None], 0
    for length, refs in struct.iter_unpack("<HH", pool[4:]):
        strings.append(data[at:at + length].decode(f"cp{codepage}"))
        at += length
    assert at == len(data) and codepage == 1252, (at, len(data), codepage)
    tables = {}
    for name, rows in streams.items():
        if not name.startswith(TABLE_MARK):
            continue
        columns, decoded, at = SCHEMAS[name[1:]], [], 0
        while at < len(rows):
            mask, = struct.unpack_from("<H", rows, at)
            assert not mask & 1, "only masked rows are written"
            present = [c for n, c in enumerate(columns) if n == 0 or mask >> n & 1]
            refs = struct.unpack_from(f"<{len(present)}H", rows, at + 2)
            decoded.append((mask, {c: strings[r] for c, r in zip(present, refs)}))
            at += 2 + 2 * len(present)
        tables[name[1:]] = decoded
    return tables


class SamplePackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        cls.addClassCleanup(cls.folder.cleanup)
        cls.default = make(cls.folder.name, "default.msp")
        cls.small = make(cls.folder.name, "small.msp", "--size", "200000",
                         "--target-version", "9.1.0.17")
        codes = (HERE / "target_products.txt").read_text(encoding="ascii").split()
        cls.template = ";".join(codes)

    def test_target_list(self):
        codes = self.template.split(";")
        self.assertEqual((len(codes), len(self.template)), (21, 818))
        self.assertTrue(all(len(code) == 38 and code[10:14] == "B217" for code in codes))
        info = (HERE.parent / "patch_info" / "206.txt").read_bytes().decode("ascii")
        self.assertIn(f"ProductCode={codes[0]}\r\n", info)

    def test_packages(self):
        # (package, wanted size, smallest acceptable size)
        for path, wanted, least in [(self.default, 9720320, 9720320), (self.small, 200000, 200000 - 1024)]:
            with self.subTest(package=path.name):
                data = path.read_bytes()
                self.assertTrue(least <= len(data) <= wanted, len(data))
                self.assertEqual(data[:8], SIGNATURE)
                self.assertEqual(root_class(data), PATCH_CLASS)
                lines = msiinfo("suminfo", path).decode().splitlines()
                self.assertIn(f"Template: {self.template}", lines)
                texts = text_properties(msiinfo("extract", path, "\x05SummaryInformation"))
                self.assertEqual(texts[7], self.template)
                self.assertEqual(texts[9][:38], PATCH_CODE)
                self.assertRegex(texts[9][38:], r"^(\{[0-9A-F-]{36}\})*$")
                self.assertTrue(texts[8].startswith(":"), texts[8])
                self.assertIn("Brimfold Tessary", texts[3] + texts[6])

    def test_a_transform_pair_per_target_and_base_in_template_order(self):
        package = CompoundFile(self.default.read_bytes())
        root = package.children()
        names = [f"{twin}{prefix}{n}" for n in range(1, 22)
                 for prefix in ("RTMToSP2.", "SP1ToSP2.") for twin in ("", "#")]
        last_author = text_properties(package.stream(root["\x05SummaryInformation"]))[8]
        self.assertEqual(last_author, ";".join(":" + name for name in names))
        for n, name in enumerate(names):
            code, base = self.template.split(";")[n // 4], ("8.0.24.6", "8.1.0.3")[n // 2 % 2]
            with self.subTest(transform=name):
                entry = package.entries[root[name]]
                self.assertEqual((entry["kind"], entry["clsid"]), (1, TRANSFORM_CLASS))
                summary = package.stream(package.children(root[name])["\x05SummaryInformation"])
                # Base and result product, then the upgrade code; the installer checks the
                # product and upgrade codes and three fields of the version, equal (upper
                # word), and lets the usual row and table errors pass (lower word).
                self.assertRegex(text_properties(summary)[9],
                                 rf"^{re.escape(code)}{re.escape(base)};{re.escape(code)}8\.2\.0\.4;"
                                 r"\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\}$")
                self.assertEqual(int_properties(summary)[16], 0x0922001F)

    def test_transform_rows(self):
        # (package, target version)
        for path, version in [(self.default, "8.2.0.4"), (self.small, "9.1.0.17")]:
            with self.subTest(package=path.name):
                package = CompoundFile(path.read_bytes())
                first, last, twin = (package.children()[name]
                                     for name in ("RTMToSP2.1", "SP1ToSP2.21", "#RTMToSP2.1"))
                tables = transform_tables(package, first)
                self.assertEqual(tables, {
                    "Property": [(0x0002, {"Property": "ProductVersion", "Value": version})],
                    "Registry": [(0x0010, {"Registry": "ServicePackLevel", "Value": "2"})],
                })
                self.assertEqual(transform_tables(package, last), tables)
                self.assertEqual(transform_tables(package, twin), {})

    def test_directory_is_a_red_black_tree_in_name_order(self):
        package = CompoundFile(self.default.read_bytes())
        storages = [n for n, e in enumerate(package.entries) if e["kind"] in (1, 5)]
        self.assertEqual(len(storages), 1 + 21 * 4)

        def black_height(index):
            if index == 0xFFFFFFFF:
                return 1
            entry = package.entries[index]
            left, right = black_height(entry["left"]), black_height(entry["right"])
            if entry["color"] == 0:  # red: no red child
                for child in (entry["left"], entry["right"]):
                    self.assertTrue(child == 0xFFFFFFFF or package.entries[child]["color"] == 1)
            self.assertEqual(left, right, entry["name"])
            return left + entry["color"]

        for storage in storages:
            with self.subTest(storage=package.entries[storage]["name"]):
                top = package.entries[storage]["child"]
                self.assertEqual(package.entries[top]["color"], 1)
                black_height(top)
                names = [package.entries[n]["name"] for n in package.tree(top)]
                self.assertEqual(names, sorted(names, key=lambda name: (len(name), name.upper())))

    def test_filler_does_not_compress(self):
        filler = msiinfo("extract", self.default, "Filler")
        self.assertGreater(len(filler), 9_500_000)
        self.assertGreater(len(zlib.compress(filler, 1)), len(filler))

    def test_builds_are_identical(self):
        again = make(self.folder.name, "again.msp")
        self.assertEqual(again.read_bytes(), self.default.read_bytes())

    def test_bad_arguments_fail_and_write_nothing(self):
        for args in (["--size", "4096"], ["--target-version", "8.2.0.4.1"],
                     ["--target-version", "8.2.x"]):
            with self.subTest(args=args):
                out = Path(self.folder.name, "refused.msp")
                result = subprocess.run([sys.executable, str(SCRIPT), "--output", str(out), *args],
                                        capture_output=True)
                self.assertNotEqual(result.returncode, 0)
                self.assertFalse(out.exists())


if __name__ == "__main__":
    unittest.main()
