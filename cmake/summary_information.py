"""Reads the properties a check needs out of a summary-information stream (a property set
with one section), each refused unless it has the type its format gives it."""

import struct

VT_I2, VT_I4, VT_LPSTR = 0x02, 0x03, 0x1E
TYPES = {VT_I2: "a 16-bit number (VT_I2)", VT_I4: "a 32-bit number (VT_I4)",
         VT_LPSTR: "text (VT_LPSTR)", 0x1F: "UTF-16 text (VT_LPWSTR)",
         0x40: "a time (VT_FILETIME)", 0x47: "a clipboard image (VT_CF)"}
# The summary properties by id, as the installer's documentation names them.
NAMES = {1: "Codepage", 7: "Template", 8: "Last Saved By", 9: "Revision Number",
         16: "Character Count"}
# Larger than any summary a patch tool writes; a stream this long is no summary.
MAX_LENGTH = 1 << 20


class Malformed(Exception):
    """A summary that cannot be read as its format says; the message follows "the summary
    information of <what>"."""


def _type(vt):
    return TYPES.get(vt, f"type {vt:#06x}")


def read(stream, wanted):
    """{pid: value} of the properties wanted ({pid: type}) that the stream holds: numbers as
    int (a 16-bit one unsigned), texts as their bytes."""
    if len(stream) > MAX_LENGTH:
        raise Malformed(f"is {len(stream):,} bytes long, too long for a summary")
    try:
        order, _, _, _, sections = struct.unpack_from("<HHI16sI", stream, 0)
        offset, = struct.unpack_from("<I", stream, 44)
        size, count = struct.unpack_from("<II", stream, offset)
        index = struct.unpack_from(f"<{2 * count}I", stream, offset + 8)
    except struct.error:
        raise Malformed("is cut short: its header or property list lies past its end")
    if order != 0xFFFE or not sections:
        raise Malformed("is not a property set")
    values = {}
    for pid, at in zip(index[::2], index[1::2]):
        if pid not in wanted:
            continue
        name = f"{NAMES.get(pid, 'property')} (property {pid})"
        try:
            vt, = struct.unpack_from("<H", stream, offset + at)
            if vt != wanted[pid]:
                raise Malformed(f"stores {name} as {_type(vt)}, where its format has "
                                f"{_type(wanted[pid])}")
            if vt == VT_I2:
                values[pid], = struct.unpack_from("<H", stream, offset + at + 4)
            elif vt == VT_I4:
                values[pid], = struct.unpack_from("<i", stream, offset + at + 4)
            else:
                length, = struct.unpack_from("<I", stream, offset + at + 4)
                start = offset + at + 8
                if start + length > len(stream):
                    raise struct.error
                values[pid] = stream[start:start + length]
        except struct.error:
            raise Malformed(f"is cut short: {name} lies past its end")
    return values
