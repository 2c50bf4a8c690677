#!/usr/bin/env python3
"""Checks of the arithmetic behind the performance figures, and of the peak-size helper.

Run: /usr/bin/python3 -m unittest discover -s tests/bench -p 'test_*.py'
"""

import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import bench_figures  # noqa: E402
import default_run  # noqa: E402


def entry(name, cpu_time, unit="us", aggregate="median", **extra):
    e = {"name": name + ("_" + aggregate if aggregate else ""), "run_name": name,
         "run_type": "aggregate" if aggregate else "iteration",
         "cpu_time": cpu_time, "real_time": cpu_time * 3, "time_unit": unit}
    if aggregate:
        e["aggregate_name"] = aggregate
    e.update(extra)
    return e


DISCOVERY = bench_figures.DISCOVERY_BENCHMARK


class DiscoveryRatioTest(unittest.TestCase):
    def test_reports(self):
        cases = [
            ("median CPU time, other aggregates and benchmarks ignored",
             [entry(DISCOVERY + "/10000", 1000), entry(DISCOVERY + "/100000", 11000),
              entry(DISCOVERY + "/100000", 99999, aggregate="mean"),
              entry(DISCOVERY + "/100000", 99999, aggregate=None),
              entry("BM_ReadPatchTargets/100000", 99999)], 11.0),
            ("units differ between sizes",
             [entry(DISCOVERY + "/10000", 500, "us"), entry(DISCOVERY + "/100000", 6, "ms")], 12.0),
            ("a name that only begins like it is another benchmark",
             [entry(DISCOVERY + "/10000", 10), entry(DISCOVERY + "/100000", 100),
              entry(DISCOVERY + "Other/100000", 1)], 10.0),
        ]
        for name, benchmarks, expected in cases:
            with self.subTest(name):
                ratio, _ = bench_figures.discovery_ratio({"benchmarks": benchmarks})
                self.assertAlmostEqual(ratio, expected)

    def test_unusable_reports(self):
        cases = [
            ("a run that failed its check",
             [entry(DISCOVERY + "/10000", 10),
              entry(DISCOVERY + "/100000", 0, aggregate=None, error_occurred=True,
                    error_message="discovery did not find every installed target")]),
            ("no median for 100k", [entry(DISCOVERY + "/10000", 10)]),
            ("no repetitions", [entry(DISCOVERY + "/10000", 10, aggregate=None),
                                entry(DISCOVERY + "/100000", 100, aggregate=None)]),
        ]
        for name, benchmarks in cases:
            with self.subTest(name):
                with self.assertRaises(bench_figures.FigureError):
                    bench_figures.discovery_ratio({"benchmarks": benchmarks})


class ExtractionTest(unittest.TestCase):
    def test_orders_alternate(self):
        orders = bench_figures.pair_orders(15)
        self.assertEqual(len(orders), 15)
        self.assertTrue(all(sorted(o) == ["launcher", "reference"] for o in orders))
        firsts = [o[0] for o in orders]
        self.assertEqual(firsts.count("launcher"), 8)
        self.assertTrue(all(a != b for a, b in zip(firsts, firsts[1:])))

    def test_ratio_is_taken_within_each_pair(self):
        # The machine slows down for the last pairs: paired ratios stay at 1.05, the ratio
        # of the two medians would not.
        launcher = [(0.105, 20000), (0.105, 20100), (0.21, 20050), (0.42, 19900)]
        reference = [(0.100, 18000), (0.100, 18200), (0.20, 18100), (0.40, 30000)]
        ratio, memory = bench_figures.extraction_figures(
            {"launcher": launcher, "reference": reference})
        self.assertAlmostEqual(ratio, 1.05)
        self.assertEqual(memory, 20025 - 18150)  # medians: one outlier moves neither


class DefaultRunTest(unittest.TestCase):
    def test_runs_on_the_same_step_do_not_hide_which_is_faster(self):
        # The launcher a step faster in two pairs and on the same step in three, never a
        # step slower: the median of the pair ratios would be a tie's 1.002.
        samples = {"launcher": [0.568, 0.568, 0.618, 0.568, 0.568],
                   "msiexec": [0.617, 0.567, 0.617, 0.567, 0.617]}
        self.assertAlmostEqual(bench_figures.default_run_ratio(samples), 0.568 / 0.617)

    def test_each_side_goes_first_in_turn(self):
        rounds = default_run.orders(default_run.SIDES, 7)
        self.assertTrue(all(sorted(r) == sorted(default_run.SIDES) for r in rounds))
        firsts = [r[0] for r in rounds]
        self.assertEqual(sorted(firsts.count(side) for side in default_run.SIDES), [2, 2, 3])
        self.assertTrue(all(a != b for a, b in zip(firsts, firsts[1:])))


class GoalTest(unittest.TestCase):
    def test_boundaries(self):
        cases = [
            ("discovery", 12.0, True), ("discovery", 12.01, False),
            ("extraction time", 1.1, True), ("extraction time", 1.1001, False),
            ("extraction memory", 1024, True), ("extraction memory", 1025, False),
            ("default run", 1.0, True), ("default run", 1.0001, False),
            ("default run copy", 1.1, True), ("default run copy", 1.1001, False),
            ("default run on disk", 1.48, True),
            ("package read", 1.1, True), ("package read", 1.1001, False),
            ("build time", 1.0, True), ("build memory", 1.01, False),
            ("size", bench_figures.SIZE_LIMIT - 1, True), ("size", bench_figures.SIZE_LIMIT, False),
        ]
        for figure, value, met in cases:
            with self.subTest(figure=figure, value=value):
                self.assertEqual(bench_figures.row(figure, lambda: value)[3], met)

    def test_figure_not_measured_is_missed(self):
        def missing():
            raise OSError("no such file: launcher.exe")
        label, shown, goal, met = bench_figures.row("size", missing)
        self.assertFalse(met)
        self.assertIn("not measured", shown)
        self.assertIn("launcher.exe", shown)

    def test_table(self):
        table = bench_figures.format_table([
            bench_figures.row("size", lambda: 67_584),
            bench_figures.row("discovery", lambda: 12.5)])
        lines = table.splitlines()
        self.assertEqual([c.strip() for c in lines[0].split("|")], ["figure", "measured", "goal", "met"])
        self.assertEqual([c.strip() for c in lines[2].split("|")][1:],
                         ["67,584 bytes", "< {:,} bytes".format(bench_figures.SIZE_LIMIT), "yes"])
        self.assertEqual([c.strip() for c in lines[3].split("|")][1:], ["12.50", "<= 12", "no"])


class BuildGrowthTest(unittest.TestCase):
    def builds(self, text):
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
            f.write(text)
        self.addCleanup(os.remove, f.name)
        return bench_figures.read_builds(f.name)

    def test_growth_per_package_growth(self):
        # The package 50 times larger: a build 25 times slower grows half as fast as it.
        builds = self.builds("default 10000000 0 30.0 400000 9000\n"
                             "large 500000000 0 750.0 20000000 9000\n")
        self.assertAlmostEqual(bench_figures.build_growth(builds, 1), 0.5)
        self.assertAlmostEqual(bench_figures.build_growth(builds, 2), 1.0)

    def test_unusable_builds(self):
        for name, text in [("a failed build", "default 1 0 1 1 1\nlarge 2 2 1 1 1\n"),
                           ("one build missing", "default 1 0 1 1 1\n")]:
            with self.subTest(name):
                with self.assertRaises(bench_figures.FigureError):
                    self.builds(text)


class PeakRssTest(unittest.TestCase):
    """The helper must report the command's own peak, not the caller's."""

    def run_helper(self, *command):
        out = subprocess.run([sys.executable, "-I", "-S", bench_figures.PEAK_RSS, *command],
                             stdout=subprocess.PIPE, text=True, check=True).stdout
        code, elapsed, peak, floor = out.split()
        return int(code), float(elapsed), int(peak), int(floor)

    def test_peak_is_the_commands_own(self):
        ballast = bytearray(os.urandom(1 << 20) * 150)  # 150 MiB resident in the caller
        code, _, small, floor = self.run_helper(sys.executable, "-I", "-S", "-c", "pass")
        big = self.run_helper(sys.executable, "-I", "-S", "-c",
                              "x = bytearray(64 << 20); x[::4096] = b'1' * len(x[::4096])")[2]
        del ballast
        self.assertEqual(code, 0)
        self.assertLess(small, 64 * 1024)
        self.assertGreater(big, small + 60 * 1024)
        self.assertLess(floor, 64 * 1024)

    def test_exit_code_passes_through(self):
        self.assertEqual(self.run_helper("/bin/sh", "-c", "exit 3")[0], 3)


if __name__ == "__main__":
    unittest.main()
