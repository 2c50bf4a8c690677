"""Reads streams out of a compound file (the container of Windows Installer packages), and
refuses one that is cut short or damaged.

Only what finding and reading a stream takes is loaded: the header, the DIFAT, the sector
table (FAT, as one compact array), the mini sector table, the directory and the mini stream's
sector list. Each is read once, so the time grows with the file's size, and no copy of the
file is held in memory. Opening the file checks every chain of the sector tables the
directory names against the file: inside it, free of loops, long enough for its size.
"""

import array
import struct
import sys

MAGIC = bytes.fromhex("D0CF11E0A1B11AE1")
HEADER = 512
ENTRY = 128
MAXREGSECT, ENDOFCHAIN, FREESECT = 0xFFFFFFFA, 0xFFFFFFFE, 0xFFFFFFFF
NOSTREAM = 0xFFFFFFFF
STORAGE, STREAM, ROOT = 1, 2, 5
HEADER_DIFAT = 109
# An array of 32-bit values, whatever the platform calls them.
UINT32 = next(code for code in "IL" if array.array(code).itemsize == 4)


class Damaged(Exception):
    """A file that is no compound file, or one cut short or damaged; the message follows
    the file's name."""


def _uint32s(data):
    values = array.array(UINT32, data[:len(data) // 4 * 4])
    if sys.byteorder == "big":
        values.byteswap()
    return values


class _Entry:
    def __init__(self, index, raw, version):
        name_length, self.kind = struct.unpack_from("<HB", raw, 64)
        if self.kind not in (0, STORAGE, STREAM, ROOT):
            raise Damaged(f"is damaged: directory entry {index} is of no known kind ({self.kind})")
        if self.kind and (name_length > 64 or name_length % 2):
            raise Damaged(f"is damaged: directory entry {index} has a name of {name_length} bytes")
        self.name = raw[:max(name_length - 2, 0)].decode("utf-16-le", "replace")
        self.left, self.right, self.child = struct.unpack_from("<III", raw, 68)
        self.start, self.size = struct.unpack_from("<IQ", raw, 116)
        if version == 3:  # the upper half is not part of the size there
            self.size &= 0xFFFFFFFF
        self.index = index
        self.children = {}


class CompoundFile:
    """An open compound file; `file` is a binary file object it does not own."""

    def __init__(self, file):
        self.file = file
        file.seek(0, 2)
        self.length = file.tell()
        header = self._read_at(0, min(self.length, HEADER))
        if len(header) < 8 or header[:8] != MAGIC:
            raise Damaged("is not a patch package: not a compound file")
        if len(header) < HEADER:
            raise Damaged(f"is cut short: it ends at byte {self.length:,}, inside its "
                          f"{HEADER}-byte header")
        (_, self.version, order, shift, mini_shift, _, _, fat_count, first_dir, _,
         self.cutoff, first_minifat, minifat_count, first_difat,
         difat_count) = struct.unpack_from("<HHHHH6sIIIIIIIII", header, 24)
        if (order != 0xFFFE or (self.version, shift) not in ((3, 9), (4, 12))
                or mini_shift != 6 or self.cutoff != 4096):
            raise Damaged(f"is damaged: its header is not one of a compound file (version "
                          f"{self.version}, sector shift {shift}, mini sector shift {mini_shift})")
        self.sector, self.mini = 1 << shift, 1 << mini_shift
        # Whole sectors only: a sector the tables use must be in the file to its last byte.
        self.count = max(self.length - self.sector, 0) // self.sector
        self.fat, tables = self._load_fat(header, fat_count, first_difat, difat_count)
        # Which sectors a chain has taken; the sector table's own are taken from the start.
        self.seen = bytearray(len(self.fat))
        for sector in tables:
            if sector < len(self.seen):
                self.seen[sector] = 1
        self._check_end()
        directory = self._read_chain(first_dir, "the directory")
        self.entries = [_Entry(i, directory[i * ENTRY:(i + 1) * ENTRY], self.version)
                        for i in range(len(directory) // ENTRY)]
        if not self.entries or self.entries[0].kind != ROOT:
            raise Damaged("is damaged: its directory does not start with the root entry")
        self.root = self.entries[0]
        minifat = (self._read_chain(first_minifat, "the mini sector table", minifat_count)
                   if minifat_count else b"")
        self.minifat = _uint32s(minifat)
        self.mini_stream = self._chain(self.root.start, self.root.size, "the mini stream",
                                       keep=True)
        self.mini_count = min(self.root.size // self.mini, len(self.minifat))
        self.mini_seen = bytearray(self.mini_count)
        self._link()

    # --- sectors and chains ---

    def _read_at(self, offset, length):
        self.file.seek(offset)
        return self.file.read(length)

    def _sector_at(self, sector, what):
        if sector >= self.count:
            raise Damaged(f"is cut short or damaged: {what} lies in sector {sector}, at byte "
                          f"{(sector + 1) * self.sector:,}, past its end at byte {self.length:,}")
        return self._read_at((sector + 1) * self.sector, self.sector)

    def _load_fat(self, header, fat_count, first_difat, difat_count):
        """The sector table, each of its sectors listed by the header and the DIFAT chain;
        and the sectors both take."""
        listed = list(struct.unpack_from(f"<{HEADER_DIFAT}I", header, 76))
        per_sector = self.sector // 4 - 1
        sector, read = first_difat, set()
        while len(listed) < fat_count and sector <= MAXREGSECT:
            if sector in read or len(read) >= difat_count:
                raise Damaged(f"is damaged: its DIFAT chain runs past the {difat_count} "
                              f"sectors its header counts, to sector {sector}")
            read.add(sector)
            values = struct.unpack(f"<{per_sector + 1}I", self._sector_at(sector, "the DIFAT"))
            listed += values[:per_sector]
            sector = values[per_sector]
        fat_sectors = [s for s in listed if s <= MAXREGSECT][:fat_count]
        if len(fat_sectors) < fat_count:
            raise Damaged(f"is damaged: its header counts {fat_count} sectors of its sector "
                          f"table, its DIFAT lists {len(fat_sectors)}")
        fat = b"".join(self._sector_at(s, "its sector table") for s in fat_sectors)
        return _uint32s(fat), fat_sectors + list(read)

    def _check_end(self):
        """The file holds every sector its sector table uses."""
        used = len(self.fat)
        while used and self.fat[used - 1] == FREESECT:
            used -= 1
        if used > self.count:
            raise Damaged(f"is cut short: its sector table uses sectors up to byte "
                          f"{(used + 1) * self.sector:,}, but it ends at byte {self.length:,}")

    def _walk(self, start, size, what, table, seen, limit, keep=False):
        """Checks one chain: inside the file, in no other chain, ending where the table
        says, and holding `size` bytes. With `keep`, its sectors in order."""
        sectors, length, sector = [], 0, start
        unit = self.sector if table is self.fat else self.mini
        while sector != ENDOFCHAIN:
            if sector >= limit:
                where = "the file" if table is self.fat else "the mini stream"
                raise Damaged(f"is cut short or damaged: the sector chain of {what} runs to "
                              f"sector {sector}, past the end of {where}")
            if seen[sector]:
                raise Damaged(f"is damaged: the sector chain of {what} runs into sector "
                              f"{sector} again, or into another chain")
            seen[sector] = 1
            length += 1
            if keep:
                sectors.append(sector)
            sector = table[sector]
        if length * unit < size:
            raise Damaged(f"is damaged: {what} is {size:,} bytes, but its sector chain holds "
                          f"{length * unit:,}")
        return sectors

    def _chain(self, start, size, what, keep=False):
        return self._walk(start, size, what, self.fat, self.seen, min(self.count, len(self.fat)),
                          keep)

    def _read_chain(self, start, what, count=0):
        return b"".join(self._sector_at(s, what)
                        for s in self._chain(start, count * self.sector, what, keep=True))

    # --- the directory ---

    def _link(self):
        """Files each entry under its storage, walking the trees of children from the root;
        checks each stream's chain on the way."""
        pending, placed = [(self.root, self.root.child)], set()
        while pending:
            storage, index = pending.pop()
            if index == NOSTREAM:
                continue
            if index >= len(self.entries):
                raise Damaged(f"is damaged: directory entry {storage.index} ({storage.name}) "
                              f"leads to entry {index}, past the end of its directory")
            if index in placed:
                raise Damaged(f"is damaged: directory entry {index} is reached twice")
            placed.add(index)
            entry = self.entries[index]
            if entry.kind not in (STORAGE, STREAM):
                raise Damaged(f"is damaged: directory entry {index} is in a storage but is "
                              "no stream or storage")
            storage.children[entry.name.upper()] = entry
            pending += [(storage, entry.left), (storage, entry.right)]
            what = f"stream {entry.name!r}"
            if entry.kind == STORAGE:
                pending.append((entry, entry.child))
            elif entry.size >= self.cutoff:
                self._chain(entry.start, entry.size, what)
            elif entry.size:
                self._walk(entry.start, entry.size, what, self.minifat, self.mini_seen,
                           self.mini_count)

    def entry(self, path):
        """The entry at path (a list of names), or None."""
        entry = self.root
        for name in path:
            entry = entry.children.get(name.upper())
            if entry is None:
                return None
        return entry

    def is_storage(self, path):
        entry = self.entry(path)
        return entry is not None and entry.kind == STORAGE

    def read_stream(self, path):
        """The bytes of the stream at path; its chain was checked when the file was opened."""
        entry = self.entry(path)
        if entry is None or entry.kind != STREAM:
            return None
        if entry.size >= self.cutoff:
            data = b"".join(self._read_at((s + 1) * self.sector, self.sector)
                            for s in self._sectors_of(entry.start, self.fat))
            return data[:entry.size]
        data = bytearray()
        for m in self._sectors_of(entry.start, self.minifat) if entry.size else []:
            offset = m * self.mini
            sector = self.mini_stream[offset // self.sector]
            data += self._read_at((sector + 1) * self.sector + offset % self.sector, self.mini)
        return bytes(data[:entry.size])

    @staticmethod
    def _sectors_of(start, table):
        sector = start
        while sector != ENDOFCHAIN:
            yield sector
            sector = table[sector]
