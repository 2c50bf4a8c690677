"""Bad input of every kind, fed to the real launcher.exe under Wine: damaged packages and
target lists, bad version strings, odd answers from the installer. Each row ends in the
boxes a person sees and an exit code, without a crash, a hang or a file lost; the matrix
is written out in docs/bad-input.md."""

import os
import unittest

import e2e_common
import on_close
import sample_products
from bad_input_support import (ERROR_FUNCTION_FAILED, ERROR_INSTALL_FAILURE,
                               ERROR_PATCH_TARGET_NOT_FOUND, ERROR_RESOURCE_TYPE_NOT_FOUND,
                               TARGETS, BadInputCase, Variants, list_box, make_package, message,
                               install_properties_key, padded_list, without_summary)

TESSARY, SECOND, ABSENT = TARGETS[0], TARGETS[1], TARGETS[5]
GERMAN = 1031



def malformed(code):
    """Forms of a product code that no installer takes for it."""
    bare = code.strip("{}")
    return [bare, "{" + bare, bare + "}", "{" + bare.replace("-", "") + "}",
            code[:-2] + "G}", code + "x"]


class BadPackage(BadInputCase):
    """Variants of the launcher that carry a damaged package or an odd target list.
    Installed: Tessary at the target version (silent, and 306 when it is the only one
    found) and Second at a version the patch is not for (308)."""

    @classmethod
    def setUpClass(cls):
        cls.machine = e2e_common.SampleMachine()
        super().setUpClass()
        cls.machine.install(cls.prefix, TESSARY, "Tessary", 1033, "8.2.0.4")
        cls.machine.install(cls.prefix, SECOND, "Second", 1033, "8.0.20.0")

    def setUp(self):
        super().setUp()
        self.variants = Variants(self.prefix, self.scratch)
        with open(e2e_common.PACKAGE, "rb") as f:
            self.real = f.read()

    def check_row(self, name, package, boxes, exit_code, args=()):
        """Runs a variant carrying `package`: the boxes and exit code, one whole temporary
        copy written (none when there is nothing to write) and none left, however the run
        ended."""
        exe = self.variants.package(name, package)
        before = self.temp_packages()

        def copy(path):
            try:
                return e2e_common.read(path) == package
            except OSError:
                return False

        with on_close.OnClose(self.prefix.temp_dir(), "MSP", copy) as written:
            result = self.run_launcher(exe, args)
        self.assertOutcome(result, boxes, exit_code)
        self.assertEqual(self.temp_packages(), before, "no temporary copy is left")
        self.assertEqual(written, [] if package is None else [True])
        os.remove(exe)

    def test_packages_that_are_not_whole(self):
        nothing_installed = [message(307)]
        rows = [
            # Nothing to extract: 300, with the error of the resource lookup.
            ("no package at all", None, [message(300)], ERROR_RESOURCE_TYPE_NOT_FOUND),
            # The installer cannot open these: 300, and the exit code is its answer.
            ("not a compound file", b"This is not a Windows Installer package.\r\n",
             [message(300)], ERROR_FUNCTION_FAILED),
            ("cut after its header", self.real[:512], [message(300)], ERROR_FUNCTION_FAILED),
            ("cut after 4 KiB", self.real[:4096], [message(300)], ERROR_FUNCTION_FAILED),
            # The summary lies near the front: the list is read and the run goes on.
            ("cut in half", self.real[:len(self.real) // 2], [message(308, "Second")],
             ERROR_PATCH_TARGET_NOT_FOUND),
            # No summary reads as an empty list.
            ("without summary information", without_summary(make_package(self.scratch, TESSARY)),
             nothing_installed, ERROR_PATCH_TARGET_NOT_FOUND),
        ]
        for name, package, boxes, exit_code in rows:
            with self.subTest(name):
                self.check_row(name.replace(" ", "-"), package, boxes, exit_code)

    def test_target_lists(self):
        up_to_date = [message(306, "Tessary")]
        not_found = [message(307)]
        rows = [
            ("empty", "", not_found),
            ("one character", "{", not_found),
            # 2047 characters fit the first read, 2048 and more take the second.
            ("2047 characters", padded_list(2047, TESSARY), up_to_date),
            ("2048 characters", padded_list(2048, TESSARY), up_to_date),
            ("100,000 characters", padded_list(100000, TESSARY), up_to_date),
            # An empty segment ends the scan: Tessary after it is never looked at.
            ("';;' in the middle", ABSENT + ";;" + TESSARY, not_found),
            ("';' first", ";" + TESSARY, not_found),
            ("a trailing ';'", ABSENT + ";" + TESSARY + ";", up_to_date),
            # Codes go to the installer verbatim; it takes none with a blank.
            ("a blank before the code", " " + TESSARY, not_found),
            ("a blank after the code", TESSARY + " ", not_found),
            ("lower-case code", TESSARY.lower(), up_to_date),
            ("malformed codes", ";".join(malformed(TESSARY)), not_found),
            # Each listing is a product of its own, reported each time.
            ("a code listed twice", SECOND + ";" + SECOND,
             [message(308, "Second")] * 2),
        ]
        for n, (name, template, boxes) in enumerate(rows):
            with self.subTest(name):
                exit_code = 0 if boxes == up_to_date else ERROR_PATCH_TARGET_NOT_FOUND
                package = make_package(self.scratch, template)
                self.check_row("list-%d" % n, package, boxes, exit_code)

    def test_list_mode_shows_the_list_as_stored_or_nothing(self):
        long_list = padded_list(2048, TESSARY)
        rows = [
            ("a list that takes the second read", make_package(self.scratch, long_list),
             [list_box(long_list)], 0),
            ("not a compound file", b"not a package", [list_box("")], ERROR_FUNCTION_FAILED),
            ("without summary information",
             without_summary(make_package(self.scratch, TESSARY)), [list_box("")], 0),
        ]
        for n, (name, package, boxes, exit_code) in enumerate(rows):
            with self.subTest(name):
                self.check_row("list-mode-%d" % n, package, boxes, exit_code, ["/i"])


class BadStrings(BadInputCase):
    """Variants of the launcher whose target version (700) or candidate versions (900)
    are odd. Installed: Tessary, whose installed version each row sets as the installer
    reports it (8.1.0.3 unless the row says otherwise)."""

    @classmethod
    def setUpClass(cls):
        cls.machine = e2e_common.SampleMachine()
        super().setUpClass()
        cls.machine.install(cls.prefix, TESSARY, "Tessary", 1033, "8.1.0.3")
        cls.install_properties = install_properties_key(TESSARY)

    def setUp(self):
        super().setUp()
        self.variants = Variants(self.prefix, self.scratch)

    def set_installed_version(self, version):
        # The installer answers "VersionString" from this value.
        self.prefix.reg_add(self.install_properties, "DisplayVersion", version)

    def test_version_strings(self):
        tessary = lambda id: [message(id, "Tessary")]  # noqa: E731
        failed = [message(300)]
        rows = [
            # id, text (None: no such string), installed, boxes, exit code
            (900, "8.0.24.6,8.1.0.3", "8.1.0.3", tessary(308), ERROR_PATCH_TARGET_NOT_FOUND),  # the last candidate has no comma and is never looked at
            (900, "", "8.1.0.3", failed, ERROR_INSTALL_FAILURE),
            (900, None, "8.1.0.3", failed, ERROR_INSTALL_FAILURE),
            (700, "", "8.1.0.3", failed, ERROR_INSTALL_FAILURE),
            (700, None, "8.1.0.3", failed, ERROR_INSTALL_FAILURE),
            # A candidate equal to the target stops the run before the installed version.
            (900, "8.0.24.6,8.2.0.4,8.1.0.3,", "8.1.0.3", tessary(306), 0),
            (900, "8.2.0.4,", "8.0.24.6", tessary(306), 0),
            # Commas read as dots within a version, but split the candidate list.
            (700, "8,1,0,3", "8.1.0.3", tessary(306), 0),
            (900, "8,1,0,3,", "8.1.0.3", tessary(308), ERROR_PATCH_TARGET_NOT_FOUND),
            # Each part keeps its low 16 bits.
            (700, "70000.1.1.1", "4464.1.1.1", tessary(306), 0),
            (700, "-1.0.0.0", "65535.0.0.0", tessary(306), 0),
            (900, "70000.1.1.1,-1.0.0.0,", "65535.0.0.0", tessary(301), 0),
            (900, "-1.0.0.0,", "8.0.20.0", tessary(308), ERROR_PATCH_TARGET_NOT_FOUND),
            # Only 255 characters are read: a candidate beyond them is never reached.
            (900, "1.1.1.1," * 40 + "8.1.0.3,", "8.1.0.3", tessary(308),
             ERROR_PATCH_TARGET_NOT_FOUND),
        ]
        for n, (id, text, installed, boxes, exit_code) in enumerate(rows):
            with self.subTest(id=id, text=text, installed=installed):
                exe = self.variants.string("strings-%d" % n, id, text)
                self.set_installed_version(installed)
                before = self.temp_packages()
                result = self.run_launcher(exe)
                self.assertOutcome(result, boxes, exit_code)
                self.assertEqual(self.temp_packages(), before, "no temporary copy is left")
                os.remove(exe)


class InstallerAnswers(BadInputCase):
    """Products whose name, language or version the installer reports oddly. Each row runs
    a variant whose package targets only the product of the row."""

    @classmethod
    def setUpClass(cls):
        cls.machine = e2e_common.SampleMachine()
        super().setUpClass()
        cls.long_names = {TARGETS[2]: "L" * 1024, TARGETS[3]: "N" * 5000}
        # Names as long as these come from real packages: wixl and the installer take them.
        for code, name in cls.long_names.items():
            install_named_product(cls.machine, cls.prefix, code, name, 1033, "8.0.20.0")
        cls.machine.install(cls.prefix, TESSARY, "Tessary", GERMAN, "8.0.20.0")
        # Where the installer keeps what it answers: ProductName and Language under its
        # product registration, VersionString among the install properties.
        cls.registration = sample_products.registration_key_path(TESSARY)
        cls.install_properties = install_properties_key(TESSARY)

    def setUp(self):
        super().setUp()
        self.variants = Variants(self.prefix, self.scratch)

    def only(self, code):
        return self.variants.package("only-" + code.strip("{}"), make_package(self.scratch, code))

    def test_names_longer_than_the_attribute_buffer_still_end_in_308(self):
        for code in self.long_names:
            with self.subTest(length=len(self.long_names[code])):
                result = self.run_launcher(self.only(code))
                self.assertEqual(result.exit_code, ERROR_PATCH_TARGET_NOT_FOUND)
                self.assertEqual([b["caption"] for b in result.boxes], [message(308)[0]])

    # The installer answers a name longer than the 1024-character buffer with ERROR_MORE_DATA
    # and, under Wine, leaves the buffer as it was; the launcher reads it again whole.
    def test_names_longer_than_the_attribute_buffer_are_cut_not_lost(self):
        for code, name in self.long_names.items():
            with self.subTest(length=len(name)):
                result = self.run_launcher(self.only(code))
                # 1023 characters fit the buffer; a message prints 513 of them.
                self.assertOutcome(result, [message(308, name[:513])],
                                   ERROR_PATCH_TARGET_NOT_FOUND)

    def test_empty_and_unreadable_answers(self):
        german = lambda name="Tessary": [message(308, name, GERMAN)]  # noqa: E731
        english = [message(308, "Tessary")]
        rows = [
            # (key, value, type or None to delete it), boxes
            ((self.registration, "ProductName", "", "REG_SZ"), german("")),
            ((self.registration, "ProductName", None, None), german("")),
            # No language the system takes: the message keeps the user's language.
            ((self.registration, "Language", "", "REG_SZ"), english),
            ((self.registration, "Language", "Deutsch", "REG_SZ"), english),
            ((self.registration, "Language", None, None), english),
            # No version reads as 0.0.0.0, which the patch is not for.
            ((self.install_properties, "DisplayVersion", "", "REG_SZ"), german()),
            ((self.install_properties, "DisplayVersion", None, None), german()),
        ]
        exe = self.only(TESSARY)
        for (key, value, data, type_), boxes in rows:
            with self.subTest(value=value, data=data):
                self.reset_answers()
                if data is None:
                    self.assertTrue(self.prefix.reg_delete(key, value))
                else:
                    self.prefix.reg_add(key, value, data, type=type_)
                result = self.run_launcher(exe)
                self.assertOutcome(result, boxes, ERROR_PATCH_TARGET_NOT_FOUND)
        self.reset_answers()

    def reset_answers(self):
        self.prefix.reg_add(self.registration, "ProductName", "Tessary")
        self.prefix.reg_add(self.registration, "Language", GERMAN, type="REG_DWORD")
        self.prefix.reg_add(self.install_properties, "DisplayVersion", "8.0.20.0")


def install_named_product(machine, prefix, code, name, language, version):
    """Installs a sample product whose name may be longer than a file name can be."""
    folder = os.path.join(e2e_common.WORK, "bad-input")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "product-%s-%d-%s-%s.msi" % (code.strip("{}"), len(name),
                                                             language, version))
    if not os.path.exists(path):
        built = "%s.%d.msi" % (path[:-len(".msi")], os.getpid())
        sample_products.build_product(built, code, name, language, version,
                                      machine.module("16.0.54.0"))
        os.replace(built, path)
    sample_products.install_product(machine.run_wine(prefix), path)


if __name__ == "__main__":
    unittest.main()
