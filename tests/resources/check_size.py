#!/usr/bin/env python3
"""Fails when launcher.exe carries more than its package by `--below` bytes or more
(OVERHEAD_LIMIT unless given).

Usage: check_size.py LAUNCHER_EXE --package PACKAGE [--below BYTES]

The overhead is everything the executable adds around the patch package it embeds: code,
the string tables, the patch texts, headers and alignment.
"""
import argparse
import os
import sys

# The measured overhead of the 32-bit build rounded up to the next 4 KiB; scripts/bench.sh
# holds the launcher to the same number.
OVERHEAD_LIMIT = 77_824


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("--package", required=True)
    parser.add_argument("--below", type=int, default=OVERHEAD_LIMIT)
    args = parser.parse_args()
    exe, package = os.path.getsize(args.exe), os.path.getsize(args.package)
    overhead = exe - package
    print("launcher.exe %d bytes, package %d bytes, overhead %d bytes (limit: below %d)"
          % (exe, package, overhead, args.below))
    if overhead >= args.below:
        print("FAIL: the launcher grew past its size limit by %d bytes"
              % (overhead - args.below + 1))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
