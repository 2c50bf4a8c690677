#!/usr/bin/env python3
"""What the build reads from a patch package, and each package, given version or text it
refuses: variants of the sample package, made by its generator.

    test_read_patch_package.py [--cmake CMAKE -- CONFIGURE-ARGUMENTS]

With --cmake, the configure step itself is run too, for the rows that check its wiring.
"""
import dataclasses
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

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


# (row, transforms, given target, given candidates, (text file, key, new value) or None,
#  the refusal's words or (700, 900))
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
]


class ReadPatchPackage(unittest.TestCase):
    def setUp(self):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        self.folder = Path(folder.name)

    def package(self, name, variant):
        path = self.folder / f"{name}.msp"
        sample.build(path, 200000, transforms=variant)
        return path

    def texts(self, change):
        folder = self.folder / "texts"
        shutil.copytree(SHIPPED_TEXTS, folder, dirs_exist_ok=True)
        if change:
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
