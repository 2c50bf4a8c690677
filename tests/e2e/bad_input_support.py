"""What the bad-input tests feed to launcher.exe, and how they judge what comes back.

- Variants of launcher.exe with one resource replaced or removed, made by
  tools/reresource.exe through the system's own resource-update calls, so that no rebuild
  is needed per variant; pefile confirms that each variant holds what was asked for.
- Patch packages with a chosen target list (msibuild), damaged copies of them, and
  string-table blocks.
- Registry values written byte for byte (tools/regvalue.exe), and small file systems
  that fill up.
"""

import contextlib
import glob
import hashlib
import os
import re
import struct
import subprocess
import tempfile

import e2e_common
import sample_products
from e2e_common import LauncherTestCase

HERE = os.path.dirname(os.path.abspath(__file__))
TOOLS = os.path.join(HERE, "tools")

RT_STRING = 6
RT_VERSION = 16
ENGLISH = 1033
PACKAGE_LANGUAGE = 1046  # the language the package resource is stored under

ERROR_FILE_NOT_FOUND = 2
ERROR_PATH_NOT_FOUND = 3
ERROR_ACCESS_DENIED = 5
ERROR_WRITE_PROTECT = 19
ERROR_DISK_FULL = 112
ERROR_FILENAME_EXCED_RANGE = 206
ERROR_RESOURCE_TYPE_NOT_FOUND = 1813
ERROR_INSTALL_FAILURE = 1603
ERROR_FUNCTION_FAILED = 1627
ERROR_PATCH_TARGET_NOT_FOUND = 1642

TARGETS = e2e_common.sample_targets().split(";")
TABLES = {language: e2e_common.string_table(language) for language in (1031, 1033)}
_CAPTIONS = {300: 311, 301: 312, 306: 313, 307: 311, 308: 311, 310: 311}


def message(id, argument=None, language=ENGLISH):
    """(caption, text) of one of the launcher's boxes. Message 300 without an argument
    stands for any error code."""
    table = TABLES[language]
    text = table[id]
    if argument is not None:
        text = text.replace("%d" if id == 300 else "%s", str(argument))
    return table[_CAPTIONS[id]], text


def list_box(text):
    return "List of Products", text


# --- Tools built for the machine's Windows target ------------------------------------

def tool(name):
    """tools/<name>.c built once per build tree and source text; returns the .exe's path."""
    source = os.path.join(TOOLS, name + ".c")
    with open(source, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()[:12]
    exe = os.path.join(e2e_common.WORK, "bad-input", "%s-%s.exe" % (name, digest))
    if not os.path.exists(exe):
        os.makedirs(os.path.dirname(exe), exist_ok=True)
        target = sample_products.windows_target()
        built = "%s.%d.new" % (exe, os.getpid())
        done = subprocess.run([target.gcc, "-municode", "-static", "-O2", "-Wall", "-o", built,
                               source],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if done.returncode != 0:
            raise RuntimeError("building %s failed:\n%s" % (name, done.stdout))
        os.replace(built, exe)  # whole or not at all, for test processes running beside us
    return exe


def run_tool_status(prefix, name, *args):
    """Runs tools/<name>.c whatever its exit code (Wine hands on only its low 8 bits); returns
    what it printed."""
    code, out, err = prefix.wine([prefix.win_path(tool(name)), *args], timeout=120)
    return out


def run_tool(prefix, name, *args):
    exe = tool(name)
    code, out, err = prefix.wine([prefix.win_path(exe), *args], timeout=120)
    if code != 0:
        raise RuntimeError("%s %s failed: %s %s" % (name, " ".join(args)[:200], out, err))
    return out


# --- Resources -----------------------------------------------------------------------

def string_block(entries):
    """The bytes of one string-table block: 16 entries, each a UTF-16 count and its units.
    `entries` maps an index within the block (id % 16) to its text."""
    out = b""
    for index in range(16):
        text = entries.get(index, "").encode("utf-16-le")
        out += struct.pack("<H", len(text) // 2) + text
    return out


def _resource_entries(exe, type_, name):
    """The language entries of one resource of a PE file: [(language, bytes)]."""
    import pefile  # python3-pefile
    pe = pefile.PE(exe, fast_load=True)
    try:
        pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
        found = []
        directory = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
        for t in directory.entries if directory else []:
            for n in t.directory.entries if _matches(t, type_) else []:
                for lang in n.directory.entries if _matches(n, name) else []:
                    entry = lang.data.struct
                    found.append((lang.id, pe.get_data(entry.OffsetToData, entry.Size)))
        return found
    finally:
        pe.close()


def resource_bytes(exe, type_, name, language):
    """The bytes of one resource as the PE file holds it, or None when it is absent."""
    return dict(_resource_entries(exe, type_, name)).get(language)


def resource_language(exe, type_, name):
    """The language of the first entry of a resource, or None when it is absent."""
    found = _resource_entries(exe, type_, name)
    return found[0][0] if found else None


def _matches(entry, wanted):
    if isinstance(wanted, int):
        return entry.name is None and entry.id == wanted
    return entry.name is not None and str(entry.name) == wanted


class Variants:
    """Copies of a program, each with one resource changed, made inside a prefix."""

    def __init__(self, prefix, folder):
        self.prefix = prefix
        self.folder = folder

    def make(self, name, type_, resource, language, data=None, source=None):
        """A variant of `source` (launcher.exe unless given) named `name`, with the resource
        replaced by `data`, or removed when data is None."""
        exe = os.path.join(self.folder, name)
        args = [self.prefix.win_path(source or e2e_common.EXE), self.prefix.win_path(exe),
                str(type_), str(resource), str(language)]
        data_file = exe + ".data"
        if data is not None:
            with open(data_file, "wb") as f:
                f.write(data)
            args.append(self.prefix.win_path(data_file))
        run_tool(self.prefix, "reresource", *args)
        if data is not None:
            os.remove(data_file)
        # What the loader will find is what a PE reader finds.
        if resource_bytes(exe, type_, resource, language) != data:
            raise RuntimeError("%s does not hold the resource it was made with" % exe)
        return exe

    def package(self, name, data):
        return self.make(name + ".exe", "MSP", "IDR_MSP", PACKAGE_LANGUAGE, data)

    def string(self, name, string_id, text):
        """A variant whose entry `string_id` (700 or 900, each alone in its block) reads
        `text`; None removes the block."""
        data = None if text is None else string_block({string_id % 16: text})
        return self.make(name + ".exe", RT_STRING, string_id // 16 + 1, ENGLISH, data)


# --- Patch packages ------------------------------------------------------------------

def make_package(folder, template):
    """The bytes of a package made by msibuild whose summary information names `template`
    as its target list. It holds no transforms: it changes no product."""
    path = os.path.join(folder, "package.msp")
    if os.path.exists(path):
        os.remove(path)
    subprocess.run(["msibuild", path, "-s", "Patch", "Brimfold", template,
                    e2e_common.PATCH_GUID], check=True,
                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    with open(path, "rb") as f:
        data = f.read()
    os.remove(path)
    return data


_SUMMARY_NAME = "\x05SummaryInformation".encode("utf-16-le")


def without_summary(package):
    """The package with its summary-information stream renamed out of the way. The name
    keeps its length, so the directory's order of names, and every other stream, stay."""
    data = bytearray(package)
    at = -1
    while True:
        at = data.find(_SUMMARY_NAME + b"\0\0", at + 1)
        if at < 0:
            raise ValueError("no summary information in the package")
        if at % 128 == 0:  # where a directory entry begins
            break
    end = at + len(_SUMMARY_NAME)
    data[end - 2:end] = "X".encode("utf-16-le")
    return bytes(data)


def padded_list(length, last):
    """A target list of exactly `length` characters that ends in the code `last`, after
    one segment that names no product."""
    pad = length - len(last) - 1
    if pad < 1:
        raise ValueError("no room for %r in %d characters" % (last, length))
    return "x" * pad + ";" + last


# --- Registry --------------------------------------------------------------------------

def install_properties_key(code):
    """Where the installer keeps a per-machine product's install properties; it answers
    "VersionString" from their "DisplayVersion"."""
    return ("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData"
            "\\S-1-5-18\\Products\\%s\\InstallProperties" % sample_products.pack_product_code(code))


def set_raw_value(prefix, hklm_subkey, name, type_, data):
    """Writes an HKLM value of the 32-bit view exactly as the bytes `data` are, of any
    type: a string without its terminator, too."""
    run_tool(prefix, "regvalue", hklm_subkey, name, str(type_), data.hex())


# --- File systems that fill up ---------------------------------------------------------

@contextlib.contextmanager
def small_file_system(parent, size="64k"):
    """A tmpfs of `size` mounted on a new folder under `parent`, unmounted afterwards.
    Raises OSError when this machine does not let us mount one (not root)."""
    folder = tempfile.mkdtemp(prefix="small-fs-", dir=parent)
    done = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=" + size, "tmpfs", folder],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if done.returncode != 0:
        os.rmdir(folder)
        raise OSError("cannot mount a tmpfs: " + done.stdout.strip())
    try:
        yield folder
    finally:
        subprocess.run(["umount", "-l", folder], check=False)
        os.rmdir(folder)


def remount(folder, mode):
    """Makes the small file system on `folder` read-only ("ro") or writable ("rw")."""
    subprocess.run(["mount", "-o", "remount," + mode, folder], check=True)


def fill(folder):
    """Writes one file until the file system holding `folder` is full; returns its path."""
    path = os.path.join(folder, "filler")
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL)
    try:
        while True:
            os.write(fd, b"\0" * 512)
    except OSError:
        pass  # full
    finally:
        os.close(fd)
    return path


def snapshot(folder):
    """name -> bytes of every file directly in `folder`."""
    out = {}
    for name in os.listdir(folder):
        path = os.path.join(folder, name)
        if os.path.isfile(path):
            with open(path, "rb") as f:
                out[name] = f.read()
    return out


# --- Test case -------------------------------------------------------------------------

class BadInputCase(LauncherTestCase):
    """Runs the launcher (or a variant of it) and holds each run to a row of the matrix:
    the boxes a person sees, in order, and the exit code."""

    def run_launcher(self, exe=None, args=(), cwd=None, timeout=120):
        result = self.prefix.run_watched(exe or e2e_common.EXE, list(args), cwd=cwd,
                                         timeout=timeout)
        self.assertFalse(result.timed_out, "the launcher did not end: %s" % result.events)
        return result

    def assertOutcome(self, result, boxes, exit_code):
        seen = [(b["caption"], b["text"]) for b in result.boxes]
        self.assertEqual(len(seen), len(boxes), seen)
        for (caption, text), (want_caption, want_text) in zip(seen, boxes):
            self.assertEqual(caption, want_caption, text)
            if "%d" in want_text:  # message 300 with whatever error code
                self.assertRegex(text, "^" + re.escape(want_text).replace("%d", r"-?\d+") + "$")
            else:
                self.assertEqual(text, want_text)
        if isinstance(exit_code, (tuple, set, frozenset)):
            self.assertIn(result.exit_code, exit_code)
        else:
            self.assertEqual(result.exit_code, exit_code)

    def temp_packages(self, folder=None):
        return set(glob.glob(os.path.join(folder or self.prefix.temp_dir(), "MSP*")))

    def drive_c(self, *parts):
        return os.path.join(self.prefix.path, "drive_c", *parts)
