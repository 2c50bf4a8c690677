#!/usr/bin/env python3
"""Puts the size of the launcher into the PatchSize line of the patch-information texts.

  fill_patch_size.py --size-of EXE --output-dir DIR [--plus BYTES] TEXT...
      DIR/<name of TEXT> becomes each TEXT with the value of its first PatchSize line
      replaced by the size of EXE in bytes; every other byte stays as it is. A copy that
      already holds exactly that is only touched, so that the build tool sees it up to date.

  fill_patch_size.py --check EXE [--plus BYTES] TEXT...
      Succeeds when the PatchSize of every TEXT, the texts EXE was built with, is the size
      of EXE. Otherwise removes EXE, so that no build takes it for finished, and fails.

  With --plus, the size is that of EXE and BYTES more: the signature of a signed release
  that an unsigned build is made again of.
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


def fill(source, exe, output, plus=0):
    with open(source, "rb") as f:
        text = filled(f.read(), os.path.getsize(exe) + plus)
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


def check(exe, text_paths, plus=0):
    size = os.path.getsize(exe) + plus
    for text_path in text_paths:
        with open(text_path, "rb") as f:
            found = PATCH_SIZE.search(f.read())
        if found is None or found.group(1) != str(size).encode("ascii"):
            value = found.group(1).decode("latin-1") if found else "(none)"
            os.remove(exe)
            print(f"{exe}: {size} bytes{f' with {plus} to come' if plus else ''}, but {os.path.basename(text_path)} says "
                  f"PatchSize={value}; removed", file=sys.stderr)
            return False
    return True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("texts", nargs="+")
    parser.add_argument("--size-of")
    parser.add_argument("--output-dir")
    parser.add_argument("--check")
    parser.add_argument("--plus", type=int, default=0)
    args = parser.parse_args()
    if args.check:
        sys.exit(0 if check(args.check, args.texts, args.plus) else 1)
    if not (args.size_of and args.output_dir):
        parser.error("give --size-of and --output-dir, or --check")
    for text in args.texts:
        try:
            fill(text, args.size_of, os.path.join(args.output_dir, os.path.basename(text)),
                 args.plus)
        except ValueError as error:
            sys.exit(f"{text}: {error}")


if __name__ == "__main__":
    main()
