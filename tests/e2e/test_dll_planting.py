"""A DLL planted beside launcher.exe (in a Downloads folder, say) is never loaded."""

import os
import shutil
import subprocess
import unittest

import e2e_common
from e2e_common import LauncherTestCase, SampleMachine

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "planted")
# Wine is told to prefer a DLL it finds over its own, as Windows would load a planted one.
PREFER_PLANTED = {"WINEDLLOVERRIDES": "msi,version=n,b"}


def build(work):
    """The planted DLL (as msi.dll and version.dll) and a program that imports msi.dll, for
    the launcher's bitness: a DLL of the other one could never load and would prove nothing."""
    gcc = e2e_common.winetest.machine().launcher_gcc
    dll = os.path.join(work, "planted.dll")
    importer = os.path.join(work, "importer.exe")
    for command in ([gcc, "-shared", "-s", "-Wl,--kill-at", "-o", dll,
                     os.path.join(HERE, "planted_dll.c"), os.path.join(HERE, "planted_dll.def")],
                    [gcc, "-s", "-o", importer, os.path.join(HERE, "importer.c"), "-lmsi"]):
        subprocess.run(command, check=True)
    return dll, importer


class PlantedDlls(LauncherTestCase):
    @classmethod
    def setUpClass(cls):
        cls.machine = SampleMachine()
        cls.work = os.path.join(e2e_common.WORK, "planted")
        os.makedirs(cls.work, exist_ok=True)
        cls.dll, cls.importer = build(cls.work)
        super().setUpClass()

    def setUp(self):
        super().setUp()
        self.downloads = os.path.join(self.scratch, "Downloads")
        os.mkdir(self.downloads)
        for name in ("msi.dll", "version.dll"):
            shutil.copy(self.dll, os.path.join(self.downloads, name))
        self.launcher = shutil.copy(e2e_common.EXE, os.path.join(self.downloads, "launcher.exe"))
        self.marker = os.path.join(self.downloads, "planted-loaded")

    def test_a_program_importing_msi_dll_loads_the_planted_copy(self):
        # Shows the test can see the hole: without it the launcher's result proves nothing.
        importer = shutil.copy(self.importer, self.downloads)
        self.prefix.run_watched(importer, [], env=PREFER_PLANTED, cwd=self.downloads)
        self.assertTrue(os.path.exists(self.marker))

    def test_launcher_never_loads_them_and_runs_as_usual(self):
        self.machine.install(self.prefix, e2e_common.sample_targets().split(";")[0],
                             "Tessary", 1033, "8.0.24.6")
        for args, caption in ((["/i"], "List of Products"), ([], "Installation Successful")):
            with self.subTest(args=args):
                result = self.prefix.run_watched(self.launcher, args, env=PREFER_PLANTED,
                                                 cwd=self.downloads, timeout=120)
                self.assertEqual([b["caption"] for b in result.boxes], [caption])
                self.assertEqual(result.exit_code, 0)
                self.assertFalse(os.path.exists(self.marker))


if __name__ == "__main__":
    unittest.main()
