"""The signed launcher.exe under Wine does what the unsigned one does: its signature sits
after the image, where nothing of the program reads."""

import glob
import os
import sys
import unittest

import e2e_common
from e2e_common import LauncherTestCase, SampleMachine, read

sys.path.insert(0, os.path.join(e2e_common.SOURCE, "tests", "resources"))
import build_variants  # noqa: E402

TESSARY = e2e_common.sample_targets().split(";")[0]
ENGLISH = e2e_common.string_table(1033)


class SignedLauncher(LauncherTestCase):
    @classmethod
    def setUpClass(cls):
        if not e2e_common.EXE:
            raise unittest.SkipTest("LAUNCHER_E2E_EXE is not set (run through ctest)")
        cls.machine = SampleMachine()
        signing = build_variants.signed_variants(os.path.join(e2e_common.WORK, "signing"))
        cls.signed = e2e_common.build_variant("signed", **signing["signed-p12"])
        super().setUpClass()

    def test_lists_the_targets_and_patches(self):
        self.machine.install(self.prefix, TESSARY, "Tessary", 1033, "8.1.0.3")
        temp = self.prefix.temp_dir()
        cases = [
            # (arguments, boxes (caption, text), exit code, packages left in TEMP)
            (["/i"], [("List of Products", e2e_common.sample_targets())], 0, 0),
            ([], [(ENGLISH[312], ENGLISH[301].replace("%s", "Tessary"))], 0, 0),
        ]
        for args, boxes, exit_code, left in cases:
            with self.subTest(args=args):
                before = set(glob.glob(os.path.join(temp, "MSP*")))
                result = self.prefix.run_watched(self.signed, args, timeout=120)
                self.assertEqual(self.box_texts(result), boxes)
                self.assertEqual(result.exit_code, exit_code)
                kept = set(glob.glob(os.path.join(temp, "MSP*"))) - before
                self.assertEqual([read(path) for path in kept], [read(e2e_common.PACKAGE)] * left)
        patches = self.machine.probe_run(self.prefix, "patches", TESSARY).listed("patch")
        self.assertEqual(patches, [e2e_common.PATCH_GUID])


if __name__ == "__main__":
    unittest.main()
