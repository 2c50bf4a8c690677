#!/usr/bin/env python3
"""Checks that launcher.exe carries exactly its resources, and those byte for byte; every
copy of every patch-information text with the size of launcher.exe in its PatchSize line;
that it imports from kernel32 and the C runtime only (every other DLL is bound from the
system folder when first needed); and that its header has it run from the swap file when
started from a share or a removable drive, under a checksum that is right.

Usage: check_pe_resources.py EXE --package MSP --info-dir DIR
"""
import argparse
import os
import pathlib
import re
import sys

import pefile

STRING_TABLE = 6
LANGUAGES = {1028, 1029, 1031, 1033, 1034, 1036, 1038, 1040, 1041, 1042, 1045, 1046, 1049, 2052}
NEUTRAL = 0
PORTUGUESE_BRAZIL = 1046
IMPORTED_DLLS = {"kernel32.dll", "msvcrt.dll"}
RUN_FROM_SWAP = {"IMAGE_FILE_NET_RUN_FROM_SWAP", "IMAGE_FILE_REMOVABLE_RUN_FROM_SWAP"}


def resource_entries(pe):
    """(type, name, language) -> bytes, types and names as str (named) or int (numbered)."""
    found = {}
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    if root is None:
        return found
    for type_entry in root.entries:
        kind = str(type_entry.name) if type_entry.name else type_entry.id
        for name_entry in type_entry.directory.entries:
            name = str(name_entry.name) if name_entry.name else name_entry.id
            for lang_entry in name_entry.directory.entries:
                data = lang_entry.data.struct
                found[(kind, name, lang_entry.id)] = pe.get_data(data.OffsetToData, data.Size)
    return found


def expected_texts(info_dir):
    """(id, language) -> bytes of the patch-information texts the build takes in."""
    texts = {}
    for path in sorted(pathlib.Path(info_dir).glob("*.txt")):
        match = re.fullmatch(r"(\d+)(\.1046)?\.txt", path.name)
        if match and int(match.group(1)) >= 206:
            language = PORTUGUESE_BRAZIL if match.group(2) else NEUTRAL
            texts[(int(match.group(1)), language)] = path.read_bytes()
    return texts


def with_patch_size(text, size):
    """The text with the value of its first PatchSize line (to the end of that line) set
    to size; a text without one, as it is."""
    match = re.search(rb"^PatchSize=([^\r\n]*)", text, re.MULTILINE)
    if match is None:
        return text
    return text[:match.start(1)] + str(size).encode() + text[match.end(1):]


def check(exe, package, info_dir):
    failures = []
    pe = pefile.PE(exe)
    entries = resource_entries(pe)

    imported = {entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    if imported != IMPORTED_DLLS:
        failures.append(f"imports from {sorted(imported)}, expected {sorted(IMPORTED_DLLS)}")

    flags = {name for name in RUN_FROM_SWAP if getattr(pe.FILE_HEADER, name)}
    if flags != RUN_FROM_SWAP:
        failures.append(f"characteristics lack {sorted(RUN_FROM_SWAP - flags)}")
    if pe.OPTIONAL_HEADER.CheckSum != pe.generate_checksum():
        failures.append(f"header checksum {pe.OPTIONAL_HEADER.CheckSum:#x}, "
                        f"the image's is {pe.generate_checksum():#x}")

    kinds = {kind for kind, _, _ in entries}
    if kinds != {"MSP", "TXT", STRING_TABLE}:
        failures.append(f"resource types {sorted(map(str, kinds))}, expected MSP, TXT and 6 only")

    packages = {key: data for key, data in entries.items() if key[0] == "MSP"}
    if list(packages) != [("MSP", "IDR_MSP", PORTUGUESE_BRAZIL)]:
        failures.append(f"package resources {list(packages)}, expected MSP/IDR_MSP/1046")
    elif packages[("MSP", "IDR_MSP", PORTUGUESE_BRAZIL)] != pathlib.Path(package).read_bytes():
        failures.append("the embedded package differs from the package file")

    texts = {(name, lang): data for (kind, name, lang), data in entries.items() if kind == "TXT"}
    wanted = expected_texts(info_dir)
    if set(texts) != set(wanted):
        failures.append(f"texts {sorted(texts)}, expected {sorted(wanted)}")
    # Every copy carries the size of this very file; every other byte is its file's.
    size = os.path.getsize(exe)
    for key in sorted(set(texts) & set(wanted)):
        expected = with_patch_size(wanted[key], size)
        if texts[key] != expected:
            failures.append(f"text {key} differs from its file" +
                            (f" with PatchSize={size}" if expected != wanted[key] else ""))

    blocks = {}
    for (kind, block, lang), data in entries.items():
        if kind == STRING_TABLE:
            blocks.setdefault(block, {})[lang] = len(data)
    expected_blocks = {19: LANGUAGES, 20: LANGUAGES, 44: {1033}, 57: {1033}}
    for block in sorted(set(blocks) | set(expected_blocks)):
        got = set(blocks.get(block, {}))
        if got != expected_blocks.get(block, set()):
            failures.append(f"string block {block}: languages {sorted(got)}, expected {sorted(expected_blocks.get(block, set()))}")
    return failures, entries


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("--package", required=True)
    parser.add_argument("--info-dir", required=True)
    args = parser.parse_args()
    failures, entries = check(args.exe, args.package, args.info_dir)
    for (kind, name, lang), data in sorted(entries.items(), key=str):
        print(f"{kind!s:>4} {name!s:>8} {lang:>5} {len(data):>9} bytes")
    for failure in failures:
        print("FAIL:", failure)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
