#!/usr/bin/env python3
"""Signs launcher.exe (Authenticode, SHA-256) in place.

  sign_launcher.py --signer PROGRAM --openssl OPENSSL --certificate CERT [--key KEY]
                   [--password-file FILE] [--description TEXT] [--url URL]
                   [--timestamp-url URL] [--size-in TEXT] EXE

  PROGRAM is osslsigncode, or signtool (which takes PKCS#12 only). CERT is a PEM
  certificate whose private key is KEY (PEM), or, without KEY, a PKCS#12 file; FILE holds
  the password of the one that has one, on its first line.

  The certificate must be one for code signing (extendedKeyUsage codeSigning): a signer
  signs with any certificate, but Windows trusts no other for a program. EXE is signed into
  a temporary file that then takes its place. With --size-in, EXE is to have the size that
  the PatchSize line of TEXT names: the length of some signatures changes from one signing
  to the next (an ECDSA signature's numbers, a time stamp's), so EXE is signed again until
  it has, a bounded number of times; the build's check says whether it got there.

  When it fails, EXE is removed, so that no build takes an unsigned file for finished.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys

SIGNINGS_FOR_SIZE = 32
PATCH_SIZE = re.compile(rb"^PatchSize=([^\r\n]*)", re.MULTILINE)


class Refused(Exception):
    pass


def run(command, input=None):
    # No terminal: a signer asking for a password it was not given must fail, not wait.
    done = subprocess.run(command, input=input, stdin=None if input else subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return done.returncode, done.stdout, done.stderr.decode("utf-8", "replace")


def wrong_password(output):
    return re.search(r"wrong password|mac verify failure|bad decrypt|invalid password|"
                     r"password is not correct", output, re.IGNORECASE) is not None


def password_refused(args, file):
    if args.password_file:
        return Refused(f"wrong password: {args.password_file} does not hold the password of {file}")
    return Refused(f"{file} is protected by a password: give its file in "
                   "LAUNCHER_SIGNING_PASSWORD_FILE")


def signing_certificate(args):
    """The certificate, as PEM; from a PKCS#12 file, the one that goes with its key."""
    if args.key:
        with open(args.certificate, "rb") as f:
            return f.read()
    passin = "file:" + args.password_file if args.password_file else "pass:"
    command = [args.openssl, "pkcs12", "-in", args.certificate, "-nokeys", "-clcerts",
               "-passin", passin]
    code, pem, error = run(command)
    if code != 0:
        # OpenSSL 3 reads older files (RC2, as older Windows exported) only with its
        # legacy algorithms.
        code, pem, _ = run(command + ["-legacy"])
    if code != 0:
        if wrong_password(error):
            raise password_refused(args, args.certificate)
        raise Refused(f"{args.certificate}: not a PKCS#12 file openssl can read:\n{error}")
    return pem


def check_purpose(args):
    code, listed, error = run([args.openssl, "x509", "-noout", "-ext", "extendedKeyUsage"],
                              input=signing_certificate(args))
    if code != 0:
        raise Refused(f"{args.certificate}: no certificate openssl can read:\n{error}")
    # "X509v3 Extended Key Usage: [critical]", then the purposes, separated by commas.
    lines = listed.decode("utf-8", "replace").splitlines()[1:]
    purposes = [p.strip() for p in ",".join(lines).split(",") if p.strip()]
    if "Code Signing" not in purposes:
        raise Refused(f"not a code-signing certificate: {args.certificate} has extendedKeyUsage "
                      f"{', '.join(purposes) or '(none)'}, without codeSigning")


def first_line(path):
    with open(path, encoding="utf-8") as f:
        return f.readline().rstrip("\r\n")


def sign_command(args, source, output):
    if os.path.basename(args.signer).lower().startswith("signtool"):
        # signtool signs in place, and takes the password itself, not a file.
        command = [args.signer, "sign", "/fd", "sha256", "/f", args.certificate]
        if args.password_file:
            command += ["/p", first_line(args.password_file)]
        if args.description:
            command += ["/d", args.description]
        if args.url:
            command += ["/du", args.url]
        if args.timestamp_url:
            command += ["/tr", args.timestamp_url, "/td", "sha256"]
        return command + [output]
    command = [args.signer, "sign", "-h", "sha256"]
    if args.key:
        command += ["-certs", args.certificate, "-key", args.key]
    else:
        command += ["-pkcs12", args.certificate]
    if args.password_file:
        command += ["-readpass", args.password_file]
    if args.description:
        command += ["-n", args.description]
    if args.url:
        command += ["-i", args.url]
    if args.timestamp_url:
        command += ["-ts", args.timestamp_url]
    return command + ["-in", source, "-out", output]


def sign_once(args, source, output):
    """Signs source into output, through a temporary file beside it."""
    temporary = output + ".signing"
    if os.path.basename(args.signer).lower().startswith("signtool"):
        with open(source, "rb") as f, open(temporary, "wb") as out:
            out.write(f.read())
    code, printed, error = run(sign_command(args, source, temporary))
    if code != 0:
        if os.path.lexists(temporary):
            os.remove(temporary)
        text = printed.decode("utf-8", "replace") + error
        if wrong_password(text):
            raise password_refused(args, args.key or args.certificate)
        raise Refused(f"{os.path.basename(args.signer)} failed:\n{text}")
    os.replace(temporary, output)


def wanted_size(text_path):
    with open(text_path, "rb") as f:
        found = PATCH_SIZE.search(f.read())
    return int(found.group(1)) if found and found.group(1).isdigit() else None


def sign(args):
    check_purpose(args)
    wanted = wanted_size(args.size_in) if args.size_in else None
    # The unsigned file is kept aside for signing again.
    unsigned = args.exe + ".unsigned"
    os.replace(args.exe, unsigned)
    try:
        for _ in range(SIGNINGS_FOR_SIZE if wanted is not None else 1):
            sign_once(args, unsigned, args.exe)
            shutil.copymode(unsigned, args.exe)
            if wanted is None or os.path.getsize(args.exe) == wanted:
                break
    finally:
        os.remove(unsigned)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--signer", required=True)
    parser.add_argument("--openssl", required=True)
    parser.add_argument("--certificate", required=True)
    parser.add_argument("--key")
    parser.add_argument("--password-file")
    parser.add_argument("--description")
    parser.add_argument("--url")
    parser.add_argument("--timestamp-url")
    parser.add_argument("--size-in")
    parser.add_argument("exe")
    args = parser.parse_args()
    try:
        sign(args)
    except (Refused, OSError) as error:
        if os.path.lexists(args.exe):
            os.remove(args.exe)
        sys.exit(f"{args.exe} not signed, and removed: {error}")


if __name__ == "__main__":
    main()
