#!/usr/bin/env python3
"""Checks that the source folders include one another in one direction only, and lists
every include that goes the wrong way (file:line and the include); exits 1 if there is one.

  check_include_direction.py [SOURCE_DIR]

The folders, bottom to top:

  platform/             the interfaces to Windows, and platform/win32/ implementing them
  run/, resources/      the run's shared services (an interface that payload/ and
                        installer/ use and launcher/ implements); resource ids
  payload/, installer/  what the executable carries; the Windows Installer side
  launcher/             the run as a whole: may include anything

A folder may include only the folders RULES names for it. Only quoted includes of the
project's folders count ("launcher/outcome_log.h"); system and library headers (<...>)
and quoted names outside those folders are not checked. A quoted include is looked up
beside the including file first, as the compiler does, then from the source folder.
"""

import os
import re
import sys

# Which folders each folder may include. A key may also name a subfolder or one file
# ("platform/win32", "platform/win32/win_main.cc"); the longest key that fits a path wins.
# payload/ and installer/ may include each other for now (payload/patch_list.cc uses
# installer/patch_targets.h); neither may include launcher/.
ALL = None  # no restriction
RULES = {
    "platform": {"platform"},
    "resources": {"platform", "resources"},
    "run": {"platform", "resources", "run"},
    "payload": {"platform", "resources", "run", "payload", "installer"},
    "installer": {"platform", "resources", "run", "payload", "installer"},
    "launcher": ALL,
}

SOURCE_SUFFIXES = (".h", ".hh", ".hpp", ".c", ".cc", ".cpp", ".cxx", ".inl", ".rc", ".rc.in")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def layer(path):
    """The RULES key that governs a path relative to the source folder (with "/"), or
    None when the path lies outside the checked folders."""
    parts = path.split("/")
    for n in range(len(parts), 0, -1):
        key = "/".join(parts[:n])
        if key in RULES:
            return key
    return None


def resolve(root, including, name):
    """The included file's path relative to root: beside the including file if it is
    there, else from root."""
    beside = os.path.normpath(os.path.join(os.path.dirname(including), name))
    if os.path.isfile(os.path.join(root, beside)):
        return beside.replace(os.sep, "/")
    return os.path.normpath(name).replace(os.sep, "/")


def source_files(root):
    for top in sorted(RULES):
        top_dir = os.path.join(root, top.split("/")[0])
        for folder, dirs, files in os.walk(top_dir):
            dirs.sort()
            for name in sorted(files):
                if name.endswith(SOURCE_SUFFIXES):
                    yield os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/")


def violations(root):
    """[(file, line number, included name, file's layer)] of every include upward."""
    found = []
    seen = set()
    for path in source_files(root):
        if path in seen:
            continue
        seen.add(path)
        own = layer(path)
        allowed = RULES.get(own)
        if allowed is ALL:
            continue
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
            for number, text in enumerate(f, 1):
                match = INCLUDE.match(text)
                if not match:
                    continue
                target = layer(resolve(root, path, match.group(1)))
                if target is not None and target not in allowed:
                    found.append((path, number, match.group(1), own))
    return found


def main(argv=None):
    argv = sys.argv[1:] if argv is None else argv
    root = argv[0] if argv else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
    found = violations(root)
    for path, number, name, own in found:
        print('%s:%d: #include "%s": %s/ may include only %s' % (
            path, number, name, own, ", ".join(k + "/" for k in sorted(RULES[own]))))
    if found:
        print("%d include(s) against the direction of the folders" % len(found))
        return 1
    print("every include goes downward")
    return 0


if __name__ == "__main__":
    sys.exit(main())
