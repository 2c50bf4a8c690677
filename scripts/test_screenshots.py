#!/usr/bin/env python3
"""Tests of what demo.py --screenshots relies on: the XWD to PNG conversion, the naming
of the boxes, the hand-over with the watcher, and the virtual display.

Run: /usr/bin/python3 scripts/test_screenshots.py
"""
import json
import os
import shutil
import struct
import subprocess
import tempfile
import threading
import unittest
import zlib

import demo
import xwd_to_png

RGB32 = (0xFF0000, 0xFF00, 0xFF)


def xwd(width, height, pixels, bits=32, masks=RGB32, order=0, visual=4, colors=(),
        pad=0, version=7):
    """A dump as xwd writes it: big-endian header, then the colormap, then the rows
    (each `pad` bytes longer than needed) in byte order `order` (0: LSB first)."""
    step = bits // 8
    line = width * step + pad
    name = b"box\0"
    header = struct.pack(">25I", 100 + len(name), version, 2, 24, width, height, 0, order,
                         32, order, 32, bits, line, visual, *masks, 8, 256, len(colors),
                         width, height, 0, 0, 0)
    palette = b"".join(struct.pack(">IHHHBx", *c, 7) for c in colors)
    body = b"".join(b"".join(p.to_bytes(step, "little" if order == 0 else "big")
                             for p in pixels[y * width:(y + 1) * width]) + b"\xAA" * pad
                    for y in range(height))
    return header + name + palette + body


def decode_png(data):
    """(width, height, rows) of an 8-bit RGB PNG whose rows use filter None or Sub."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, idat, width = 8, b"", None
    while pos < len(data):
        size, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + size]
        assert struct.unpack(">I", data[pos + 8 + size:pos + 12 + size])[0] == zlib.crc32(kind + body)
        if kind == b"IHDR":
            width, height, depth, color = struct.unpack(">IIBB", body[:10])
            assert (depth, color) == (8, 2)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + size
    raw, rows, stride = zlib.decompress(idat), [], width * 3 + 1
    for y in range(height):
        kind, row = raw[y * stride], bytearray(raw[y * stride + 1:(y + 1) * stride])
        if kind == 1:
            for i in range(3, len(row)):
                row[i] = (row[i] + row[i - 3]) & 0xFF
        rows.append(bytes(row))
    return width, height, rows


class XwdConversion(unittest.TestCase):
    def test_pixel_formats(self):
        # two pixels: pure red, then a mix; each format must give the same colours back
        red, mix = b"\xff\x00\x00", b"\x10\x80\xff"
        cases = [
            ("32 bits, LSB first", dict(bits=32), [0xFF0000, 0x1080FF]),
            ("32 bits, MSB first", dict(bits=32, order=1), [0xFF0000, 0x1080FF]),
            ("24 bits, padded rows", dict(bits=24, pad=2), [0xFF0000, 0x1080FF]),
            ("BGR masks", dict(masks=(0xFF, 0xFF00, 0xFF0000)), [0xFF, 0xFF8010]),
            # 5-6-5: 31 and 63 must scale to 255, 2 of 31 to 16, 32 of 63 to 129
            ("16 bits, 5-6-5", dict(bits=16, masks=(0xF800, 0x7E0, 0x1F)),
             [0xF800, 2 << 11 | 32 << 5 | 31]),
            ("8 bits, colormap", dict(bits=8, visual=3,
                                      colors=[(4, 0xFFFF, 0, 0), (9, 0x1000, 0x8000, 0xFFFF)]),
             [4, 9]),
        ]
        for label, form, pixels in cases:
            with self.subTest(label):
                width, height, rows = xwd_to_png.read_xwd(xwd(2, 1, pixels, **form))
                self.assertEqual((width, height), (2, 1))
                expected_mix = b"\x10\x81\xff" if "5-6-5" in label else mix
                self.assertEqual(rows, [red + expected_mix])

    def test_crop_is_clipped_to_the_image(self):
        data = xwd(4, 3, list(range(12)), masks=(0xFF0000, 0xFF00, 0xFF))
        cases = [((1, 1, 3, 3), 2, 2, [5, 6, 9, 10]),
                 ((-5, 2, 100, 100), 4, 1, [8, 9, 10, 11]),
                 (None, 4, 3, list(range(12)))]
        for box, width, height, blues in cases:
            with self.subTest(box=box):
                w, h, rows = xwd_to_png.read_xwd(data, box)
                self.assertEqual((w, h), (width, height))
                self.assertEqual([b for row in rows for b in row[2::3]], blues)

    def test_refuses_what_it_cannot_read(self):
        good = xwd(2, 2, [1, 2, 3, 4])
        cases = [("short header", good[:50], None),
                 ("truncated rows", good[:-1], None),
                 ("version 6", xwd(2, 2, [1, 2, 3, 4], version=6), None),
                 ("crop outside", good, (5, 5, 9, 9)),
                 ("empty crop", good, (1, 1, 1, 2))]
        for label, data, box in cases:
            with self.subTest(label), self.assertRaises(xwd_to_png.XwdError):
                xwd_to_png.read_xwd(data, box)

    def test_png_gives_the_pixels_back(self):
        rows = [bytes((x * 7 + y) & 0xFF for x in range(3 * 5)) for y in range(4)]
        self.assertEqual(decode_png(xwd_to_png.png(5, 4, rows)), (5, 4, rows))

    def test_command_line_crops(self):
        folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, folder)
        source, target = os.path.join(folder, "in.xwd"), os.path.join(folder, "out.png")
        with open(source, "wb") as f:
            f.write(xwd(3, 3, [0x0000FF] * 9))
        self.assertEqual(xwd_to_png.main(["x", source, target, "1", "0", "3", "2"]), 0)
        with open(target, "rb") as f:
            self.assertEqual(decode_png(f.read()), (2, 2, [b"\0\0\xff" * 2] * 2))


class BoxNames(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.patterns = demo.message_patterns(os.path.join(demo.SOURCE, "resources", "strings"))

    def test_names(self):
        cases = [
            ({"caption": "List of Products", "text": "{A};{B}"}, "list-of-products"),
            ({"caption": "Installation erfolgreich", "text": "Das Service Pack wurde "
              "erfolgreich installiert, und Brimfold X Y wurde aktualisiert."}, "de-1031-301"),
            # a number in the place of %d, and the line breaks of the message
            ({"caption": "Installation Failure", "text": "A problem prevented the Service "
              "Pack from being installed. Contact your system administrator. "
              "\n\n Error Code: 1603"}, "en-1033-300"),
            ({"caption": "Erreur d'installation", "text": "Impossible d'installer ce Service "
              "Pack, car il n'est pas conçu pour la version du produit Z installée sur votre "
              "ordinateur."}, "fr-1036-308"),
            ({"caption": "Error", "text": "Something of the installer's own"}, "error"),
        ]
        for box, name in cases:
            with self.subTest(name):
                self.assertEqual(demo.box_name(box, self.patterns), name)


class FakeScreen:
    def __init__(self):
        self.rects = []

    def grab(self, rect, scratch):
        self.rects.append(rect)
        return 1, 1, [b"\x01\x02\x03"]


class HandOver(unittest.TestCase):
    def test_each_box_is_shot_then_released_in_order(self):
        folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, folder)
        screen = FakeScreen()
        camera = demo.Camera(screen, os.path.join(folder, "shots"), [])
        hold = os.path.join(folder, "hold")
        os.mkdir(hold)
        done, saved, failures = threading.Event(), [], []
        thread = threading.Thread(target=camera._serve, args=(hold, done, saved, failures))
        thread.start()
        for number, rect in ((1, [10, 20, 110, 70]), (2, [0, 0, 5, 5])):
            box = {"caption": "Box %d" % number, "text": "t", "rect": rect}
            with open(os.path.join(hold, "box-%d.json" % number), "w") as f:
                json.dump(box, f)
            for _ in range(200):  # as the watcher does: wait for the release
                if os.path.exists(os.path.join(hold, "box-%d.done" % number)):
                    break
                threading.Event().wait(0.02)
            else:
                self.fail("box %d was never released" % number)
        done.set()
        thread.join(5)
        self.assertFalse(thread.is_alive())
        self.assertEqual(failures, [])
        self.assertEqual(screen.rects, [(10, 20, 110, 70), (0, 0, 5, 5)])
        self.assertEqual([os.path.basename(p) for p in saved], ["01-box-1.png", "02-box-2.png"])


@unittest.skipUnless(shutil.which("Xvfb") and shutil.which("xwd"), "needs Xvfb and xwd")
class VirtualDisplay(unittest.TestCase):
    def test_grab_then_stop(self):
        folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, folder)
        with demo.Screen() as screen:
            width, height, rows = screen.grab((1000, 700, 1100, 800), os.path.join(folder, "s"))
            process = screen.process
        self.assertEqual((width, height), (24, 68))  # clipped to the 1024x768 screen
        self.assertEqual(len(rows[0]), 24 * 3)
        self.assertIsNotNone(process.poll(), "Xvfb still runs")
        # the display is free again
        check = subprocess.run(["xwd", "-root", "-silent", "-display", screen.display,
                                "-out", os.devnull], stderr=subprocess.DEVNULL)
        self.assertNotEqual(check.returncode, 0)


if __name__ == "__main__":
    unittest.main()
