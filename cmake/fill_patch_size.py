#!/usr/bin/env python3
"""Puts the size of the launcher into the PatchSize line of the neutral text 206.

  fill_patch_size.py --text SOURCE --size-of EXE --output TEXT
      TEXT becomes SOURCE with the value of its first PatchSize line replaced by the size
      of EXE in bytes; every other byte stays as it is. When TEXT already holds exactly
      that, it is only touched, so that the build tool sees it up to date.

  fill_patch_size.py --check EXE --text TEXT
      Succeeds when the PatchSize of TEXT, the text EXE was built with, is the size of EXE.
      Otherwise removes EXE, so that no build takes it for finished, and fails.
"""
import argparse
import os
import re
import sys

# The value runs to the end of its line; a line starts the text or follows a line feed.
PATCH_SIZE = re.compile(rb"^PatchSize=([^\r\n]*)", re.MULTILINE)


def filled(text, size):
    found = PATCH_SIZE.search(text)
    if found is None:
        raise ValueError("the text has no PatchSize line")
    return text[:found.start(1)] + str(size).encode("ascii") + text[found.end(1):]


def fill(source, exe, output):
    with open(source, "rb") as f:
        text = filled(f.read(), os.path.getsize(exe))
    try:
        with open(output, "rb") as f:
            if f.read() == text:
                os.utime(output)
                return
    except FileNotFoundError:
        pass
    os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
    with open(output, "wb") as f:
        f.write(text)


def check(exe, text_path):
    with open(text_path, "rb") as f:
        found = PATCH_SIZE.search(f.read())
    size = os.path.getsize(exe)
    if found is not None and found.group(1) == str(size).encode("ascii"):
        return True
    value = found.group(1).decode("latin-1") if found else "(none)"
    os.remove(exe)
    print(f"{exe}: {size} bytes, but its text 206 says PatchSize={value}; removed",
          file=sys.stderr)
    return False


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--text", required=True)
    parser.add_argument("--size-of")
    parser.add_argument("--output")
    parser.add_argument("--check")
    args = parser.parse_args()
    if args.check:
        sys.exit(0 if check(args.check, args.text) else 1)
    if not (args.size_of and args.output):
        parser.error("give --size-of and --output, or --check")
    try:
        fill(args.text, args.size_of, args.output)
    except ValueError as error:
        sys.exit(f"{args.text}: {error}")


if __name__ == "__main__":
    main()
