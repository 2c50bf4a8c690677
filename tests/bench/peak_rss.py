#!/usr/bin/env python3
"""Runs one command, its standard streams on /dev/null, and prints one line:
"<exit code> <wall seconds> <its peak resident KiB> <this process's peak resident KiB>".

Linux counts into a process's peak resident size the memory of the process it was forked
from, up to its exec. Forked from a big caller, any command would seem at least as big as
the caller; forked from this small interpreter (run it with -I -S), it seems at least as
big as this one, whose own peak is printed so that the caller can tell. That one is read
from this process's own memory (VmHWM), which leaves out its caller's.
"""

import os
import sys
import time


def own_peak_kib():
    with open("/proc/self/status", encoding="ascii") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    raise RuntimeError("no VmHWM in /proc/self/status")


def main():
    command = sys.argv[1:]
    start = time.perf_counter()
    pid = os.fork()
    if pid == 0:
        try:
            null = os.open(os.devnull, os.O_RDWR)
            for fd in (0, 1, 2):
                os.dup2(null, fd)
            os.execv(command[0], command)
        finally:
            os._exit(127)
    _, status, usage = os.wait4(pid, 0)
    elapsed = time.perf_counter() - start
    print(os.waitstatus_to_exitcode(status), "%.6f" % elapsed, usage.ru_maxrss, own_peak_kib())


if __name__ == "__main__":
    main()
