#!/usr/bin/env python3
"""Reads what a Windows Installer patch package says of its targets, and refuses a launcher
that would contradict it.

    read_patch_package.py --package MSP [--text FILE ...] [--target-version V]
                          [--candidate-versions LIST] --output FILE.cmake

From the package's summary information: the patch code (Revision Number), the target
product codes (Template) and its transforms (Last Saved By). From each transform's own
summary information, but for the "#" twins, which the patch tools add for the patch's own
rows: its base product code and version, its new version (Revision Number) and what the
installer validates before applying it (upper word of Character Count).

On success it prints what the launcher will do and writes FILE.cmake, which sets
LAUNCHER_BUILT_TARGET_VERSION (string 700) and LAUNCHER_BUILT_CANDIDATE_VERSIONS (string
900): the given versions where they agree with the package, else the package's. The
patch-information texts the launcher carries (--text, each) must agree with both. On a
contradiction it says which, naming the package and both sides, and exits with 1.
"""

import argparse
import codecs
import dataclasses
import re
import sys
from pathlib import Path

import compound_file
import summary_information

GUID = r"\{[0-9A-Fa-f]{8}(?:-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}\}"
VERSION = r"\d+(?:\.\d+){0,3}"
DESCRIPTION_RE = re.compile(rf"({GUID})({VERSION});({GUID})({VERSION});({GUID})?")

# Summary-information property ids.
PID_CODEPAGE, PID_TEMPLATE, PID_LASTAUTHOR, PID_REVNUMBER, PID_CHARCOUNT = 1, 7, 8, 9, 16
SUMMARY = "\x05SummaryInformation"
# The properties the check reads, with the type the summary information's format gives each.
EXPECTED = {PID_CODEPAGE: summary_information.VT_I2, PID_TEMPLATE: summary_information.VT_LPSTR,
            PID_LASTAUTHOR: summary_information.VT_LPSTR,
            PID_REVNUMBER: summary_information.VT_LPSTR, PID_CHARCOUNT: summary_information.VT_I4}

# Validation flags, as the upper word of a transform's Character Count holds them.
CHECKS = [(0x0001, "language"), (0x0002, "product code"), (0x0004, "platform"),
          (0x0800, "upgrade code")]
# How many fields of the version the installer compares.
FIELDS = [(0x0020, 3), (0x0010, 2), (0x0008, 1)]
RELATIONS = [(0x0040, "<"), (0x0080, "<="), (0x0100, "="), (0x0200, ">="), (0x0400, ">")]
FIELD_NAMES = {1: "major", 2: "major and minor", 3: "major, minor and update"}


class Refused(Exception):
    """A package, or given versions, the launcher must not be built with."""


@dataclasses.dataclass
class Transform:
    name: str
    product: str
    base_version: str
    new_version: str
    validation: int

    @property
    def fields(self):
        return next((count for flag, count in FIELDS if self.validation & flag), 0)

    @property
    def relations(self):
        return [name for flag, name in RELATIONS if self.validation & flag]


@dataclasses.dataclass
class Patch:
    code: str
    targets: list
    transforms: list
    twins: int = 0

    def base_versions(self):
        """Each base version once, in the transforms' order."""
        return list(dict.fromkeys(t.base_version for t in self.transforms))


def read_patch(path):
    """The Patch that the package at path describes; Refused if it is none."""
    try:
        with open(path, "rb") as file:
            package = compound_file.CompoundFile(file)
            return describe(package)
    except compound_file.Damaged as damage:
        raise Refused(str(damage))
    except OSError as error:
        raise Refused(f"cannot be read: {error.strerror or error}")


def describe(package):
    summary = properties(package, [SUMMARY], "the package")
    code = summary.get(PID_REVNUMBER, "")[:38]
    targets = [c for c in summary.get(PID_TEMPLATE, "").split(";") if c]
    names = [n for n in summary.get(PID_LASTAUTHOR, "").split(";") if n]
    if not re.fullmatch(GUID, code) or not names:
        raise Refused("is not a patch package: its summary information names "
                      + ("no transform" if re.fullmatch(GUID, code) else "no patch code"))
    transforms = []
    for listed in names:
        name = listed[1:] if listed.startswith(":") else listed
        if name.startswith("#"):
            continue
        if not package.is_storage([name]):
            raise Refused(f"lists the transform {name}, which it does not hold")
        transform = properties(package, [name, SUMMARY], f"the transform {name}")
        match = DESCRIPTION_RE.fullmatch(transform.get(PID_REVNUMBER, ""))
        if not match:
            raise Refused(f"transform {name}: its revision number "
                          f"{transform.get(PID_REVNUMBER, '')!r} is not "
                          "\"{base product}version;{new product}version;{upgrade code}\"")
        flags = transform.get(PID_CHARCOUNT, 0) & 0xFFFFFFFF
        transforms.append(Transform(name, match[1].upper(), match[2], match[4], flags >> 16))
    if not transforms:
        raise Refused("is not a patch package: it lists no transform but \"#\" ones")
    return Patch(code.upper(), [c.upper() for c in targets], transforms,
                 len(names) - len(transforms))


def properties(package, path, what):
    """pid -> value of the properties the check reads from a summary-information stream,
    its texts decoded."""
    stream = package.read_stream(path)
    if stream is None:
        raise Refused(f"is not a patch package: {what} has no summary information")
    try:
        values = summary_information.read(stream, EXPECTED)
    except summary_information.Malformed as malformed:
        raise Refused(f"the summary information of {what} {malformed}")
    codepage = values.get(PID_CODEPAGE, 1252)
    encoding = {1200: "utf-16-le", 65001: "utf-8"}.get(codepage, f"cp{codepage}")
    try:
        codecs.lookup(encoding)
    except LookupError:
        raise Refused(f"the summary information of {what} gives Codepage (property 1) "
                      f"{codepage}, which this reader cannot decode its texts with")
    return {pid: value.rstrip(b"\0").decode(encoding, "replace") if isinstance(value, bytes)
            else value for pid, value in values.items()}


def check_transforms(patch):
    """The target version they all bring a product to; Refused where they do not say one
    thing a launcher can carry."""
    for t in patch.transforms:
        if t.product not in patch.targets:
            raise Refused(f"transform {t.name} is for product {t.product}, which is not among "
                          f"the package's targets ({';'.join(patch.targets)})")
        if t.base_version == t.new_version:
            raise Refused(f"transform {t.name} brings {t.product} from {t.base_version} to "
                          f"{t.new_version}: the same version, so the launcher would stop "
                          "every run as if the product were newer than the patch")
        if not t.fields:
            raise Refused(f"transform {t.name} checks no version (validation flags "
                          f"{t.validation:#06x}): a launcher's list of versions cannot say "
                          "\"any version\"")
        if t.relations != ["="]:
            raise Refused(f"transform {t.name} accepts versions "
                          f"{' '.join(t.relations) or 'in no relation'} to its base "
                          f"{t.base_version} (validation flags {t.validation:#06x}): a "
                          "launcher's list of versions can say only \"=\"")
    covered = {t.product for t in patch.transforms}
    for code in patch.targets:
        if code not in covered:
            raise Refused(f"target product {code} of its template has no transform")
    targets = dict.fromkeys(t.new_version for t in patch.transforms)
    if len(targets) > 1:
        by_version = {v: [t.name for t in patch.transforms if t.new_version == v] for v in targets}
        raise Refused("its transforms bring products to different versions ("
                      + "; ".join(f"{v}: {', '.join(names[:3])}{', ...' if len(names) > 3 else ''}"
                                  for v, names in by_version.items())
                      + "), and a launcher has one target version")
    return next(iter(targets))


def matched_versions(listed):
    """The versions a candidate list matches: those followed by a comma."""
    return listed.split(",")[:-1]


def resolve_versions(patch, target_version, candidate_versions):
    """(string 700, string 900): the given ones where they agree with the package."""
    target = check_transforms(patch)
    bases = patch.base_versions()
    if target_version and target_version != target:
        raise Refused(f"LAUNCHER_TARGET_VERSION is {target_version}, but the package's "
                      f"transforms bring products to {target}")
    if candidate_versions:
        given = matched_versions(candidate_versions)
        missing = [v for v in bases if v not in given]
        extra = [v for v in given if v not in bases]
        if missing or extra:
            said = []
            if missing:
                said.append(f"{', '.join(missing)} missing (a version counts only with a "
                            "comma after it)")
            if extra:
                said.append(f"{', '.join(extra)} in the list, which no transform has as its base")
            raise Refused(f"LAUNCHER_CANDIDATE_VERSIONS is \"{candidate_versions}\", but the "
                          f"package's base versions are {', '.join(bases)}: "
                          + "; ".join(said))
    return target, candidate_versions or "".join(v + "," for v in bases)


def text_problem(data):
    """What keeps a text from being Windows-1252 with CR LF line ends, or None."""
    if data.startswith(codecs.BOM_UTF8):
        return "starts with a UTF-8 byte-order mark"
    if data[:2] in (codecs.BOM_UTF16_LE, codecs.BOM_UTF16_BE) or b"\0" in data:
        return "is in UTF-16"
    if re.search(rb"\r(?!\n)|(?<!\r)\n", data):
        return "has line ends other than CR LF"
    return None


def read_texts(texts):
    """{path: lines} of the patch-information texts; Refused where one is not as the
    launcher writes it out, byte for byte: Windows-1252 with CR LF line ends."""
    read = {}
    for path in texts:
        try:
            data = Path(path).read_bytes()
        except OSError as error:
            raise Refused(f"{path}: cannot be read: {error.strerror or error}")
        problem = text_problem(data)
        if problem:
            raise Refused(f"{path}: {problem}; the launcher hands the text on byte for byte, so "
                          "save it in Windows-1252 (ANSI) with CR LF line ends and no "
                          "byte-order mark")
        read[path] = data.decode("latin-1").split("\r\n")
    return read


def check_texts(texts, patch, candidates):
    """Refused where a patch-information text ({path: lines}) says another patch, versions
    or product."""
    wanted = set(matched_versions(candidates))
    for path, lines in texts.items():
        for number, line in enumerate(lines, start=1):
            key, _, value = line.partition("=")
            where = f"{path}:{number}: {key}={value}"
            if key == "PatchGUID" and value.upper() != patch.code:
                raise Refused(f"{where}, but the package's patch code is {patch.code}")
            if key == "ProductVersionCandidate" and set(value.split(";")) != wanted:
                raise Refused(f"{where}, but the launcher's candidate versions (string 900) "
                              f"are {';'.join(matched_versions(candidates))}")
            if key == "ProductCode" and value.upper() not in patch.targets:
                raise Refused(f"{where}, which is not among the package's target products")


def looser_example(version, fields):
    """A version the installer takes for `version` where the launcher, which compares all
    four parts, does not: the first part the installer leaves out, one higher."""
    parts = (version.split(".") + ["0"] * 4)[:4]
    parts[fields] = str(int(parts[fields]) + 1)
    return ".".join(parts)


def summary(patch, target, candidates):
    """What the launcher will do, in lines."""
    lines = [f"patch {patch.code}: {len(patch.targets)} target products, "
             f"{len(patch.transforms)} transforms (and {patch.twins} \"#\" twins)",
             f"versions {', '.join(matched_versions(candidates))} -> {target}"]
    by_validation = {}
    for t in patch.transforms:
        by_validation.setdefault(t.validation, []).append(t)
    for validation, alike in by_validation.items():
        checks = [name for flag, name in CHECKS if validation & flag]
        fields = alike[0].fields
        lines.append(f"the transforms validate ({validation:#06x}): {', '.join(checks)}; "
                     f"version: {FIELD_NAMES[fields]} equal to the base")
        for base in dict.fromkeys(t.base_version for t in alike):
            lines.append(f"the installer would also take {looser_example(base, fields)} for a "
                         f"base of {base}; the launcher compares all four parts and answers "
                         "such a product that the patch is not for it")
    return lines


def cmake_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"').replace("$", "\\$") + '"'


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--package", required=True)
    parser.add_argument("--text", action="append", default=[],
                        help="a patch-information text the launcher carries")
    parser.add_argument("--target-version", default="")
    parser.add_argument("--candidate-versions", default="")
    parser.add_argument("--output", required=True)
    args = parser.parse_args(argv)
    try:
        texts = read_texts(args.text)
        patch = read_patch(args.package)
        target, candidates = resolve_versions(patch, args.target_version, args.candidate_versions)
        check_texts(texts, patch, candidates)
    except Refused as refusal:
        print(f"LAUNCHER_PATCH_PACKAGE {args.package}: {refusal}", file=sys.stderr)
        return 1
    for line in summary(patch, target, candidates):
        print(line)
    Path(args.output).write_text(
        f"set(LAUNCHER_BUILT_TARGET_VERSION {cmake_string(target)})\n"
        f"set(LAUNCHER_BUILT_CANDIDATE_VERSIONS {cmake_string(candidates)})\n", encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())
