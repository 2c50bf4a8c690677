"""The patch-list mode "/p" of the real launcher.exe under Wine."""

import glob
import os
import re
import sys
import unittest

import e2e_common
from e2e_common import LauncherTestCase, read

sys.path.insert(0, os.path.join(e2e_common.SOURCE, "tests", "resources"))
import build_variants  # noqa: E402

ENGLISH = e2e_common.string_table(1033)
ERROR_PATH_NOT_FOUND = 3
ERROR_INSTALL_FAILURE = 1603
TEXTS = os.path.join(e2e_common.SOURCE, "resources", "patch_info")


def block(text):
    return b"*****\r\n" + text + b"\r\n"


def as_built(text, exe):
    """A text as the executable carries it: PatchSize is the executable's size."""
    return re.sub(rb"^(PatchSize=)[^\r\n]*", rb"\g<1>%d" % os.path.getsize(exe), text,
                  count=1, flags=re.MULTILINE)


def message(id):
    """(caption, text) of message 300 or 310 as a person sees it."""
    return ENGLISH[311], ENGLISH[id]


class PatchList(LauncherTestCase):
    def setUp(self):
        super().setUp()
        self.neutral = as_built(read(os.path.join(TEXTS, "206.txt")), e2e_common.EXE)

    def test_appends_after_the_last_byte_and_again_on_a_second_run(self):
        # Wine's loader gives the neutral text: FindResourceW asks for the neutral language,
        # the first language its lookup tries, and the launcher carries a neutral 206.
        target = os.path.join(self.scratch, "list.txt")
        earlier = b"*****\r\nPatchTitle=An earlier service pack\r\n\r\nno line end"
        with open(target, "wb") as f:
            f.write(earlier)
        for runs in (1, 2):
            result = self.launch("/p", self.win(target))
            self.assertEqual((result.exit_code, result.boxes), (0, []))
            self.assertEqual(read(target), earlier + block(self.neutral) * runs)

    def test_into_a_missing_folder_shows_310_and_writes_nothing(self):
        target = os.path.join(self.scratch, "missing", "list.txt")
        for quiet in ([], ["/q"]):
            result = self.launch(*quiet, "/p", self.win(target))
            self.assertEqual(result.exit_code, ERROR_PATH_NOT_FOUND)
            self.assertEqual(self.box_texts(result), [] if quiet else [message(310)])
            self.assertEqual(os.listdir(self.scratch), [])

    def test_without_a_name_in_the_current_folder_removing_the_temporary_package(self):
        first = e2e_common.sample_targets().split(";")[0]
        name = "patchlist%s.txt" % first[first.index("-") + 1:][:4]
        temp = self.prefix.temp_dir()
        before = set(glob.glob(os.path.join(temp, "MSP*")))
        result = self.launch("/p", cwd=self.scratch)
        self.assertEqual((result.exit_code, result.boxes), (0, []))
        self.assertEqual(os.listdir(self.scratch), [name])
        self.assertEqual(read(os.path.join(self.scratch, name)), block(self.neutral))
        self.assertEqual(set(glob.glob(os.path.join(temp, "MSP*"))), before)

    def test_extract_then_patch_list_then_product_list(self):
        package, patch_list = (os.path.join(self.scratch, n) for n in ("a.msp", "b.txt"))
        self.prefix.relay(["kernel32.CreateFileW", "user32.MessageBoxW"])
        result = self.launch("/e", self.win(package), "/p", self.win(patch_list), "/i")
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(read(package), read(e2e_common.PACKAGE))
        self.assertEqual(read(patch_list), block(self.neutral))
        self.assertEqual([box["caption"] for box in result.boxes], ["List of Products"])
        # The launcher's own calls, in order: the package written beside its place, the
        # patch list opened as it must be, the temporary copy that "/i" reads, written and
        # then locked, the box.
        calls = []
        for line in result.log.splitlines():
            for function in ("KERNEL32.CreateFileW", "user32.MessageBoxW"):
                for args in e2e_common.winetest.relay_calls(line, function):
                    if function.endswith("MessageBoxW") or "watch-" not in args[0]:
                        calls.append((function, args))
        names = [args[0] if function.endswith("CreateFileW") else "box" for function, args in calls]
        self.assertEqual(len(names), 5, names)
        self.assertEqual(names[0], self.win(os.path.join(self.scratch, "MSP2")))
        self.assertEqual(names[1], self.win(patch_list))
        self.assertRegex(names[2], r"^C:\\users\\[^\\]+\\Temp\\MSP\d+$")
        self.assertEqual(names[3], names[2])
        self.assertEqual(names[4], "box")
        # GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, no security, OPEN_ALWAYS,
        # FILE_ATTRIBUTE_NORMAL (a 64-bit log may show junk above the 32 bits), no template.
        access, share, security, disposition, attributes, template = calls[1][1][1:]
        self.assertEqual((access, share, security, disposition, attributes & 0xFFFFFFFF, template),
                         (0xC0000000, 1, 0, 4, 0x80, 0))


class OtherBuilds(LauncherTestCase):
    """The launcher built again for other folders of texts, or another package."""

    @classmethod
    def setUpClass(cls):
        work = os.path.join(e2e_common.WORK, "patch-list-variants")
        os.makedirs(work, exist_ok=True)
        junk = os.path.join(work, "not-a-package.msp")
        with open(junk, "wb") as f:
            f.write(b"no Windows Installer package")
        cls.builds = build_variants.build(
            e2e_common.SOURCE, work, e2e_common.PACKAGE,
            ["206-207", "206-208", "206-empty-207", "no-206", "1046-only", "empty-206", "shipped"],
            ["-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(e2e_common.SOURCE, "cmake", "mingw-w64.cmake"),
             "-DLAUNCHER_MINGW_ARCH=" + e2e_common.winetest.machine().launcher,
             "-DCMAKE_BUILD_TYPE=MinSizeRel", "-DPython3_EXECUTABLE=" + sys.executable],
            packages={"shipped": junk}, settings={"shipped": build_variants.UNCHECKED_PACKAGE})
        cls.texts = build_variants.variants(e2e_common.SOURCE)
        super().setUpClass()

    def run_build(self, name, *args, **kwargs):
        return self.prefix.run_watched(self.builds[name], list(args), **kwargs)

    def test_the_series_of_texts(self):
        def built(name, text="206.txt"):
            return as_built(self.texts[name][text], self.builds[name])

        cases = [
            # (build, blocks written, the message shown)
            ("206-207", lambda: block(built("206-207")) + block(built("206-207", "207.txt")), None),
            ("206-208", lambda: block(built("206-208")), None),
            ("206-empty-207", lambda: block(built("206-empty-207")), 300),
            ("no-206", lambda: b"", 310),
            ("1046-only", lambda: block(built("1046-only", "206.1046.txt")), None),
            ("empty-206", lambda: b"", 300),
        ]
        for name, written, shown in cases:
            for quiet in ([], ["/q"]):
                with self.subTest(build=name, quiet=quiet):
                    target = os.path.join(self.scratch, "%s%s.txt" % (name, "-q" if quiet else ""))
                    result = self.run_build(name, *quiet, "/p", self.win(target))
                    self.assertFalse(result.timed_out)
                    self.assertEqual(read(target), written())  # created even when empty
                    self.assertEqual(result.exit_code, 0 if shown is None else ERROR_INSTALL_FAILURE)
                    boxes = self.box_texts(result)
                    if quiet or shown is None:
                        self.assertEqual(boxes, [])
                    elif shown == 310:
                        self.assertEqual(boxes, [message(310)])
                    else:
                        self.assertEqual(len(boxes), 1, boxes)
                        caption, text = boxes[0]
                        self.assertEqual(caption, ENGLISH[311])
                        self.assertRegex(text, "^" + re.escape(ENGLISH[300]).replace("%d", "-?[0-9]+") + "$")

    def test_without_a_name_when_the_target_list_cannot_be_read(self):
        temp = self.prefix.temp_dir()
        before = set(glob.glob(os.path.join(temp, "MSP*")))
        result = self.run_build("shipped", "/p", cwd=self.scratch)
        self.assertEqual((result.exit_code, result.boxes), (0, []))
        self.assertEqual(os.listdir(self.scratch), ["patchlist.txt"])
        self.assertEqual(read(os.path.join(self.scratch, "patchlist.txt")),
                         block(as_built(self.texts["shipped"]["206.txt"], self.builds["shipped"])))
        self.assertEqual(set(glob.glob(os.path.join(temp, "MSP*"))), before)


if __name__ == "__main__":
    unittest.main()
