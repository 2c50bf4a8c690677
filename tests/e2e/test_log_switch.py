"""The log switch "/l" of the real launcher.exe under Wine: one line per outcome, in English,
appended to the file it names; the installer's own log beside it."""

import datetime
import os
import re
import unittest

import bad_input_support
import e2e_common
from e2e_common import LauncherTestCase, SampleMachine, read
from test_patch_flow import ENGLISH, GERMAN, SECOND, TESSARY, message

TIME = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")


def english(id, argument):
    """A message's English text as the log writes it: line feeds as the two characters \\n."""
    return message(ENGLISH, id, argument)[1].replace("\n", "\\n")


def utc_now():
    return datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0, tzinfo=None)


class LogSwitch(LauncherTestCase):
    """Each test starts from a fresh prefix with the products it installs."""

    @classmethod
    def setUpClass(cls):
        cls.machine = SampleMachine()

    def setUp(self):
        self._prefix_owner = e2e_common.winetest.Prefix()
        self.prefix = self._prefix_owner.__enter__()
        self.addCleanup(self._prefix_owner.__exit__, None, None, None)
        super().setUp()
        self.log = os.path.join(self.scratch, "run.log")

    @classmethod
    def tearDownClass(cls):
        pass

    def install(self, code, name, version, language=1033):
        self.machine.install(self.prefix, code, name, language, version)

    def timed_launch(self, *args):
        before = utc_now()
        result = self.launch(*args)
        return result, before - datetime.timedelta(seconds=1), utc_now() + datetime.timedelta(seconds=1)

    def log_lines(self, data, earliest, latest):
        """The lines of `data` without their times, each time checked to lie in the run."""
        self.assertTrue(data.endswith(b"\r\n"), data)
        lines = []
        for line in data.decode("utf-8").split("\r\n")[:-1]:
            time, *fields = line.split("\t")
            self.assertRegex(time, TIME)
            moment = datetime.datetime.strptime(time, "%Y-%m-%dT%H:%M:%SZ")
            self.assertTrue(earliest <= moment <= latest, (time, earliest, latest))
            lines.append(tuple(fields))
        return lines

    def test_each_outcome_in_english_and_a_quiet_second_run_appends(self):
        # The German product's box is German; its line in the log is English.
        self.install(TESSARY, "Tessary", "8.0.24.6", language=1031)
        self.install(SECOND, "Second", "8.0.20.0")
        wrong_version = ("308", SECOND, english(308, "Second"))

        shown, earliest, latest = self.timed_launch("/l", self.win(self.log))
        self.assertEqual(self.box_texts(shown),
                         [message(GERMAN, 301, "Tessary"), message(ENGLISH, 308, "Second")])
        self.assertEqual(shown.exit_code, 1642)
        first = read(self.log)
        self.assertEqual(self.log_lines(first, earliest, latest),
                         [("301", TESSARY, english(301, "Tessary")), wrong_version, ("exit", "1642")])
        # Wine's installer writes a verbose log of the patch, with LF line ends: the actions
        # of the product's INSTALL and the property dump after it.
        installer_log = read(self.log + ".msi.log")
        self.assertIn(b"=== Logging started: ", installer_log)
        self.assertRegex(installer_log, rb"\nAction ended [0-9:]+: INSTALL\. Return value 1\.\n")
        self.assertIn(b"\nProperty(S): ProductCode = " + TESSARY.encode() + b"\n", installer_log)
        # A run with boxes leaves restarts to the installer.
        self.assertNotIn(b"ReallySuppress", installer_log)

        # Tessary is up to date now, which is silent and has no line.
        quiet, earliest, latest = self.timed_launch("/q", "/l", self.win(self.log))
        self.assertEqual(quiet.boxes, [])
        self.assertEqual(quiet.exit_code, 1642)
        both = read(self.log)
        self.assertEqual(both[:len(first)], first, "the first run's lines stay as they were")
        self.assertEqual(self.log_lines(both[len(first):], earliest, latest),
                         [wrong_version, ("exit", "1642")])
        # Nothing was patched: the installer added nothing, and what it wrote before stays
        # (opened for appending, not afresh).
        self.assertEqual(read(self.log + ".msi.log"), installer_log)

    def test_quiet_and_norestart_runs_tell_the_installer_never_to_restart(self):
        for args in (["/q"], ["/NoRestart"]):
            with self.subTest(args=args), e2e_common.winetest.Prefix() as prefix:
                self.machine.install(prefix, TESSARY, "Tessary", 1033, "8.0.24.6")
                log = os.path.join(self.scratch, "%s.log" % args[0].strip("/").lower())
                result = prefix.run_watched(e2e_common.EXE, args + ["/l", prefix.win_path(log)],
                                            timeout=120)
                self.assertEqual(result.exit_code, 0)
                self.assertEqual(len(result.boxes), 0 if args == ["/q"] else 1)
                self.assertIn(b"\nProperty(S): REBOOT = ReallySuppress\n", read(log + ".msi.log"))

    def test_a_window_station_nobody_sees_runs_quietly(self):
        # As a service would start it: a box there would wait for ever, so none is shown, and
        # the run ends by itself (the tool waits for it), its first log line saying why.
        self.install(TESSARY, "Tessary", "8.0.24.6")
        earliest = utc_now() - datetime.timedelta(seconds=1)
        out = bad_input_support.run_tool_status(
            self.prefix, "hiddenstation", self.prefix.win_path(e2e_common.EXE), "/l", self.win(self.log))
        self.assertIn("flags=0", out)
        self.assertEqual(self.log_lines(read(self.log), earliest, utc_now()),
                         [("-", "-", "The window station is not visible: no boxes, no installer "
                                     "dialogs, no restart by the installer itself."),
                          ("301", TESSARY, english(301, "Tessary")), ("exit", "0")])
        self.assertIn(b"\nProperty(S): REBOOT = ReallySuppress\n", read(self.log + ".msi.log"))

    def test_administrative_modes_log_their_boxes_and_exit_codes(self):
        package = os.path.join(self.scratch, "out.msp")
        result, earliest, latest = self.timed_launch("/l", self.win(self.log), "/e",
                                                     self.win(package), "/q", "/i")
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(read(package), read(e2e_common.PACKAGE))
        self.assertEqual(self.log_lines(read(self.log), earliest, latest),
                         [("-", "-", e2e_common.sample_targets()), ("exit", "0")])
        self.assertFalse(os.path.exists(self.log + ".msi.log"), "no patch, no installer log")

    def test_a_log_that_cannot_be_written_changes_nothing(self):
        self.install(TESSARY, "Tessary", "8.0.20.0", language=1031)
        plain = self.launch()
        self.assertEqual(plain.exit_code, 1642)
        missing = os.path.join(self.scratch, "missing", "run.log")
        for path in (self.scratch, missing):
            with self.subTest(path=path):
                result = self.launch("/l", self.win(path))
                self.assertEqual(self.box_texts(result), self.box_texts(plain))
                self.assertEqual(result.exit_code, plain.exit_code)
                self.assertFalse(os.path.exists(path + ".msi.log"))
        self.assertEqual(os.listdir(self.scratch), [])


if __name__ == "__main__":
    unittest.main()
