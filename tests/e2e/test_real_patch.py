"""The sample package as a real patch under Wine: its transforms change the sample
products' databases, so a patched product is at the target version, shows the changed
registry value, and a second run of the launcher finds it up to date."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import e2e_common
import sample_products
from e2e_common import LauncherTestCase

TARGETS = e2e_common.sample_targets().split(";")
TARGET_VERSION = os.environ.get("LAUNCHER_E2E_TARGET_VERSION", "8.2.0.4")
ENGLISH = e2e_common.string_table(1033)
GERMAN = e2e_common.string_table(1031)
TRANSFORM_CLASS = "{000C1082-0000-0000-C000-000000000046}"
SERVICE_PACK_AFTER = "2"

sys.path.insert(0, os.path.join(e2e_common.SOURCE, "resources", "sample_package"))
import make_sample_package  # noqa: E402


def message(table, id, name):
    caption = {301: 312, 306: 313}[id]
    return table[caption], table[id].replace("%s", name)


class Products:
    """msiprobe and sample product packages, built afresh for this test run: the
    SampleMachine cache keeps what it once built, however the sources changed since."""

    def __init__(self):
        os.makedirs(e2e_common.WORK, exist_ok=True)
        self.root = tempfile.mkdtemp(prefix="real-patch-", dir=e2e_common.WORK)
        self.probe = sample_products.build_probe(os.path.join(self.root, "msiprobe.exe"))
        self.module = sample_products.build_module(os.path.join(self.root, "mainmod.vxm"),
                                                   "16.0.54.0")
        self.packages = {}

    def package(self, code, name, language, version, win64=False):
        key = (code, name, language, version, win64)
        if key not in self.packages:
            path = os.path.join(self.root, "product-%d.msi" % len(self.packages))
            self.packages[key] = sample_products.build_product(
                path, code, name, language, version, self.module, win64=win64)
        return self.packages[key]

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)


def read_tables(folder):
    """table file name -> its text, as MsiDatabaseExportW wrote it."""
    tables = {}
    for name in os.listdir(folder):
        with open(os.path.join(folder, name), "rb") as f:
            tables[name] = f.read().decode("cp1252")
    return tables


def replace_row(text, key, column, value):
    """The exported table text with one column of the row whose key is `key` changed."""
    lines = text.split("\r\n")
    rows = [n for n, line in enumerate(lines) if n >= 3 and line.split("\t")[0] == key]
    if len(rows) != 1:
        raise AssertionError("no single row %r in:\n%s" % (key, text))
    fields = lines[rows[0]].split("\t")
    fields[lines[0].split("\t").index(column)] = value
    lines[rows[0]] = "\t".join(fields)
    return "\r\n".join(lines)


class ProductsTestCase(LauncherTestCase):
    """Builds what it needs before its prefix exists, so that Wine stays warm."""

    @classmethod
    def setUpClass(cls):
        if not e2e_common.EXE:
            raise unittest.SkipTest("LAUNCHER_E2E_EXE is not set (run through ctest)")
        cls.products = Products()
        cls.addClassCleanup(cls.products.remove)
        super().setUpClass()

    def probe(self, *args):
        return sample_products.run_probe(self.prefix.wine, self.products.probe, *args)


class TransformOracle(ProductsTestCase):
    """Wine's MsiDatabaseApplyTransformW applies each transform, taken out of the embedded
    package by Wine's own compound-file code, to its product's database: exactly the
    intended rows change."""

    def export(self, database, transform=None):
        folder = tempfile.mkdtemp(prefix="export-", dir=self.scratch)
        result = self.probe("export", self.win(database), self.win(folder),
                            *([self.win(transform)] if transform else []))
        self.assertEqual((result.get("transform"), result.get("result")),
                         ("0" if transform else None, "0"), result.lines)
        return read_tables(folder)

    def test_each_transform_changes_exactly_its_rows(self):
        cases = [
            # target index, language, installed version, x64 package
            (0, 1033, "8.0.24.6", False),
            (1, 1031, "8.1.0.3", False),
            (len(TARGETS) - 1, 1036, "8.0.24.6", True),
        ]
        for index, language, version, win64 in cases:
            code = TARGETS[index]
            with self.subTest(code=code):
                database = self.products.package(code, "Brimfold Tessary", language, version, win64)
                transform = os.path.join(self.scratch, "%d.mst" % index)
                # The transform for the product's own version.
                name = make_sample_package.transform_name(version, index)
                copied = self.probe("substorage", self.win(e2e_common.PACKAGE), name,
                                    self.win(transform))
                self.assertEqual((copied.get("result"), copied.get("class")),
                                 ("0x00000000", TRANSFORM_CLASS))

                before = self.export(database)
                after = self.export(database, transform)
                expected = dict(before)
                expected["Property.idt"] = replace_row(before["Property.idt"], "ProductVersion",
                                                       "Value", TARGET_VERSION)
                expected["Registry.idt"] = replace_row(before["Registry.idt"],
                                                       sample_products.SERVICE_PACK_ROW, "Value",
                                                       SERVICE_PACK_AFTER)
                self.assertEqual(after, expected)
                # The transform names this product's upgrade code, which the installer checks.
                self.assertIn("UpgradeCode\t%s\r\n" % make_sample_package.upgrade_code(code),
                              before["Property.idt"])


class PatchedProductsAreUpToDate(ProductsTestCase):
    """The launcher's default run, twice, on products at candidate versions."""

    def version(self, code):
        return self.probe("info", code, "VersionString").get("value")

    def test_first_run_patches_second_run_finds_them_up_to_date(self):
        products = [  # code, name, language, installed version
            (TARGETS[0], "Tessary", 1033, "8.0.24.6"),
            (TARGETS[1], "Tessary Viewer", 1031, "8.1.0.3"),
        ]
        for code, name, language, version in products:
            msi = self.products.package(code, name, language, version)
            sample_products.install_product(self.prefix.wine, msi)
            self.assertEqual(self.version(code), version)
            self.assertEqual(sample_products.service_pack_level(self.prefix.wine, code),
                             sample_products.SERVICE_PACK_BEFORE)

        first = self.launch()
        self.assertEqual(self.box_texts(first), [message(ENGLISH, 301, "Tessary"),
                                                 message(GERMAN, 301, "Tessary Viewer")])
        self.assertEqual(first.exit_code, 0)
        for code, _, _, _ in products:
            with self.subTest(code=code):
                self.assertEqual(self.version(code), TARGET_VERSION)
                self.assertEqual(sample_products.service_pack_level(self.prefix.wine, code),
                                 SERVICE_PACK_AFTER)
                self.assertEqual(self.probe("patches", code).listed("patch"), [e2e_common.PATCH_GUID])

        # Every product is at the target version now: one 306, naming the last, in the
        # user's language.
        second = self.launch()
        self.assertEqual(self.box_texts(second), [message(ENGLISH, 306, "Tessary Viewer")])
        self.assertEqual(second.exit_code, 0)
        for code, _, _, _ in products:
            self.assertEqual(self.version(code), TARGET_VERSION)
            self.assertEqual(self.probe("patches", code).listed("patch"), [e2e_common.PATCH_GUID])


class BuiltFromThePackageAlone(ProductsTestCase):
    """A launcher built from a package and its texts alone takes strings 700 and 900 from
    the package's transforms, and patches what they are for."""

    NEW_VERSION = "9.1.0.17"

    @classmethod
    def setUpClass(cls):
        work = os.path.join(e2e_common.WORK, "package-alone")
        os.makedirs(work, exist_ok=True)
        package = os.path.join(work, "sp9.msp")
        make_sample_package.build(package, 200000, cls.NEW_VERSION)
        cls.exe = e2e_common.build_variant("package-alone", LAUNCHER_PATCH_PACKAGE=package)
        super().setUpClass()

    def test_versions_read_from_the_package(self):
        checked = subprocess.run(
            [sys.executable, os.path.join(e2e_common.SOURCE, "tests", "resources", "check_string_tables.py"),
             self.exe, "--target-version", self.NEW_VERSION, "--candidate-versions", "8.0.24.6,8.1.0.3,"],
            capture_output=True, text=True)
        self.assertEqual(checked.returncode, 0, checked.stdout)

        products = [(TARGETS[0], "Tessary", "8.1.0.3"), (TARGETS[1], "Tessary Viewer", "8.2.0.4")]
        for code, name, version in products:
            sample_products.install_product(
                self.prefix.wine, self.products.package(code, name, 1033, version))
        result = self.prefix.run_watched(self.exe, [], timeout=120)
        self.assertEqual([box["text"] for box in result.boxes],
                         [ENGLISH[301].replace("%s", "Tessary"), ENGLISH[308].replace("%s", "Tessary Viewer")])
        self.assertEqual(self.probe("info", TARGETS[0], "VersionString").get("value"), self.NEW_VERSION)
        self.assertEqual(self.probe("info", TARGETS[1], "VersionString").get("value"), "8.2.0.4")


if __name__ == "__main__":
    unittest.main()
