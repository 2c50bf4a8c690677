#!/usr/bin/env python3
"""Checks the string tables compiled into the launcher executable.

Usage:
  check_string_tables.py LAUNCHER.exe --target-version 8.2.0.4 \
      --candidate-versions 8.0.24.6,8.1.0.3, [--show LANG:ID ...]

Prints one line per failed check and exits with 1 if any failed, 0 otherwise.
--show prints decoded entries (escaped) so a reviewer can read what the
loader will hand out. Needs the pefile module.
"""
import argparse
import re
import sys

import pefile

RT_STRING = 6

# The loader hands out at most 255 characters plus the terminator.
MAX_CHARS = 255

LANGUAGES = (1028, 1029, 1031, 1033, 1034, 1036, 1038, 1040, 1041, 1042,
             1045, 1046, 1049, 2052)
ENGLISH = 1033

# Exact English texts, as the message boxes show them.
ENGLISH_TEXTS = {
    300: "A problem prevented the Service Pack from being installed. "
         "Contact your system administrator. \n\n Error Code: %d",
    301: "The service pack was successfully installed and %s has been "
         "updated.",
    306: "Your version of %s is up-to-date and this service pack is not "
         "necessary",
    307: "The service pack could not be installed because the expected "
         "Brimfold product could not be located on your computer.\n"
         "Make sure that you are using the correct service pack for the "
         "product.",
    308: "This service pack could not be installed because it is not "
         "designed for the version of %s that is installed on your "
         "computer.",
    309: "The command line that you supplied is incorrect. Please check it "
         "for errors.",
    310: "You must supply a patch list with the command line to install "
         "this service pack installation.",
    311: "Installation Error",
    312: "Installation Successful",
    313: "Installation Unnecessary",
}
MESSAGE_IDS = tuple(ENGLISH_TEXTS)
ABSENT_IDS = (302, 303, 304, 305)

# wsprintfW directives; "%%" is a literal and not an argument.
DIRECTIVE = re.compile(r"%(?:%|[-+ #0]*\d*(?:\.\d+)?[hlI]*\w)")
LINE_FEEDS = re.compile(r"\n+")


def block_of(string_id):
    return string_id // 16 + 1


def decode_block(data, block):
    """Returns {id: text} for the non-empty entries of one string block."""
    entries = {}
    pos = 0
    for index in range(16):
        if pos + 2 > len(data):
            raise ValueError("block %d ends inside entry %d" % (block, index))
        count = int.from_bytes(data[pos:pos + 2], "little")
        pos += 2
        raw = data[pos:pos + 2 * count]
        if len(raw) != 2 * count:
            raise ValueError("block %d entry %d runs past the data"
                             % (block, index))
        pos += 2 * count
        if count:
            entries[(block - 1) * 16 + index] = raw.decode("utf-16-le")
    return entries


def read_string_tables(path):
    """Returns ({block: set(languages)}, {language: {id: text}})."""
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories(directories=[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    blocks, texts = {}, {}
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return blocks, texts
    for rtype in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if rtype.id != RT_STRING:
            continue
        for name in rtype.directory.entries:
            for lang in name.directory.entries:
                data = pe.get_data(lang.data.struct.OffsetToData,
                                   lang.data.struct.Size)
                blocks.setdefault(name.id, set()).add(lang.id)
                texts.setdefault(lang.id, {}).update(
                    decode_block(data, name.id))
    return blocks, texts


def placeholders(text):
    return DIRECTIVE.findall(text)


def line_feed_runs(text):
    return [len(run) for run in LINE_FEEDS.findall(text)]


def check(blocks, texts, version_texts):
    failures = []
    fail = failures.append
    all_langs = set(LANGUAGES)

    # Which languages each block must hold.
    expected_blocks = {block_of(i): all_langs for i in MESSAGE_IDS}
    expected_blocks.update({block_of(i): {ENGLISH} for i in version_texts})
    for block, langs in sorted(expected_blocks.items()):
        got = blocks.get(block, set())
        if got != langs:
            fail("block %d: languages %s, expected %s"
                 % (block, sorted(got), sorted(langs)))
    for block in sorted(set(blocks) - set(expected_blocks)):
        fail("block %d: unexpected, languages %s"
             % (block, sorted(blocks[block])))

    # Which ids each language must hold, and nothing else.
    for lang in sorted(all_langs | set(texts)):
        wanted = set(MESSAGE_IDS) if lang in all_langs else set()
        if lang == ENGLISH:
            wanted |= set(version_texts)
        have = set(texts.get(lang, {}))
        for sid in sorted(wanted - have):
            fail("lang %d id %d: missing or empty" % (lang, sid))
        for sid in sorted(have - wanted):
            kind = "must not exist" if sid in ABSENT_IDS else "unexpected"
            fail("lang %d id %d: %s" % (lang, sid, kind))

    english = texts.get(ENGLISH, {})
    for sid, want in list(ENGLISH_TEXTS.items()) + list(version_texts.items()):
        got = english.get(sid)
        if got is not None and got != want:
            fail("lang %d id %d: %r, expected %r" % (ENGLISH, sid, got, want))

    # Properties every translation shares with the English text.
    rules = (
        ("placeholders", placeholders),
        ("line-feed runs", line_feed_runs),
        ("names Brimfold", lambda t: "Brimfold" in t),
    )
    for lang in LANGUAGES:
        for sid in MESSAGE_IDS:
            text = texts.get(lang, {}).get(sid)
            if text is None:
                continue
            where = "lang %d id %d" % (lang, sid)
            if len(text) > MAX_CHARS:
                fail("%s: %d characters, at most %d fit"
                     % (where, len(text), MAX_CHARS))
            if "\\" in text or "\r" in text or "\0" in text:
                fail("%s: stray escape or control character: %r"
                     % (where, text))
            if lang == ENGLISH:
                continue
            source = ENGLISH_TEXTS[sid]
            if text == source:
                fail("%s: not translated" % where)
            for what, extract in rules:
                if extract(text) != extract(source):
                    fail("%s: %s %r, English has %r"
                         % (where, what, extract(text), extract(source)))
    return failures


def parse_show(value):
    lang, _, sid = value.partition(":")
    return int(lang), int(sid)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("exe")
    parser.add_argument("--target-version", required=True)
    parser.add_argument("--candidate-versions", required=True)
    parser.add_argument("--show", type=parse_show, action="append",
                        default=[], metavar="LANG:ID")
    args = parser.parse_args(argv)

    try:
        blocks, texts = read_string_tables(args.exe)
    except (OSError, ValueError, pefile.PEFormatError) as error:
        print("%s: cannot read string tables: %s" % (args.exe, error))
        return 1

    for lang, sid in args.show:
        print("%d:%d %r" % (lang, sid, texts.get(lang, {}).get(sid)))

    failures = check(blocks, texts, {700: args.target_version,
                                     900: args.candidate_versions})
    for line in failures:
        print(line)
    if failures:
        return 1
    print("string tables OK: %d languages, %d blocks"
          % (len(texts), len(blocks)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
