"""Bad input from the machine around the real launcher.exe under Wine: the host product's
registry key and main module, the temporary folder, the files "/e" and "/p" write, and the
command line. Each row ends in the boxes a person sees and an exit code, without a crash, a
hang or a file lost; the matrix is written out in docs/bad-input.md."""

import glob
import os
import re
import shutil
import struct
import unittest

import e2e_common
import on_close
import sample_products
from bad_input_support import (ERROR_ACCESS_DENIED, ERROR_DISK_FULL, ERROR_FILE_NOT_FOUND,
                               ERROR_FILENAME_EXCED_RANGE, ERROR_FUNCTION_FAILED,
                               ERROR_INSTALL_FAILURE, ERROR_PATCH_TARGET_NOT_FOUND,
                               ERROR_PATH_NOT_FOUND, ERROR_WRITE_PROTECT, RT_VERSION, TARGETS,
                               BadInputCase, Variants, fill, install_properties_key, message,
                               remount, resource_language, set_raw_value, small_file_system,
                               snapshot)

TESSARY = TARGETS[0]
MACHINE = e2e_common.winetest.machine()
REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD = 1, 2, 3, 4
# The default patch-list name: the 4 characters after the first '-' of the first target.
DEFAULT_PATCH_LIST = "patchlist%s.txt" % TESSARY[10:14]
SYSTEM_ENVIRONMENT = r"HKLM\System\CurrentControlSet\Control\Session Manager\Environment"
# A write that runs out of room: Wine reports the bytes that fit and no error, which the
# launcher reports as 1603; Windows fails the write with ERROR_DISK_FULL.
DISK_FULL = (ERROR_DISK_FULL, ERROR_INSTALL_FAILURE)
# A name too long for the file system, as the system words it.
NAME_TOO_LONG = (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_FILENAME_EXCED_RANGE)
# A read-only file system: Wine says access denied, Windows may say write-protected.
READ_ONLY = (ERROR_ACCESS_DENIED, ERROR_WRITE_PROTECT)


def utf16(text, terminated=True):
    return (text + ("\0" if terminated else "")).encode("utf-16-le")


class HostRegistryAndModule(BadInputCase):
    """A product at a candidate version with a stale "Transforms" value: whatever the host
    key and the main module look like, the patch is applied (301); the value goes only when
    the module can be read and stands at another version."""

    @classmethod
    def setUpClass(cls):
        cls.machine = e2e_common.SampleMachine()
        super().setUpClass()
        cls.machine.install(cls.prefix, TESSARY, "Tessary", 1033, "8.0.24.6")
        cls.run_wine = staticmethod(cls.machine.run_wine(cls.prefix))
        cls.host_key = sample_products.host_key_path(TESSARY)
        cls.location = sample_products.host_location(cls.run_wine, TESSARY)
        cls.module = os.path.join(sample_products.prefix_unix_path(cls.prefix.path, cls.location),
                                  sample_products.MODULE_NAME)
        cls.install_properties = install_properties_key(TESSARY)

    def reset(self):
        """The product as installed, with a stale "Transforms" and its module at 16.0.54.0."""
        # A patch that was applied raises the version the installer reports.
        self.prefix.reg_add(self.install_properties, "DisplayVersion", "8.0.24.6",
                            view=MACHINE.system_view)
        self.set_location(REG_SZ, utf16(self.location))
        os.makedirs(os.path.dirname(self.module), exist_ok=True)
        shutil.copyfile(self.machine.module("16.0.54.0"), self.module)
        sample_products.add_transforms(self.run_wine, TESSARY, ":stale.mst")

    def set_location(self, type_, data):
        set_raw_value(self.prefix, self.host_key, sample_products.HOST_VALUE, type_, data)

    def module_without_version(self):
        source = self.machine.module("16.0.54.0")
        language = resource_language(source, RT_VERSION, 1)
        return Variants(self.prefix, self.scratch).make("mainmod-without-version.vxm", RT_VERSION,
                                                        1, language, source=source)

    def test_the_patch_goes_on_whatever_the_fix_up_finds(self):
        def delete_key():
            self.assertTrue(self.prefix.reg_delete("HKLM\\" + self.host_key,
                                                   view=MACHINE.host_view))

        def delete_value():
            self.assertTrue(self.prefix.reg_delete("HKLM\\" + self.host_key,
                                                   sample_products.HOST_VALUE,
                                                   view=MACHINE.host_view))

        def replace_module(path):
            shutil.copyfile(path, self.module)

        def plain_text_module():
            with open(self.module, "w") as f:
                f.write("not a program")

        folder = self.location.rstrip("\\")
        rows = [
            # name, change, "Transforms" kept
            ("everything in place", lambda: None, False),
            ("module at the installed version",
             lambda: replace_module(self.machine.module("8.0.24.6")), True),
            ("host key missing", delete_key, True),
            ("VornLocation missing", delete_value, True),
            ("VornLocation a number", lambda: self.set_location(REG_DWORD, struct.pack("<I", 67)),
             True),
            # A value without a terminator is taken up to its stored length.
            ("VornLocation REG_SZ without terminator",
             lambda: self.set_location(REG_SZ, utf16(folder, terminated=False)), False),
            ("VornLocation REG_BINARY without terminator",
             lambda: self.set_location(REG_BINARY, utf16(folder, terminated=False)), False),
            # Taken as it stands: nothing expands it.
            ("VornLocation with a variable",
             lambda: self.set_location(REG_EXPAND_SZ, utf16("%ProgramFiles(x86)%\\Brimfold")),
             True),
            ("VornLocation longer than the launcher reads",
             lambda: self.set_location(REG_SZ, utf16("C:\\" + "x" * 1100)), True),
            ("VornLocation pointing nowhere",
             lambda: self.set_location(REG_SZ, utf16("C:\\nowhere")), True),
            ("VornLocation empty", lambda: self.set_location(REG_SZ, utf16("")), True),
            ("mainmod.vxm missing", lambda: os.remove(self.module), True),
            ("mainmod.vxm without a version resource",
             lambda: replace_module(self.module_without_version()), True),
            ("mainmod.vxm not a program", plain_text_module, True),
        ]
        for name, change, kept in rows:
            with self.subTest(name):
                self.reset()
                change()
                result = self.run_launcher()
                self.assertOutcome(result, [message(301, "Tessary")], 0)
                self.assertEqual(sample_products.has_transforms(self.run_wine, TESSARY), kept)

    def test_without_CommonProgramFiles_the_configuration_file_stays(self):
        # Wine sets the variable in each process from these values.
        key = r"HKLM\Software\Microsoft\Windows\CurrentVersion"
        view = MACHINE.system_view
        for value in ("CommonFilesDir", "CommonFilesDir (x86)"):
            old = self.prefix.reg_query(key, value, view=view)
            self.addCleanup(self.prefix.reg_add, key, value, old, view=view)
            self.assertTrue(self.prefix.reg_delete(key, value, view=view))
        # Lists CommonProgramFiles and CommonProgramFiles(x86): neither is left.
        code, out, _ = self.prefix.wine(["cmd", "/c", "set", "CommonProgramFiles"])
        self.assertNotRegex(out, r"(?m)^CommonProgramFiles(\(x86\))?=")
        files = []
        for common_files in (MACHINE.common_files_32, MACHINE.common_files_64):
            folder = self.drive_c(*common_files, "Brimfold Shared")
            os.makedirs(folder, exist_ok=True)
            files.append(os.path.join(folder, " B1E56000plu.cfg"))
            with open(files[-1], "w") as f:
                f.write("settings")
        self.reset()
        result = self.run_launcher()
        self.assertOutcome(result, [message(301, "Tessary")], 0)
        self.assertFalse(sample_products.has_transforms(self.run_wine, TESSARY))
        self.assertTrue(all(os.path.exists(path) for path in files))

    def test_temporary_names_relative_to_the_current_folder(self):
        # A relative TMP, or the drive's root "\" that the naming falls back to when TMP
        # names no folder, gives a relative name; the installer may run in a process with
        # another current folder, so it is given the package's full path.
        work = self.drive_c("work-" + os.path.basename(self.scratch))
        os.makedirs(os.path.join(work, "rel"))
        self.addCleanup(shutil.rmtree, work, True)
        rows = [
            # TMP, the folder the package goes to, boxes, exit code
            ("rel", os.path.join(work, "rel"), [message(301, "Tessary")], 0),
            # Wine's installer needs TMP for a scratch file when it opens the product's
            # cached package: with no such folder it fails (1627), whatever PATCH says ...
            ("no-such-folder", self.drive_c(), [message(300, ERROR_FUNCTION_FAILED)],
             ERROR_FUNCTION_FAILED),
            # ... and with TMP naming the same root it patches.
            ("C:\\", self.drive_c(), [message(301, "Tessary")], 0),
        ]
        for tmp, folder, boxes, exit_code in rows:
            with self.subTest(tmp):
                self.set_user_environment("TMP", tmp)
                self.reset()
                self.prefix.relay(["msi.MsiConfigureProductExW"])
                result = self.run_launcher(cwd=work)
                self.assertOutcome(result, boxes, exit_code)
                calls = e2e_common.winetest.relay_calls(result.log, "msi.MsiConfigureProductExW")
                self.assertEqual(len(calls), 1, result.log[-3000:])
                # As drive C: names the folder (it is also Z:\...).
                on_c = "C:" + folder[len(self.drive_c()):].replace("/", "\\")
                self.assertRegex(calls[0][3], r'^PATCH="%s\\MSP\d+"$' % re.escape(on_c))
                self.assertEqual(glob.glob(os.path.join(folder, "MSP*")), [],
                                 "the run reached its end: the package copy is deleted")


class TemporaryFolder(BadInputCase):
    """Where a default run puts its copy of the package, by TMP. Nothing is installed, so
    a run that has its package ends with 307; the copy is seen where it was written the
    moment it is closed, and is gone after the run."""

    def setUp(self):
        super().setUp()
        # A folder on drive C:, so that "the root of the current drive" is the prefix's.
        self.work = self.drive_c("work-" + os.path.basename(self.scratch))
        os.mkdir(self.work)
        self.addCleanup(shutil.rmtree, self.work, True)

    def default_run(self, tmp, folder, boxes, exit_code, name=None):
        """Runs with TMP set to `tmp` and checks the package copies written in `folder`: one,
        whole (and called `name` when given), when the run got its package (307), none
        otherwise; and none left after the run."""
        self.set_user_environment("TMP", tmp)
        before = self.temp_packages(folder)
        package = e2e_common.read(e2e_common.PACKAGE)

        def whole(path):
            try:
                return os.path.basename(path), e2e_common.read(path) == package
            except OSError:  # already removed again
                return os.path.basename(path), False

        with on_close.OnClose(folder, "MSP", whole) as closed:
            result = self.run_launcher(cwd=self.work)
        self.assertOutcome(result, boxes, exit_code)
        self.assertEqual(self.temp_packages(folder), before, "no copy of the package is left")
        written = [n for n, complete in closed if complete]
        if exit_code == ERROR_PATCH_TARGET_NOT_FOUND:
            self.assertEqual(len(written), 1, closed)
            if name:
                self.assertEqual(written[0], name)
        else:
            self.assertEqual(written, [])

    def folder_of_length(self, length):
        """A new folder whose Windows path has exactly `length` characters."""
        path = self.scratch
        while len(self.win(path)) < length:
            left = length - len(self.win(path)) - 1  # after the separator
            # Folder names within what a Unix file system allows, none of them empty.
            path = os.path.join(path, "t" * (left if left <= 200 else min(200, left - 2)))
        os.makedirs(path)
        self.assertEqual(len(self.win(path)), length)
        return path

    def test_tmp_values(self):
        found_nothing = [message(307)]
        failed = [message(300)]
        blanks = os.path.join(self.scratch, "Tëmp ü 日本 dir")
        os.mkdir(blanks)
        a_file = os.path.join(self.scratch, "a file")
        with open(a_file, "wb") as f:
            f.write(b"not a folder")
        fits, too_long, far_too_long = (self.folder_of_length(n) for n in (245, 246, 300))
        rows = [
            # name, TMP, where the copy goes, boxes, exit code
            ("quoted", '"%s"' % self.win(blanks), blanks, found_nothing,
             ERROR_PATCH_TARGET_NOT_FOUND),
            ("non-ASCII characters and blanks", self.win(blanks), blanks, found_nothing,
             ERROR_PATCH_TARGET_NOT_FOUND),
            # A folder that is not there: the root of the current drive.
            ("missing", self.win(os.path.join(self.scratch, "missing")), self.drive_c(),
             found_nothing, ERROR_PATCH_TARGET_NOT_FOUND),
            ("a file", self.win(a_file), self.scratch, failed, ERROR_PATH_NOT_FOUND),
            # A name must fit in 260 characters: folder, '\\', "MSP", 10 digits, terminator.
            ("245 characters", self.win(fits), fits, found_nothing, ERROR_PATCH_TARGET_NOT_FOUND),
            ("246 characters", self.win(too_long), too_long, failed, ERROR_INSTALL_FAILURE),
            # Too long for the system's own temporary path as well: its error is kept.
            ("300 characters", self.win(far_too_long), far_too_long, failed,
             ERROR_FILENAME_EXCED_RANGE),
        ]
        for name, tmp, folder, boxes, exit_code in rows:
            with self.subTest(name):
                self.default_run(tmp, folder, boxes, exit_code)
        with open(a_file, "rb") as f:
            self.assertEqual(f.read(), b"not a folder")

    def test_a_folder_only_the_long_form_reaches(self):
        # The system keeps a folder name's trailing blank in the middle of a path, and names
        # the copy's final path only in the "\\?\" form, which the installer does not take:
        # the run ends before it, with 206, and leaves no copy.
        folder = os.path.join(self.scratch, "ends in a blank ", "Temp")
        os.makedirs(folder)
        self.set_user_environment("TMP", self.win(folder))
        result = self.run_launcher(cwd=self.work)
        self.assertOutcome(result, [message(300, ERROR_FILENAME_EXCED_RANGE)], ERROR_FILENAME_EXCED_RANGE)
        self.assertEqual(self.temp_packages(folder), set())

    def test_tmp_unset_leaves_the_systems_temporary_folder(self):
        old = self.prefix.reg_query(SYSTEM_ENVIRONMENT, "TMP")
        self.addCleanup(self.prefix.reg_add, SYSTEM_ENVIRONMENT, "TMP", old, "REG_EXPAND_SZ")
        self.assertTrue(self.prefix.reg_delete(SYSTEM_ENVIRONMENT, "TMP"))
        # TEMP names the user's Temp folder, which the system then offers.
        self.default_run(None, self.prefix.temp_dir(), [message(307)],
                         ERROR_PATCH_TARGET_NOT_FOUND)

    def test_every_temporary_name_taken(self):
        folder = os.path.join(self.scratch, "taken")
        os.mkdir(folder)
        # MSP2 to MSP32767: 32766 names, and the last number tried is free.
        for number in range(2, 32768):
            os.close(os.open(os.path.join(folder, "MSP%d" % number), os.O_CREAT | os.O_WRONLY))
        self.default_run(self.win(folder), folder, [message(307)], ERROR_PATCH_TARGET_NOT_FOUND,
                         name="MSP32768")
        # With MSP32768 taken as well, the 32767 numbers of one search are used up.
        os.close(os.open(os.path.join(folder, "MSP32768"), os.O_CREAT | os.O_WRONLY))
        self.default_run(self.win(folder), folder, [message(300)], ERROR_INSTALL_FAILURE)
        names = os.listdir(folder)
        self.assertEqual(len(names), 32767)
        self.assertTrue(all(os.path.getsize(os.path.join(folder, n)) == 0 for n in names))

    def test_tmp_on_a_full_disk(self):
        try:
            small = small_file_system(self.scratch)
            disk = small.__enter__()
        except OSError as error:
            self.skipTest(str(error))
        self.addCleanup(small.__exit__, None, None, None)
        tmp = os.path.join(disk, "tmp")
        os.mkdir(tmp)
        fill(disk)
        self.default_run(self.win(tmp), tmp, [message(300)], DISK_FULL)
        self.assertEqual(os.listdir(tmp), [], "a copy cut short is not left behind")


class OutputFiles(BadInputCase):
    """"/e" and "/p" into places they cannot write. Nothing that was there is lost."""

    def setUp(self):
        super().setUp()
        try:
            small = small_file_system(self.scratch)
            self.disk = small.__enter__()
        except OSError as error:
            self.skipTest(str(error))
        self.addCleanup(small.__exit__, None, None, None)
        self.work = os.path.join(self.scratch, "work")
        os.mkdir(self.work)

    def check(self, args, boxes, exit_code, folder):
        before = snapshot(folder)
        result = self.run_launcher(args=args, cwd=self.work)
        self.assertOutcome(result, boxes, exit_code)
        self.assertEqual(snapshot(folder), before, "a file changed, appeared or was lost")

    def test_a_read_only_file_system(self):
        old = os.path.join(self.disk, "old.msp")
        with open(old, "wb") as f:
            f.write(b"old contents")
        remount(self.disk, "ro")
        self.addCleanup(remount, self.disk, "rw")
        for args, boxes in [(["/e", self.win(old)], []),
                            (["/p", self.win(old)], [message(310)]),
                            (["/p", self.win(os.path.join(self.disk, "new.txt"))],
                             [message(310)])]:
            with self.subTest(args=args):
                self.check(args, boxes, READ_ONLY, self.disk)

    def test_a_missing_folder(self):
        missing = os.path.join(self.scratch, "missing", "out")
        for args, boxes in [(["/e", self.win(missing)], []),
                            (["/p", self.win(missing)], [message(310)])]:
            with self.subTest(args=args):
                self.check(args, boxes, ERROR_PATH_NOT_FOUND, self.scratch)
                self.assertFalse(os.path.exists(os.path.dirname(missing)))

    def test_a_full_disk(self):
        old = os.path.join(self.disk, "old")
        # Nearly one whole page: what "/p" appends needs room the disk no longer has.
        with open(old, "wb") as f:
            f.write(b"o" * 4090)
        fill(self.disk)
        rows = [
            # The package is written beside the file and replaces it only when whole.
            (["/e", self.win(old)], []),
            # The blocks written before the disk was full are taken back.
            (["/p", self.win(old)], [message(300)]),
        ]
        for args, boxes in rows:
            with self.subTest(args=args):
                self.check(args, boxes, DISK_FULL, self.disk)


class CommandLine(BadInputCase):
    """Odd command lines. Nothing is installed: a default run ends with 307."""

    def setUp(self):
        super().setUp()
        self.work = os.path.join(self.scratch, "work")
        os.mkdir(self.work)

    def run_in_work(self, args):
        return self.run_launcher(args=args, cwd=self.work)

    def test_what_runs(self):
        package = self.win(os.path.join(self.work, "out.msp"))
        patch_list = self.win(os.path.join(self.work, "out.txt"))
        long_path = "C:\\" + "y" * 30000
        rows = [
            # args, boxes, exit code, what appears in the working folder, temporary copies
            # left (only what "/e" without a path writes, which is the user's)
            ([""], [message(307)], ERROR_PATCH_TARGET_NOT_FOUND, [], 0),
            (["", "", ""], [message(307)], ERROR_PATCH_TARGET_NOT_FOUND, [], 0),
            (["/e", ""], [], 0, [], 1),
            (["/e"], [], 0, [], 1),
            # The default patch-list name comes from a copy of the package, removed again.
            (["/p", ""], [], 0, [DEFAULT_PATCH_LIST], 0),
            (["/p"], [], 0, [DEFAULT_PATCH_LIST], 0),
            (["/e", package, "/p"], [], 0, ["out.msp", DEFAULT_PATCH_LIST], 0),
            (["/p", patch_list, "/e"], [], 0, ["out.txt"], 1),
            (["/q"] * 1000, [], ERROR_PATCH_TARGET_NOT_FOUND, [], 0),
            (["x"] * 999 + ["/e", package], [], 0, ["out.msp"], 0),
            (["x" * 30000], [message(307)], ERROR_PATCH_TARGET_NOT_FOUND, [], 0),
            (["/e", long_path], [], NAME_TOO_LONG, [], 0),
            (["/p", long_path], [message(310)], NAME_TOO_LONG, [], 0),
        ]
        for args, boxes, exit_code, made, copies in rows:
            with self.subTest(args=[a[:12] for a in args[:4]], count=len(args)):
                for name in os.listdir(self.work):
                    os.remove(os.path.join(self.work, name))
                before = self.temp_packages()
                result = self.run_in_work(args)
                self.assertOutcome(result, boxes, exit_code)
                self.assertEqual(sorted(os.listdir(self.work)), sorted(made))
                self.assertEqual(len(self.temp_packages() - before), copies)
                if "out.msp" in made:
                    self.assertEqual(e2e_common.read(os.path.join(self.work, "out.msp")),
                                     e2e_common.read(e2e_common.PACKAGE))
                for name in set(made) & {"out.txt", DEFAULT_PATCH_LIST}:
                    text = e2e_common.read(os.path.join(self.work, name))
                    self.assertTrue(text.startswith(b"*****\r\n"), text[:40])


if __name__ == "__main__":
    unittest.main()
