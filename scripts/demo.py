#!/usr/bin/env python3
"""Runs the built sample launcher under Wine on a sample machine and prints what a person
would see: each message box (caption and text) and the exit code of each run.

Usage: demo.py BUILD_DIR [--screenshots DIR]
  BUILD_DIR          a Windows build tree with launcher.exe and watcher.exe
  --screenshots DIR  show the boxes on a virtual X display (Xvfb) instead of Wine's null
                     driver, and save a PNG of each, as X shows it, in DIR
"""
import argparse
import contextlib
import glob
import json
import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
sys.path.insert(0, HERE)
# e2e_common is imported only once the environment it reads is set.
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))

import xwd_to_png  # noqa: E402

# Only for the names of the screenshots.
LANGUAGE_TAGS = {1028: "zh-tw", 1029: "cs", 1031: "de", 1033: "en", 1034: "es", 1036: "fr",
                 1038: "hu", 1040: "it", 1041: "ja", 1042: "ko", 1045: "pl", 1046: "pt-br",
                 1049: "ru", 2052: "zh-cn"}


class Screen:
    """A virtual X display of its own (Xvfb), for the time of a with-block."""

    SIZE = "1024x768x24"

    def __init__(self):
        self.process = None
        self.display = None

    def __enter__(self):
        # Xvfb takes the first free display number itself and writes it to the pipe once
        # it accepts connections, so no other server's number is ever taken by mistake.
        read_end, write_end = os.pipe()
        try:
            self.process = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", self.SIZE,
                 "-nolisten", "tcp"],
                pass_fds=(write_end,), stdin=subprocess.DEVNULL,
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        finally:
            os.close(write_end)
        try:
            number = b""
            deadline = time.monotonic() + 30
            while not number.endswith(b"\n"):
                left = deadline - time.monotonic()
                if left <= 0 or not select.select([read_end], [], [], left)[0]:
                    raise RuntimeError("Xvfb did not start within 30 s")
                chunk = os.read(read_end, 16)
                if not chunk:
                    raise RuntimeError("Xvfb ended at start (exit code %s)"
                                       % self.process.wait())
                number += chunk
        except BaseException:
            self._stop()
            raise
        finally:
            os.close(read_end)
        self.display = ":" + number.decode().strip()
        return self

    def __exit__(self, *exc):
        self._stop()

    def _stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()

    def grab(self, rect, scratch):
        """The pixels of rect (left, top, right, bottom) once they have stopped changing:
        a box may still be painting itself when it is first seen."""
        previous = None
        for _ in range(20):
            time.sleep(0.15)
            subprocess.run(["xwd", "-root", "-silent", "-display", self.display,
                            "-out", scratch], check=True, timeout=30,
                           stdin=subprocess.DEVNULL)
            with open(scratch, "rb") as f:
                image = xwd_to_png.read_xwd(f.read(), rect)
            if image == previous:
                break
            previous = image
        return image


def wine_fonts_dir(wine_dir):
    """Wine's own fonts (Debian's fonts-wine) beside its loaders' tree, or None."""
    path = os.path.normpath(os.path.join(wine_dir, "..", "..", "share", "wine", "fonts"))
    return path if glob.glob(os.path.join(path, "*.ttf")) else None


def dress_prefix(prefix, wine_dir):
    """Makes a prefix show its windows the way Wine does on a desktop."""
    # No window manager runs on the virtual display: Wine places and draws the whole
    # window, title bar included, itself.
    prefix.reg_add(r"HKCU\Software\Wine\X11 Driver", "Managed", "N")
    # Wine 8 as Debian ships it does not load its own fonts (Tahoma; Marlett, which draws
    # the close button) from its data folder; from the Windows font folder it does.
    fonts = wine_fonts_dir(wine_dir)
    if fonts is None:
        print("  note: Wine's own fonts are missing (Debian package fonts-wine); the boxes "
              "are drawn with other fonts")
        return
    target = os.path.join(prefix.path, "drive_c", "windows", "Fonts")
    os.makedirs(target, exist_ok=True)
    for font in glob.glob(os.path.join(fonts, "*.ttf")):
        shutil.copy(font, target)


def message_patterns(strings_dir):
    """(language, id, regex) for every message of every string table: the placeholders
    of a message match anything."""
    import e2e_common
    patterns = []
    for path in sorted(glob.glob(os.path.join(strings_dir, "strings_*.rc"))):
        language = int(re.search(r"strings_(\d+)\.rc$", path).group(1))
        for number, template in sorted(e2e_common.string_table(language).items()):
            parts = re.split(r"%l?[sdu]", template)
            regex = "(?s)" + "(.*)".join(re.escape(part) for part in parts)
            patterns.append((language, number, re.compile(regex)))
    return patterns


def box_name(box, patterns):
    """What a box is, for its file name: "list-of-products", "de-1031-301", or else its
    caption made into a name."""
    if box["caption"] == "List of Products":
        return "list-of-products"
    for language, number, regex in patterns:
        if regex.fullmatch(box["text"]):
            tag = LANGUAGE_TAGS.get(language)
            return "%s-%d-%d" % (tag, language, number) if tag else "%d-%d" % (language, number)
    return re.sub(r"[^a-z0-9]+", "-", box["caption"].lower()).strip("-") or "box"


class Camera:
    """Takes a picture of every box the watcher shows, while the watcher holds it."""

    def __init__(self, screen, out_dir, patterns):
        self.screen = screen
        self.out_dir = out_dir
        self.patterns = patterns
        self.count = 0
        os.makedirs(out_dir, exist_ok=True)

    @contextlib.contextmanager
    def watching(self, prefix):
        """Yields the watcher's environment for one run and, when it ends, the list of
        files saved during it."""
        hold = tempfile.mkdtemp(prefix="hold-", dir=prefix.path)
        saved, failures = [], []
        done = threading.Event()
        thread = threading.Thread(target=self._serve, args=(hold, done, saved, failures))
        thread.start()
        try:
            yield {"WATCHER_HOLD_DIR": prefix.win_path(hold)}, saved
        finally:
            done.set()
            thread.join()
        if failures:
            raise RuntimeError("screenshot failed: %s" % failures[0])

    def _serve(self, hold, done, saved, failures):
        number = 1
        while True:
            base = os.path.join(hold, "box-%d" % number)
            if os.path.exists(base + ".json"):
                try:
                    saved.append(self._shoot(base))
                except Exception as e:  # reported once the run is over
                    failures.append(e)
                finally:
                    open(base + ".done", "w").close()  # the watcher presses OK now
                number += 1
            elif done.is_set():
                return
            else:
                time.sleep(0.05)

    def _shoot(self, base):
        with open(base + ".json", encoding="utf-8") as f:
            box = json.load(f)
        image = self.screen.grab(tuple(box["rect"]), base + ".xwd")
        self.count += 1
        path = os.path.join(self.out_dir, "%02d-%s.png" % (self.count, box_name(box, self.patterns)))
        with open(path, "wb") as f:
            f.write(xwd_to_png.png(*image))
        return path


def main(build, screenshots=None):
    if screenshots is None:
        demo(build)
        return
    missing = [tool for tool in ("Xvfb", "xwd") if not shutil.which(tool)]
    if missing:
        sys.exit("--screenshots needs %s (Debian packages xvfb, x11-apps: "
                 "run scripts/install-deps.sh as root)" % " and ".join(missing))
    with Screen() as screen:
        print("virtual display %s (%s)" % (screen.display, Screen.SIZE))
        demo(build, screen, os.path.abspath(screenshots))


def demo(build, screen=None, screenshots=None):
    build = os.path.abspath(build)
    work = os.path.join(build, "demo-work")
    os.environ.update(
        LAUNCHER_E2E_EXE=os.path.join(build, "launcher.exe"),
        LAUNCHER_E2E_WATCHER=os.path.join(build, "tests", "e2e", "harness", "watcher.exe"),
        LAUNCHER_E2E_PACKAGE=os.path.join(build, "sample", "sample.msp"),
        LAUNCHER_E2E_SOURCE=SOURCE,
        LAUNCHER_E2E_WORK=work)
    import e2e_common

    camera = None
    if screen:
        os.environ["DISPLAY"] = screen.display
        camera = Camera(screen, screenshots,
                        message_patterns(os.path.join(SOURCE, "resources", "strings")))

    targets = e2e_common.sample_targets().split(";")
    products = [  # code, name, language, installed version
        (targets[0], "Brimfold Tessary", 1031, "8.0.24.6"),
        (targets[1], "Brimfold Tessary Viewer", 1033, "8.1.0.3"),
        (targets[2], "Brimfold Tessary Studio", 1036, "8.0.20.0"),
    ]
    print("making the sample machine...")
    machine = e2e_common.SampleMachine()
    for code, name, language, version in products:
        machine.package(code, name, language, version, "16.0.54.0")
    master = e2e_common.winetest.ensure_master_prefix()
    graphics = "x11" if screen else None
    with e2e_common.winetest.Prefix(master, graphics=graphics) as prefix:
        if screen:
            dress_prefix(prefix, e2e_common.winetest.WINE_DIR)
        for code, name, language, version in products:
            machine.install(prefix, code, name, language, version)
            print("  installed %s %s (language %d, version %s)" % (code, name, language, version))

        def run(*args):
            print("\n$ launcher.exe %s" % " ".join(args))
            with (camera.watching(prefix) if camera
                  else contextlib.nullcontext((None, []))) as (env, saved):
                result = prefix.run_watched(e2e_common.EXE, list(args), env=env,
                                            timeout=120)
            for i, box in enumerate(result.boxes):
                print("  +-- %s" % box["caption"])
                for line in box["text"].split("\n"):
                    print("  |   %s" % line)
                print("  +-- [OK]")
                if i < len(saved):
                    print("  (screenshot %s)" % saved[i])
            print("  exit code %s" % result.exit_code)

        out = tempfile.mkdtemp(prefix="extract-", dir=prefix.path)
        run("/i")
        extracted = os.path.join(out, "sp.msp")
        run("/e", prefix.win_path(extracted))
        same = e2e_common.read(extracted) == e2e_common.read(e2e_common.PACKAGE)
        print("  wrote %d bytes, %s the embedded package" % (
            os.path.getsize(extracted), "identical to" if same else "DIFFERENT from"))

        def versions():
            return [machine.probe_run(prefix, "info", code, "VersionString").get("value")
                    for code, _, _, _ in products]

        before = versions()
        run()
        for (code, name, _, _), old, new in zip(products, before, versions()):
            patches = machine.probe_run(prefix, "patches", code).all("patch")
            print("\n%s: version %s, now %s; patches applied %s"
                  % (name, old, new, patches or "none"))

        # A product at a version the patch is not for would get its 308 again; without it,
        # every product is at the target version, which one 306 says.
        code, name = products[-1][:2]
        prefix.wine(["msiexec", "/x", code, "/qn"])
        print("\n  uninstalled %s, which the patch is not for; once more:" % name)
        run()

        # As a deployment tool runs it: no boxes, a log of what happened.
        log = os.path.join(out, "sp.log")
        run("/q", "/l", prefix.win_path(log))
        print("  %s:" % prefix.win_path(log))
        with open(log, encoding="utf-8") as f:
            for line in f.read().splitlines():
                print("  |   %s" % line.replace("\t", "  "))


if __name__ == "__main__":
    parser = argparse.ArgumentParser(
        description=__doc__.split("\n\n")[0],
        formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("build", nargs="?", default="build/windows-x64",
                        help="a Windows build tree with launcher.exe and watcher.exe")
    parser.add_argument("--screenshots", metavar="DIR",
                        help="show the boxes on a virtual X display (Xvfb) and save a PNG "
                             "of each in DIR")
    options = parser.parse_args()
    main(options.build, options.screenshots)
