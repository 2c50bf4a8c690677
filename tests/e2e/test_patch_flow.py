"""The default run of the real launcher.exe under Wine, on a machine with sample products."""

import glob
import os
import unittest

import e2e_common
import on_close
import sample_products
from e2e_common import LauncherTestCase, SampleMachine

TARGETS = e2e_common.sample_targets().split(";")
TESSARY, SECOND, THIRD = TARGETS[0], TARGETS[1], TARGETS[2]
ENGLISH = e2e_common.string_table(1033)
GERMAN = e2e_common.string_table(1031)

ERROR_INSTALL_FAILURE = 1603
ERROR_PATCH_TARGET_NOT_FOUND = 1642


def message(table, id, argument=None):
    """(caption, text) of a message box as a person sees it."""
    caption = {300: 311, 301: 312, 306: 313, 307: 311, 308: 311}[id]
    text = table[id]
    if argument is not None:
        text = text.replace("%d" if id == 300 else "%s", str(argument))
    return table[caption], text


class DefaultRun(LauncherTestCase):
    """Each test starts from a fresh prefix with the products it installs."""

    @classmethod
    def setUpClass(cls):
        cls.machine = SampleMachine()  # builds before any prefix exists, so Wine stays warm

    def setUp(self):
        self._prefix_owner = e2e_common.winetest.Prefix()
        self.prefix = self._prefix_owner.__enter__()
        self.addCleanup(self._prefix_owner.__exit__, None, None, None)
        super().setUp()

    @classmethod
    def tearDownClass(cls):
        pass

    # --- helpers ----------------------------------------------------------

    def install(self, code, name, version, language=1033, **kwargs):
        self.machine.install(self.prefix, code, name, language, version, **kwargs)

    def temp_packages(self):
        return glob.glob(os.path.join(self.prefix.temp_dir(), "MSP*"))

    def launcher_boxes(self, result):
        # Wine's installer may show its own box first when a patch fails; it has no caption
        # of ours, so it is told apart by that.
        ours = {ENGLISH[i] for i in (311, 312, 313)} | {GERMAN[i] for i in (311, 312, 313)}
        return [(b["caption"], b["text"]) for b in result.boxes if b["caption"] in ours]

    def patches(self, code):
        return self.machine.probe_run(self.prefix, "patches", code).listed("patch")

    # --- one product per outcome --------------------------------------------

    def test_each_outcome_of_a_single_product(self):
        cases = [
            # version, refuses patch, boxes, exit code, patched
            ("8.0.24.6", False, [message(ENGLISH, 301, "Tessary")], 0, True),
            ("8.1.0.3", False, [message(ENGLISH, 301, "Tessary")], 0, True),
            ("8.2.0.4", False, [message(ENGLISH, 306, "Tessary")], 0, False),
            ("8.0.20.0", False, [message(ENGLISH, 308, "Tessary")], ERROR_PATCH_TARGET_NOT_FOUND, False),
            ("8.0.24.6", True, [message(ENGLISH, 300, ERROR_INSTALL_FAILURE)], ERROR_INSTALL_FAILURE, False),
        ]
        for version, refuse, boxes, exit_code, patched in cases:
            with self.subTest(version=version, refuse=refuse):
                with e2e_common.winetest.Prefix() as prefix:
                    self.prefix = prefix
                    self.install(TESSARY, "Tessary", version, refuse_patch=refuse)
                    result = self.launch()
                    self.assertEqual(self.launcher_boxes(result), boxes)
                    self.assertEqual(result.exit_code, exit_code)
                    self.assertEqual(self.patches(TESSARY), [e2e_common.PATCH_GUID] if patched else [])
                    self.assertEqual(self.temp_packages(), [], "a normal end removes the package")

    def test_restarts_the_patch_asks_for_come_back_as_exit_codes(self):
        # Wine restarts nothing; what matters is the code and the box each run reports.
        cases = [
            # action on PATCH, switches, boxes, exit code
            ("ScheduleReboot", [], [message(ENGLISH, 301, "Tessary")], 3010),
            ("ScheduleReboot", ["/q"], [], 3010),
            ("ForceReboot", ["/norestart"], [message(ENGLISH, 300, 1604)], 1604),
        ]
        for action, args, boxes, exit_code in cases:
            with self.subTest(action=action, args=args):
                with e2e_common.winetest.Prefix() as prefix:
                    self.prefix = prefix
                    self.install(TESSARY, "Tessary", "8.0.24.6", restart_on_patch=action)
                    result = self.launch(*args)
                    self.assertEqual(self.launcher_boxes(result), boxes)
                    self.assertEqual(result.exit_code, exit_code)

    def test_up_to_date_product_is_silent_beside_a_patched_one(self):
        self.install(TESSARY, "Tessary", "8.2.0.4")
        self.install(SECOND, "Second", "8.0.24.6")
        result = self.launch()
        self.assertEqual(self.launcher_boxes(result), [message(ENGLISH, 301, "Second")])
        self.assertEqual(result.exit_code, 0)

    def test_every_product_up_to_date_gives_one_306_naming_the_last(self):
        self.install(TESSARY, "Tessary", "8.2.0.4", language=1031)
        self.install(SECOND, "Second", "8.2.0.4", language=1031)
        result = self.launch()
        # In the user's language, English here, although both products are German.
        self.assertEqual(self.launcher_boxes(result), [message(ENGLISH, 306, "Second")])

    def test_each_product_reported_in_its_own_language(self):
        self.install(TESSARY, "Tessary", "8.0.20.0", language=1031)
        self.install(SECOND, "Second", "8.0.24.6", language=1033)
        result = self.launch()
        self.assertEqual(self.launcher_boxes(result),
                         [message(GERMAN, 308, "Tessary"), message(ENGLISH, 301, "Second")])
        self.assertEqual(result.exit_code, ERROR_PATCH_TARGET_NOT_FOUND)

    def test_no_target_installed(self):
        result = self.launch()
        self.assertEqual(self.launcher_boxes(result), [message(ENGLISH, 307)])
        self.assertEqual(result.exit_code, ERROR_PATCH_TARGET_NOT_FOUND)
        self.assertEqual(self.temp_packages(), [], "an early end removes the package too")

    def test_quiet_run_shows_nothing_not_even_the_installers_box(self):
        self.install(TESSARY, "Tessary", "8.0.24.6", refuse_patch=True)
        self.prefix.relay(["msi.MsiSetInternalUI"])
        result = self.launch("/q")
        self.assertEqual(result.boxes, [])
        self.assertEqual(result.exit_code, ERROR_INSTALL_FAILURE)
        # Silent but for UAC's elevation prompt; Wine refuses that level ("no change"), so
        # the run asks for the plainly silent one.
        levels = [call[0] & 0xFFFFFFFF
                  for call in e2e_common.winetest.relay_calls(result.log, "msi.MsiSetInternalUI")]
        self.assertEqual(levels, [0x202, 2], result.log[-3000:])

    # --- what a successful patch changes --------------------------------------

    def test_stale_transforms_removed_only_where_the_module_is_at_another_version(self):
        self.install(TESSARY, "Tessary", "8.0.24.6", module_version="16.0.54.0")
        self.install(SECOND, "Second", "8.1.0.3", module_version="8.1.0.3")
        run_wine = self.machine.run_wine(self.prefix)
        for code in (TESSARY, SECOND):
            sample_products.add_transforms(run_wine, code, ":stale.mst")
        result = self.launch()
        self.assertEqual(result.exit_code, 0)
        self.assertFalse(sample_products.has_transforms(run_wine, TESSARY))
        self.assertEqual(sample_products.read_transforms(run_wine, SECOND), ":stale.mst")

    def test_configuration_file_with_the_leading_blank_is_removed(self):
        # Only from the 32-bit product's common files folder, whichever build runs.
        machine = e2e_common.winetest.machine()
        folders = {}
        for common_files in (machine.common_files_32, machine.common_files_64):
            folder = os.path.join(self.prefix.path, "drive_c", *common_files, "Brimfold Shared")
            os.makedirs(folder, exist_ok=True)
            for name in (" B1E56000plu.cfg", "B1E56000plu.cfg"):
                with open(os.path.join(folder, name), "w") as f:
                    f.write("settings")
            folders[common_files] = folder
        self.install(TESSARY, "Tessary", "8.0.24.6")
        self.launch()
        for common_files, folder in folders.items():
            left = ["B1E56000plu.cfg"] if common_files == machine.launcher_common_files \
                else [" B1E56000plu.cfg", "B1E56000plu.cfg"]
            self.assertEqual(sorted(os.listdir(folder)), left, folder)

    def test_installer_called_with_the_package_path_in_quotes(self):
        self.install(TESSARY, "Tessary", "8.1.0.3")
        self.prefix.relay(["msi.MsiConfigureProductExW", "kernel32.SetThreadLocale"])
        result = self.launch()
        calls = e2e_common.winetest.relay_calls(result.log, "msi.MsiConfigureProductExW")
        self.assertEqual(len(calls), 1, result.log[-3000:])
        code, level, state, command_line = calls[0]
        self.assertEqual((code, level, state), (TESSARY, 0, 5))
        self.assertRegex(command_line, r'^PATCH="C:\\users\\[^\\]+\\Temp\\MSP\d+"$')


class StopWhenACandidateIsTheTarget(LauncherTestCase):
    """A build whose candidates name the target version stops at that candidate: given by
    hand, with the package's check off (with it on, the configure refuses the list)."""

    @classmethod
    def setUpClass(cls):
        cls.machine = SampleMachine()
        cls.variant = e2e_common.build_variant(
            "candidates-with-target", LAUNCHER_CHECK_PACKAGE="OFF", LAUNCHER_TARGET_VERSION="8.2.0.4",
            LAUNCHER_CANDIDATE_VERSIONS="8.0.24.6,8.2.0.4,8.1.0.3,")
        super().setUpClass()

    def test_stops_with_306_and_removes_the_package(self):
        self.machine.install(self.prefix, TESSARY, "Tessary", 1033, "8.1.0.3")
        self.machine.install(self.prefix, SECOND, "Second", 1033, "8.0.24.6")
        result = self.prefix.run_watched(self.variant, [], timeout=120)
        self.assertEqual([(b["caption"], b["text"]) for b in result.boxes],
                         [message(ENGLISH, 306, "Tessary")])
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(self.machine.probe_run(self.prefix, "patches", SECOND).listed("patch"), [])
        self.assertEqual(glob.glob(os.path.join(self.prefix.temp_dir(), "MSP*")), [])


class PackageRewrittenBeforeTheCheck(LauncherTestCase):
    """A process outside Wine, which Wine's share modes cannot stop (as an administrator's
    unelevated programs, or anyone on FAT, on Windows), rewrites bytes of the package the
    moment the launcher's writer closes it."""

    @classmethod
    def setUpClass(cls):
        cls.machine = SampleMachine()
        super().setUpClass()

    def test_the_run_refuses_and_leaves_the_file(self):
        self.machine.install(self.prefix, TESSARY, "Tessary", 1033, "8.0.24.6")
        temp = self.prefix.temp_dir()
        with on_close.OnClose(temp, "MSP", self.rewrite_end) as seen:
            result = self.launch()
        self.assertEqual(len(seen), 1, seen)
        path, mode = seen[0]
        self.assertEqual(self.launcher_boxes(result), [message(ENGLISH, 300, 1006)])
        self.assertEqual(result.exit_code, 1006)
        self.assertEqual(self.machine.probe_run(self.prefix, "patches", TESSARY).listed("patch"), [])
        # Not the launcher's any more: left as it was found.
        self.assertEqual(glob.glob(os.path.join(temp, "MSP*")), [path])
        self.assertNotEqual(e2e_common.read(path), e2e_common.read(e2e_common.PACKAGE))
        # Made for the launcher's own account, SYSTEM and the Administrators only: Wine turns
        # that access list into the file's mode, which gives other accounts nothing.
        self.assertEqual(mode & 0o007, 0, oct(mode))

    @staticmethod
    def rewrite_end(path):
        """Changes the last bytes, which the launcher's check reads last."""
        mode = os.stat(path).st_mode
        with open(path, "r+b") as f:
            f.seek(-16, os.SEEK_END)
            f.write(b"rewritten bytes!")
        return path, mode

    def launcher_boxes(self, result):
        return [(b["caption"], b["text"]) for b in result.boxes if b["caption"] == ENGLISH[311]]


if __name__ == "__main__":
    unittest.main()
