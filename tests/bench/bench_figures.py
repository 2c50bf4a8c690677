#!/usr/bin/env python3
"""Turns the benchmark runs into the launcher's performance figures and prints them as one
table against their goals; exits 1 when a goal is missed.

  discovery   time of the product discovery over 100,000 target codes / over 10,000,
              from the JSON of discovery_bench (median CPU time of its repetitions)
  extraction  launcher.exe /e against reference_extract.exe /e under Wine, onto a new path
              and onto an existing file: the median of the per-pair time ratios, and the
              difference of the median peak resident sizes of the two Wine processes
  default run launcher.exe /q against msiexec /p <the same package> /qn on the same eight
              installed sample products: the median of the per-pair time ratios
  size        the i686 launcher.exe less the package it carries
  large       with --large-*: the extraction figures again with a large package; the
              default run against copying the package onto the machine and then msiexec /p
              on the copy (and, for information, against msiexec /p on the package where it
              lies), each side through cmd /c; its build's time and peak memory, and the
              configure step's read of it, against the default package's

Every ratio comes from runs made here, in this one invocation; no figure compares with a
time measured elsewhere.
"""

import argparse
import datetime
import hashlib
import json
import os
import platform
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "resources"))
sys.path.insert(0, os.path.join(HERE, "..", "e2e", "harness"))

import check_size  # noqa: E402
import default_run  # noqa: E402
import winetest  # noqa: E402

PEAK_RSS = os.path.join(HERE, "peak_rss.py")
SOURCE = os.path.join(HERE, "..", "..")
READER = os.path.join(SOURCE, "cmake", "read_patch_package.py")
TEXTS = os.path.join(SOURCE, "resources", "patch_info")

# The CI guard on the executable's overhead and this goal are one number.
SIZE_LIMIT = check_size.OVERHEAD_LIMIT


def _ratio(goal):
    return (lambda v: "%.3f" % v, "<= %s" % goal, lambda v: v <= goal)


def _memory():
    return (lambda v: "%+.2f MiB" % (v / 1024), "<= +1 MiB", lambda v: v <= 1024)  # KiB


# Each figure: its label, how its value is shown, its goal as shown, and whether a value
# meets the goal.
FIGURES = {
    "discovery": ("discovery time(100k)/time(10k)",
                  lambda v: "%.2f" % v, "<= 12", lambda v: v <= 12.0),
    "extraction time": ("/e onto a new path, time launcher/reference", *_ratio(1.1)),
    "extraction memory": ("/e onto a new path, peak RSS launcher - reference", *_memory()),
    "replace time": ("/e onto an existing file, time launcher/reference", *_ratio(1.1)),
    "replace memory": ("/e onto an existing file, peak RSS launcher - reference", *_memory()),
    "default run": ("default run, median time launcher /q / msiexec /p /qn", *_ratio(1.0)),
    # What an administrator does instead: the package must reach the machine first.
    "default run copy": ("default run, median time launcher /q / (copy, msiexec /p /qn on it)",
                         *_ratio(1.1)),
    "default run on disk": ("default run, median time launcher /q / msiexec /p /qn, package "
                            "on disk", lambda v: "%.3f" % v, "none (information)",
                            lambda v: True),
    # With a large package: how much more its build takes than the default package's, per
    # how much larger the package is (1 grows just as the package does).
    "build time": ("build time growth / package growth", lambda v: "%.3f" % v, "<= 1",
                   lambda v: v <= 1.0),
    "build memory": ("build peak memory growth / package growth", lambda v: "%.3f" % v, "<= 1",
                     lambda v: v <= 1.0),
    "package read": ("configure step's package read, time growth / package growth",
                     lambda v: "%.3f" % v, "<= 1.1", lambda v: v <= 1.1),
    "size": ("executable overhead (i686 launcher.exe - package)",
             "{:,} bytes".format, "< {:,} bytes".format(SIZE_LIMIT), lambda v: v < SIZE_LIMIT),
}


DISCOVERY_BENCHMARK = "BM_DiscoverInstalledProducts"


class FigureError(Exception):
    """A figure that could not be measured: the row says why and counts as missed."""


# --- discovery ---

def median_times(report, benchmark):
    """{argument: median CPU time in seconds} of one benchmark in a Google Benchmark JSON
    report made with repetitions; a run that reported an error fails the figure, since a
    scan that stopped early would look fast."""
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    times = {}
    for entry in report.get("benchmarks", []):
        name = entry.get("run_name", entry.get("name", ""))
        base, _, argument = name.partition("/")
        if base != benchmark:
            continue
        if entry.get("error_occurred"):
            raise FigureError("%s: %s" % (name, entry.get("error_message", "error")))
        if entry.get("run_type") == "aggregate" and entry.get("aggregate_name") == "median":
            times[int(argument)] = entry["cpu_time"] * scale[entry.get("time_unit", "ns")]
    return times


def discovery_ratio(report):
    times = median_times(report, DISCOVERY_BENCHMARK)
    if 10_000 not in times or 100_000 not in times:
        raise FigureError("no median for 10,000 and 100,000 codes in the report")
    return times[100_000] / times[10_000], times


# --- extraction ---

def pair_orders(pairs):
    """Which of the two goes first in each pair: they take turns, so a drift over the
    runs (a warming cache, a busier machine) weighs on both alike."""
    return [("launcher", "reference") if i % 2 == 0 else ("reference", "launcher")
            for i in range(pairs)]


def extraction_figures(samples):
    """From {"launcher": [(seconds, maxrss KiB)...], "reference": [...]}, run i of one
    being in the same pair as run i of the other: (median time ratio, median peak RSS of
    the launcher less that of the reference, in KiB)."""
    ratios = [l[0] / r[0] for l, r in zip(samples["launcher"], samples["reference"])]
    memory = (statistics.median(m for _, m in samples["launcher"]) -
              statistics.median(m for _, m in samples["reference"]))
    return statistics.median(ratios), memory


def _digest(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


class Extractor:
    """Runs one exe as "<exe> /e <path>" straight under the Wine loader (no watcher: a
    successful /e shows no box), in a prefix whose wineserver is already running, so the
    Unix process measured is the Windows process and nothing else. Its peak resident size
    is the kernel's count for that process (what Wine itself reports as the Windows-side
    PeakWorkingSetSize), taken from outside so neither program carries code to read it.
    With `existing`, a file of half the package's size stands at the path before each run."""

    def __init__(self, prefix, exe, out_dir, package_digest, existing=False):
        self.prefix = prefix
        self.exe = exe
        self.out = os.path.join(out_dir, os.path.basename(exe) + ".msp")
        self.package_digest = package_digest
        self.existing = existing

    def _plant_old_file(self, size):
        # On the disk before the run, as a file that has been there a while would be: a
        # run would otherwise also time the kernel's writeback of what was just written.
        block = b"an older package " * 4096
        with open(self.out, "wb") as f:
            while size > 0:
                f.write(block[:size])
                size -= len(block)
            f.flush()
            os.fsync(f.fileno())

    def run(self, package_size):
        """(wall seconds, peak resident KiB) of one run; the package it wrote is checked
        byte for byte, then removed, so every run writes a new file."""
        name = os.path.basename(self.exe)
        if self.existing:
            self._plant_old_file(package_size // 2)
        done = subprocess.run(
            [sys.executable, "-I", "-S", PEAK_RSS, winetest.loader(), self.exe, "/e",
             winetest.Prefix.win_path(self.out)],
            env=self.prefix.env(), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL, text=True, timeout=3600)
        code, elapsed, peak, floor = done.stdout.split()
        if int(code) != 0:
            raise FigureError("%s /e exited %s" % (name, code))
        if int(peak) <= int(floor):
            raise FigureError("%s: peak RSS %s KiB is not above the spawner's %s" % (name, peak, floor))
        if not os.path.exists(self.out) or _digest(self.out) != self.package_digest:
            raise FigureError("%s /e did not write the package" % name)
        leftovers = sorted(set(os.listdir(os.path.dirname(self.out))) - {os.path.basename(self.out)})
        if leftovers:
            raise FigureError("%s /e left %s beside the package" % (name, ", ".join(leftovers)))
        os.remove(self.out)
        return float(elapsed), int(peak)


def measure_extraction(launcher, reference, package, work, pairs, existing=False):
    master = winetest.ensure_master_prefix(os.path.join(work, "master-prefix"))
    with winetest.Prefix(master=master, watcher="unused") as prefix:
        digest = _digest(package)
        size = os.path.getsize(package)
        # A folder each: what a run leaves beside its file is its own.
        runners = {name: Extractor(prefix, exe, tempfile.mkdtemp(prefix="out-", dir=prefix.path),
                                   digest, existing)
                   for name, exe in (("launcher", launcher), ("reference", reference))}
        # Untimed: the first start of each exe in the prefix, and the file cache.
        for runner in runners.values():
            runner.run(size)
        samples = {"launcher": [], "reference": []}
        for order in pair_orders(pairs):
            for name in order:
                samples[name].append(runners[name].run(size))
    return samples


# --- size ---

def overhead(exe, package):
    return os.path.getsize(exe) - os.path.getsize(package)


# --- builds of a large package ---

def read_builds(path):
    """{"default"|"large": (package bytes, build seconds, peak KiB)} from the lines
    "<name> <package bytes> <exit code> <seconds> <peak KiB> <spawner's KiB>" that
    scripts/bench.sh writes for the two builds."""
    builds = {}
    with open(path, encoding="ascii") as f:
        for line in f:
            name, package, code, seconds, peak, _ = line.split()
            if int(code) != 0:
                raise FigureError("the build with the %s package failed" % name)
            builds[name] = (int(package), float(seconds), int(peak))
    if set(builds) != {"default", "large"}:
        raise FigureError("%s does not hold both builds" % path)
    return builds


def build_growth(builds, column):
    """How many times the large package's time (column 1) or peak memory (2) is the default
    one's, divided by how many times larger its package is: for its build, or (time only)
    for the configure step's read of it."""
    default, large = builds["default"], builds["large"]
    return (large[column] / default[column]) / (large[0] / default[0])


# --- the configure step's read of a package ---

def read_seconds(package, output):
    """Wall seconds of the configure step's package read, as it runs it."""
    texts = sorted(os.path.join(TEXTS, n) for n in os.listdir(TEXTS) if n.endswith(".txt"))
    start = time.perf_counter()
    subprocess.run([sys.executable, READER, "--package", package,
                    *(a for text in texts for a in ("--text", text)), "--output", output],
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, check=True, timeout=600)
    return time.perf_counter() - start


def measure_reads(packages, work, runs=9):
    """{name: (package bytes, median seconds)} of reading each of packages ({name: path}),
    in turns after one untimed read each (the file cache)."""
    output = os.path.join(work, "package_versions.cmake")
    times = {name: [] for name in packages}
    for turn in range(runs + 1):
        for name, package in packages.items():
            seconds = read_seconds(package, output)
            if turn:
                times[name].append(seconds)
    return {name: (os.path.getsize(packages[name]), statistics.median(times[name]))
            for name in packages}


# --- report ---

def machine_line():
    model = "unknown CPU"
    try:
        with open("/proc/cpuinfo", encoding="utf-8", errors="replace") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    try:
        wine = subprocess.run([winetest.loader(), "--version"], stdin=subprocess.DEVNULL,
                              capture_output=True, text=True, timeout=60).stdout.strip()
    except (OSError, subprocess.TimeoutExpired):
        wine = "no Wine"
    now = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    return "%s | %s, %d cores | %s %s | %s" % (now, model, os.cpu_count() or 0,
                                             platform.system(), platform.release(), wine)


MEASUREMENT_ERRORS = (FigureError, default_run.RunError, OSError, ValueError,
                      subprocess.SubprocessError)


def row(figure, measure, note=""):
    """(label, value shown, goal, met) of one figure; `measure` gives its value or raises
    why it has none, and then the figure counts as missed."""
    label, show, goal, met = FIGURES[figure]
    label += note
    try:
        value = measure()
    except MEASUREMENT_ERRORS as e:  # a build that failed leaves no file
        return (label, "not measured: %s" % e, goal, False)
    return (label, show(value), goal, met(value))


def format_table(rows):
    header = ("figure", "measured", "goal", "met")
    cells = [header] + [(f, m, g, "yes" if ok else "no") for f, m, g, ok in rows]
    widths = [max(len(r[i]) for r in cells) for i in range(4)]
    lines = [" | ".join(c.ljust(w) for c, w in zip(r, widths)).rstrip() for r in cells]
    lines.insert(1, "-+-".join("-" * w for w in widths))
    return "\n".join(lines)


def once(measure):
    """`measure` run at most once for the rows that share it, its failure too."""
    kept = {}

    def get():
        if "value" not in kept and "error" not in kept:
            try:
                kept["value"] = measure()
            except MEASUREMENT_ERRORS as e:
                kept["error"] = e
        if "error" in kept:
            raise kept["error"]
        return kept["value"]
    return get


def extraction_rows(args, launcher, reference, package, note=""):
    rows = []
    for existing, time_figure, memory_figure in ((False, "extraction time", "extraction memory"),
                                                 (True, "replace time", "replace memory")):
        def measure(existing=existing):
            samples = measure_extraction(launcher, reference, package, args.work, args.pairs,
                                         existing)
            for name, runs in samples.items():
                print("%s /e%s%s: median %.1f ms, peak RSS median %d KiB (min %d, max %d)" % (
                    name, " over a file" if existing else "", note,
                    statistics.median(t for t, _ in runs) * 1e3,
                    statistics.median(m for _, m in runs), min(m for _, m in runs),
                    max(m for _, m in runs)), file=sys.stderr)
            return extraction_figures(samples)
        figures = once(measure)
        rows.append(row(time_figure, lambda f=figures: f()[0],
                        " (median of %d pairs)%s" % (args.pairs, note)))
        rows.append(row(memory_figure, lambda f=figures: f()[1], note))
    return rows


def default_run_ratio(samples, against="msiexec"):
    """The launcher's median time over another side's, from runs made in turns. Not the
    median of the pairs' ratios, as for /e: under Wine a default run's time comes in steps
    of about 50 ms, so the two runs of a pair often land on the same step, and such a pair's
    ratio says only which of the two was later within it."""
    return statistics.median(samples["launcher"]) / statistics.median(samples[against])


def print_runs(samples, note):
    for name, runs in samples.items():
        print("%s%s: median %.0f ms (%s)" % (name, note, statistics.median(runs) * 1e3,
                                            ", ".join("%.0f" % (t * 1e3) for t in runs)),
              file=sys.stderr)


def default_run_row(args, launcher, package, note=""):
    def measure():
        samples = default_run.measure(os.path.abspath(launcher), os.path.abspath(package),
                                      args.work, args.default_pairs, args.target_version)
        print_runs(samples, note)
        return default_run_ratio(samples)
    return row("default run", measure, " (%d runs each, in turns)%s" % (args.default_pairs, note))


def administrator_rows(args, note):
    """The large package's default run against what an administrator does instead, and
    against msiexec on the package where it lies; the three sides in turns, each through
    cmd /c."""
    def measure():
        samples = default_run.measure(
            os.path.abspath(args.large_launcher), os.path.abspath(args.large_package),
            args.work, args.default_pairs, args.target_version, default_run.SIDES,
            through_cmd=True)
        print_runs(samples, note)
        return samples
    samples = once(measure)
    how = " (%d runs each, in turns, via cmd /c)%s" % (args.default_pairs, note)
    return [row("default run copy", lambda: default_run_ratio(samples(), "copy and msiexec"), how),
            row("default run on disk", lambda: default_run_ratio(samples(), "msiexec"), how)]


def figures(args):
    """The rows, measuring what the arguments name."""
    def discovery():
        with open(args.discovery_json, encoding="utf-8") as f:
            ratio, times = discovery_ratio(json.load(f))
        print("discovery, median CPU time: " + ", ".join(
            "%d codes %.3f ms" % (n, t * 1e3) for n, t in sorted(times.items())), file=sys.stderr)
        return ratio

    rows = [row("discovery", discovery)]
    rows += extraction_rows(args, args.launcher, args.reference, args.package)
    rows.append(default_run_row(args, args.launcher, args.package))
    rows.append(row("size", lambda: overhead(args.size_exe, args.size_package)))
    if args.large_package:
        note = " [%d MiB package]" % round(os.path.getsize(args.large_package) / (1 << 20))
        rows += extraction_rows(args, args.large_launcher, args.large_reference,
                                args.large_package, note)
        rows += administrator_rows(args, note)
        builds = once(lambda: read_builds(args.large_builds))
        rows.append(row("build time", lambda: build_growth(builds(), 1), note))
        rows.append(row("build memory", lambda: build_growth(builds(), 2), note))
        reads = once(lambda: measure_reads({"default": args.package,
                                            "large": args.large_package}, args.work))
        rows.append(row("package read", lambda: build_growth(reads(), 1), note))
    return rows


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--discovery-json", required=True)
    parser.add_argument("--launcher", required=True, help="launcher.exe Wine can run here")
    parser.add_argument("--reference", required=True, help="reference_extract.exe beside it")
    parser.add_argument("--package", required=True, help="the package both carry")
    parser.add_argument("--target-version", default="8.2.0.4",
                        help="the version the package brings the sample products to")
    parser.add_argument("--size-exe", required=True, help="the i686 launcher.exe")
    parser.add_argument("--size-package", required=True, help="the package it carries")
    parser.add_argument("--work", required=True, help="folder for the Wine prefixes")
    parser.add_argument("--pairs", type=int, default=31)
    parser.add_argument("--default-pairs", type=int, default=25)
    parser.add_argument("--large-launcher", help="launcher.exe built with a large package")
    parser.add_argument("--large-reference", help="reference_extract.exe built with it")
    parser.add_argument("--large-package", help="that package")
    parser.add_argument("--large-builds", help="the two builds' figures (see read_builds)")
    args = parser.parse_args(argv)
    args.work = os.path.abspath(args.work)
    header = machine_line()
    rows = figures(args)
    print(header)
    print(format_table(rows))
    return 0 if all(ok for *_, ok in rows) else 1


if __name__ == "__main__":
    sys.exit(main())
