"""The launcher splits its own command line (shell32 is not loaded for it): the system's
CommandLineToArgvW is the oracle, over a fixed set of tricky lines and many random ones."""
import os
import unittest

import winetest

ORACLE = os.environ.get("LAUNCHER_E2E_SPLIT_ORACLE", "")


class CommandLineSplitTest(unittest.TestCase):
    def test_the_launcher_splits_every_line_as_the_system_does(self):
        with winetest.Prefix() as prefix:
            code, out, err = prefix.wine([prefix.win_path(ORACLE), "50000"], timeout=300)
        self.assertIn("50026 lines, 0 differ", out, out[-4000:] + err[-2000:])
        self.assertEqual(code, 0)


if __name__ == "__main__":
    unittest.main()
