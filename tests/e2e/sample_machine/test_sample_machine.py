#!/usr/bin/env python3
"""Checks that the sample products look, under Wine, the way the launcher
expects installed products to look.

One fresh Wine prefix is shared by the whole class: creating it is the
slowest step by far. Set SAMPLE_MACHINE_KEEP=1 to keep it afterwards.
Step times are printed at the end as ratios to the prefix creation time.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import sample_products as sp  # noqa: E402

GERMAN = "{6E8A3C41-B217-4F05-9D3E-58C1A7E4B290}"     # patchable, 32-bit package
REFUSING = "{BFF9D7E0-B217-D877-099A-49078040EE97}"   # refuses every patch
WIDE = "{9B8D2BFD-B217-5919-20B7-F499AEE25F0E}"       # x64 package, 64-bit view
ABSENT = "{F0F3E2F0-B217-47CB-11CA-F27A32370C13}"     # never installed

# code: (name, language, version, module file version, refuse_patch, win64)
PRODUCTS = {
    GERMAN: ("Brimfold Tessary", 1031, "8.1.0.3", "16.0.54.0", False, False),
    REFUSING: ("Brimfold Tessary Viewer", 1033, "8.0.24.6", "8.0.24.6", True, False),
    WIDE: ("Brimfold Tessary Größe", 1036, "8.0.24.6", "8.0.24.7", False, True),
}

PATCH_COMMAND_LINE = 'PATCH="C:\\x.msp"'


class WinePrefix:
    """A private Wine prefix; every call waits for its program only."""

    def __init__(self, path, target):
        self.path = path
        self.target = target
        self.env = dict(os.environ, WINEPREFIX=path, WINEDEBUG="-all",
                        WINELOADER=target.loader)
        # The null graphics driver is set below; no display may leak in first.
        for name in ("DISPLAY", "WAYLAND_DISPLAY"):
            self.env.pop(name, None)
        self._scratch = os.path.dirname(path)

    def create(self):
        # No Mono or Gecko: nothing here needs them and they slow the boot.
        self.run(["wineboot", "-i"], WINEDLLOVERRIDES="mscoree,mshtml=", check=True)
        self.run(["reg", "add", "HKCU\\Software\\Wine\\Drivers", "/v", "Graphics",
                  "/d", "null", "/f"], check=True)

    def run(self, args, check=False, **extra_env):
        # Output goes to files, not pipes: Wine's background processes inherit
        # the handles and would hold a pipe open long after the program ended.
        env = dict(self.env, **extra_env)
        with tempfile.TemporaryFile(dir=self._scratch) as out, \
                tempfile.TemporaryFile(dir=self._scratch) as err:
            code = subprocess.run([self.target.loader, *args], stdin=subprocess.DEVNULL,
                                  stdout=out, stderr=err, env=env, timeout=180).returncode
            out.seek(0)
            err.seek(0)
            result = (code, out.read().decode("utf-8", "replace"),
                      err.read().decode("utf-8", "replace"))
        if check and code != 0:
            raise sp.WineError("{} exited {}: {}".format(" ".join(args), code, result[2]))
        return result

    def stop(self):
        subprocess.run([self.target.wineserver, "-k"], env=self.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)


class SampleMachineTest(unittest.TestCase):
    timings = []

    @classmethod
    def setUpClass(cls):
        target = sp.windows_target()
        for tool in ("wixl", "msibuild", target.gcc, target.windres, target.loader):
            if shutil.which(tool) is None:
                raise unittest.SkipTest("{} is not available".format(tool))
        cls.root = tempfile.mkdtemp(prefix="sample-machine-")
        cls.addClassCleanup(cls._remove_root)
        cls.prefix = WinePrefix(os.path.join(cls.root, "prefix"), target)
        cls.addClassCleanup(cls.prefix.stop)
        cls.addClassCleanup(cls._print_timings)
        cls.run_wine = staticmethod(cls.prefix.run)

        # Everything is built before the prefix exists: a broken build then
        # costs no prefix creation, and the Wine calls follow each other
        # closely enough that the wine server never shuts down in between.
        cls.probe = cls._timed("build msiprobe", sp.build_probe,
                               os.path.join(cls.root, "msiprobe.exe"))
        cls.modules, packages = {}, {}
        for code, (name, language, version, module_version, refuse, win64) in PRODUCTS.items():
            short = code[1:9]
            module = cls._timed("build module " + short, sp.build_module,
                                os.path.join(cls.root, short + ".vxm"), module_version)
            cls.modules[code] = module
            packages[code] = cls._timed(
                "build package " + short, sp.build_product,
                os.path.join(cls.root, short + ".msi"), code, name, language, version,
                module, refuse, os.path.join(cls.root, "work-" + short), win64=win64)
        cls._timed("create prefix", cls.prefix.create)
        for code, msi in packages.items():
            cls._timed("install " + code[1:9], sp.install_product, cls.prefix.run, msi)

    @classmethod
    def _timed(cls, step, function, *args, **kwargs):
        start = time.monotonic()
        try:
            return function(*args, **kwargs)
        finally:
            cls.timings.append((step, time.monotonic() - start))

    @classmethod
    def _print_timings(cls):
        base = dict(cls.timings).get("create prefix")
        if not base:
            return
        lines = ["", "step times relative to prefix creation:"]
        lines += ["  {:<34} {:6.3f}".format(step, seconds / base) for step, seconds in cls.timings]
        print("\n".join(lines), file=sys.stderr)

    @classmethod
    def _remove_root(cls):
        if os.environ.get("SAMPLE_MACHINE_KEEP"):
            print("prefix kept in " + cls.prefix.path, file=sys.stderr)
        else:
            shutil.rmtree(cls.root, ignore_errors=True)

    def setUp(self):
        self._started = time.monotonic()

    def tearDown(self):
        self.timings.append((self.id().rsplit(".", 1)[-1], time.monotonic() - self._started))

    def probe_run(self, *args):
        return sp.run_probe(self.run_wine, self.probe, *args)

    # --- What the installer reports -----------------------------------------

    def test_installer_reports_state_and_attributes(self):
        for code, (name, language, version, _, _, _) in PRODUCTS.items():
            with self.subTest(code=code):
                self.assertEqual(self.probe_run("state", code).get("state"), "5")
                for attribute, expected in (("ProductName", name),
                                            ("Language", str(language)),
                                            ("VersionString", version)):
                    result = self.probe_run("info", code, attribute)
                    self.assertEqual((result.get("result"), result.get("value")),
                                     ("0", expected), attribute)
        # The control case: an unknown product is not reported as installed.
        self.assertEqual(self.probe_run("state", ABSENT).get("state"), "-1")
        self.assertEqual(self.probe_run("info", ABSENT, "ProductName").get("result"), "1605")

    def test_no_patch_is_registered_after_install(self):
        for code in PRODUCTS:
            with self.subTest(code=code):
                result = self.probe_run("patches", code)
                self.assertEqual((result.get("result"), result.all("patch")), ("0", []))

    # --- Host key and main module -------------------------------------------

    def test_host_key_names_the_module_folder_in_one_view_only(self):
        for code, (_, _, _, module_version, _, win64) in PRODUCTS.items():
            with self.subTest(code=code):
                view, other = (64, 32) if win64 else (32, 64)
                location = sp.host_location(self.run_wine, code, view)
                self.assertIsNotNone(location, "no host key in the {}-bit view".format(view))
                self.assertIsNone(sp.host_location(self.run_wine, code, other))
                # [INSTALLDIR] keeps its trailing backslash, so the launcher's
                # "%s\mainmod.vxm" has a doubled one; Wine must accept that.
                self.assertTrue(location.endswith(sp.install_folder_name(code) + "\\"), location)
                module = location + "\\" + sp.MODULE_NAME
                with open(sp.prefix_unix_path(self.prefix.path, module), "rb") as installed, \
                        open(self.modules[code], "rb") as built:
                    self.assertEqual(installed.read(), built.read())
                result = self.probe_run("fileversion", module)
                self.assertEqual((result.get("result"), result.get("file"), result.get("product")),
                                 ("0", module_version, "99.0.0.0"))

    # --- Registration key ---------------------------------------------------

    def test_transforms_value_can_be_added_and_read(self):
        self.assertFalse(sp.registration_exists(self.run_wine, ABSENT))
        for code in PRODUCTS:
            with self.subTest(code=code):
                self.assertTrue(sp.registration_exists(self.run_wine, code))
                self.assertFalse(sp.has_transforms(self.run_wine, code))
        sp.add_transforms(self.run_wine, GERMAN)
        sp.add_transforms(self.run_wine, WIDE, ":other.mst;:second.mst")
        self.assertEqual(sp.read_transforms(self.run_wine, GERMAN), ":sample.mst")
        self.assertEqual(sp.read_transforms(self.run_wine, WIDE), ":other.mst;:second.mst")
        self.assertFalse(sp.has_transforms(self.run_wine, REFUSING))

    # --- Patching -----------------------------------------------------------

    def test_configure_results(self):
        cases = (
            (REFUSING, PATCH_COMMAND_LINE, "1603"),
            (GERMAN, PATCH_COMMAND_LINE, "0"),
            (WIDE, PATCH_COMMAND_LINE, "0"),
            # The refusal is tied to PATCH: a plain reinstall still works.
            (REFUSING, "", "0"),
            (ABSENT, PATCH_COMMAND_LINE, "1605"),
        )
        for code, command_line, expected in cases:
            with self.subTest(code=code, command_line=command_line):
                result = self.probe_run("configure", code, command_line)
                self.assertEqual(result.get("result"), expected)
        # A refused patch leaves the product installed.
        self.assertEqual(self.probe_run("state", REFUSING).get("state"), "5")


class NamingTest(unittest.TestCase):
    """Derived names, checked without Wine."""

    def test_pack_product_code(self):
        cases = (
            ("{12345678-9ABC-DEF0-1234-56789ABCDEF0}", "87654321CBA90FED21436587A9CBED0F"),
            ("{12345678-9abc-def0-1234-56789abcdef0}", "87654321cba90fed21436587a9cbed0f"),
            (GERMAN, "14C3A8E6712B50F4D9E3851C7A4E2B09"),
        )
        for code, packed in cases:
            with self.subTest(code=code):
                self.assertEqual(sp.pack_product_code(code), packed)

    def test_host_key_path(self):
        cases = (
            ("{12345678-9ABC-DEF0-1234-56789ABCDEF0}", "Vorn-ABC:EF0"),
            (GERMAN, "Vorn-217:F05"),
            (REFUSING, "Vorn-217:877"),
        )
        for code, leaf in cases:
            with self.subTest(code=code):
                self.assertEqual(sp.host_key_path(code),
                                 "Software\\Brimfold\\Tessary\\R16.0\\" + leaf)

    def test_derived_codes_are_stable_and_distinct(self):
        self.assertEqual(sp.derived_code(GERMAN, "upgrade"), sp.derived_code(GERMAN.lower(), "upgrade"))
        codes = {sp.derived_code(code, purpose)
                 for code in (GERMAN, REFUSING) for purpose in ("upgrade", "package", "component")}
        self.assertEqual(len(codes), 6)

    def test_parse_reg_value(self):
        output = ("\r\nHKEY_LOCAL_MACHINE\\Software\\Brimfold\\Tessary\\R16.0\\Vorn-217:F05\r\n"
                  "    VornLocation    REG_SZ    C:\\Program Files (x86)\\Brimfold\\T x\\\r\n"
                  "    Empty    REG_SZ    \r\n")
        self.assertEqual(sp.parse_reg_value(output, "VornLocation"),
                         ("REG_SZ", "C:\\Program Files (x86)\\Brimfold\\T x\\"))
        self.assertEqual(sp.parse_reg_value(output, "Empty"), ("REG_SZ", ""))
        self.assertIsNone(sp.parse_reg_value(output, "Location"))

    def test_rejected_inputs(self):
        for kwargs in ({"product_code": "6E8A3C41-B217-4F05-9D3E-58C1A7E4B290"},
                       {"version": "8.1.0.3.1"},
                       {"name": "Тессари"}):
            with self.subTest(**kwargs):
                arguments = dict(out_msi="unused.msi", product_code=GERMAN, name="n",
                                 language=1033, version="8.1.0.3", module_path="unused")
                arguments.update(kwargs)
                with self.assertRaises(ValueError):
                    sp.build_product(**arguments)


if __name__ == "__main__":
    unittest.main()
