#!/usr/bin/env python3
"""Runs Windows programs under Wine for the end-to-end tests.

One master prefix is made once per build tree; each test works in a cheap
clone of it, with its own persistent wineserver, and runs the program under
test through watcher.exe, which records and dismisses its message boxes.

Environment: LAUNCHER_E2E_WATCHER (watcher.exe), LAUNCHER_E2E_WORK (scratch
folder holding the master prefix), LAUNCHER_E2E_MINGW_ARCH (the build under
test; without it, the PE header of LAUNCHER_E2E_EXE tells).
LAUNCHER_E2E_WINE_DIR overrides where the Wine loaders live;
LAUNCHER_E2E_WINE32=0 makes the harness act as on a machine that runs no
32-bit programs.

Run as a script, it makes the master prefix in LAUNCHER_E2E_WORK.
"""

import dataclasses
import fcntl
import functools
import glob
import json
import os
import re
import shutil
import struct
import subprocess
import tempfile
import time

WINE_DIR = os.environ.get("LAUNCHER_E2E_WINE_DIR", "/usr/lib/wine")
WINESERVER = os.path.join(WINE_DIR, "wineserver")

# Big and never written by the tests, so they are shared by hard links; the
# registry files must never be, as wineserver rewrites them in place.
_LINKED_DIRS = ("system32", "syswow64", "winsxs")
_STAMP = ".e2e-ready"
# Wine's default also hides the program's own kernel32 calls.
_RELAY_FROM_EXCLUDE = "winex11.drv;winemac.drv;user32;gdi32;advapi32"


# The registry views, as reg.exe names them.
VIEW_32 = 32
VIEW_64 = 64
_PE_MACHINES = {0x014C: "i686", 0x8664: "x86_64"}


@dataclasses.dataclass(frozen=True)
class Machine:
    """The one place that knows which launcher.exe is under test and which Wine
    runs the helper programs (reg, cmd, msiexec and the tests' own tools), and
    what follows from the two. Everything else asks here instead of guessing.

    The product is a 32-bit program. The x86_64 build stands in for it where
    no 32-bit Wine runs (and is tested beside it where one does): it reads the
    host key in the 32-bit view and removes the configuration file from the
    32-bit common files folder, as the product does."""

    launcher: str  # the build under test: "i686" or "x86_64"
    helpers: str   # "i686" where this kernel runs 32-bit Wine, else "x86_64"
    loader: str    # the Wine loader every program is started with

    # A 32-bit product keeps its machine settings in the 32-bit view, and both
    # builds of the launcher read them there.
    host_view = VIEW_32
    # The installer keeps a product's InstallProperties (its "DisplayVersion",
    # from which it answers "VersionString"), and Wine the "CommonFilesDir"
    # values it makes the CommonProgramFiles variables from, in the 64-bit view
    # only, also when 32-bit programs wrote or read them.
    system_view = VIEW_64

    # drive_c folders: what a 32-bit process's CommonProgramFiles names (and a
    # 64-bit process's CommonProgramFiles(x86)), and a 64-bit one's
    # CommonProgramFiles.
    common_files_32 = ("Program Files (x86)", "Common Files")
    common_files_64 = ("Program Files", "Common Files")

    @property
    def launcher_common_files(self):
        """The common program files folder the launcher removes the host
        product's configuration file from: the 32-bit one, in both builds."""
        return self.common_files_32

    @property
    def helper_common_files(self):
        """What CommonProgramFiles names in a helper program such as cmd."""
        return self.common_files_32 if self.helpers == "i686" else self.common_files_64

    @property
    def launcher_gcc(self):
        """The compiler for what runs inside the launcher's process."""
        return "%s-w64-mingw32-gcc" % self.launcher

    @property
    def helper_gcc(self):
        """The compiler for the tests' own tools, which any Wine here runs."""
        return "%s-w64-mingw32-gcc" % self.helpers


def _runs_32_bit_programs():
    if os.environ.get("LAUNCHER_E2E_WINE32") == "0":
        return False
    try:
        return subprocess.run([os.path.join(WINE_DIR, "wine"), "--version"],
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=60).returncode == 0
    except (OSError, subprocess.TimeoutExpired):
        return False


def pe_arch(path):
    """"i686" or "x86_64" from a PE file's header."""
    with open(path, "rb") as f:
        header = f.read(4096)
    (offset,) = struct.unpack_from("<I", header, 0x3C)
    if header[offset:offset + 4] != b"PE\0\0":
        raise ValueError("%s is not a PE file" % path)
    (machine_type,) = struct.unpack_from("<H", header, offset + 4)
    return _PE_MACHINES[machine_type]


@functools.lru_cache(maxsize=None)
def machine():
    if _runs_32_bit_programs():
        helpers, loader_ = "i686", os.path.join(WINE_DIR, "wine")
    else:
        helpers, loader_ = "x86_64", os.path.join(WINE_DIR, "wine64")
    launcher = os.environ.get("LAUNCHER_E2E_MINGW_ARCH")
    if not launcher:
        exe = os.environ.get("LAUNCHER_E2E_EXE")
        launcher = pe_arch(exe) if exe and os.path.exists(exe) else helpers
    return Machine(launcher, helpers, loader_)


def loader():
    return machine().loader


def reg_view_args(view):
    """reg.exe's switch for a view. It is always named: reg.exe's own default
    is its bitness's view, and which reg.exe runs depends on the machine."""
    if view not in (VIEW_32, VIEW_64):
        raise ValueError("no registry view %r" % (view,))
    return ["/reg:%d" % view]


def wine_env(prefix, extra=None):
    env = dict(os.environ)
    env.update(WINEPREFIX=prefix, WINELOADER=loader(), WINEDEBUG="-all")
    env.update(extra or {})
    return env


def _quiet(args, env, timeout=300):
    # Never hand Wine our pipes: its background processes would keep them open.
    subprocess.run(args, env=env, check=True, timeout=timeout,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def run_command(args, env, cwd=None, timeout=60):
    """Runs a command with its output in files rather than pipes (see _quiet);
    returns (exit code, stdout, stderr)."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        code = subprocess.run(args, env=env, cwd=cwd, timeout=timeout,
                              stdin=subprocess.DEVNULL, stdout=out,
                              stderr=err).returncode
        out.seek(0)
        err.seek(0)
        return (code, out.read().decode("utf-8", "replace"),
                err.read().decode("utf-8", "replace"))


def stop_server(prefix):
    subprocess.run([WINESERVER, "-k"], env=wine_env(prefix),
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60)


def default_master_path():
    return os.path.join(os.environ["LAUNCHER_E2E_WORK"], "master-prefix")


def ensure_master_prefix(path=None):
    """Makes the master prefix at path, once: later calls, from this or any
    other process, find the stamp and return at once."""
    path = os.path.abspath(path or default_master_path())
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if os.path.exists(os.path.join(path, _STAMP)):
            return path
        if os.path.exists(path):  # left half-made by an interrupted run
            stop_server(path)
            shutil.rmtree(path)
        # No Mono or Gecko: nothing here needs them and their installers
        # would only ask.
        env = wine_env(path, {"WINEDLLOVERRIDES": "mscoree,mshtml="})
        _quiet([loader(), "wineboot", "-i"], env)
        _quiet([loader(), "reg", "add", r"HKCU\Software\Wine\Drivers",
                "/v", "Graphics", "/d", "null", "/f", *reg_view_args(VIEW_64)], env)
        _quiet([WINESERVER, "-w"], env)
        open(os.path.join(path, _STAMP), "w").close()
    return path


def clone_prefix(master, dest):
    """Copies master to dest (which may exist and be empty), hard-linking the
    big system folders; dest must be on the same file system."""
    stop_server(master)
    linked = tuple(os.path.join(master, "drive_c", "windows", d) + os.sep
                   for d in _LINKED_DIRS)

    def copy(src, dst):
        if src.startswith(linked) and not src.endswith(".reg"):
            os.link(src, dst)
        else:
            shutil.copy2(src, dst)

    shutil.copytree(master, dest, symlinks=True, copy_function=copy,
                    dirs_exist_ok=True, ignore=shutil.ignore_patterns(_STAMP))
    return dest


def quote_argument(arg):
    """Quotes one argument so that CommandLineToArgvW gives it back unchanged.
    Quotes are added only around blanks (and an empty argument), exactly as
    Wine's loader does, so the two always give the same command line."""
    wrap = not arg or " " in arg or "\t" in arg
    if not wrap and '"' not in arg:
        return arg
    out, slashes = "", 0
    for c in arg:
        if c == '"':
            out += "\\" * (slashes + 1)  # doubles the backslashes before it, escapes it
        slashes = slashes + 1 if c == "\\" else 0
        out += c
    return '"%s%s"' % (out, "\\" * slashes) if wrap else out


def command_line(argv):
    return " ".join(quote_argument(a) for a in argv)


@dataclasses.dataclass
class WatchResult:
    events: list
    log: str  # Wine's stderr: the relay log when it was on

    @property
    def boxes(self):
        return [e for e in self.events if e["event"] == "box"]

    @property
    def timed_out(self):
        return any(e["event"] == "timeout" for e in self.events)

    @property
    def exit_code(self):
        """The full 32-bit exit code, or None after a time-out."""
        ends = [e["code"] for e in self.events if e["event"] == "exit"]
        return ends[0] if ends else None

    @property
    def command_line(self):
        return self.events[0]["command_line"]


class Prefix:
    """A clone of the master prefix with its own wineserver, for one test or
    one test class; removed again on leaving the with-block."""

    def __init__(self, master=None, watcher=None, graphics=None):
        self.master = master or ensure_master_prefix()
        self.watcher = watcher or os.environ["LAUNCHER_E2E_WATCHER"]
        # None keeps the master's driver (null); "x11" shows the windows on
        # $DISPLAY.
        self.graphics = graphics
        self.path = None
        self._relay = False
        self._reports = 0

    def __enter__(self):
        self.path = tempfile.mkdtemp(prefix="prefix-",
                                     dir=os.path.dirname(self.master))
        try:
            clone_prefix(self.master, self.path)
            if self.graphics:
                # Set before any window exists; the server then exits, so
                # that the persistent one below starts from this registry.
                _quiet([loader(), "reg", "add", r"HKCU\Software\Wine\Drivers",
                        "/v", "Graphics", "/d", self.graphics, "/f",
                        *reg_view_args(VIEW_64)], self.env())
                _quiet([WINESERVER, "-w"], self.env())
            # A persistent server with its output away from our pipes makes
            # every later call fast.
            _quiet([WINESERVER, "-p60"], self.env())
            _quiet([loader(), "cmd", "/c", "exit"], self.env())
        except BaseException:
            self._remove()
            raise
        return self

    def __exit__(self, *exc):
        self._remove()

    def _remove(self):
        stop_server(self.path)
        shutil.rmtree(self.path, ignore_errors=True)

    def env(self, extra=None):
        return wine_env(self.path, extra)

    def wine(self, args, env=None, cwd=None, timeout=60):
        """Runs a Windows command; returns (exit code, stdout, stderr)."""
        return run_command([loader(), *args], self.env(env), cwd, timeout)

    def run_watched(self, exe, args=(), env=None, cwd=None, timeout=60):
        """Runs exe (a Unix or Windows path) with args through the watcher,
        which answers every message box with its default button."""
        self._reports += 1
        report = os.path.join(self.path, "watch-%d.jsonl" % self._reports)
        child = [self.win_path(exe) if exe.startswith("/") else exe, *args]
        extra = dict(env or {})
        if self._relay:
            extra["WINEDEBUG"] = "+relay"
            self._relay = False
        # Wine joins the arguments after "--" with the same quoting rules;
        # the check below holds it to that.
        watch = [loader(), self.watcher, self.win_path(report),
                 str(int(timeout * 1000)), "--", *child]
        code, out, err = run_command(watch, self.env(extra), cwd, timeout + 30)
        if code != 0 and not os.path.exists(report):
            # The loader now and then fails to start the watcher at all (exit
            # 1, nothing said) on a busy machine; nothing ran, so once more.
            time.sleep(0.5)
            code, out, err = run_command(watch, self.env(extra), cwd, timeout + 30)
        events = []
        if os.path.exists(report):
            with open(report, encoding="utf-8") as f:
                events = [json.loads(line) for line in f]
        if code != 0:
            raise RuntimeError("watcher failed (%d): %s %s" % (code, events, err))
        result = WatchResult(events, err)
        if result.command_line != command_line(child):
            raise RuntimeError("command line arrived as %r, not %r"
                               % (result.command_line, command_line(child)))
        return result

    # The registry calls below work in the 64-bit view unless told otherwise:
    # it is the one the installer and Wine's own settings live in, and the
    # 32-bit view is reached there under Wow6432Node.

    def _reg(self, args, view):
        return self.wine(["reg", *args, *reg_view_args(view)])

    @staticmethod
    def _value_args(name):
        return ["/ve"] if name is None else ["/v", name]

    def reg_add(self, key, name, data, type="REG_SZ", view=VIEW_64):
        """Sets a value (name None: the key's default value)."""
        code, out, err = self._reg(["add", key, *self._value_args(name),
                                    "/t", type, "/d", str(data), "/f"], view)
        if code != 0:
            raise RuntimeError("reg add %s failed: %s%s" % (key, out, err))

    def reg_query(self, key, name=None, view=VIEW_64):
        """The value's data, as int for REG_DWORD and REG_QWORD, else as
        reg prints it; None when the key or value does not exist."""
        code, out, _ = self._reg(["query", key, *self._value_args(name)], view)
        if code != 0:
            return None
        for line in out.splitlines():
            fields = re.split(r" {4}", line.strip("\r\n").lstrip(" "), maxsplit=2)
            if len(fields) >= 2 and fields[1].startswith("REG_"):
                data = fields[2] if len(fields) == 3 else ""
                if fields[1] in ("REG_DWORD", "REG_QWORD"):
                    return int(data, 16)
                if name is None and data == "(value not set)":
                    return None
                return data
        return None

    def reg_delete(self, key, name=None, view=VIEW_64):
        """Deletes a value, or the whole key when name is None; True if done."""
        args = ["delete", key] + ([] if name is None else ["/v", name]) + ["/f"]
        return self._reg(args, view)[0] == 0

    @staticmethod
    def win_path(unix_path):
        """The Windows path of a Unix path, through drive Z:."""
        return "Z:" + os.path.abspath(unix_path).replace("/", "\\")

    def temp_dir(self):
        """Unix path of the prefix user's Temp folder (C:\\users\\<user>\\Temp)."""
        found = [d for d in glob.glob(os.path.join(self.path, "drive_c", "users",
                                                   "*", "Temp"))
                 if os.sep + "Public" + os.sep not in d]
        if len(found) != 1:
            raise RuntimeError("no single user Temp folder: %s" % found)
        return found[0]

    def relay(self, include):
        """Logs the calls to the functions named in include ("dll.Function")
        during the next run_watched; its result's .log holds them."""
        key = r"HKCU\Software\Wine\Debug"
        self.reg_add(key, "RelayInclude", ";".join(include))
        self.reg_add(key, "RelayFromExclude", _RELAY_FROM_EXCLUDE)
        self._relay = True


# One argument of a relay line: a hex number, then perhaps a string
# (L"..." or "..."), cut short with "..." when long.
_RELAY_ARG = re.compile(r'([0-9a-fA-F]+)(?: L?"((?:[^"\\]|\\.)*)"(?:\.\.\.)?)?(,|$)')
_RELAY_ESCAPES = {"n": "\n", "r": "\r", "t": "\t", '"': '"', "\\": "\\"}


def _unescape(text):
    def one(m):
        s = m.group(1)
        if s in _RELAY_ESCAPES:
            return _RELAY_ESCAPES[s]
        return chr(int(s[1:] if s[0] == "x" else s, 16))
    return re.sub(r'\\(x[0-9a-fA-F]{2}|[0-9a-fA-F]{4}|.)', one, text)


def relay_calls(log_text, function):
    """The argument lists of every logged call to function ("user32.MessageBoxW"),
    in order; a string argument gives its text, any other its number."""
    head = "Call %s(" % function
    calls = []
    for line in log_text.splitlines():
        start = line.find(head)
        end = line.rfind(") ret=")
        if start < 0 or end < 0:
            continue
        rest, pos, args = line[start + len(head):end], 0, []
        while pos < len(rest):
            m = _RELAY_ARG.match(rest, pos)
            if not m:
                raise ValueError("unreadable relay line: %s" % line)
            args.append(int(m.group(1), 16) if m.group(2) is None
                        else _unescape(m.group(2)))
            pos = m.end()
        calls.append(args)
    return calls


if __name__ == "__main__":
    print(ensure_master_prefix())
