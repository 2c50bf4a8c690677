"""Builds the sample patch package and reads it back with msitools and by hand."""

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
PATCH_CODE = "{3F1D2B7A-9C4E-4A61-8E25-D7B0C6A91F38}"


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


class SamplePackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        cls.addClassCleanup(cls.folder.cleanup)
        cls.default = make(cls.folder.name, "default.msp")
        cls.small = make(cls.folder.name, "small.msp", "--size", "200000")
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

    def test_filler_does_not_compress(self):
        filler = msiinfo("extract", self.default, "Filler")
        self.assertGreater(len(filler), 9_500_000)
        self.assertGreater(len(zlib.compress(filler, 1)), len(filler))

    def test_builds_are_identical(self):
        again = make(self.folder.name, "again.msp")
        self.assertEqual(again.read_bytes(), self.default.read_bytes())

    def test_size_below_the_smallest_package_fails(self):
        result = subprocess.run([sys.executable, str(SCRIPT), "--output",
                                 str(Path(self.folder.name, "tiny.msp")), "--size", "4096"],
                                capture_output=True)
        self.assertNotEqual(result.returncode, 0)
        self.assertFalse(Path(self.folder.name, "tiny.msp").exists())


if __name__ == "__main__":
    unittest.main()
