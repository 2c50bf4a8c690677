#!/usr/bin/env python3
"""Checks that two builds of launcher.exe from the same sources, package and texts, made in
different folders at different times, are the same bytes, and that neither carries the
name of a folder of the machine that built it.

Usage: check_same_bytes.py EXE OTHER_EXE --folder DIR [--folder DIR ...]
"""
import argparse
import sys

SHOWN_DIFFERENCES = 8


def differences(first, second):
    """Offsets of the first differing bytes, and the length past the shorter file."""
    found = [offset for offset, (a, b) in enumerate(zip(first, second)) if a != b]
    return found[:SHOWN_DIFFERENCES], abs(len(first) - len(second))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("other")
    parser.add_argument("--folder", action="append", default=[])
    args = parser.parse_args()
    with open(args.exe, "rb") as f:
        first = f.read()
    with open(args.other, "rb") as f:
        second = f.read()
    failures = []
    if first != second:
        offsets, extra = differences(first, second)
        failures.append(f"{args.exe} and {args.other} differ: at offsets "
                        f"{', '.join(hex(offset) for offset in offsets) or '(none)'}, "
                        f"and {extra} bytes more in one")
    for name, data in ((args.exe, first), (args.other, second)):
        for folder in args.folder:
            for encoding in ("utf-8", "utf-16-le"):
                if folder.encode(encoding) in data:
                    failures.append(f"{name} carries the folder {folder} ({encoding})")
    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print(f"{args.exe} and {args.other}: the same {len(first)} bytes")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
