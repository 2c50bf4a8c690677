#!/usr/bin/env python3
"""Converts an X window dump (what `xwd` writes) to PNG, optionally cropped.

Usage: xwd_to_png.py IN.xwd OUT.png [LEFT TOP RIGHT BOTTOM]

The crop rectangle is in the dump's pixels, right and bottom exclusive, and is
clipped to the image. Handles ZPixmap dumps of TrueColor and DirectColor
visuals (what X servers give today, 15 to 32 bits a pixel) and of 8-bit
colormapped visuals.
"""
import struct
import sys
import zlib

_HEADER = struct.Struct(">25I")
_COLOR = struct.Struct(">IHHHBx")
_ZPIXMAP = 2
_TRUECOLOR, _DIRECTCOLOR = 4, 5


class XwdError(ValueError):
    pass


def _channel(mask):
    """(shift, maximum) of one colour mask, to scale its value to 0..255."""
    if not mask:
        raise XwdError("empty colour mask")
    shift = (mask & -mask).bit_length() - 1
    return shift, mask >> shift


def read_xwd(data, box=None):
    """Returns (width, height, rgb rows) of a dump, or of the part of it inside
    box = (left, top, right, bottom), clipped to the image: one bytes object a
    row, 3 bytes a pixel."""
    if len(data) < _HEADER.size:
        raise XwdError("too short for an XWD header")
    (header_size, version, pixmap_format, _depth, width, height, _xoffset,
     byte_order, _unit, _bit_order, _pad, bits_per_pixel, bytes_per_line,
     visual_class, red_mask, green_mask, blue_mask, _bits_per_rgb, _entries,
     ncolors, *_window) = _HEADER.unpack_from(data)
    if version != 7:
        raise XwdError("XWD version %d, not 7" % version)
    if pixmap_format != _ZPIXMAP:
        raise XwdError("pixmap format %d, not ZPixmap" % pixmap_format)
    if bits_per_pixel not in (8, 16, 24, 32):
        raise XwdError("%d bits a pixel" % bits_per_pixel)
    if bytes_per_line * 8 < width * bits_per_pixel:
        raise XwdError("rows shorter than the width")
    colors_at = header_size
    pixels_at = colors_at + ncolors * _COLOR.size
    if len(data) < pixels_at + bytes_per_line * height:
        raise XwdError("truncated: %d bytes, %d needed"
                       % (len(data), pixels_at + bytes_per_line * height))

    left, top, right, bottom = box if box is not None else (0, 0, width, height)
    left, right = max(0, min(left, width)), max(0, min(right, width))
    top, bottom = max(0, min(top, height)), max(0, min(bottom, height))
    if right <= left or bottom <= top:
        raise XwdError("%s lies outside the %dx%d image" % (box, width, height))

    step = bits_per_pixel // 8
    order = "little" if byte_order == 0 else "big"
    if visual_class in (_TRUECOLOR, _DIRECTCOLOR) and bits_per_pixel > 8:
        channels = [_channel(m) for m in (red_mask, green_mask, blue_mask)]

        def rgb(pixel):
            return bytes((pixel >> shift & peak) * 255 // peak for shift, peak in channels)
    else:
        palette = {}
        for i in range(ncolors):
            pixel, red, green, blue, _flags = _COLOR.unpack_from(
                data, colors_at + i * _COLOR.size)
            palette[pixel] = bytes((red >> 8, green >> 8, blue >> 8))

        def rgb(pixel):
            return palette.get(pixel, b"\0\0\0")

    cache = {}
    rows = []
    for y in range(top, bottom):
        start = pixels_at + y * bytes_per_line
        line = data[start + left * step:start + right * step]
        out = bytearray()
        for x in range(0, len(line), step):
            pixel = int.from_bytes(line[x:x + step], order)
            color = cache.get(pixel)
            if color is None:
                color = cache[pixel] = rgb(pixel)
            out += color
        rows.append(bytes(out))
    return right - left, bottom - top, rows


def png(width, height, rows):
    """An 8-bit RGB PNG of the rows."""
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body)))

    # Filter "Sub" on every row: flat areas of screen shots become runs of zeros.
    raw = bytearray()
    for row in rows:
        raw.append(1)
        raw += row[:3]
        raw += bytes((row[i] - row[i - 3]) & 0xFF for i in range(3, len(row)))
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


def convert(xwd_path, png_path, box=None):
    with open(xwd_path, "rb") as f:
        image = read_xwd(f.read(), box)
    with open(png_path, "wb") as f:
        f.write(png(*image))
    return image[0], image[1]


def main(argv):
    if len(argv) not in (3, 7):
        sys.stderr.write(__doc__)
        return 2
    box = tuple(int(v) for v in argv[3:]) if len(argv) == 7 else None
    try:
        width, height = convert(argv[1], argv[2], box)
    except (OSError, XwdError) as e:
        sys.stderr.write("xwd_to_png: %s\n" % e)
        return 1
    print("%s: %dx%d" % (argv[2], width, height))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
