"""The real launcher.exe under Wine beside a program that opens every new MSP file for a
few hundred milliseconds, as anti-virus scanners and indexers do on Windows, sharing it in
each of the ways they do. Wine enforces share modes between the Windows programs of one
wineserver, so the scanner gets in the launcher's way as it would on Windows: every run
still ends as it would without it, and leaves no file behind."""

import contextlib
import glob
import os
import subprocess
import unittest

import bad_input_support
import e2e_common
from e2e_common import LauncherTestCase, SampleMachine, read

TESSARY = e2e_common.sample_targets().split(";")[0]
# The patch list "/p" writes without a path, in the current folder: its name comes from the
# target list read from the temporary package.
DEFAULT_PATCH_LIST = "patchlist%s.txt" % TESSARY[10:14]
HOLD_MILLISECONDS = "300"


@contextlib.contextmanager
def scanner(prefix, sharing, folders, stop):
    """tools/scanner.c running in the prefix while the with-block runs; the list it gives
    holds the names of the files it held, once it has ended."""
    args = [prefix.win_path(bad_input_support.tool("scanner")), sharing, HOLD_MILLISECONDS,
            prefix.win_path(stop), *(prefix.win_path(f) for f in folders)]
    process = subprocess.Popen([e2e_common.winetest.loader(), *args], env=prefix.env(),
                               stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, text=True)
    if process.stdout.readline().strip() != "ready":
        process.kill()
        raise RuntimeError("the scanner did not start")
    held = []
    try:
        yield held
    finally:
        open(stop, "w").close()
        out, _ = process.communicate(timeout=60)
        os.remove(stop)
        held += [line.split(" ", 1)[1] for line in out.splitlines() if line.startswith("held ")]


class HeldByAScanner(LauncherTestCase):
    @classmethod
    def setUpClass(cls):
        machine = SampleMachine()
        super().setUpClass()
        machine.install(cls.prefix, TESSARY, "Tessary", 1033, "8.0.24.6")

    def test_every_run_still_succeeds_and_leaves_nothing(self):
        temp = self.prefix.temp_dir()
        out = os.path.join(self.scratch, "out")
        os.mkdir(out)
        package = os.path.join(out, "out.msp")
        stop = os.path.join(self.scratch, "stop")
        runs = {"default": [], "/i": ["/i"], "/p": ["/p"],
                "/e onto a file": ["/e", self.win(package)]}
        held = {}
        sharings = ("rw", "rd", "none")
        for sharing in sharings:
            for name, args in runs.items():
                with self.subTest(sharing=sharing, run=name):
                    with open(package, "wb") as f:
                        f.write(b"an older file")
                    with scanner(self.prefix, sharing, [temp, out], stop) as held[sharing, name]:
                        result = self.launch(*args, cwd=out)
                    self.assertEqual(result.exit_code, 0, result.boxes)
                    self.assertEqual(glob.glob(os.path.join(temp, "MSP*")), [])
                    listing = [DEFAULT_PATCH_LIST] if args == ["/p"] else []
                    self.assertEqual(sorted(os.listdir(out)), ["out.msp"] + listing)
                    if listing:
                        os.remove(os.path.join(out, DEFAULT_PATCH_LIST))
                    if args[:1] == ["/e"]:
                        self.assertEqual(read(package), read(e2e_common.PACKAGE))
        print("\nfiles the scanner held:", held)
        # Each way of sharing got in the launcher's way somewhere: mostly in the moment
        # between the writer's close and the lock or the replace, which the scanner's quick
        # tries win more often than not (without the launcher's waits these runs fail).
        self.assertTrue(all(any(held[sharing, name] for name in runs) for sharing in sharings), held)


if __name__ == "__main__":
    unittest.main()
