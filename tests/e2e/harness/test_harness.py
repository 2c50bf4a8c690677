#!/usr/bin/env python3
"""Proves the end-to-end harness against showbox.exe, whose boxes, arguments
and exit codes are known."""

import json
import os
import tempfile
import threading
import time
import unittest
import uuid

import winetest

SHOWBOX = os.environ.get("LAUNCHER_E2E_SHOWBOX")


class QuotingAndRelayParsing(unittest.TestCase):
    def test_quote_argument(self):
        cases = [
            ("plain", "plain"),
            ("", '""'),
            ("a b", '"a b"'),
            ("tab\there", '"tab\there"'),
            ('say "hi"', r'"say \"hi\""'),
            ('a"b', r'a\"b'),                      # a quote alone needs no quotes
            ("C:\\dir\\", "C:\\dir\\"),
            ("C:\\my dir\\", '"C:\\my dir\\\\"'),   # doubled before the closing quote
            ('x\\"y', r'x\\\"y'),
            ('"', r'\"'),
        ]
        for arg, quoted in cases:
            with self.subTest(arg=arg):
                self.assertEqual(winetest.quote_argument(arg), quoted)

    def test_relay_calls(self):
        log = "\n".join([
            '0024:Call user32.MessageBoxW(00000000,0038223e L"a\\\\b\\nc\\t'
            '\\00fc\\65e5 \\"x\\"",0038222e L"Cap",00050010) ret=1400018d8',
            '0024:Ret  user32.MessageBoxW() retval=00000001 ret=1400018d8',
            '0024:Call msi.MsiConfigureProductExW(00404044 L"{1234}",00000000,'
            '00000005,004040fc L"PATCH=\\"C:\\\\x y\\\\p.msp\\"") ret=0040164a',
            '0024:Call user32.MessageBoxW(00000000,00401000 L"long"...,'
            '00000000,00000000) ret=00401234',
        ])
        self.assertEqual(winetest.relay_calls(log, "user32.MessageBoxW"), [
            [0, 'a\\b\nc\t\u00fc\u65e5 "x"', "Cap", 0x50010],
            [0, "long", 0, 0],
        ])
        self.assertEqual(winetest.relay_calls(log, "msi.MsiConfigureProductExW"),
                         [["{1234}", 0, 5, 'PATCH="C:\\x y\\p.msp"']])


@unittest.skipUnless(SHOWBOX and os.environ.get("LAUNCHER_E2E_WATCHER")
                     and os.environ.get("LAUNCHER_E2E_WORK"),
                     "needs LAUNCHER_E2E_SHOWBOX, _WATCHER and _WORK")
class WatchedRuns(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.prefix = winetest.Prefix()
        cls.prefix.__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.prefix.__exit__(None, None, None)

    def show(self, exit_code, boxes, timeout=30):
        args = [str(exit_code)]
        for style, caption, text in boxes:
            args += ["%x" % style, caption, text]
        return self.prefix.run_watched(SHOWBOX, args, timeout=timeout)

    def test_boxes_in_order(self):
        # Other processes cannot read Wine's icons (each process has its own
        # copies of the system icons), so an icon there reads "unknown".
        cases = [
            (0x50010, "Installation Error",
             "A problem prevented it. \n\n Error Code: 1603", "error"),
            (0x50040, "Installation Successful",
             "Grüße aus Köln: Ä Ö Ü ß", "information"),
            (0x50000, "インストール", "サービスパック\nは不要です", "none"),
            (0x30, "Warning", 'back\\slash "quoted"\ttab\x01', "warning"),
            (0x20, "Question", "?", "question"),
        ]
        result = self.show(0, [c[:3] for c in cases])
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(len(result.boxes), len(cases))
        for box, (style, caption, text, icon) in zip(result.boxes, cases):
            with self.subTest(caption=caption):
                self.assertEqual((box["caption"], box["text"], box["buttons"]),
                                 (caption, text, ["OK"]))
                self.assertIn(box["icon"], ("none",) if icon == "none"
                              else (icon, "unknown"))

    def test_default_button_is_pressed(self):
        # MB_YESNO | MB_DEFBUTTON2: "No" ends the box, and the run goes on.
        result = self.show(7, [(0x104, "Choose", "yes or no?"), (0, "Next", "after")])
        self.assertEqual([b["buttons"] for b in result.boxes], [["&Yes", "&No"], ["OK"]])
        self.assertEqual(result.exit_code, 7)

    def test_exit_code_read_in_full(self):
        for code in (1603, 3010, 0xC0000005, 0):
            with self.subTest(code=code):
                result = self.show(code, [])
                self.assertEqual((result.exit_code, result.timed_out), (code, False))

    def test_timeout_kills_the_tree(self):
        marker = uuid.uuid4().hex
        grandchild = "0 0 grand-%s hello 0 x HANG" % marker
        started = time.monotonic()
        result = self.show(5, [(0, "root", "SPAWN:" + grandchild),
                               (0, marker, "HANG")], timeout=3)
        self.assertLess(time.monotonic() - started, 15)
        self.assertTrue(result.timed_out)
        self.assertIsNone(result.exit_code)
        # The grandchild's box was seen, so the job covers grandchildren.
        self.assertEqual([b["caption"] for b in result.boxes], ["grand-" + marker])
        self.assertEqual(processes_mentioning(marker), [])

    def test_relay_log_shows_style(self):
        self.prefix.relay(["user32.MessageBoxW"])
        text = 'Zeile 1\n"Zeile" 2 – ü'
        result = self.show(0, [(0x50010, "Installation Error", text)])
        calls = winetest.relay_calls(result.log, "user32.MessageBoxW")
        self.assertEqual([c[1:] for c in calls], [[text, "Installation Error", 0x50010]])
        # Only the run after relay() is logged.
        self.assertEqual(winetest.relay_calls(self.show(0, [(0, "c", "t")]).log,
                                              "user32.MessageBoxW"), [])

    def test_arguments_arrive_intact(self):
        args = ["plain", "with blank", "", 'say "hi"', "trail\\", "C:\\x y\\",
                'a\\\\"b', "\tleading tab", "Grüße 日本", "/q", '""']
        result = self.prefix.run_watched(SHOWBOX, ["ARGS", *args])
        self.assertEqual([b["text"] for b in result.boxes], args)
        self.assertEqual([b["caption"] for b in result.boxes],
                         ["argv[%d]" % i for i in range(2, 2 + len(args))])

    def test_held_boxes_wait_for_whoever_looks(self):
        # With a hold folder each box is handed over with its window rectangle and
        # stays up until released; the waiting does not count against the time-out.
        hold = tempfile.mkdtemp(dir=self.prefix.path)
        outcome = {}
        run = threading.Thread(target=lambda: outcome.update(result=self.prefix.run_watched(
            SHOWBOX, ["5", "40", "first", "one", "0", "second", "two"], timeout=2,
            env={"WATCHER_HOLD_DIR": self.prefix.win_path(hold)})))
        run.start()
        try:
            for number, caption in ((1, "first"), (2, "second")):
                handed = os.path.join(hold, "box-%d.json" % number)
                deadline = time.monotonic() + 30
                while not os.path.exists(handed) and time.monotonic() < deadline:
                    time.sleep(0.05)
                with open(handed, encoding="utf-8") as f:
                    box = json.load(f)
                left, top, right, bottom = box["rect"]
                self.assertEqual(box["caption"], caption)
                self.assertGreater((right - left, bottom - top), (0, 0))
                time.sleep(1.5)  # held past the time-out's share of it
                self.assertTrue(run.is_alive())
                open(os.path.join(hold, "box-%d.done" % number), "w").close()
        finally:
            for number in (1, 2):
                open(os.path.join(hold, "box-%d.done" % number), "a").close()
            run.join(60)
        result = outcome["result"]
        self.assertEqual([b["caption"] for b in result.boxes], ["first", "second"])
        self.assertEqual((result.exit_code, result.timed_out), (5, False))

    def test_program_that_cannot_start(self):
        with self.assertRaises(RuntimeError):
            self.prefix.run_watched("C:\\no\\such.exe")

    def test_registry_views(self):
        # Whichever reg.exe runs here (its own default view is its bitness's),
        # each call reaches the view it names.
        key = r"HKLM\Software\Brimfold\HarnessCheck"
        view32 = winetest.VIEW_32
        self.prefix.reg_add(key, "Where", "32-bit view", view=view32)
        self.prefix.reg_add(key, "Count", 3010, type="REG_DWORD", view=view32)
        self.assertEqual(self.prefix.reg_query(key, "Where", view=view32), "32-bit view")
        self.assertEqual(self.prefix.reg_query(key, "Count", view=view32), 3010)
        self.assertIsNone(self.prefix.reg_query(key, "Where"))
        self.assertEqual(self.prefix.reg_query(
            r"HKLM\Software\Wow6432Node\Brimfold\HarnessCheck", "Where"), "32-bit view")
        self.assertTrue(self.prefix.reg_delete(key, "Where", view=view32))
        self.assertIsNone(self.prefix.reg_query(key, "Where", view=view32))
        self.assertTrue(self.prefix.reg_delete(key, view=view32))
        self.assertFalse(self.prefix.reg_delete(key, view=view32))

    def test_the_machine_knows_the_build_under_test(self):
        machine = winetest.machine()
        # The harness's own programs come from the launcher's toolchain.
        self.assertEqual(winetest.pe_arch(SHOWBOX), machine.launcher)
        # What the harness expects a helper's CommonProgramFiles to be is what Wine sets.
        code, out, _ = self.prefix.wine(["cmd", "/c", "echo", "%CommonProgramFiles%"])
        self.assertEqual((code, out.strip()),
                         (0, "C:\\" + "\\".join(machine.helper_common_files)))

    def test_paths(self):
        temp = self.prefix.temp_dir()
        self.assertTrue(os.path.isdir(temp))
        code, out, _ = self.prefix.wine(["cmd", "/c", "echo", "%TEMP%"])
        drive_c = os.path.join(self.prefix.path, "drive_c")
        self.assertEqual((code, out.strip()),
                         (0, "C:" + temp[len(drive_c):].replace("/", "\\")))
        self.assertEqual(winetest.Prefix.win_path("/a b/c.exe"), "Z:\\a b\\c.exe")


def processes_mentioning(marker):
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                if marker.encode() in f.read():
                    found.append(int(pid))
        except OSError:
            pass
    return found


if __name__ == "__main__":
    unittest.main()
