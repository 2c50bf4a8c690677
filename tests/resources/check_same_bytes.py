#!/usr/bin/env python3
"""Checks that two builds of launcher.exe from the same sources, package and texts, made in
different folders at different times, are the same bytes, and that neither carries the
name of a folder of the machine that built it.

Usage: check_same_bytes.py EXE OTHER_EXE --folder DIR [--folder DIR ...]
"""
import argparse
import sys


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
        at = next((i for i, (a, b) in enumerate(zip(first, second)) if a != b),
                  min(len(first), len(second)))
        failures.append(f"{args.exe} ({len(first)} bytes) and {args.other} ({len(second)} "
                        f"bytes) differ from offset {at:#x} on")
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
