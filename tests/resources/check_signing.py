#!/usr/bin/env python3
"""Checks the signed variants that build_variants.py built under WORK: each signature
verifies against the test certificate authority and shows what the build was given, and
the p12 one, its signature removed, is what an unsigned build told the signature's length
makes. Then builds with what must not sign, in the same tree, and checks that the build
fails, saying why. Prints the size the signature adds.

Usage: check_signing.py --source DIR --work DIR --package MSP [--cmake CMAKE]
                        [-- CONFIGURE-ARGUMENTS]
"""
import os
import re
import subprocess
import sys

import build_variants


def osslsigncode(*args):
    done = subprocess.run(["osslsigncode", *args], stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    return done.returncode, done.stdout


def check_signed(work, files):
    failures = []
    shows = {"signed-p12": (build_variants.DESCRIPTION, build_variants.URL), "signed-pem": None}
    for name, shown in shows.items():
        exe = os.path.join(work, name, "launcher.exe")
        code, report = osslsigncode("verify", "-CAfile", files["ca"], "-in", exe)
        if code != 0:
            failures.append(f"{name}: the signature does not verify:\n{report}")
        if not re.search(r"digest algorithm\s*:\s*SHA256", report):
            failures.append(f"{name}: not signed with SHA-256:\n{report}")
        if shown and not all(text in report for text in shown):
            failures.append(f"{name}: the signature does not show {shown}:\n{report}")
        unsigned = exe + ".unsigned"
        code, report = osslsigncode("remove-signature", "-in", exe, "-out", unsigned)
        if code != 0:
            failures.append(f"{name}: the signature cannot be removed:\n{report}")
            continue
        signed_size, unsigned_size = os.path.getsize(exe), os.path.getsize(unsigned)
        os.remove(unsigned)
        print(f"{name}: {signed_size} bytes signed, {unsigned_size} unsigned: "
              f"the signature adds {signed_size - unsigned_size} bytes")
    return failures


def check_built_again(args, configure_args):
    release = os.path.join(args.work, "signed-p12", "launcher.exe")
    unsigned = release + ".unsigned"
    code, report = osslsigncode("remove-signature", "-in", release, "-out", unsigned)
    if code != 0:
        return [f"signed-p12: the signature cannot be removed:\n{report}"]
    signature = os.path.getsize(release) - os.path.getsize(unsigned)
    again = build_variants.build(
        args.source, args.work, args.package, ["signed-p12-again"], configure_args, args.cmake,
        settings={"signed-p12-again": {"LAUNCHER_SIGNATURE_BYTES": str(signature)}})
    with open(unsigned, "rb") as f, open(again["signed-p12-again"], "rb") as g:
        same = f.read() == g.read()
    os.remove(unsigned)
    return [] if same else [f"signed-p12 without its signature differs from the build made "
                            f"again with LAUNCHER_SIGNATURE_BYTES={signature}"]


def check_refused(args, configure_args, files):
    cases = [
        # (variant, its signing variables, what the build's failure says)
        ("wrong-password-p12",
         {"CERTIFICATE": files["code_p12"], "PASSWORD_FILE": files["wrong_password"]},
         r"wrong password: \S*wrong_password\.txt does not hold the password of \S*code_p12\.p12"),
        ("wrong-password-pem",
         {"CERTIFICATE": files["code"], "KEY": files["code_key"],
          "PASSWORD_FILE": files["wrong_password"]},
         r"wrong password: \S*wrong_password\.txt does not hold the password of \S*code_key\.key"),
        ("not-for-code-signing",
         {"CERTIFICATE": files["server_p12"], "PASSWORD_FILE": files["password"]},
         r"not a code-signing certificate: \S*server_p12\.p12 has extendedKeyUsage "
         r"TLS Web Server Authentication, without codeSigning"),
    ]
    failures = []
    for name, variables, message in cases:
        settings = {"LAUNCHER_SIGNING_" + variable: value for variable, value in variables.items()}
        try:
            build_variants.build(args.source, args.work, args.package, ["shipped"],
                                 configure_args, args.cmake, settings={"shipped": settings})
        except RuntimeError as error:
            if not re.search(message, str(error)):
                failures.append(f"{name}: the build failed without saying /{message}/:\n{error}")
            continue
        failures.append(f"{name}: the build signed")
    return failures


def main():
    args, configure_args = build_variants.arguments()
    # The files build_variants.py made for the signed variants.
    files = build_variants.signing_files(os.path.join(args.work, "signing"))
    failures = (check_signed(args.work, files) + check_built_again(args, configure_args) +
                check_refused(args, configure_args, files))
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
