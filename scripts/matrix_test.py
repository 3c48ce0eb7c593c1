#!/usr/bin/env python3
"""Checks of matrix.py: the tiers keep their promises, shards split any
selection exactly, and a merge refuses missing and duplicated cells."""
import contextlib
import io
import json
import os
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import matrix  # noqa: E402


def tier(n):
    return set(matrix.tier_cells(f"tier{n}", matrix.tiers()))


class Tiers(unittest.TestCase):
    def test_tier1_is_cis_slice(self):
        t1 = tier(1)
        suites = {(c[1], c[3], c[4]) for c in t1 if c[0] == "host" and c[2] == "suite"}
        self.assertEqual({j for j, _, _ in suites}, {21, 28})
        self.assertTrue(all(gc != "default" and mode != "default" for _, gc, mode in suites))
        self.assertEqual({c[0] for c in t1 if c[2] == "load" and c[1] == 21}, set(matrix.ARCHS[1:]))

    def test_tier2_covers_every_jdk_collector_and_mode(self):
        t2 = tier(2)
        host = [c for c in t2 if c[0] == "host"]
        self.assertEqual({c[1] for c in host if c[2] == "suite" and c[3] == c[4] == "default"},
                         {8, 11, 17, 21, 25, 26, 27, 28})
        for gc in ("Serial", "Parallel", "G1", "ConcMarkSweep", "Z", "Shenandoah"):
            self.assertGreaterEqual(len({c[1] for c in host if c[3] == gc}), 2, gc)
        for mode in matrix.MODES:
            self.assertGreaterEqual(len({c[1] for c in host if c[4] == mode}), 2, mode)
        self.assertIn(("host", 21, "matrix", "ZGen", "c1"), t2)
        self.assertEqual({c[0] for c in t2 if c[2] == "load"}, set(matrix.ARCHS[1:]))

    def test_tier3_holds_the_others_and_only_cells_that_exist(self):
        t3 = tier(3)
        self.assertLessEqual(tier(1) | tier(2), t3)
        self.assertEqual({c[1] for c in t3 if c[3] == "ZGen"}, {21})
        self.assertEqual({c[1] for c in t3 if c[3] == "ConcMarkSweep"}, {8, 11})
        self.assertFalse([c for c in t3 if c[3] in ("Z", "Shenandoah") and c[1] < 11])
        for c in t3:
            self.assertEqual(matrix.parse(matrix.name(c)), c)

    def test_refusals(self):
        for bad in ("host-jdk17-ZGen-int", "host-jdk25-suite-default-default", "host-jdk7-load",
                    "host-jdk17-ConcMarkSweep-int", "host-jdk8-Z-c1", "x86-jdk17-load",
                    "host-jdk17-G1"):
            with self.assertRaises(matrix.Refused, msg=bad):
                matrix.parse(bad)


class Shards(unittest.TestCase):
    def test_shards_split_the_selection_exactly(self):
        cells = sorted(tier(3), key=matrix.order)
        for n in (1, 2, 3, 7, 64):
            parts = [matrix.shard(cells, f"{k}/{n}") for k in range(1, n + 1)]
            self.assertEqual(sorted(c for p in parts for c in p), sorted(cells))
            self.assertEqual(sum(map(len, parts)), len(cells))
            # Membership does not depend on the order the cells come in.
            self.assertEqual([set(p) for p in parts],
                             [set(matrix.shard(list(reversed(cells)), f"{k}/{n}")) for k in range(1, n + 1)])
        with self.assertRaises(matrix.Refused):
            matrix.shard(cells, "4/3")


class Merge(unittest.TestCase):
    def result(self, top, cell, verdict="passed"):
        d = os.path.join(top, cell)
        os.makedirs(d)
        with open(os.path.join(d, "log"), "w", encoding="utf-8") as f:
            f.write("library  loaded by  scenario: result\nbrantholm  class X  digest: ok\n1 ok, 0 failed\n")
        matrix.cmd_record([d, f"cell={cell}", f"verdict={verdict}", "rc=0", "wall=3", "host=h"])

    def merge(self, *args):
        with contextlib.redirect_stdout(io.StringIO()), contextlib.redirect_stderr(io.StringIO()):
            return matrix.cmd_merge(list(args))

    def test_missing_duplicated_and_complete(self):
        with tempfile.TemporaryDirectory() as tmp:
            a, b, out = (os.path.join(tmp, x) for x in ("a", "b", "out"))
            self.result(a, "s390x-jdk21-load")
            self.result(b, "riscv64-jdk21-load")
            cells = "--cell", "s390x-jdk21-load,riscv64-jdk21-load"
            self.assertEqual(self.merge(out, *cells, a), 1)
            with open(os.path.join(out, "summary.md"), encoding="utf-8") as f:
                self.assertIn("MISSING", f.read())
            self.assertEqual(self.merge(out, *cells, a, b), 0)
            with open(os.path.join(out, "riscv64-jdk21-load", "cell.json"), encoding="utf-8") as f:
                self.assertEqual(json.load(f)["passed"], 1)
            self.result(os.path.join(tmp, "c"), "riscv64-jdk21-load")
            self.assertEqual(self.merge(out, *cells, a, b, os.path.join(tmp, "c")), 1)
            self.result(os.path.join(tmp, "d"), "aarch64-jdk21-load", verdict="setup")
            self.assertEqual(self.merge(out, "--cell", "aarch64-jdk21-load", os.path.join(tmp, "d")), 1)


if __name__ == "__main__":
    unittest.main()
