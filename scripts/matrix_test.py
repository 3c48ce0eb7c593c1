#!/usr/bin/env python3
"""Checks of matrix.py: the tiers keep their promises, axes select from the
whole matrix, a cell's options are those of its collector and mode, shards
split any selection exactly and by architecture and JDK, only a JVM's own refusal is
"not supported", a cell passes only when it ran what it listed, a merge
refuses missing and duplicated cells, results without a selection and mixed
commits or JDK builds, --out leaves foreign directories alone, no process
outlives its cell, and each kind of CI runner gets its own architecture's
cells, natively, with the JDKs its workflow set up."""
import contextlib
import io
import json
import os
import subprocess
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

    def test_axes_select_from_every_cell_without_a_tier(self):
        axes = ["--arch", "host", "--jdk", "21,25", "--gc", "G1,Shenandoah", "--mode", "int", "--kind", "matrix"]
        self.assertEqual([matrix.name(c) for c in matrix.parse_selection(axes)[0]],
                         ["host-jdk21-G1-int", "host-jdk21-Shenandoah-int", "host-jdk25-G1-int",
                          "host-jdk25-Shenandoah-int"])
        self.assertEqual([matrix.name(c) for c in matrix.parse_selection(["--tier", "2"] + axes)[0]],
                         ["host-jdk21-Shenandoah-int"])
        self.assertEqual(set(matrix.parse_selection([])[0]), tier(2))

    def test_refusals(self):
        for bad in ("host-jdk17-ZGen-int", "host-jdk25-suite-default-default", "host-jdk7-load",
                    "host-jdk17-ConcMarkSweep-int", "host-jdk8-Z-c1", "x86-jdk17-load",
                    "host-jdk17-G1"):
            with self.assertRaises(matrix.Refused, msg=bad):
                matrix.parse(bad)


    def test_options_are_those_cells_ran_before(self):
        for cell, options in (("host-jdk11-Z-comp", "-XX:+UnlockExperimentalVMOptions -XX:+UseZGC -Xcomp"),
                              ("host-jdk11-Shenandoah-c1",
                               "-XX:+UnlockExperimentalVMOptions -XX:+UseShenandoahGC -XX:TieredStopAtLevel=1"),
                              ("host-jdk21-suite-ZGen-int", "-XX:+UseZGC -XX:+ZGenerational -Xint"),
                              ("s390x-jdk25-Z-default", "-XX:+UseZGC"), ("host-jdk17-G1-int", "-XX:+UseG1GC -Xint"),
                              ("host-jdk17-Serial-comp", "-XX:+UseSerialGC -Xcomp"), ("host-jdk17-load", "")):
            status, out = quiet(matrix.cmd_describe, cell)
            lines = dict(line.split("=", 1) for line in out.splitlines())
            self.assertEqual((status, lines["id"], lines["options"]), (0, cell, options))
            # -Xcomp alone makes `java -version` slow: the probe leaves it out.
            self.assertEqual(lines["probe"], options.replace(" -Xcomp", ""))


class Shards(unittest.TestCase):
    def test_shards_split_the_selection_exactly_by_arch_and_jdk(self):
        cells = sorted(tier(3), key=matrix.order)
        setups = len({c[:2] for c in cells})
        for n in (1, 3, 7, setups, 64):
            parts = [matrix.shard(cells, f"{k}/{n}") for k in range(1, n + 1)]
            self.assertEqual(sorted(c for p in parts for c in p), sorted(cells))
            self.assertEqual(sum(map(len, parts)), len(cells))
            # Membership does not depend on the order the cells come in.
            self.assertEqual([set(p) for p in parts],
                             [set(matrix.shard(list(reversed(cells)), f"{k}/{n}")) for k in range(1, n + 1)])
            self.assertTrue(all(parts), n)  # an empty shard would fail its job
            if n >= setups:
                self.assertEqual(max(len({c[:2] for c in p}) for p in parts), 1, n)
        with self.assertRaises(matrix.Refused):
            matrix.shard(cells, "4/3")


def quiet(function, *args):
    with contextlib.redirect_stdout(io.StringIO()) as out, contextlib.redirect_stderr(io.StringIO()):
        status = function(list(args))
    return status, out.getvalue()


class Cell(unittest.TestCase):
    def test_only_a_refusal_in_the_jvms_words_is_not_supported(self):
        refusal = "Unrecognized VM option 'UseFooGC'\nError: Could not create the Java Virtual Machine.\n"
        self.assertEqual(matrix.probe_verdict(1, refusal, False)[0], "unsupported")
        self.assertEqual(matrix.probe_verdict(1, "Error: -XX:+UseZGC not supported in this VM", False)[0],
                         "unsupported")
        for status, output, hs_err in ((1, refusal, True), (-11, "", False), (139, refusal, False),
                                       (134, "# A fatal error has been detected", False), (1, "Error: other", False),
                                       (2, refusal, False)):
            self.assertEqual(matrix.probe_verdict(status, output, hs_err)[0], "failed", (status, output, hs_err))

    def test_probe_fails_a_jvm_that_crashes_on_the_options(self):
        with tempfile.TemporaryDirectory() as tmp:
            os.makedirs(os.path.join(tmp, "home", "bin"))
            java = os.path.join(tmp, "home", "bin", "java")
            with open(java, "w", encoding="utf-8") as f:
                f.write('#!/bin/sh\ncase "$1" in\n'
                        '  -XX:+UseSerialGC) echo "# A fatal error" >hs_err_pid$$.log; kill -SEGV $$ ;;\n'
                        '  -XX:+UseFooGC) echo "Unrecognized VM option UseFooGC"; exit 1 ;;\n'
                        'esac\necho "openjdk version 17"\n')
            os.chmod(java, 0o755)
            home = os.path.join(tmp, "home")
            verdicts = [quiet(matrix.cmd_probe, tmp, home, *o)[1].split("\t")[0].strip()
                        for o in ([], ["-XX:+UseFooGC"], ["-XX:+UseSerialGC"])]
            self.assertEqual(verdicts, ["ok", "unsupported", "failed"])
            self.assertTrue([f for f in os.listdir(tmp) if f.startswith("hs_err")])
            os.chmod(java, 0o644)
            self.assertEqual(quiet(matrix.cmd_probe, tmp, home, "-Xint")[1].split("\t")[0], "setup")

    def test_must_run_cells_fail_when_refused(self):
        with tempfile.TemporaryDirectory() as tmp:
            for cell, verdict in (("host-jdk21-suite-ZGen-int", "failed"), ("host-jdk17-Z-default", "unsupported")):
                matrix.cmd_record([tmp, f"cell={cell}", "verdict=unsupported", "note=Unrecognized VM option"])
                with open(os.path.join(tmp, "cell.json"), encoding="utf-8") as f:
                    self.assertEqual(json.load(f)["verdict"], verdict, cell)

    def test_a_cell_fails_when_it_ran_other_tests_than_it_listed(self):
        with tempfile.TemporaryDirectory() as tmp:
            d = os.path.join(tmp, "host-jdk17-suite")
            os.makedirs(os.path.join(d, "JTreport", "text"))
            with open(os.path.join(d, "JTreport", "text", "stats.txt"), "w", encoding="utf-8") as f:
                f.write("Test results: passed: 2; excluded: 1\n")
            with open(os.path.join(d, "expected.json"), "w", encoding="utf-8") as f:
                json.dump(dict(tests=["jvm/a/A.java", "jvm/b/B.java#one"], not_applicable=[],
                               excluded=[dict(test="jvm/b/B.java#two", reason="jdk17.txt: a JDK bug")]), f)
            for ran, verdict in ((["jvm/a/A.java", "jvm/b/B.java#one"], "passed"),
                                 (["jvm/a/A.java", "jvm/b/B.java#two"], "failed")):
                with open(os.path.join(d, "JTreport", "text", "summary.txt"), "w", encoding="utf-8") as f:
                    f.write("".join(f"{t}  Passed. Execution successful\n" for t in ran))
                matrix.cmd_record([d, "cell=host-jdk17-suite", "verdict=ran", "rc=0"])
                with open(os.path.join(d, "cell.json"), encoding="utf-8") as f:
                    c = json.load(f)
                self.assertEqual(c["verdict"], verdict)
            self.assertEqual((c["tests"]["did_not_run"], c["tests"]["unexpected"]), (["jvm/b/B.java#one"],
                                                                                      ["jvm/b/B.java#two"]))
            self.assertEqual(c["tests"]["excluded"][0]["reason"], "jdk17.txt: a JDK bug")

    def test_test_ids_are_tests_of_their_own(self):
        with tempfile.TemporaryDirectory() as tmp:
            for name, text in (("One.java", "/*\n * @test\n * @run main One\n */"),
                               ("Ids.java", "/*\n * @test id=all\n */\n/*\n * @test id=location\n"
                                            " * @requires jdk.version.major >= 26\n */"),
                               ("Two.java", "/* @test */\n/* @test */"), ("Main.java", "class Main {}")):
                with open(os.path.join(tmp, name), "w", encoding="utf-8") as f:
                    f.write(text)
            self.assertEqual([n for f in sorted(os.listdir(tmp)) for n in matrix.test_names(tmp, f)],
                             ["Ids.java#all", "Ids.java#location", "One.java", "Two.java#id0", "Two.java#id1"])
            self.assertEqual(matrix.requires_of(tmp, "Ids.java#location"), "jdk.version.major >= 26")
            self.assertEqual(matrix.requires_of(tmp, "Ids.java#all"), "")

    def test_no_process_outlives_its_cell(self):
        with tempfile.TemporaryDirectory() as tmp:
            pid_file = os.path.join(tmp, "pid")
            subprocess.run([sys.executable, matrix.__file__, "exec", os.path.join(tmp, "cpu"), "--", "sh", "-c",
                            f"sh -c 'echo $$ >{pid_file}; exec sleep 300' & sleep 1"], check=True,
                           stderr=subprocess.DEVNULL)
            with open(pid_file, encoding="utf-8") as f:
                self.assertFalse(os.path.exists(f"/proc/{f.read().strip()}"))

    def test_out_refuses_a_foreign_directory(self):
        with tempfile.TemporaryDirectory() as tmp:
            with open(os.path.join(tmp, "mine.txt"), "w", encoding="utf-8") as f:
                f.write("x")
            with self.assertRaises(matrix.Refused):
                matrix.claim(tmp, fresh=True)
            self.assertTrue(os.path.exists(os.path.join(tmp, "mine.txt")))
            out = os.path.join(tmp, "out")
            matrix.claim(out)
            open(os.path.join(out, "old"), "w", encoding="utf-8").close()
            matrix.claim(out, fresh=True)
            self.assertEqual(os.listdir(out), [matrix.MARKER])


class Merge(unittest.TestCase):
    def result(self, top, cell, verdict="passed", **values):
        d = os.path.join(top, cell)
        os.makedirs(d)
        with open(os.path.join(d, "log"), "w", encoding="utf-8") as f:
            f.write("library  loaded by  scenario: result\nbrantholm  class X  digest: ok\n1 ok, 0 failed\n")
        with open(os.path.join(d, "expected.json"), "w", encoding="utf-8") as f:
            json.dump(dict(tests=["brantholm"], excluded=[], not_applicable=[]), f)
        matrix.cmd_record([d, f"cell={cell}", f"verdict={verdict}", "rc=0", "wall=3", "host=h"] +
                          [f"{k}={v}" for k, v in values.items()])

    def merge(self, *args):
        return quiet(matrix.cmd_merge, *args)[0]

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

    def test_refusals(self):
        with tempfile.TemporaryDirectory() as tmp:
            a, b, c, out = (os.path.join(tmp, x) for x in ("a", "b", "c", "out"))
            cells = "--cell", "s390x-jdk21-load,riscv64-jdk21-load"
            self.result(a, "s390x-jdk21-load", commit="1111", jdk_build="21.0.9+10", jdk_package="21.0.9+10-1")
            with self.assertRaises(matrix.Refused):  # no selection given or recorded
                matrix.cmd_merge([out, a])
            self.result(b, "riscv64-jdk21-load", commit="2222", jdk_build="21.0.9+10", jdk_package="21.0.9+10-1")
            with self.assertRaises(matrix.Refused):
                matrix.cmd_merge([out, *cells, a, b])
            self.result(c, "riscv64-jdk21-load", commit="1111", jdk_build="21.0.9+10", jdk_package="21.0.9+10-2")
            self.assertEqual(self.merge(out, *cells, a, c), 0)
            self.result(os.path.join(c, "more"), "riscv64-jdk21-suite", commit="1111", jdk_build="21.0.9+10",
                        jdk_package="21.0.9+10-3")
            with self.assertRaises(matrix.Refused):  # two builds of riscv64's JDK 21
                matrix.cmd_merge([out, "--arch", "riscv64,s390x", a, c])


CI_MATRIX = os.path.join(os.path.dirname(os.path.abspath(__file__)), "ci-matrix.sh")


class Runners(unittest.TestCase):
    def ci(self, *args, **env):
        environment = {k: v for k, v in os.environ.items() if not k.startswith(("JAVA_HOME", "ZOL_", "GITHUB_"))}
        return subprocess.run([CI_MATRIX, *args], env={**environment, **env}, capture_output=True, text=True,
                              check=True).stdout

    def test_plan_splits_each_tier_by_runner(self):
        for t in (1, 2, 3):
            jobs = dict(line.split("=", 1) for line in self.ci("plan", str(t), "--jobs-only").splitlines())
            x86, arm = json.loads(jobs["x86"]), json.loads(jobs["arm"])
            cells = tier(t)
            aarch64 = sorted((c for c in cells if c[0] == "aarch64"), key=matrix.order)
            others = sorted((c for c in cells if c[0] != "aarch64"), key=matrix.order)
            for runner, want in ((arm, aarch64), (x86, others)):
                if len(want) <= 64:
                    self.assertEqual(sorted(runner), sorted(matrix.name(c) for c in want), t)
                else:
                    self.assertEqual(runner, [f"{k}/64" for k in range(1, 65)], t)

    def test_each_machine_runs_its_own_architecture_natively(self):
        self.assertEqual(matrix.arch_setup("host", "amd64"), ("native", "native", []))
        self.assertEqual(matrix.arch_setup("aarch64", "arm64"), ("native", "native", []))
        self.assertEqual(matrix.arch_setup("aarch64", "amd64"),
                         ("cross-aarch64", "emulated", ["g++-aarch64-linux-gnu", "qemu-user-static"]))
        for arch in ("ppc64el", "s390x", "riscv64"):
            for machine in ("amd64", "arm64"):
                self.assertEqual(matrix.arch_setup(arch, machine)[:2], (f"cross-{arch}", "emulated"))

    def test_commands_take_the_runners_jdks_and_build_with_debians_17(self):
        homes = dict(JAVA_HOME_21_ARM64="/t/21-arm", JAVA_HOME_25_ARM64="/t/25-arm", JAVA_HOME_21_X64="/t/21-x64",
                     JAVA_HOME="/first/on/path")
        self.assertEqual(self.ci("command", "1", "arm", "aarch64-jdk21-load", **homes).strip(),
                         "env JAVA_HOME=/usr/lib/jvm/java-17-openjdk-arm64 ZOL_MATRIX_JDKS=/t/21-arm;/t/25-arm "
                         "scripts/matrix.sh --cell aarch64-jdk21-load")
        self.assertEqual(self.ci("command", "3", "arm", "5/64", **homes).strip(),
                         "env JAVA_HOME=/usr/lib/jvm/java-17-openjdk-arm64 ZOL_MATRIX_JDKS=/t/21-arm;/t/25-arm "
                         "scripts/matrix.sh --tier 3 --arch aarch64 --shard 5/64")
        self.assertEqual(self.ci("command", "3", "x86", "2/64", **homes).strip(),
                         "env JAVA_HOME=/usr/lib/jvm/java-17-openjdk-amd64 ZOL_MATRIX_JDKS=/t/21-x64 "
                         "scripts/matrix.sh --tier 3 --arch host,ppc64el,s390x,riscv64 --shard 2/64")
        self.assertEqual(self.ci("command", "1", "x86", "s390x-jdk21-load").strip(),
                         "env JAVA_HOME=/usr/lib/jvm/java-17-openjdk-amd64 scripts/matrix.sh --cell s390x-jdk21-load")


if __name__ == "__main__":
    unittest.main()
