#!/usr/bin/env python3
"""Tests of cmake/fill_patch_size.py, which puts the launcher's size into the texts, of
cmake/sign_launcher.py signing the launcher to that size, and of cmake/mark_run_from_swap.py
and cmake/align_resource_section.py, which finish its image before."""
import argparse
import os
import struct
import sys
import tempfile
import unittest
from unittest import mock

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "cmake"))

import align_resource_section  # noqa: E402
import fill_patch_size  # noqa: E402
import mark_run_from_swap  # noqa: E402
import sign_launcher  # noqa: E402


class Filled(unittest.TestCase):
    def test_only_the_value_of_the_first_patch_size_line_changes(self):
        cases = [
            (b"A=1\r\nPatchSize=9818112\r\nB=2\r\n", b"A=1\r\nPatchSize=123\r\nB=2\r\n"),
            (b"PatchSize=1\r\n", b"PatchSize=123\r\n"),                  # first line
            (b"A=1\r\nPatchSize=", b"A=1\r\nPatchSize=123"),              # last, unended
            (b"PatchSize=\r\n", b"PatchSize=123\r\n"),                   # empty value
            (b"PatchSize=n/a\nX=\xe9\r\n", b"PatchSize=123\nX=\xe9\r\n"),  # to its line end
            (b"PatchSize=1\r\nPatchSize=2\r\n", b"PatchSize=123\r\nPatchSize=2\r\n"),
            (b"OldPatchSize=1\r\nPatchSize=2\r\n", b"OldPatchSize=1\r\nPatchSize=123\r\n"),
        ]
        for text, expected in cases:
            self.assertEqual(fill_patch_size.filled(text, 123), expected, text)

    def test_a_text_without_the_line_is_refused(self):
        for text in (b"", b"A=1\r\n", b"A=1 PatchSize=2\r\n"):
            with self.assertRaises(ValueError):
                fill_patch_size.filled(text, 1)


class Files(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.source = self.path("206.txt", b"A=1\r\nPatchSize=1\r\n")
        self.exe = self.path("launcher.exe", b"x" * 5000)
        self.output = os.path.join(self.dir, "out", "206.txt")

    def path(self, name, data):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def test_fill_then_check(self):
        for plus in (0, 1552):
            fill_patch_size.fill(self.source, self.exe, self.output, plus)
            with open(self.output, "rb") as f:
                self.assertEqual(f.read(), b"A=1\r\nPatchSize=%d\r\n" % (5000 + plus))
            self.assertTrue(fill_patch_size.check(self.exe, [self.output], plus))

    def test_an_unchanged_text_is_only_touched(self):
        fill_patch_size.fill(self.source, self.exe, self.output)
        os.utime(self.output, (1, 1))
        fill_patch_size.fill(self.source, self.exe, self.output)
        self.assertGreater(os.path.getmtime(self.output), 1)

    def test_an_executable_off_its_number_is_removed(self):
        fill_patch_size.fill(self.source, self.exe, self.output)
        with open(self.exe, "ab") as f:
            f.write(b"!")
        self.assertFalse(fill_patch_size.check(self.exe, [self.output]))
        self.assertFalse(os.path.exists(self.exe))

    def test_an_executable_off_any_copy_is_removed(self):
        fill_patch_size.fill(self.source, self.exe, self.output)
        left_as_it_was = self.path("206.1046.txt", b"PatchSize=11516928\r\n")
        self.assertFalse(fill_patch_size.check(self.exe, [self.output, left_as_it_was]))
        self.assertFalse(os.path.exists(self.exe))


class SignedToTheSize(unittest.TestCase):
    """A signature's length may change from one signing to the next; the launcher is signed
    again until it has the size its text names, and no more often."""

    def test_signings(self):
        cases = [
            # (lengths the signings give, in turn, PatchSize, signings, the size it ends at)
            ([16, 24, 16], b"PatchSize=5024\r\n", 2, 5024),
            ([16, 24], b"PatchSize=5016\r\n", 1, 5016),
            ([8], b"PatchSize=5001\r\n", sign_launcher.SIGNINGS_FOR_SIZE, 5008),
            ([16, 24], None, 1, 5016),  # no PatchSize to reach: signed once
        ]
        folder = tempfile.mkdtemp()
        for lengths, text, signings, size in cases:
            with self.subTest(lengths=lengths, text=text):
                exe = os.path.join(folder, "launcher.exe")
                with open(exe, "wb") as f:
                    f.write(b"x" * 5000)
                text_path = None
                if text is not None:
                    text_path = os.path.join(folder, "206.txt")
                    with open(text_path, "wb") as f:
                        f.write(text)
                made = []

                def sign_once(args, source, output):
                    with open(source, "rb") as f, open(output, "wb") as out:
                        out.write(f.read() + b"s" * lengths[len(made) % len(lengths)])
                    made.append(output)

                with mock.patch.object(sign_launcher, "check_purpose"), \
                        mock.patch.object(sign_launcher, "sign_once", sign_once):
                    sign_launcher.sign(argparse.Namespace(exe=exe, size_in=text_path))
                self.assertEqual((len(made), os.path.getsize(exe)), (signings, size))
                self.assertEqual(sorted(os.listdir(folder)), ["206.txt"] * bool(text) + ["launcher.exe"])
                for name in os.listdir(folder):
                    os.remove(os.path.join(folder, name))


class MarkedToRunFromSwap(unittest.TestCase):
    def test_what_is_no_pe_image_is_refused(self):
        beyond_the_header = bytearray(8192)
        beyond_the_header[:2] = b"MZ"
        struct.pack_into("<I", beyond_the_header, 0x3C, 4090)
        beyond_the_header[4090:4094] = b"PE\0\0"
        for data in (b"", b"MZ", b"ZM" + bytes(4094), b"MZ" + bytes(4094), beyond_the_header):
            with self.subTest(data=bytes(data[:8])):
                path = os.path.join(tempfile.mkdtemp(), "launcher.exe")
                with open(path, "wb") as f:
                    f.write(data)
                with self.assertRaises(mark_run_from_swap.Refused):
                    mark_run_from_swap.mark(path)


def image(sections, directory=(0, 0, 0)):
    """A PE32 image of `sections` [(name, raw bytes)], one after the other from byte 1,024;
    `directory` (index, offset, size) sets one entry of its data directories."""
    header = bytearray(1024)
    header[:2], header[0x80:0x84] = b"MZ", b"PE\0\0"
    struct.pack_into("<I", header, 0x3C, 0x80)
    struct.pack_into("<HHHHH", header, 0x84, 0x14C, len(sections), 0, 0, 0)
    struct.pack_into("<HH", header, 0x94, 224, 0)
    struct.pack_into("<H", header, 0x98, 0x10B)
    struct.pack_into("<II", header, 0x98 + 96 + 8 * directory[0], *directory[1:])
    data = bytearray()
    for n, (name, raw) in enumerate(sections):
        header[0x178 + 40 * n:0x178 + 40 * n + len(name)] = name
        struct.pack_into("<II", header, 0x178 + 40 * n + 16, len(raw), len(header) + len(data))
        data += raw
    return bytes(header + data)


class AlignedResourceSection(unittest.TestCase):
    def aligned(self, data, align_from=0):
        path = os.path.join(tempfile.mkdtemp(), "launcher.exe")
        with open(path, "wb") as f:
            f.write(data)
        align_resource_section.align(path, align_from)
        with open(path, "rb") as f:
            return f.read()

    def test_moved_to_a_page_and_every_section_read_as_before(self):
        raws = (b"t" * 512, b"r" * 1024, b"x" * 512)
        after = self.aligned(image(list(zip((b".text", b".rsrc", b".reloc"), raws))), 1024)
        _, rows = align_resource_section.sections(after)
        self.assertEqual([offset for _, _, offset in rows], [1024, 4096, 5120])
        self.assertEqual([after[offset:offset + size] for _, size, offset in rows], list(raws))
        self.assertEqual(len(after), 5632)

    def test_left_alone_or_refused(self):
        two = [(b".text", bytes(512)), (b".rsrc", bytes(1024))]
        for name, data, align_from, refused in (
                ("smaller than the threshold", image(two), 1025, False),
                ("on a page already", image([(b".text", bytes(3072)), two[1]]), 0, False),
                ("no resources", image(two[:1]), 0, False),
                ("no image", b"MZ" + bytes(100), 0, True),
                ("a certificate table", image(two, (4, 2048, 16)), 0, True),
                ("a debug directory", image(two, (6, 2048, 28)), 0, True)):
            with self.subTest(name):
                if refused:
                    self.assertRaises(align_resource_section.Refused, self.aligned, data, align_from)
                else:
                    self.assertEqual(self.aligned(data, align_from), data)


if __name__ == "__main__":
    unittest.main()
