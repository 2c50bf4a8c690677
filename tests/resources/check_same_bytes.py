#!/usr/bin/env python3
"""Checks that two builds of launcher.exe from the same sources, package and texts, made in
different folders at different times, are the same bytes, and that neither carries the
name of a folder of the machine that built it.

Usage: check_same_bytes.py EXE OTHER_EXE --folder DIR [--folder DIR ...]
"""
import argparse
import sys
from pathlib import Path


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("other")
    parser.add_argument("--folder", action="append", default=[])
    args = parser.parse_args()
    builds = [(name, Path(name).read_bytes()) for name in (args.exe, args.other)]
    (_, first), (_, second) = builds
    failures = []
    if first != second:
        at = next((i for i, (a, b) in enumerate(zip(first, second)) if a != b), min(len(first), len(second)))
        failures.append(f"{args.exe} ({len(first)} bytes) and {args.other} ({len(second)} bytes) differ "
                        f"from offset {at:#x} on")
    failures += [f"{name} carries the folder {folder} ({encoding})" for name, data in builds
                 for folder in args.folder for encoding in ("utf-8", "utf-16-le") if folder.encode(encoding) in data]
    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print(f"{args.exe} and {args.other}: the same {len(first)} bytes")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
