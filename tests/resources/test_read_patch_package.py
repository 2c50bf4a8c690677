#!/usr/bin/env python3
"""What the build reads from a patch package, and each package, given version or text it
refuses: variants of the sample package, made by its generator.

    test_read_patch_package.py [--cmake CMAKE -- CONFIGURE-ARGUMENTS]

With --cmake, the configure step itself is run too, for the rows that check its wiring.
"""
import codecs
import dataclasses
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path
from unittest import mock

SOURCE = Path(__file__).resolve().parents[2]
CONFIGURE = {}
sys.path.insert(0, str(SOURCE / "resources" / "sample_package"))
import make_sample_package as sample  # noqa: E402

TARGETS = sample.load_targets()
SHIPPED_TEXTS = SOURCE / "resources" / "patch_info"


def transforms(change=lambda t: t):
    """The sample's transforms, each passed through change (None drops it)."""
    changed = (change(t) for t in sample.sample_transforms(TARGETS, "8.2.0.4"))
    return [t for t in changed if t is not None]


def first(**fields):
    """Changes the first transform only."""
    return lambda t: dataclasses.replace(t, **fields) if t.name == "RTMToSP2.1" else t


def damaged(edit):
    """The sample, its bytes changed in place by edit."""
    def make(path):
        sample.build(path, 200000)
        data = bytearray(path.read_bytes())
        edit(data)
        path.write_bytes(data)
    return make


def cut(length):
    return damaged(lambda data: data.__delitem__(slice(length, None)))


def at_directory(offset, value):
    """The sample with a 32-bit value put at offset from the start of its directory."""
    def edit(data):
        struct.pack_into("<I", data, 512 * (struct.unpack_from("<I", data, 48)[0] + 1) + offset, value)
    return damaged(edit)


def directory_chain_to(sector):
    """The sample whose directory's first sector leads to sector (None: to itself); the
    sample's sector table starts at sector 0."""
    def edit(data):
        first, = struct.unpack_from("<I", data, 48)
        struct.pack_into("<I", data, 512 + 4 * first, first if sector is None else sector)
    return damaged(edit)


def filler_longer(data):
    entry = data.index(sample.stream_name(sample.FILLER_STREAM, table=False).encode("utf-16-le"))
    struct.pack_into("<I", data, entry + 120, len(data))


def stored_as(summary, pid, vtype, value):
    """The sample with one property of its summary ("summary_properties") or of its
    transforms' ("transform_summary_properties") stored with another type or value."""
    def make(path):
        original = getattr(sample, summary)
        changed = lambda *a: [(p, vtype, value) if p == pid else (p, t, v)  # noqa: E731
                              for p, t, v in original(*a)]
        with mock.patch.object(sample, summary, changed):
            sample.build(path, 200000)
    return make


SAVE_AS = "; the launcher hands the text on byte for byte, so save it in Windows-1252 (ANSI)"

# (row, transforms or a maker of the package, given target, given candidates, None or
#  (text file, key, new value) or (text file, edit of its bytes), the refusal's words or
#  (700, 900))
ROWS = [
    ("the sample alone", transforms(), "", "", None, ("8.2.0.4", "8.0.24.6,8.1.0.3,")),
    ("given versions agree, in another order", transforms(), "8.2.0.4", "8.1.0.3,8.0.24.6,",
     None, ("8.2.0.4", "8.1.0.3,8.0.24.6,")),
    ("another target version given", transforms(), "8.2.0.5", "", None,
     "LAUNCHER_TARGET_VERSION is 8.2.0.5, but the package's transforms bring products to 8.2.0.4"),
    ("a base version missing", transforms(), "", "8.0.24.6,", None, "8.1.0.3 missing"),
    ("the last version without its comma", transforms(), "", "8.0.24.6,8.1.0.3", None,
     "8.1.0.3 missing"),
    ("a version no transform has", transforms(), "", "8.0.24.6,8.2.0.4,8.1.0.3,", None,
     "8.2.0.4 in the list, which no transform has as its base"),
    ("transforms to different versions", transforms(first(new_version="8.2.0.5")), "", "", None,
     "different versions (8.2.0.5: RTMToSP2.1; 8.2.0.4: SP1ToSP2.1"),
    ("base equals new", transforms(first(base_version="8.2.0.4")), "", "", None,
     "from 8.2.0.4 to 8.2.0.4: the same version"),
    ("no version checked", transforms(first(validation=0x0902)), "", "", None,
     "RTMToSP2.1 checks no version (validation flags 0x0902)"),
    ("a relation other than equal", transforms(first(validation=0x0A22)), "", "", None,
     "RTMToSP2.1 accepts versions >= to its base 8.0.24.6"),
    ("a product not in the template", transforms(first(product="{00000000-B217-0000-0000-000000000000}")),
     "", "", None, "is for product {00000000-B217-0000-0000-000000000000}, which is not among"),
    ("a target without a transform", transforms(lambda t: None if t.product == TARGETS[-1] else t),
     "", "", None, f"target product {TARGETS[-1]} of its template has no transform"),
    ("no transform listed", [], "", "", None, "is not a patch package: its summary information names no transform"),
    ("only \"#\" transforms", transforms(lambda t: t if t.twin else None), "", "", None,
     "it lists no transform but \"#\" ones"),
    ("another patch code in a text", transforms(), "", "",
     ("206.txt", "PatchGUID", "{3F1D2B7A-9C4E-4A61-8E25-D7B0C6A91F39}"),
     "206.txt:4: PatchGUID={3F1D2B7A-9C4E-4A61-8E25-D7B0C6A91F39}, but the package's patch code is"),
    ("other versions in a text", transforms(), "", "",
     ("206.1046.txt", "ProductVersionCandidate", "8.0.24.6"),
     "206.1046.txt:2: ProductVersionCandidate=8.0.24.6, but the launcher's candidate versions"),
    ("a text's product not a target", transforms(), "", "",
     ("206.txt", "ProductCode", "{6E8A3C41-B217-4F05-9D3E-58C1A7E4B291}"),
     "206.txt:1: ProductCode={6E8A3C41-B217-4F05-9D3E-58C1A7E4B291}, which is not among"),
    ("a text with a byte-order mark", transforms(), "", "",
     ("206.txt", lambda text: codecs.BOM_UTF8 + text),
     "206.txt: starts with a UTF-8 byte-order mark" + SAVE_AS),
    ("a text in UTF-16", transforms(), "", "",
     ("206.1046.txt", lambda text: text.decode("cp1252").encode("utf-16-le")),
     "206.1046.txt: is in UTF-16" + SAVE_AS),
    ("a text with bare LF line ends", transforms(), "", "",
     ("206.txt", lambda text: text.replace(b"\r\n", b"\n")),
     "206.txt: has line ends other than CR LF" + SAVE_AS),
    ("cut inside the header", cut(100), "", "", None,
     "is cut short: it ends at byte 100, inside its 512-byte header"),
    ("cut inside the sector table", cut(1000), "", "", None,
     "is cut short or damaged: its sector table lies in sector 0, at byte 512, past its end "
     "at byte 1,000"),
    ("cut in half", cut(99840), "", "", None,
     "is cut short: its sector table uses sectors up to byte 199,680, but it ends at byte 99,840"),
    ("its last byte cut", cut(199679), "", "", None, "but it ends at byte 199,679"),
    ("a sector chain that loops", directory_chain_to(None), "", "", None,
     "is damaged: the sector chain of the directory runs into sector 4 again"),
    ("a directory entry past the end", at_directory(116, 0x10000), "", "", None,
     "is cut short or damaged: the sector chain of the mini stream runs to sector 65536, past "
     "the end of the file"),
    ("a directory entry past the directory", at_directory(76, 0xFFFF), "", "",
     None, "is damaged: directory entry 0 (Root Entry) leads to entry 65535, past the end of "
     "its directory"),
    ("a chain into the sector table", directory_chain_to(0), "", "", None,
     "is damaged: the sector chain of the directory runs into sector 0 again, or into another "
     "chain"),
    ("a stream longer than its chain", damaged(filler_longer), "", "", None,
     "is 199,680 bytes, but its sector chain holds 78,848"),
    ("the default sample, its sector table listed in a DIFAT",
     lambda path: sample.build(path, sample.DEFAULT_SIZE), "", "", None,
     ("8.2.0.4", "8.0.24.6,8.1.0.3,")),
    ("no package there", lambda path: None, "", "", None, "cannot be read: No such file"),
    ("code page 0", stored_as("summary_properties", 1, sample.VT_I2, 0), "", "", None,
     "the summary information of the package gives Codepage (property 1) 0, which this "
     "reader cannot decode"),
    ("code page 10000 in a transform", stored_as("transform_summary_properties", 1,
                                                 sample.VT_I2, 10000), "", "", None,
     "the summary information of the transform RTMToSP2.1 gives Codepage (property 1) 10000"),
    ("the template stored as a number", stored_as("summary_properties", 7, sample.VT_I4, 5),
     "", "", None, "the summary information of the package stores Template (property 7) as a "
     "32-bit number (VT_I4), where its format has text (VT_LPSTR)"),
    ("a character count stored as text",
     stored_as("transform_summary_properties", 16, sample.VT_LPSTR, "59965471"), "", "", None,
     "the summary information of the transform RTMToSP2.1 stores Character Count (property 16) "
     "as text (VT_LPSTR), where its format has a 32-bit number (VT_I4)"),
]


class ReadPatchPackage(unittest.TestCase):
    def setUp(self):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        self.folder = Path(folder.name)

    def package(self, name, variant):
        path = self.folder / f"{name}.msp"
        path.unlink(missing_ok=True)
        if callable(variant):
            variant(path)
        else:
            sample.build(path, 200000, transforms=variant)
        return path

    def texts(self, change):
        folder = self.folder / "texts"
        shutil.copytree(SHIPPED_TEXTS, folder, dirs_exist_ok=True)
        if change and len(change) == 2:
            file, edit = change
            (folder / file).write_bytes(edit((folder / file).read_bytes()))
        elif change:
            file, key, value = change
            path = folder / file
            lines = path.read_bytes().split(b"\r\n")
            lines = [key.encode() + b"=" + value.encode() if line.startswith(key.encode() + b"=")
                     else line for line in lines]
            path.write_bytes(b"\r\n".join(lines))
        return folder

    def read(self, package, texts, target="", candidates=""):
        output = self.folder / "versions.cmake"
        done = subprocess.run(
            [sys.executable, str(SOURCE / "cmake" / "read_patch_package.py"), "--package", str(package),
             *(arg for text in sorted(Path(texts).glob("*.txt")) for arg in ("--text", str(text))),
             "--target-version", target,
             "--candidate-versions", candidates, "--output", str(output)],
            capture_output=True, text=True)
        return done, output

    def test_versions_and_refusals(self):
        for row, variant, target, candidates, change, expected in ROWS:
            with self.subTest(row=row):
                package = self.package("variant", variant)
                done, output = self.read(package, self.texts(change), target, candidates)
                if isinstance(expected, tuple):
                    self.assertEqual(done.returncode, 0, done.stderr)
                    self.assertEqual(output.read_text(),
                                     f'set(LAUNCHER_BUILT_TARGET_VERSION "{expected[0]}")\n'
                                     f'set(LAUNCHER_BUILT_CANDIDATE_VERSIONS "{expected[1]}")\n')
                else:
                    self.assertEqual(done.returncode, 1)
                    self.assertNotIn("Traceback", done.stderr)
                    self.assertIn(f"LAUNCHER_PATCH_PACKAGE {package}: ", done.stderr)
                    self.assertIn(expected, done.stderr)

    def test_not_a_compound_file(self):
        junk = self.folder / "junk.msp"
        junk.write_bytes(b"no Windows Installer package")
        done, _ = self.read(junk, SHIPPED_TEXTS)
        self.assertIn("is not a patch package: not a compound file", done.stderr)

    def test_says_where_the_installer_is_looser(self):
        done, _ = self.read(self.package("sample", transforms()), SHIPPED_TEXTS)
        self.assertIn("42 transforms (and 42 \"#\" twins)", done.stdout)
        self.assertIn("versions 8.0.24.6, 8.1.0.3 -> 8.2.0.4", done.stdout)
        self.assertIn("the installer would also take 8.0.24.7 for a base of 8.0.24.6", done.stdout)

    def test_configure(self):
        """The configure step stops on a refusal; with the check off it takes the versions
        given, whatever the package says, and needs both."""
        if not CONFIGURE:
            self.skipTest("no --cmake given")
        package = f"-DLAUNCHER_PATCH_PACKAGE={self.package('refused', transforms(first(new_version='8.2.0.5')))}"
        unchecked = [package, "-DLAUNCHER_CHECK_PACKAGE=OFF", "-DLAUNCHER_TARGET_VERSION=8.2.0.4"]
        cases = [  # (arguments, what the configure step says, whether it fails)
            ([package], "different versions", True),
            (unchecked, "give both LAUNCHER_TARGET_VERSION", True),
            (unchecked + ["-DLAUNCHER_CANDIDATE_VERSIONS=8.0.24.6,"], "nothing was checked", False),
        ]
        for arguments, expected, fails in cases:
            with self.subTest(arguments=arguments):
                tree = tempfile.mkdtemp(dir=self.folder)
                done = subprocess.run([CONFIGURE["cmake"], "-S", str(SOURCE), "-B", tree,
                                       *CONFIGURE["arguments"], "-DBUILD_TESTING=OFF", *arguments],
                                      capture_output=True, text=True)
                self.assertEqual(done.returncode != 0, fails, done.stderr)
                self.assertIn(expected, " ".join((done.stdout + done.stderr).split()))


if __name__ == "__main__":
    if "--cmake" in sys.argv:
        at = sys.argv.index("--cmake")
        end = sys.argv.index("--") if "--" in sys.argv else len(sys.argv)
        CONFIGURE.update(cmake=sys.argv[at + 1], arguments=sys.argv[end + 1:])
        del sys.argv[at:]
    unittest.main()
