#!/usr/bin/env python3
"""Builds launcher.exe again for other folders of patch-information texts.

Every variant is built in one shared build tree, one after the other, so that only the
resources and the links are made again; each finished executable is copied out, beside the
folder of texts it was built from:

    WORK/<variant>/launcher.exe
    WORK/<variant>/patch_info/

The signed variants are signed with a throw-away certificate authority's code-signing
certificate, made with openssl under WORK/signing.

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


def second_text(source, id):
    # A PatchSize line of its own, which the build fills in as the neutral 206's. Its product
    # is another of the package's targets.
    with open(os.path.join(source, "resources", "sample_package", "target_products.txt"), "rb") as f:
        code = f.read().split()[id - 205]
    return (b"ProductCode=" + code + b"\r\n" +
            b"PatchTitle=Second text, id %d\r\n" % id +
            b"PatchSize=4242\r\n")


def variants(source):
    """name -> {file name: bytes} of its folder of texts."""
    neutral, portuguese = shipped_texts(source)
    def without_size(text):
        return re.sub(rb"^PatchSize=[^\r\n]*\r\n", b"", text, flags=re.MULTILINE)
    return {
        # Built with the three passes that fill in PatchSize.
        "206-207": {"206.txt": neutral, "206.1046.txt": portuguese, "207.txt": second_text(source, 207)},
        "206-208": {"206.txt": neutral, "206.1046.txt": portuguese, "208.txt": second_text(source, 208)},
        "206-empty-207": {"206.txt": neutral, "207.txt": b""},
        "no-206": {"207.txt": second_text(source, 207)},
        # Only the 1046 copy, which a neutral lookup then finds, under Wine as well.
        "1046-only": {"206.1046.txt": portuguese},
        # Taken as they are, in one link.
        "empty-206": {"206.txt": b""},
        "no-patch-size": {"206.txt": without_size(neutral), "206.1046.txt": without_size(portuguese)},
        # The shipped texts: built again in another folder, for a build with another
        # package, or signed.
        "shipped": {"206.txt": neutral, "206.1046.txt": portuguese},
        "signed-p12": {"206.txt": neutral, "206.1046.txt": portuguese},
        "signed-pem": {"206.txt": neutral, "206.1046.txt": portuguese},
        # signed-p12 built again, unsigned, to be compared with it.
        "signed-p12-again": {"206.txt": neutral, "206.1046.txt": portuguese},
    }


# A package the build cannot read is built with the versions given.
UNCHECKED_PACKAGE = {"LAUNCHER_CHECK_PACKAGE": "OFF", "LAUNCHER_TARGET_VERSION": "8.2.0.4",
                     "LAUNCHER_CANDIDATE_VERSIONS": "8.0.24.6,8.1.0.3,"}
SIGNING_VARIABLES = ("CERTIFICATE", "KEY", "PASSWORD_FILE", "DESCRIPTION", "URL", "TIMESTAMP_URL")
DESCRIPTION = "Brimfold Tessary 8.2 Service Pack"
URL = "https://brimfold.example/servicepacks/8.2"
PASSWORD = "correct horse"


def signing_files(folder):
    """{name: path} of the test certificates in folder (see make_signing_files)."""
    return {name: os.path.join(folder, name + extension) for name, extension in (
        ("ca", ".pem"), ("ca_key", ".key"), ("code", ".pem"), ("code_key", ".key"),
        ("code_p12", ".p12"), ("server", ".pem"), ("server_key", ".key"), ("server_p12", ".p12"),
        ("password", ".txt"), ("wrong_password", ".txt"), ("extensions", ".cnf"))}


def make_signing_files(folder):
    """Makes a throw-away certificate authority (ca) and, signed by it, RSA 2048 keys and
    certificates for code signing (code, its key under the password in password.txt, and
    both in code_p12 under that password) and for a TLS server (server, server_p12);
    wrong_password.txt holds another password. Returns signing_files(folder)."""
    os.makedirs(folder, exist_ok=True)
    files = signing_files(folder)
    for name, text in (("password", PASSWORD + "\n"), ("wrong_password", "battery staple\n"),
                       ("extensions", "[code]\nkeyUsage=critical,digitalSignature\n"
                                      "extendedKeyUsage=codeSigning\n"
                                      "[server]\nkeyUsage=critical,digitalSignature\n"
                                      "extendedKeyUsage=serverAuth\n")):
        with open(files[name], "w") as f:
            f.write(text)
    password = "file:" + files["password"]
    run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "7",
         "-subj", "/CN=Brimfold Test CA", "-keyout", files["ca_key"], "-out", files["ca"],
         "-addext", "basicConstraints=critical,CA:TRUE",
         "-addext", "keyUsage=critical,keyCertSign,cRLSign"])
    for serial, name in enumerate(("code", "server"), 1):
        request = os.path.join(folder, name + ".csr")
        run(["openssl", "req", "-new", "-newkey", "rsa:2048", "-passout", password,
             "-subj", "/CN=Brimfold Test " + name, "-keyout", files[name + "_key"], "-out", request])
        run(["openssl", "x509", "-req", "-in", request, "-CA", files["ca"], "-CAkey", files["ca_key"],
             "-set_serial", str(serial), "-days", "7", "-extfile", files["extensions"],
             "-extensions", name, "-out", files[name]])
        run(["openssl", "pkcs12", "-export", "-in", files[name], "-inkey", files[name + "_key"],
             "-passin", password, "-passout", "pass:" + PASSWORD, "-out", files[name + "_p12"]])
    return files


def signed_variants(folder):
    """{variant: its LAUNCHER_SIGNING_ cache variables}, with test certificates made in folder."""
    files = make_signing_files(folder)
    return {
        # PKCS#12 and what the signature shows.
        "signed-p12": {"LAUNCHER_SIGNING_CERTIFICATE": files["code_p12"],
                       "LAUNCHER_SIGNING_PASSWORD_FILE": files["password"],
                       "LAUNCHER_SIGNING_DESCRIPTION": DESCRIPTION, "LAUNCHER_SIGNING_URL": URL},
        # A PEM certificate and its key under a password.
        "signed-pem": {"LAUNCHER_SIGNING_CERTIFICATE": files["code"],
                       "LAUNCHER_SIGNING_KEY": files["code_key"],
                       "LAUNCHER_SIGNING_PASSWORD_FILE": files["password"]},
    }


def run(command):
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if done.returncode != 0:
        raise RuntimeError("%s failed:\n%s" % (" ".join(command), done.stdout[-4000:]))


def build(source, work, package, names=None, configure_args=(), cmake="cmake", packages=None,
          settings=None):
    """Builds the named variants (all by default); returns {name: path of launcher.exe}.
    `packages` may give a variant a package of its own: {name: path}; `settings` cache
    variables of its own: {name: {variable: value}} (the signed variants' by default)."""
    table = variants(source)
    tree = os.path.join(work, "tree")
    names = names or list(table)
    if settings is None and any(name.startswith("signed-") for name in names):
        settings = signed_variants(os.path.join(work, "signing"))
    built = {}
    for name in names:
        texts = os.path.join(work, name, "patch_info")
        shutil.rmtree(texts, ignore_errors=True)
        os.makedirs(texts)
        for file_name, data in table[name].items():
            with open(os.path.join(texts, file_name), "wb") as f:
                f.write(data)
        package_of = (packages or {}).get(name, package)
        # Every variable a variant may set is given, at its default when unused: the shared
        # tree keeps the last.
        cache = {"LAUNCHER_SIGNING_" + variable: "" for variable in SIGNING_VARIABLES}
        cache.update(LAUNCHER_CHECK_PACKAGE="ON", LAUNCHER_TARGET_VERSION="",
                     LAUNCHER_CANDIDATE_VERSIONS="", LAUNCHER_SIGNATURE_BYTES="0")
        cache.update((settings or {}).get(name, {}))
        run([cmake, "-S", source, "-B", tree, *configure_args,
             "-DBUILD_TESTING=OFF", "-DLAUNCHER_PATCH_PACKAGE=" + os.path.abspath(package_of),
             "-DLAUNCHER_PATCH_INFO_DIR=" + texts, *("-D%s=%s" % item for item in cache.items())])
        run([cmake, "--build", tree, "--target", "launcher"])
        exe = os.path.join(work, name, "launcher.exe")
        shutil.copyfile(os.path.join(tree, "launcher.exe"), exe)
        built[name] = exe
    return built


def arguments(*extra):
    """(options, configure arguments) of a command line
    --source DIR --work DIR --package MSP [--cmake CMAKE] EXTRA... [-- CONFIGURE-ARGUMENTS];
    each of `extra` is the name and settings of another option."""
    argv = sys.argv[1:]
    configure_args = []
    if "--" in argv:
        configure_args = argv[argv.index("--") + 1:]
        argv = argv[:argv.index("--")]
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--package", required=True)
    parser.add_argument("--cmake", default="cmake")
    for name, settings in extra:
        parser.add_argument(name, **settings)
    return parser.parse_args(argv), configure_args


def main():
    args, configure_args = arguments(("--variant", {"action": "append"}))
    for name, exe in build(args.source, args.work, args.package, args.variant,
                           configure_args, args.cmake).items():
        print(name, exe, os.path.getsize(exe))


if __name__ == "__main__":
    main()
