"""The default run against the Windows Installer alone: "launcher.exe /q" and
"msiexec /p <the same package> /qn" on the same eight installed sample products, each run
in a fresh copy of one prefix, the sides taking turns. Every run must leave every product
at the target version, or no figure comes of it.

The sides (SIDES): the launcher; msiexec on the package where it lies; and, through
"cmd /c" like the others then, what an administrator does instead of running the launcher:
copy the package onto the machine, then msiexec on the copy."""

import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e", "harness"))
sys.path.insert(0, os.path.join(HERE, "..", "e2e", "sample_machine"))
TARGETS_FILE = os.path.join(HERE, "..", "..", "resources", "sample_package", "target_products.txt")

import sample_products  # noqa: E402
import winetest  # noqa: E402

# Eight targets of the sample package, at both versions it is built for, in eight languages.
LANGUAGES = (1033, 1031, 1036, 1040, 1034, 1041, 1046, 2052)
VERSIONS = ("8.0.24.6", "8.1.0.3")
_STAMP = "products-installed"


class RunError(Exception):
    """A run that failed or did not patch: no figure can come of it."""


def sample_products_list():
    with open(TARGETS_FILE, encoding="ascii") as f:
        codes = [line.strip() for line in f if line.strip()]
    return [(code, "Tessary %d" % i, language, VERSIONS[i % 2])
            for i, (code, language) in enumerate(zip(codes, LANGUAGES))]


def ensure_products_prefix(work):
    """A master prefix with the eight products installed, made once per work folder."""
    path = os.path.join(work, "products-prefix")
    if os.path.exists(os.path.join(path, _STAMP)):
        return path
    master = winetest.ensure_master_prefix(os.path.join(work, "master-prefix"))
    packages = os.path.join(work, "products")
    os.makedirs(packages, exist_ok=True)
    module = sample_products.build_module(os.path.join(packages, "mainmod.vxm"), "16.0.54.0")
    sample_products.build_probe(os.path.join(work, "msiprobe.exe"))
    if os.path.exists(path):
        winetest.stop_server(path)
        subprocess.run(["rm", "-rf", path], check=True)
    os.makedirs(path)
    winetest.clone_prefix(master, path)
    env = winetest.wine_env(path)

    def run_wine(args):
        return winetest.run_command([winetest.loader(), *args], env, timeout=300)

    for i, (code, name, language, version) in enumerate(sample_products_list()):
        msi = sample_products.build_product(os.path.join(packages, "product-%d.msi" % i), code,
                                            name, language, version, module)
        sample_products.install_product(run_wine, msi)
    winetest.stop_server(path)
    open(os.path.join(path, _STAMP), "w").close()
    return path


def timed(command, env, timeout=3600):
    """(exit code, wall seconds) of one command, its output away."""
    start = time.perf_counter()
    done = subprocess.run(command, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=timeout)
    return done.returncode, time.perf_counter() - start


def version_of(prefix, probe, code):
    """The product's version as the installer reports it. The probe is asked a second time
    when it fails to start (once in a long run of this machine, exit 1 and no output), so
    that one such start does not end a run of many minutes; a second failure does."""
    try:
        return sample_products.run_probe(prefix.wine, probe, "info", code, "VersionString").get("value")
    except sample_products.WineError as error:
        print("the probe failed, asked again: %s" % error, file=sys.stderr)
        return sample_products.run_probe(prefix.wine, probe, "info", code, "VersionString").get("value")


def check_patched(prefix, probe, target_version):
    for code, *_ in sample_products_list():
        found = version_of(prefix, probe, code)
        if found != target_version:
            raise RunError("%s is at %s after the run, not %s" % (code, found, target_version))


SIDES = ("launcher", "msiexec", "copy and msiexec")
# Where the administrator's copy goes: the machine's own disk, as the launcher's does.
COPY = r"C:\windows\temp\patch.msp"


def command(which, launcher, package, through_cmd):
    """The command line of one side: straight under the loader, or through "cmd /c"."""
    package = winetest.Prefix.win_path(package)
    if which == "launcher":
        args = [winetest.Prefix.win_path(launcher) if through_cmd else launcher, "/q"]
    elif which == "msiexec":
        args = ["msiexec", "/p", package, "/qn"]
    else:
        args = ["copy", "/b", "/y", package, COPY, ">nul", "&&", "msiexec", "/p", COPY, "/qn"]
    return [winetest.loader()] + (["cmd", "/c"] + args if through_cmd else args)


def run_once(master, which, launcher, package, probe, target_version, through_cmd=False):
    """Wall seconds of one default run in a fresh copy of the products prefix."""
    with winetest.Prefix(master=master, watcher="unused") as prefix:
        command_line = command(which, launcher, package, through_cmd)
        # What earlier runs wrote (gigabytes, with a large package) goes to the disk first,
        # so that no run is slowed by the writeback of another's files.
        os.sync()
        code, seconds = timed(command_line, prefix.env())
        # A Unix exit status keeps the low 8 bits: anything but 0 is no success here.
        if code != 0:
            raise RunError("%s exited %d" % (which, code))
        check_patched(prefix, probe, target_version)
    return seconds


def orders(sides, runs):
    """The order of the sides in each round: each goes first in turn, so that a drift over
    the runs weighs on all alike."""
    return [sides[i % len(sides):] + sides[:i % len(sides)] for i in range(runs)]


def measure(launcher, package, work, runs, target_version, sides=SIDES[:2], through_cmd=False):
    """{side: [seconds...]}, run i of each in round i."""
    master = ensure_products_prefix(work)
    probe = os.path.join(work, "msiprobe.exe")
    # Untimed: the first start of each in such a prefix, and the file cache.
    for which in sides:
        run_once(master, which, launcher, package, probe, target_version, through_cmd)
    samples = {which: [] for which in sides}
    for order in orders(tuple(sides), runs):
        for which in order:
            samples[which].append(run_once(master, which, launcher, package, probe,
                                           target_version, through_cmd))
    return samples
