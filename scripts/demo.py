#!/usr/bin/env python3
"""Runs the built sample launcher under Wine on a sample machine and prints what a person
would see: each message box (caption and text) and the exit code of each run.

Usage: demo.py BUILD_DIR   (a Windows build tree with launcher.exe and watcher.exe)
"""
import os
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)


def main(build):
    build = os.path.abspath(build)
    work = os.path.join(build, "demo-work")
    os.environ.update(
        LAUNCHER_E2E_EXE=os.path.join(build, "launcher.exe"),
        LAUNCHER_E2E_WATCHER=os.path.join(build, "tests", "e2e", "harness", "watcher.exe"),
        LAUNCHER_E2E_PACKAGE=os.path.join(build, "sample", "sample.msp"),
        LAUNCHER_E2E_SOURCE=SOURCE,
        LAUNCHER_E2E_WORK=work)
    sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))
    import e2e_common

    targets = e2e_common.sample_targets().split(";")
    products = [  # code, name, language, installed version
        (targets[0], "Brimfold Tessary", 1031, "8.0.24.6"),
        (targets[1], "Brimfold Tessary Viewer", 1033, "8.1.0.3"),
        (targets[2], "Brimfold Tessary Studio", 1036, "8.0.20.0"),
    ]
    print("making the sample machine...")
    machine = e2e_common.SampleMachine()
    for code, name, language, version in products:
        machine.package(code, name, language, version, "16.0.54.0")
    with e2e_common.winetest.Prefix(e2e_common.winetest.ensure_master_prefix()) as prefix:
        for code, name, language, version in products:
            machine.install(prefix, code, name, language, version)
            print("  installed %s %s (language %d, version %s)" % (code, name, language, version))

        def run(*args):
            print("\n$ launcher.exe %s" % " ".join(args))
            result = prefix.run_watched(e2e_common.EXE, list(args), timeout=120)
            for box in result.boxes:
                print("  +-- %s" % box["caption"])
                for line in box["text"].split("\n"):
                    print("  |   %s" % line)
                print("  +-- [OK]")
            print("  exit code %s" % result.exit_code)

        out = tempfile.mkdtemp(prefix="extract-", dir=prefix.path)
        run("/i")
        extracted = os.path.join(out, "sp.msp")
        run("/e", prefix.win_path(extracted))
        same = e2e_common.read(extracted) == e2e_common.read(e2e_common.PACKAGE)
        print("  wrote %d bytes, %s the embedded package" % (
            os.path.getsize(extracted), "identical to" if same else "DIFFERENT from"))

        def versions():
            return [machine.probe_run(prefix, "info", code, "VersionString").get("value")
                    for code, _, _, _ in products]

        before = versions()
        run()
        for (code, name, _, _), old, new in zip(products, before, versions()):
            patches = machine.probe_run(prefix, "patches", code).all("patch")
            print("\n%s: version %s, now %s; patches applied %s"
                  % (name, old, new, patches or "none"))

        # A product at a version the patch is not for would get its 308 again; without it,
        # every product is at the target version, which one 306 says.
        code, name = products[-1][:2]
        prefix.wine(["msiexec", "/x", code, "/qn"])
        print("\n  uninstalled %s, which the patch is not for; once more:" % name)
        run()


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "build/windows-x64")
