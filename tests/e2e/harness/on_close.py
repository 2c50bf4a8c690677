"""Acts on a file the moment a Windows program closes it after writing, from outside Wine:
a Unix process is not bound by Wine's share modes, so it can change a file that a Wine
process holds with writers shut out, as another account could on Windows where the
file's access list lets it in, or on a volume without access lists.

    with OnClose(folder, "MSP", act) as seen:
        ... run the program ...
    # seen: what act(path) returned, once for each file whose name begins with the prefix,
    # the first time it is closed after writing (what act itself writes does not count)

Linux inotify (IN_CLOSE_WRITE) through ctypes; standard library only.
"""

import ctypes
import os
import select
import struct
import threading

_IN_CLOSE_WRITE = 0x00000008
_IN_NONBLOCK = os.O_NONBLOCK
_EVENT = struct.Struct("iIII")  # wd, mask, cookie, length of the name that follows


class OnClose:
    def __init__(self, folder, prefix, act):
        self.folder = folder
        self.prefix = prefix
        self.act = act
        self.seen = []
        self._acted = set()
        self._stop = threading.Event()
        self._fd = None
        self._thread = None

    def __enter__(self):
        libc = ctypes.CDLL(None, use_errno=True)
        self._fd = libc.inotify_init1(_IN_NONBLOCK)
        if self._fd < 0:
            raise OSError(ctypes.get_errno(), "inotify_init1")
        if libc.inotify_add_watch(self._fd, os.fsencode(self.folder), _IN_CLOSE_WRITE) < 0:
            os.close(self._fd)
            raise OSError(ctypes.get_errno(), "inotify_add_watch", self.folder)
        self._thread = threading.Thread(target=self._watch, daemon=True)
        self._thread.start()
        return self.seen

    def __exit__(self, *exc):
        self._stop.set()
        self._thread.join(timeout=10)
        os.close(self._fd)

    def _watch(self):
        while not self._stop.is_set():
            if not select.select([self._fd], [], [], 0.05)[0]:
                continue
            try:
                data = os.read(self._fd, 65536)
            except BlockingIOError:
                continue
            offset = 0
            while offset < len(data):
                _, mask, _, length = _EVENT.unpack_from(data, offset)
                name = data[offset + _EVENT.size:offset + _EVENT.size + length].rstrip(b"\0")
                offset += _EVENT.size + length
                name = os.fsdecode(name)
                if mask & _IN_CLOSE_WRITE and name.startswith(self.prefix) and name not in self._acted:
                    self._acted.add(name)
                    self.seen.append(self.act(os.path.join(self.folder, name)))
