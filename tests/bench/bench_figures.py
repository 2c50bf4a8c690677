#!/usr/bin/env python3
"""Turns the benchmark runs into the launcher's performance figures and prints them as one
table against their goals; exits 1 when a goal is missed.

  discovery   time of the product discovery over 100,000 target codes / over 10,000,
              from the JSON of discovery_bench (median CPU time of its repetitions)
  extraction  launcher.exe /e against reference_extract.exe /e under Wine: the median of
              the per-pair time ratios, and the difference of the median peak resident
              sizes of the two Wine processes
  size        the i686 launcher.exe less the package it carries

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
sys.path.insert(0, os.path.join(HERE, "..", "e2e", "harness"))

import winetest  # noqa: E402

PEAK_RSS = os.path.join(HERE, "peak_rss.py")

# Each figure: its label, how its value is shown, its goal as shown, and whether a value
# meets the goal.
FIGURES = {
    "discovery": ("discovery time(100k)/time(10k)",
                  lambda v: "%.2f" % v, "<= 12", lambda v: v <= 12.0),
    "extraction time": ("extraction time launcher/reference",
                        lambda v: "%.3f" % v, "<= 1.1", lambda v: v <= 1.1),
    "extraction memory": ("extraction peak RSS launcher - reference",
                          lambda v: "%+.2f MiB" % (v / 1024), "<= +1 MiB",
                          lambda v: v <= 1024),  # KiB
    "size": ("executable overhead (i686 launcher.exe - package)",
             "{:,} bytes".format, "< 81,920 bytes", lambda v: v < 81_920),
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
    PeakWorkingSetSize), taken from outside so neither program carries code to read it."""

    def __init__(self, prefix, exe, out_dir, package_digest):
        self.prefix = prefix
        self.exe = exe
        self.out = os.path.join(out_dir, os.path.basename(exe) + ".msp")
        self.package_digest = package_digest

    def run(self):
        """(wall seconds, peak resident KiB) of one run; the package it wrote is checked
        byte for byte, then removed, so every run writes a new file."""
        name = os.path.basename(self.exe)
        done = subprocess.run(
            [sys.executable, "-I", "-S", PEAK_RSS, winetest.loader(), self.exe, "/e",
             winetest.Prefix.win_path(self.out)],
            env=self.prefix.env(), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL, text=True, timeout=300)
        code, elapsed, peak, floor = done.stdout.split()
        if int(code) != 0:
            raise FigureError("%s /e exited %s" % (name, code))
        if int(peak) <= int(floor):
            raise FigureError("%s: peak RSS %s KiB is not above the spawner's %s" % (name, peak, floor))
        if not os.path.exists(self.out) or _digest(self.out) != self.package_digest:
            raise FigureError("%s /e did not write the package" % name)
        os.remove(self.out)
        return float(elapsed), int(peak)


def measure_extraction(launcher, reference, package, work, pairs):
    master = winetest.ensure_master_prefix(os.path.join(work, "master-prefix"))
    with winetest.Prefix(master=master, watcher="unused") as prefix:
        out_dir = tempfile.mkdtemp(prefix="out-", dir=prefix.path)
        digest = _digest(package)
        runners = {"launcher": Extractor(prefix, launcher, out_dir, digest),
                   "reference": Extractor(prefix, reference, out_dir, digest)}
        # Untimed: the first start of each exe in the prefix, and the file cache.
        for runner in runners.values():
            runner.run()
        samples = {"launcher": [], "reference": []}
        for order in pair_orders(pairs):
            for name in order:
                samples[name].append(runners[name].run())
    return samples


# --- size ---

def overhead(exe, package):
    return os.path.getsize(exe) - os.path.getsize(package)


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


def row(figure, measure, note=""):
    """(label, value shown, goal, met) of one figure; `measure` gives its value or raises
    why it has none, and then the figure counts as missed."""
    label, show, goal, met = FIGURES[figure]
    label += note
    try:
        value = measure()
    except (FigureError, OSError, ValueError) as e:  # a build that failed leaves no file
        return (label, "not measured: %s" % e, goal, False)
    return (label, show(value), goal, met(value))


def format_table(rows):
    header = ("figure", "measured", "goal", "met")
    cells = [header] + [(f, m, g, "yes" if ok else "no") for f, m, g, ok in rows]
    widths = [max(len(r[i]) for r in cells) for i in range(4)]
    lines = [" | ".join(c.ljust(w) for c, w in zip(r, widths)).rstrip() for r in cells]
    lines.insert(1, "-+-".join("-" * w for w in widths))
    return "\n".join(lines)


def figures(args):
    """The rows, measuring what the arguments name."""
    def discovery():
        with open(args.discovery_json, encoding="utf-8") as f:
            ratio, times = discovery_ratio(json.load(f))
        print("discovery, median CPU time: " + ", ".join(
            "%d codes %.3f ms" % (n, t * 1e3) for n, t in sorted(times.items())), file=sys.stderr)
        return ratio

    extraction = {}

    def extract():
        # Measured once for both of its rows, a failure too.
        if not extraction:
            try:
                samples = measure_extraction(args.launcher, args.reference, args.package,
                                             args.work, args.pairs)
            except (FigureError, OSError, ValueError, subprocess.SubprocessError) as e:
                extraction["error"] = FigureError(str(e))
                raise extraction["error"]
            extraction["figures"] = extraction_figures(samples)
            for name, runs in samples.items():
                print("%s /e: median %.1f ms, peak RSS median %d KiB (min %d, max %d)" % (
                    name, statistics.median(t for t, _ in runs) * 1e3,
                    statistics.median(m for _, m in runs), min(m for _, m in runs),
                    max(m for _, m in runs)), file=sys.stderr)
        if "error" in extraction:
            raise extraction["error"]
        return extraction["figures"]

    return [
        row("discovery", discovery),
        row("extraction time", lambda: extract()[0], " (median of %d pairs)" % args.pairs),
        row("extraction memory", lambda: extract()[1]),
        row("size", lambda: overhead(args.size_exe, args.size_package)),
    ]


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--discovery-json", required=True)
    parser.add_argument("--launcher", required=True, help="launcher.exe Wine can run here")
    parser.add_argument("--reference", required=True, help="reference_extract.exe beside it")
    parser.add_argument("--package", required=True, help="the package both carry")
    parser.add_argument("--size-exe", required=True, help="the i686 launcher.exe")
    parser.add_argument("--size-package", required=True, help="the package it carries")
    parser.add_argument("--work", required=True, help="folder for the Wine prefixes")
    parser.add_argument("--pairs", type=int, default=15)
    args = parser.parse_args(argv)
    header = machine_line()
    rows = figures(args)
    print(header)
    print(format_table(rows))
    return 0 if all(ok for *_, ok in rows) else 1


if __name__ == "__main__":
    sys.exit(main())
