"""The administrative modes of the real launcher.exe under Wine: "/e" and "/i"."""

import glob
import os
import shutil
import sys
import unittest

import e2e_common
from e2e_common import LauncherTestCase, read

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "cmake"))
import align_resource_section  # noqa: E402

ERROR_PATH_NOT_FOUND = 3


class ExtractMode(LauncherTestCase):
    def setUp(self):
        super().setUp()
        self.package = read(e2e_common.PACKAGE)

    def test_to_a_path_byte_for_byte_and_replacing_what_is_there(self):
        folder = os.path.join(self.scratch, "out")
        nowhere = os.path.join(self.scratch, "nowhere")

        def write(path, data):
            with open(path, "wb") as f:
                f.write(data)

        def older(path):
            write(path, b"an older file")

        def copies_of_killed_runs(path):
            older(path)
            for n in range(1, 1001):
                write("%s.part%d" % (path, n), b"left")
            for n in range(2, 102):
                write(os.path.join(folder, "MSP%d" % n), b"left")

        def link_to_nowhere(path):
            os.symlink(nowhere, path)

        name_of_255 = "n" * 251 + ".msp"  # no room left for a suffix
        # "MSP2": the first temporary name is the target's own, and is passed over.
        rows = [("out.msp", None), ("out.msp", older), (name_of_255, None),
                (name_of_255, older), ("out.msp", copies_of_killed_runs),
                ("out.msp", link_to_nowhere), ("MSP2", None)]
        for name, plant in rows:
            with self.subTest(name=name[:12], there=plant and plant.__name__):
                shutil.rmtree(folder, ignore_errors=True)
                os.mkdir(folder)
                target = os.path.join(folder, name)
                if plant:
                    plant(target)
                others = {n: read(os.path.join(folder, n)) for n in os.listdir(folder) if n != name}
                result = self.launch("/e", self.win(target))
                self.assertEqual(result.exit_code, 0)
                self.assertEqual(result.boxes, [])
                self.assertFalse(os.path.islink(target))  # a link there is replaced itself
                self.assertEqual(read(target), self.package)
                self.assertFalse(os.path.lexists(nowhere))
                # Nothing left beside it, and what else was there untouched.
                self.assertEqual({n: read(os.path.join(folder, n))
                                  for n in os.listdir(folder) if n != name}, others)

    def test_a_name_windows_opens_without_its_trailing_dot(self):
        # "MSP2." opens MSP2, the launcher's first temporary name, which the copy beside it
        # therefore must not take.
        folder = os.path.join(self.scratch, "dot")
        for older in (None, b"an older file"):
            with self.subTest(there=bool(older)):
                shutil.rmtree(folder, ignore_errors=True)
                os.mkdir(folder)
                if older:
                    with open(os.path.join(folder, "MSP2"), "wb") as f:
                        f.write(older)
                result = self.launch("/e", self.win(os.path.join(folder, "MSP2.")))
                self.assertEqual((result.exit_code, result.boxes), (0, []))
                self.assertEqual(os.listdir(folder), ["MSP2"])
                self.assertEqual(read(os.path.join(folder, "MSP2")), self.package)

    def test_with_its_resource_section_on_a_page(self):
        # How a launcher carrying a package of 64 MiB or more is laid out: Wine then maps the
        # section from the file instead of reading it at load.
        exe = os.path.join(self.scratch, "aligned.exe")
        shutil.copy(e2e_common.EXE, exe)
        align_resource_section.align(exe, align_from=0)
        _, rows = align_resource_section.sections(read(exe)[:4096])
        self.assertEqual([offset % 4096 for name, _, offset in rows if name == ".rsrc"], [0])
        target = os.path.join(self.scratch, "out.msp")
        result = self.prefix.run_watched(exe, ["/e", self.win(target)])
        self.assertEqual((result.exit_code, result.boxes), (0, []))
        self.assertEqual(read(target), self.package)

    def test_switches_in_capitals_and_the_last_path_wins(self):
        first, last = (os.path.join(self.scratch, n) for n in ("a.msp", "b.msp"))
        result = self.launch("/E", self.win(first), "/e", self.win(last))
        self.assertEqual(result.exit_code, 0)
        self.assertFalse(os.path.exists(first))
        self.assertEqual(read(last), self.package)

    def test_into_a_missing_folder_fails_and_creates_nothing(self):
        target = os.path.join(self.scratch, "missing", "out.msp")
        result = self.launch("/e", self.win(target))
        self.assertEqual(result.exit_code, ERROR_PATH_NOT_FOUND)
        self.assertEqual(result.boxes, [])
        self.assertEqual(os.listdir(self.scratch), [])

    def test_onto_a_folder_leaves_the_folder(self):
        result = self.launch("/e", self.win(self.scratch))
        self.assertNotEqual(result.exit_code, 0)
        self.assertTrue(os.path.isdir(self.scratch))
        self.assertEqual(os.listdir(self.scratch), [])

    def test_to_temporary_names_in_TMP(self):
        tmp = os.path.join(self.scratch, "my temp")
        os.mkdir(tmp)
        cases = [
            # (TMP as set, what is planted at MSP2 first, the name expected)
            (self.win(tmp), None, "MSP2"),
            ('"%s"' % self.win(tmp), None, "MSP2"),
            (self.win(tmp) + "\\", "file", "MSP3"),
            (self.win(tmp), "folder", "MSP3"),
        ]
        for tmp_value, planted, expected in cases:
            with self.subTest(tmp=tmp_value, planted=planted):
                for name in os.listdir(tmp):
                    path = os.path.join(tmp, name)
                    os.rmdir(path) if os.path.isdir(path) else os.remove(path)
                sentinel = os.path.join(tmp, "MSP2")
                if planted == "file":
                    with open(sentinel, "wb") as f:
                        f.write(b"sentinel")
                elif planted == "folder":
                    os.mkdir(sentinel)
                self.set_user_environment("TMP", tmp_value)
                result = self.launch("/e")
                self.assertEqual(result.exit_code, 0)
                self.assertEqual(read(os.path.join(tmp, expected)), self.package)
                if planted == "file":
                    self.assertEqual(read(sentinel), b"sentinel")
                self.assertEqual(sorted(os.listdir(tmp)), sorted({"MSP2", expected}))

    def test_a_link_planted_at_the_first_name_is_never_followed(self):
        tmp = os.path.join(self.scratch, "tmp")
        os.mkdir(tmp)
        sentinel = os.path.join(self.scratch, "sentinel")
        with open(sentinel, "wb") as f:
            f.write(b"sentinel")
        os.symlink(sentinel, os.path.join(tmp, "MSP2"))
        os.link(sentinel, os.path.join(tmp, "MSP3"))
        os.symlink(os.path.join(self.scratch, "nowhere"), os.path.join(tmp, "MSP4"))
        self.set_user_environment("TMP", self.win(tmp))
        result = self.launch("/e")
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(read(sentinel), b"sentinel")
        self.assertFalse(os.path.exists(os.path.join(self.scratch, "nowhere")))
        self.assertEqual(read(os.path.join(tmp, "MSP5")), self.package)

    def test_without_a_path_to_the_users_temp_folder(self):
        temp = self.prefix.temp_dir()
        before = set(os.listdir(temp))
        result = self.launch("/e")
        self.assertEqual(result.exit_code, 0)
        created = set(os.listdir(temp)) - before
        self.assertEqual(len(created), 1, created)
        name = created.pop()
        self.assertRegex(name, r"^MSP\d+$")
        self.assertEqual(read(os.path.join(temp, name)), self.package)
        os.remove(os.path.join(temp, name))


class ListProductsMode(LauncherTestCase):
    def expect_list_box(self, result):
        self.assertEqual(len(result.boxes), 1, result.events)
        box = result.boxes[0]
        self.assertEqual(box["caption"], "List of Products")
        self.assertEqual(box["text"], e2e_common.sample_targets())
        self.assertEqual(box["icon"], "none")
        self.assertEqual(box["buttons"], ["OK"])

    def test_shows_the_target_list_and_removes_the_temporary_package(self):
        temp = self.prefix.temp_dir()
        before = set(glob.glob(os.path.join(temp, "MSP*")))
        result = self.launch("/i")
        self.assertEqual(result.exit_code, 0)
        self.expect_list_box(result)
        self.assertEqual(set(glob.glob(os.path.join(temp, "MSP*"))), before)

    def test_also_when_quiet_and_nothing_after_it_counts(self):
        never = os.path.join(self.scratch, "never.msp")
        for args in (["/q", "/i"], ["/I", "/q"], ["/i", "/e", self.win(never)]):
            with self.subTest(args=args):
                result = self.launch(*args)
                self.assertEqual(result.exit_code, 0)
                self.expect_list_box(result)
        self.assertFalse(os.path.exists(never))

    def test_extract_runs_before_the_list(self):
        target = os.path.join(self.scratch, "a.msp")
        result = self.launch("/e", self.win(target), "/i")
        self.assertEqual(result.exit_code, 0)
        self.assertTrue(os.path.exists(target))
        self.expect_list_box(result)

    def test_box_style_and_owner_as_passed_to_the_system(self):
        self.prefix.relay(["user32.MessageBoxW"])
        result = self.launch("/i")
        calls = e2e_common.winetest.relay_calls(result.log, "user32.MessageBoxW")
        self.assertEqual(len(calls), 1, result.log[-2000:])
        owner, text, caption, style = calls[0]
        self.assertEqual((owner, caption, style), (0, "List of Products", 0x50000))


class HelpSwitch(LauncherTestCase):
    def test_lists_the_switches_and_runs_nothing(self):
        temp = self.prefix.temp_dir()
        before = set(glob.glob(os.path.join(temp, "MSP*")))
        never = os.path.join(self.scratch, "never.msp")
        for args in (["/?"], ["/q", "/?"], ["/e", self.win(never), "/?", "/i"], ["/h"], ["/HELP"],
                     ["-?"], ["-H"]):
            with self.subTest(args=args):
                result = self.launch(*args)
                self.assertEqual(result.exit_code, 0)
                self.assertEqual(len(result.boxes), 1, result.events)
                box = result.boxes[0]
                self.assertEqual((box["caption"], box["icon"], box["buttons"]),
                                 ("Service Pack Switches", "none", ["OK"]))
                for switch in ("/q", "/norestart", "/e <path>", "/p <path>", "/i", "/l <path>", "/?"):
                    self.assertIn("\n" + switch + "\t", box["text"])
        self.assertFalse(os.path.exists(never))
        self.assertEqual(set(glob.glob(os.path.join(temp, "MSP*"))), before)


if __name__ == "__main__":
    unittest.main()
