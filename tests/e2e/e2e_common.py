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


import hashlib  # noqa: E402
import re  # noqa: E402
import subprocess  # noqa: E402

import sample_products  # noqa: E402

WORK = os.environ.get("LAUNCHER_E2E_WORK", tempfile.gettempdir())
PATCH_GUID = "{3F1D2B7A-9C4E-4A61-8E25-D7B0C6A91F38}"


def message_ids():
    """name -> id of the string ids the resource scripts use."""
    with open(os.path.join(SOURCE, "resources", "message_ids.h"), encoding="utf-8") as f:
        return {name: int(number)
                for name, number in re.findall(r"^#define\s+(\w+)\s+(\d+)", f.read(), re.M)}


def string_table(language):
    """id -> text of one language's string table, read from its resource script."""
    path = os.path.join(SOURCE, "resources", "strings", "strings_%d.rc" % language)
    ids = message_ids()
    table = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            match = re.match(r'\s*(\w+)\s+"((?:[^"]|"")*)"\s*$', line)
            if match and match.group(1) in ids:
                text = match.group(2).replace('""', '"').replace("\\n", "\n")
                table[ids[match.group(1)]] = text
    return table


class SampleMachine:
    """Builds sample products once per build tree and installs them into a prefix."""

    def __init__(self):
        # Keyed by the sources that make the products, so a changed recipe never meets
        # products built by an older one.
        digest = hashlib.sha256()
        for name in ("sample_products.py", "msiprobe.c", "mainmod.c", "mainmod.rc"):
            digest.update(read(os.path.join(HERE, "sample_machine", name)))
        self.root = os.path.join(WORK, "sample-machine-" + digest.hexdigest()[:12])
        os.makedirs(self.root, exist_ok=True)
        self.probe = os.path.join(self.root, "msiprobe.exe")
        if not os.path.exists(self.probe):
            sample_products.build_probe(self.probe)

    def module(self, file_version):
        path = os.path.join(self.root, "mainmod-%s.vxm" % file_version)
        if not os.path.exists(path):
            sample_products.build_module(path, file_version)
        return path

    def package(self, code, name, language, version, module_version, refuse_patch=False,
                restart_on_patch=None):
        key = "%s-%s-%s-%s-%d%s" % (code.strip("{}"), language, version, module_version, refuse_patch,
                                    "-" + restart_on_patch if restart_on_patch else "")
        path = os.path.join(self.root, "product-%s-%s.msi" % (key, re.sub(r"\W", "", name)))
        if not os.path.exists(path):
            sample_products.build_product(path, code, name, language, version,
                                          self.module(module_version), refuse_patch=refuse_patch,
                                          restart_on_patch=restart_on_patch)
        return path

    def install(self, prefix, code, name, language, version, module_version=None,
                refuse_patch=False, restart_on_patch=None):
        msi = self.package(code, name, language, version, module_version or "16.0.54.0",
                           refuse_patch, restart_on_patch)
        sample_products.install_product(self.run_wine(prefix), msi)

    @staticmethod
    def run_wine(prefix):
        return lambda args: prefix.wine(list(args))

    def probe_run(self, prefix, *args):
        return sample_products.run_probe(self.run_wine(prefix), self.probe, *args)


def build_variant(name, **cache):
    """Builds launcher.exe again with other cache variables (e.g. other version strings),
    into the test work folder, with the same toolchain; returns the executable's path."""
    build = os.path.join(WORK, "variants", name)
    settings = dict(cache)
    settings.setdefault("LAUNCHER_PATCH_PACKAGE", PACKAGE)
    settings.update(BUILD_TESTING="OFF", CMAKE_BUILD_TYPE="MinSizeRel",
                    LAUNCHER_MINGW_ARCH=winetest.machine().launcher,
                    Python3_EXECUTABLE=sys.executable)
    configure = ["cmake", "-S", SOURCE, "-B", build,
                 "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(SOURCE, "cmake", "mingw-w64.cmake")]
    configure += ["-D%s=%s" % item for item in sorted(settings.items())]
    for command in (configure, ["cmake", "--build", build, "--target", "launcher"]):
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if done.returncode != 0:
            raise RuntimeError("%s failed:\n%s" % (" ".join(command), done.stdout[-4000:]))
    return os.path.join(build, "launcher.exe")
