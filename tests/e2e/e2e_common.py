"""What every end-to-end test of launcher.exe shares: where things are, and a test case
that owns one Wine prefix for its class."""

import os
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "sample_machine"))
sys.path.insert(0, os.path.join(HERE, "harness"))

import winetest  # noqa: E402

EXE = os.environ.get("LAUNCHER_E2E_EXE", "")
PACKAGE = os.environ.get("LAUNCHER_E2E_PACKAGE", "")
SOURCE = os.environ.get("LAUNCHER_E2E_SOURCE", os.path.dirname(os.path.dirname(HERE)))


def sample_targets():
    """The sample package's target list as its template holds it."""
    path = os.path.join(SOURCE, "resources", "sample_package", "target_products.txt")
    with open(path, encoding="ascii") as f:
        return ";".join(line.strip() for line in f if line.strip())


def read(path):
    with open(path, "rb") as f:
        return f.read()


class LauncherTestCase(unittest.TestCase):
    """One prefix per test class; each test gets a scratch folder of its own."""

    @classmethod
    def setUpClass(cls):
        if not EXE:
            raise unittest.SkipTest("LAUNCHER_E2E_EXE is not set (run through ctest)")
        cls._prefix_owner = winetest.Prefix()
        cls.prefix = cls._prefix_owner.__enter__()

    @classmethod
    def tearDownClass(cls):
        cls._prefix_owner.__exit__(None, None, None)

    def setUp(self):
        self.scratch = tempfile.mkdtemp(prefix="scratch-", dir=self.prefix.path)

    def win(self, unix_path):
        return self.prefix.win_path(unix_path)

    def launch(self, *args, env=None, cwd=None, timeout=120):
        """Runs launcher.exe like an administrator would, boxes answered with OK."""
        result = self.prefix.run_watched(EXE, list(args), env=env, cwd=cwd, timeout=timeout)
        self.assertFalse(result.timed_out, "launcher.exe did not end: %s" % result.events)
        return result

    def set_user_environment(self, name, value):
        """Sets (or, with None, removes) a variable of the user's environment for the runs
        that follow, and puts it back after the test: Wine builds a program's TMP and TEMP
        from the registry, not from the environment it is started with."""
        key = r"HKCU\Environment"
        old = self.prefix.reg_query(key, name)
        self.addCleanup(self._put_user_environment, key, name, old)
        self._put_user_environment(key, name, value)

    def _put_user_environment(self, key, name, value):
        if value is None:
            self.prefix.reg_delete(key, name)
        else:
            self.prefix.reg_add(key, name, value, type="REG_EXPAND_SZ")

    def box_texts(self, result):
        return [(box["caption"], box["text"]) for box in result.boxes]
