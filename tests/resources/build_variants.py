#!/usr/bin/env python3
"""Builds launcher.exe again for other folders of patch-information texts.

Every variant is built in one shared build tree, one after the other, so that only the
resources and the links are made again; each finished executable is copied out, beside the
folder of texts it was built from:

    WORK/<variant>/launcher.exe
    WORK/<variant>/patch_info/

Usage: build_variants.py --source DIR --work DIR --package MSP [--variant NAME ...]
                         [-- CONFIGURE-ARGUMENTS]
(the configure arguments name the toolchain, e.g. -DCMAKE_TOOLCHAIN_FILE=...).
Without --variant, every variant is built.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys


def shipped_texts(source):
    folder = os.path.join(source, "resources", "patch_info")
    with open(os.path.join(folder, "206.txt"), "rb") as f:
        neutral = f.read()
    with open(os.path.join(folder, "206.1046.txt"), "rb") as f:
        portuguese = f.read()
    return neutral, portuguese


def second_text(id):
    # A PatchSize line of its own, which the build must leave alone: only the neutral 206
    # carries the launcher's size.
    return (b"ProductCode={0C4E7A21-5B3D-4F68-9A1E-2D7F6B8C3E%02d}\r\n" % id +
            b"PatchTitle=Second text, id %d\r\n" % id +
            b"PatchSize=4242\r\n")


def variants(source):
    """name -> {file name: bytes} of its folder of texts."""
    neutral, portuguese = shipped_texts(source)
    without_size = re.sub(rb"^PatchSize=[^\r\n]*\r\n", b"", neutral, flags=re.MULTILINE)
    return {
        # Built with the three passes that fill in PatchSize.
        "206-207": {"206.txt": neutral, "206.1046.txt": portuguese, "207.txt": second_text(207)},
        "206-208": {"206.txt": neutral, "206.1046.txt": portuguese, "208.txt": second_text(208)},
        "206-empty-207": {"206.txt": neutral, "207.txt": b""},
        # Taken as they are, in one link.
        "no-206": {"207.txt": second_text(207)},
        "empty-206": {"206.txt": b""},
        "no-patch-size": {"206.txt": without_size, "206.1046.txt": portuguese},
        # The shipped texts, for a build with another package.
        "shipped": {"206.txt": neutral, "206.1046.txt": portuguese},
    }


def run(command):
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if done.returncode != 0:
        raise RuntimeError("%s failed:\n%s" % (" ".join(command), done.stdout[-4000:]))


def build(source, work, package, names=None, configure_args=(), cmake="cmake", packages=None):
    """Builds the named variants (all by default); returns {name: path of launcher.exe}.
    `packages` may give a variant a package of its own: {name: path}."""
    table = variants(source)
    tree = os.path.join(work, "tree")
    built = {}
    for name in names or table:
        texts = os.path.join(work, name, "patch_info")
        shutil.rmtree(texts, ignore_errors=True)
        os.makedirs(texts)
        for file_name, data in table[name].items():
            with open(os.path.join(texts, file_name), "wb") as f:
                f.write(data)
        package_of = (packages or {}).get(name, package)
        run([cmake, "-S", source, "-B", tree, *configure_args,
             "-DBUILD_TESTING=OFF", "-DLAUNCHER_PATCH_PACKAGE=" + os.path.abspath(package_of),
             "-DLAUNCHER_PATCH_INFO_DIR=" + texts])
        run([cmake, "--build", tree, "--target", "launcher"])
        exe = os.path.join(work, name, "launcher.exe")
        shutil.copyfile(os.path.join(tree, "launcher.exe"), exe)
        built[name] = exe
    return built


def main():
    argv = sys.argv[1:]
    configure_args = []
    if "--" in argv:
        configure_args = argv[argv.index("--") + 1:]
        argv = argv[:argv.index("--")]
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--package", required=True)
    parser.add_argument("--variant", action="append")
    parser.add_argument("--cmake", default="cmake")
    args = parser.parse_args(argv)
    for name, exe in build(args.source, args.work, args.package, args.variant,
                           configure_args, args.cmake).items():
        print(name, exe, os.path.getsize(exe))


if __name__ == "__main__":
    main()
