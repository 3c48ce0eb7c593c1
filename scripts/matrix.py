#!/usr/bin/env python3
"""The configuration matrix's cells, tiers and report, for scripts/matrix.sh.

  matrix.py select [SELECTION] [--shard K/N] [--json]
      the selected cells in their canonical order, one per line (--json: one
      JSON array); with --shard, the K-th of N shards: cells of one
      architecture and JDK each where N allows, balanced by expected time
  matrix.py plan OUT [SELECTION] [--shard K/N]
      as select, and writes OUT/selection.json: the selection, its cells and
      this run's (a shard's)
  matrix.py units [SELECTION] --max N
      the jobs of a CI matrix as one JSON array: a cell each, or N shards
      (K/N) when there are more than N cells
  matrix.py describe ID
      what matrix.sh needs of the cell, as key=value lines: id, arch, jdk,
      kind, gc, mode, options (its collector's and mode's JVM options), probe
      (those `java -version` is tried with) and tests (what jtreg runs)
  matrix.py line DIR N
      the run's line for the finished cell in DIR (N: its place in the run)
  matrix.py setup MACHINE ARCH...
      how this machine (MACHINE: dpkg --print-architecture) runs each cell
      architecture, a line each, tab-separated: arch, the build whose
      libraries the cells load (the native build, or cross-ARCH),
      "native" or "emulated", and the packages that needs
  matrix.py exec FILE -- COMMAND...
      runs COMMAND and writes its CPU seconds, with those of every process it
      started, to FILE; exits with its status
  matrix.py record DIR key=value...
      writes DIR/cell.json from the values and the counts in the cell's files
  matrix.py claim DIR [--fresh]
      makes DIR the matrix's own (its marker file), refusing a non-empty
      directory without that marker; --fresh empties it first
  matrix.py probe DIR HOME [OPTION...]
      HOME's plain java -version, then java OPTION... -version: prints "ok",
      "setup<TAB>why", "unsupported<TAB>the JVM's refusal" or "failed<TAB>why"
      (the output goes to DIR/log, an hs_err file to DIR)
  matrix.py expect DIR KIND [JTREG OPTION...] TESTS
      writes DIR/expected.json: the tests the cell must run, and those a
      problem list excludes or an @requires leaves out, each with its reason
  matrix.py merge OUT [SELECTION | --run] DIR...
      OUT/index.html, OUT/summary.md and OUT/junit.xml from the cells found
      in the result directories, copied into OUT; the cells expected are the
      selection given, else the one every input recorded (--run: the cells of
      the run that recorded it); refuses results without a selection, of
      different commits or of different builds of one JDK; fails if a cell is
      missing, duplicated, outside the selection or failed

SELECTION: --tier 1|2|3 or --cell ID,...; --arch, --jdk, --gc, --mode and
--kind (load, suite, matrix) keep the cells that match a comma-separated
list, of the tier given, else of every tier; with none of them, tier 2. The
tiers are in matrix-tiers.txt beside this file.
"""
import ctypes
import html
import json
import os
import re
import resource
import shutil
import signal
import subprocess
import sys
import time
import xml.etree.ElementTree as ET

ARCHS = ["host", "aarch64", "ppc64el", "s390x", "riscv64"]
ARCH_TITLES = {"host": "host (x86-64)"}
# A cell architecture's Debian name and its cross compiler's triplet.
DEBIAN = {"host": "amd64", "aarch64": "arm64", "ppc64el": "ppc64el", "s390x": "s390x", "riscv64": "riscv64"}
TRIPLETS = {"host": "x86_64-linux-gnu", "aarch64": "aarch64-linux-gnu", "ppc64el": "powerpc64le-linux-gnu",
            "s390x": "s390x-linux-gnu", "riscv64": "riscv64-linux-gnu"}
KINDS = ["load", "suite", "matrix"]
# The collectors, the one place their options live: options, the first and
# last JDK that ships the collector (None: no bound) and, for one that began
# experimental, the first JDK where it is a product option (before it, the
# options need -XX:+UnlockExperimentalVMOptions).
COLLECTORS = {
    "default": dict(options=[], jdks=(None, None)),
    "Serial": dict(options=["-XX:+UseSerialGC"], jdks=(None, None)),
    "Parallel": dict(options=["-XX:+UseParallelGC"], jdks=(None, None)),
    "G1": dict(options=["-XX:+UseG1GC"], jdks=(None, None)),
    # Removed in 14; Debian's 8 has no Shenandoah, its 11 has.
    "ConcMarkSweep": dict(options=["-XX:+UseConcMarkSweepGC"], jdks=(8, 13)),
    "Z": dict(options=["-XX:+UseZGC"], jdks=(11, None), product_from=15),
    "Shenandoah": dict(options=["-XX:+UseShenandoahGC"], jdks=(11, None), product_from=15),
    # From 23 on Z is generational and -XX:+ZGenerational is gone.
    "ZGen": dict(options=["-XX:+UseZGC", "-XX:+ZGenerational"], jdks=(21, 22)),
}
# The execution modes: options, and whether `java -version` under them says
# if the JDK takes a cell's options (-Xcomp alone makes it take seconds).
MODES_TABLE = {
    "default": dict(options=[], probe=True),
    "int": dict(options=["-Xint"], probe=True),
    "comp": dict(options=["-Xcomp"], probe=False),
    "c1": dict(options=["-XX:TieredStopAtLevel=1"], probe=True),
}
GCS = list(COLLECTORS)
MODES = list(MODES_TABLE)
MODE_OPTIONS = {m: " ".join(v["options"]) for m, v in MODES_TABLE.items()}
HERE = os.path.dirname(os.path.abspath(__file__))
TIERS_FILE = os.path.join(HERE, "matrix-tiers.txt")
# The cells of these tiers must run: a JDK refusing one's options fails it.
MUST_RUN = ("tier1", "tier2")
# Written into every directory the matrix makes; one without it is not ours to clear.
MARKER = ".zol-matrix"
# How a JVM refuses an option in its own words.
REFUSAL = re.compile(r"Unrecognized VM option|Unrecognized option|not supported|"
                     r"must be enabled via -XX:\+Unlock[A-Za-z]*VMOptions")

GC = f"({'|'.join(GCS)})"
MODE = f"({'|'.join(MODES)})"
ID = re.compile(rf"^({'|'.join(ARCHS)})-jdk([1-9][0-9]*)-(?:(load)|(suite)(?:-{GC}-{MODE})?|{GC}-{MODE})$")


class Refused(Exception):
    pass


def parse(cell_id):
    """The cell's fields (arch, jdk, kind, gc, mode), or Refused."""
    m = ID.match(cell_id)
    if not m:
        raise Refused(f"not a cell: {cell_id} (ARCH-jdkN-load, ARCH-jdkN-suite, ARCH-jdkN-suite-GC-MODE or "
                      f"ARCH-jdkN-GC-MODE)")
    arch, jdk = m.group(1), int(m.group(2))
    if m.group(3):
        cell = (arch, jdk, "load", "default", "default")
    elif m.group(4):
        cell = (arch, jdk, "suite", m.group(5) or "default", m.group(6) or "default")
    else:
        cell = (arch, jdk, "matrix", m.group(7), m.group(8))
    if name(cell) != cell_id:
        raise Refused(f"not a cell: {cell_id} (the suite as the JDK comes is {name(cell)})")
    if jdk < 8:
        raise Refused(f"{cell_id}: the suite needs JDK 8 or later")
    first, last = COLLECTORS[cell[3]]["jdks"]
    if first and jdk < first or last and jdk > last:
        raise Refused(f"{cell_id}: {cell[3]} exists on JDK {first or 'any'} to {last or 'the latest'} only")
    return cell


def options(cell):
    """The JVM options of a cell's collector and mode."""
    arch, jdk, kind, gc, mode = cell
    collector = COLLECTORS[gc]
    unlock = ["-XX:+UnlockExperimentalVMOptions"] if jdk < collector.get("product_from", 0) else []
    return unlock + collector["options"] + MODES_TABLE[mode]["options"]


def describe(cell):
    """What matrix.sh needs of a cell, as (key, value) pairs: its fields, the
    options every JVM of its tests gets, those `java -version` is probed
    with, and the tests it runs."""
    arch, jdk, kind, gc, mode = cell
    probe = [o for o in options(cell) if o not in MODES_TABLE[mode]["options"] or MODES_TABLE[mode]["probe"]]
    tests = {"load": "tests/java/jvm", "suite": "tests/java/jvm", "matrix": "tests/java:matrix"}[kind]
    return [("id", name(cell)), ("arch", arch), ("jdk", jdk), ("kind", kind), ("gc", gc), ("mode", mode),
            ("options", " ".join(options(cell))), ("probe", " ".join(probe)), ("tests", tests)]


def cmd_describe(args):
    if len(args) != 1:
        raise Refused("describe ID")
    print("".join(f"{k}={v}\n" for k, v in describe(parse(args[0]))), end="")
    return 0


def name(cell):
    arch, jdk, kind, gc, mode = cell
    if kind == "load":
        return f"{arch}-jdk{jdk}-load"
    if kind == "suite":
        return f"{arch}-jdk{jdk}-suite" + ("" if gc == mode == "default" else f"-{gc}-{mode}")
    return f"{arch}-jdk{jdk}-{gc}-{mode}"


def order(cell):
    arch, jdk, kind, gc, mode = cell
    return (ARCHS.index(arch), jdk, KINDS.index(kind), GCS.index(gc), MODES.index(mode))


def expected_seconds(cell):
    """A cell's expected wall time on a 2-core machine: what balances shards."""
    arch, jdk, kind, gc, mode = cell
    host, emulated = {"load": (25, 40), "suite": (90, 420), "matrix": (35, 150)}[kind]
    return (host if arch == "host" else emulated) * {"default": 1, "c1": 1, "int": 1.5, "comp": 5}[mode]


def braces(pattern):
    """Expands {a,b} alternatives, left to right."""
    m = re.search(r"\{([^{}]*)\}", pattern)
    if not m:
        return [pattern]
    return [x for alt in m.group(1).split(",") for x in braces(pattern[:m.start()] + alt + pattern[m.end():])]


def tiers():
    """The tiers of matrix-tiers.txt: name -> list of items."""
    defs, current = {}, None
    with open(TIERS_FILE, encoding="utf-8") as f:
        text = re.sub(r"\\\n", " ", f.read())
    for line in text.splitlines():
        line = line.split("#", 1)[0].strip()
        if not line:
            continue
        key, eq, items = line.partition("=")
        if not eq or not re.fullmatch(r"tier[0-9]+", key.strip()):
            raise Refused(f"{TIERS_FILE}: not a tier: {line}")
        current = key.strip()
        defs[current] = items.split()
    return defs


def tier_cells(tier, defs, seen=()):
    if tier not in defs:
        raise Refused(f"no tier {tier} in {TIERS_FILE} (tiers: {', '.join(sorted(defs))})")
    if tier in seen:
        raise Refused(f"{TIERS_FILE}: {tier} includes itself")
    cells = set()
    for item in defs[tier]:
        if item in defs:
            cells |= tier_cells(item, defs, seen + (tier,))
            continue
        expanded = braces(item)
        for cell_id in expanded:
            try:
                cells.add(parse(cell_id))
            except Refused:
                # A pattern leaves out the cells that do not exist; a cell named
                # alone must.
                if len(expanded) == 1 or not ID.match(cell_id):
                    raise
    return cells


def parse_selection(args):
    """Takes the selection options off args; returns (cells, description, rest)."""
    opts, rest = {}, []
    it = iter(args)
    for a in it:
        if a in ("--tier", "--cell", "--arch", "--jdk", "--gc", "--mode", "--kind"):
            value = next(it, None)
            if value is None:
                raise Refused(f"{a} needs a value")
            opts[a[2:]] = value
        else:
            rest.append(a)
    if "cell" in opts and "tier" in opts:
        raise Refused("--cell and --tier exclude each other")
    defs = tiers()
    if "cell" in opts:
        cells = {parse(c) for c in opts["cell"].split(",") if c}
    elif "tier" in opts or not opts:
        tier = opts.get("tier", "2")
        cells = tier_cells(tier if tier.startswith("tier") else "tier" + tier, defs)
    else:
        # Axes without a tier select from every cell there is.
        cells = set().union(*(tier_cells(t, defs) for t in defs))
    fields = {"arch": 0, "jdk": 1, "kind": 2, "gc": 3, "mode": 4}
    valid = {"arch": ARCHS, "kind": KINDS, "gc": GCS, "mode": MODES}
    for key, index in fields.items():
        if key not in opts:
            continue
        wanted = opts[key].split(",")
        for w in wanted:
            if key == "jdk" and not re.fullmatch(r"[1-9][0-9]*", w) or key != "jdk" and w not in valid[key]:
                raise Refused(f"--{key}: unknown {w}")
        cells = {c for c in cells if str(c[index]) in wanted}
    description = " ".join(f"--{k} {v}" for k, v in opts.items()) or "--tier 2"
    return sorted(cells, key=order), description, rest


def shard(cells, arg):
    m = re.fullmatch(r"([1-9][0-9]*)/([1-9][0-9]*)", arg)
    if not m or int(m.group(1)) > int(m.group(2)):
        raise Refused(f"--shard K/N with 1 <= K <= N: {arg}")
    k, n = int(m.group(1)), int(m.group(2))
    mine = set(shards(cells, n)[k - 1])
    return [c for c in cells if c in mine]


def shards(cells, n):
    """The cells in n shards. A cell's set-up is its (architecture, JDK): the
    JDK fetched and, for a foreign architecture, the cross build. With at
    least as many shards as set-ups, each shard has one: every set-up gets a
    shard, each shard left goes to the set-up whose longest shard is the
    longest, and a set-up's cells go longest first to its shard with the
    least expected time. With fewer, see below."""
    groups = {}
    for c in sorted(cells, key=order):
        groups.setdefault(c[:2], []).append(c)

    def spread(items, count):
        bins, loads = [[] for _ in range(count)], [0.0] * count
        for item in sorted(items, key=lambda x: -expected_seconds(x)):
            i = loads.index(min(loads))
            bins[i].append(item)
            loads[i] += expected_seconds(item)
        return bins, max(loads)

    if n < len(groups):
        # Longest first, a cell joins a shard that has its set-up while that
        # stays within an even share of the time, else the least loaded.
        share = sum(map(expected_seconds, cells)) / n
        bins, loads = [[] for _ in range(n)], [0.0] * n
        for c in sorted(cells, key=lambda c: (-expected_seconds(c), order(c))):
            t = expected_seconds(c)
            fits = [i for i in range(n) if any(x[:2] == c[:2] for x in bins[i]) and loads[i] + t <= share]
            i = min(fits or range(n), key=lambda i: loads[i])
            bins[i].append(c)
            loads[i] += t
        return bins
    count = dict.fromkeys(groups, 1)
    longest = {g: spread(groups[g], 1)[1] for g in groups}
    for _ in range(n - len(groups)):
        open_ = [g for g in groups if count[g] < len(groups[g])]
        if not open_:
            break
        g = max(open_, key=longest.get)
        count[g] += 1
        longest[g] = spread(groups[g], count[g])[1]
    out = [b for g in groups for b in spread(groups[g], count[g])[0]]
    return out + [[] for _ in range(n - len(out))]


def must_run(cell_id):
    defs = tiers()
    return any(parse(cell_id) in tier_cells(t, defs) for t in MUST_RUN if t in defs)


def claim(out, fresh=False):
    """Makes out the matrix's directory; refuses one that holds files the
    matrix did not write."""
    marker = os.path.join(out, MARKER)
    if os.path.isdir(out) and os.listdir(out) and not os.path.isfile(marker):
        raise Refused(f"{out} is not empty and was not written by the matrix (no {MARKER}): "
                      "give an empty or new directory")
    if fresh and os.path.isdir(out):
        shutil.rmtree(out)
    os.makedirs(out, exist_ok=True)
    with open(marker, "w", encoding="utf-8") as f:
        f.write("written by scripts/matrix.sh, which may empty this directory\n")


def cmd_claim(args):
    if len(args) not in (1, 2) or args[1:] not in ([], ["--fresh"]):
        raise Refused("claim DIR [--fresh]")
    claim(args[0], args[1:] == ["--fresh"])
    return 0


def probe_verdict(status, output, hs_err):
    """What a JVM's `-version` under a cell's options says of the cell:
    ("ok" | "unsupported" | "failed", why). Only a plain refusal in the JVM's
    own words (status 1, no crash) is "unsupported"."""
    if status == 0:
        return "ok", ""
    refusal = next((l.strip() for l in output.splitlines() if REFUSAL.search(l)), "")
    crashed = hs_err or "A fatal error has been detected" in output
    if status == 1 and refusal and not crashed:
        return "unsupported", refusal
    if status < 0 or status > 128:
        sig = -status if status < 0 else status - 128
        try:
            why = f"killed by {signal.Signals(sig).name}"
        except ValueError:
            why = f"killed by signal {sig}"
    else:
        why = f"exit status {status}"
    if crashed:
        why += ", hs_err file written"
    return "failed", f"java -version under the cell's options: {why} (output in the log)"


def cmd_probe(args):
    if len(args) < 2:
        raise Refused("probe DIR HOME [OPTION...]")
    d, home, options = args[0], args[1], args[2:]
    java = os.path.join(home, "bin", "java")
    scratch = os.path.join(d, "probe")
    os.makedirs(scratch, exist_ok=True)
    verdict, why = "ok", ""
    with open(os.path.join(d, "log"), "a", encoding="utf-8") as log:
        for command in [[java, "-version"]] + ([[java] + options + ["-version"]] if options else []):
            try:
                run = subprocess.run(command, cwd=scratch, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                     timeout=600, check=False)
                status, output = run.returncode, run.stdout.decode(errors="replace")
            except subprocess.TimeoutExpired as e:
                status, output = -signal.SIGKILL, (e.stdout or b"").decode(errors="replace") + "\n(600 s, killed)\n"
            except OSError as e:
                status, output = 127, str(e)
            log.write(f"$ {' '.join(command)}\n{output}(status {status})\n")
            hs_err = [f for f in os.listdir(scratch) if f.startswith("hs_err")]
            for f in hs_err:
                shutil.move(os.path.join(scratch, f), os.path.join(d, f))
            if command == [java, "-version"]:
                if status != 0:
                    verdict, why = "setup", f"{java} -version failed (status {status}; output in the log)"
                    break
                continue
            verdict, why = probe_verdict(status, output, bool(hs_err))
    shutil.rmtree(scratch, ignore_errors=True)
    print(verdict + (f"\t{why}" if why else ""))
    return 0


def requires_of(root, test):
    """The @requires lines of a test (of its `@test id=` block, if it has one)."""
    path, _, ident = test.partition("#")
    try:
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
            text = f.read()
    except OSError:
        return ""
    blocks = re.split(r"@test\b", text)[1:] or [text]
    if ident:
        mine = [b for b in blocks if re.match(rf"\s+id={re.escape(ident)}\b", b)]
        blocks = mine or blocks
    found = [r.strip() for b in blocks for r in re.findall(r"@requires\s+(.*)", b.split("*/", 1)[0])]
    found = list(dict.fromkeys(found))
    return found[0] if len(found) == 1 else " & ".join(f"({r})" for r in found)


def problem_reason(lists, test):
    """The line of a problem list that names the test (or its file), minus
    the test's name: bug id, platform and finding."""
    for listing in lists:
        try:
            with open(listing, encoding="utf-8") as f:
                lines = f.read().splitlines()
        except OSError:
            continue
        for line in lines:
            fields = line.split(None, 1)
            if fields and not line.startswith("#") and fields[0] in (test, test.partition("#")[0]):
                return f"{os.path.basename(listing)}: {fields[1] if len(fields) > 1 else ''}".strip()
    return "an exclude list"


def jtreg_list(options, tests):
    """The tests jtreg would run (`jtreg -l`), or Refused."""
    run = subprocess.run(["jtreg", "-l"] + options + tests, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                         check=False)
    text = run.stdout.decode(errors="replace")
    if run.returncode != 0 or not re.search(r"^Tests found: [0-9]+", text, re.M):
        raise Refused("jtreg -l failed:\n" + text)
    return [l.strip() for l in text.splitlines() if re.match(r"^\S+\.java(#\S+)?$", l.strip())]


def deliverables():
    with open(os.path.join(HERE, "..", "src", "CMakeLists.txt"), encoding="utf-8") as f:
        return re.findall(r"^zol_deliverable\(([A-Za-z0-9_]+)", f.read(), re.M)


def test_names(root, path):
    """The jtreg tests of a file: File.java, File.java#ID for `@test id=ID`,
    File.java#id0, #id1, ... for several blocks without ids."""
    try:
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
            text = f.read()
    except OSError:
        return []
    blocks = re.findall(r"/\*(?:(?!\*/).)*?@test\b(.*?)\*/", text, re.S)
    if len(blocks) == 1 and not re.match(r"\s+id=", blocks[0]):
        return [path]
    names = []
    for i, block in enumerate(blocks):
        m = re.match(r"\s+id=(\S+)", block)
        names.append(f"{path}#{m.group(1) if m else f'id{i}'}")
    return names


def all_tests(selected):
    """Every test of a selection (a directory or file under the test root, or
    ROOT:GROUP of its TEST.groups), whatever a JDK's @requires says."""
    root = os.path.join(HERE, "..", "tests", "java")
    top, _, group = selected.partition(":")
    items = [os.path.relpath(os.path.join(HERE, "..", top), root)]
    if group:
        with open(os.path.join(root, "TEST.groups"), encoding="utf-8") as f:
            text = re.sub(r"\\\n", " ", f.read())
        groups = {}
        for line in text.splitlines():
            key, eq, value = line.split("#", 1)[0].partition("=")
            if eq:
                groups[key.strip()] = value.split()
        items, todo = [], list(groups.get(group, []))
        while todo:
            item = todo.pop(0)
            if item.startswith(":"):
                todo += groups.get(item[1:], [])
            elif not item.startswith("-"):
                items.append(item)
    names = []
    for item in items:
        full = os.path.join(root, item)
        files = [item] if os.path.isfile(full) else sorted(
            os.path.relpath(os.path.join(here, f), root) for here, _, fs in os.walk(full) for f in fs
            if f.endswith(".java"))
        names += [n for f in files for n in test_names(root, f)]
    return names


def cmd_expect(args):
    """Lists the cell's tests: all of them, those @requires keeps under the
    cell's JDK and options (jtreg -l), and those the problem lists keep too."""
    if len(args) < 2:
        raise Refused("expect DIR KIND [JTREG OPTION...] TESTS")
    d, kind, rest = args[0], args[1], args[2:]
    excluded, not_applicable = [], []
    if kind == "load":
        tests = deliverables()
    else:
        options, selected = rest[:-1], rest[-1:]
        lists = [o.split(":", 1)[1] for o in options if o.startswith("-exclude:")]
        work = ["-w:" + os.path.join(d, "JTlist")]
        applicable = jtreg_list([o for o in options if not o.startswith("-exclude:")] + work, selected)
        tests = jtreg_list(options + work, selected)
        everything = list(dict.fromkeys(all_tests(selected[0]) + applicable))
        shutil.rmtree(os.path.join(d, "JTlist"), ignore_errors=True)
        root = os.path.join(HERE, "..", "tests", "java")
        excluded = [dict(test=t, reason=problem_reason(lists, t)) for t in applicable if t not in tests]
        not_applicable = [dict(test=t, reason="@requires " + requires_of(root, t)) for t in everything
                          if t not in applicable]
    with open(os.path.join(d, "expected.json"), "w", encoding="utf-8") as f:
        json.dump(dict(tests=tests, excluded=excluded, not_applicable=not_applicable), f, indent=1)
        f.write("\n")
    return 0


def cmd_select(args):
    cells, description, rest = parse_selection(args)
    as_json = "--json" in rest
    rest = [a for a in rest if a != "--json"]
    if len(rest) == 2 and rest[0] == "--shard":
        cells = shard(cells, rest[1])
    elif rest:
        raise Refused(f"unknown arguments: {' '.join(rest)}")
    ids = [name(c) for c in cells]
    print(json.dumps(ids) if as_json else "\n".join(ids))
    return 0


def cmd_units(args):
    """The jobs of a CI matrix for the selection, as one JSON array: a cell
    each while there are at most --max of them, else --max shards (K/N)."""
    cells, _, rest = parse_selection(args)
    if len(rest) != 2 or rest[0] != "--max" or not rest[1].isdigit() or int(rest[1]) < 1:
        raise Refused("units [SELECTION] --max N")
    most = int(rest[1])
    if len(cells) <= most:
        print(json.dumps([name(c) for c in cells]))
    else:
        print(json.dumps([f"{k}/{most}" for k in range(1, most + 1)]))
    return 0


def cmd_plan(args):
    """Like select; also writes OUT/selection.json: the selection and its
    cells, and the cells of this run (a shard's)."""
    out, args = args[0], args[1:]
    cells, description, rest = parse_selection(args)
    run, part = cells, ""
    if len(rest) == 2 and rest[0] == "--shard":
        run, part = shard(cells, rest[1]), rest[1]
    elif rest:
        raise Refused(f"unknown arguments: {' '.join(rest)}")
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, "selection.json"), "w", encoding="utf-8") as f:
        json.dump(dict(selection=description, shard=part, cells=[name(c) for c in cells], run=[name(c) for c in run]),
                  f, indent=1)
        f.write("\n")
    print("\n".join(name(c) for c in run))
    return 0


def cmd_line(args):
    """A run's line for a finished cell: N, id, verdict, counts, time, build."""
    if len(args) != 2:
        raise Refused("line DIR N")
    with open(os.path.join(args[0], "cell.json"), encoding="utf-8") as f:
        c = json.load(f)
    t = c["wall_seconds"]
    counts = f"passed {c['passed']:2d}, failed {c['failed']}, error {c['error']}, skipped {c['skipped']}"
    text = {"setup": "set-up failed", "unsupported": "not supported"}.get(c["verdict"], c["verdict"])
    print(f"{args[1]:<9} {c['cell']:<34} {text:<13} {counts}  {t // 60}m{t % 60:02d}s  {c['jdk_build']}"
          + (f"  ({c['note']})" if c["note"] else ""))
    return 0


def descendants(pid):
    """The processes below pid, from /proc."""
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat", encoding="utf-8", errors="replace") as f:
                ppid = int(f.read().rsplit(")", 1)[1].split()[1])
        except (OSError, IndexError, ValueError):
            continue
        children.setdefault(ppid, []).append(int(entry))
    found, todo = [], list(children.get(pid, []))
    while todo:
        p = todo.pop()
        found.append(p)
        todo += children.get(p, [])
    return found


def command_line(pid):
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return f.read().replace(b"\0", b" ").decode(errors="replace").strip()[:300]
    except OSError:
        return "?"


def reap():
    try:
        while os.waitpid(-1, os.WNOHANG)[0]:
            pass
    except ChildProcessError:
        pass


def end_leftovers():
    """Ends every process still below this one (SIGTERM, then SIGKILL after
    5 s); returns what it found."""
    left = [(p, command_line(p)) for p in descendants(os.getpid())]
    for sig in (signal.SIGTERM, signal.SIGKILL):
        for p in descendants(os.getpid()):
            try:
                os.kill(p, sig)
            except OSError:
                pass
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            reap()
            if not descendants(os.getpid()):
                return left
            time.sleep(0.1)
    reap()
    return left


def arch_setup(arch, machine):
    """How a machine of Debian architecture `machine` runs the cells of
    `arch`: its own architecture natively, with the native build (no cross
    preset, no qemu); any other through a cross build, under qemu-user."""
    if arch not in DEBIAN:
        raise Refused(f"unknown architecture {arch}")
    if DEBIAN[arch] == machine:
        return "native", "native", []
    return f"cross-{arch}", "emulated", [f"g++-{TRIPLETS[arch]}", "qemu-user-static"]


def cmd_setup(args):
    if len(args) < 2:
        raise Refused("setup MACHINE ARCH...")
    for arch in args[1:]:
        build, how, packages = arch_setup(arch, args[0])
        print("\t".join([arch, build, how, " ".join(packages)]))
    return 0


def cmd_exec(args):
    """Runs the command in a session of its own as a subreaper: processes
    that outlive their parent (a test's child JVM) come back here, count in
    the CPU time, and are ended with the command, so none outlives its cell."""
    if len(args) < 3 or args[1] != "--":
        raise Refused("exec FILE -- COMMAND...")
    out, command = args[0], args[2:]
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(36, 1, 0, 0, 0)  # PR_SET_CHILD_SUBREAPER
    child = subprocess.Popen(command, start_new_session=True)
    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, lambda s, f: child.send_signal(s))
    status = child.wait()
    left = end_leftovers()
    if left:
        sys.stderr.write(f"matrix: ended {len(left)} processes left behind:\n" +
                         "".join(f"  {p} {c}\n" for p, c in left))
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    with open(out, "w", encoding="utf-8") as f:
        f.write(f"{usage.ru_utime + usage.ru_stime:.1f}\n")
    return status if status >= 0 else 128 - status


def jtreg_counts(d):
    counts = dict(passed=0, failed=0, error=0, skipped=0)
    try:
        with open(os.path.join(d, "JTreport", "text", "stats.txt"), encoding="utf-8") as f:
            line = f.read()
    except OSError:
        return counts
    for key, label in (("passed", "passed"), ("failed", "failed"), ("error", "error"),
                       ("skipped", "did not meet platform requirements")):
        m = re.search(rf"{label}: ([0-9]+)", line)
        counts[key] = int(m.group(1)) if m else 0
    return counts


def load_counts(d):
    counts = dict(passed=0, failed=0, error=0, skipped=0)
    try:
        with open(os.path.join(d, "log"), encoding="utf-8", errors="replace") as f:
            last = [l for l in f if re.match(r"^[0-9]+ ok, ", l)]
    except OSError:
        last = []
    if last:
        m = re.match(r"^([0-9]+) ok, ([0-9]+) failed(?:, ([0-9]+) not built yet)?", last[-1])
        counts["passed"] = int(m.group(1))
        counts["failed"] = int(m.group(2)) + int(m.group(3) or 0)
    return counts


def ran_tests(d, kind):
    """The tests a cell ran (jtreg's summary), or the libraries its load check
    reported on."""
    if kind == "load":
        return [name for name, _, _ in load_rows(d)]
    try:
        with open(os.path.join(d, "JTreport", "text", "summary.txt"), encoding="utf-8", errors="replace") as f:
            return [l.split()[0] for l in f if l.strip()]
    except OSError:
        return []


def cmd_record(args):
    d, values = args[0], dict(a.split("=", 1) for a in args[1:])
    arch, jdk, kind, gc, mode = parse(values["cell"])
    verdict, note = values["verdict"], values.get("note", "")
    tests = dict(ran=[], excluded=[], not_applicable=[], did_not_run=[], unexpected=[])
    if verdict == "unsupported" and must_run(values["cell"]):
        verdict, note = "failed", f"a cell of {' or '.join(MUST_RUN)} must run; the JDK refuses its options: {note}"
    if verdict in ("setup", "unsupported", "failed"):
        counts = dict(passed=0, failed=0, error=int(verdict == "failed"), skipped=0)
    else:
        counts = load_counts(d) if kind == "load" else jtreg_counts(d)
        try:
            with open(os.path.join(d, "expected.json"), encoding="utf-8") as f:
                expected = json.load(f)
        except (OSError, ValueError):
            expected = None
        tests["ran"] = ran_tests(d, kind)
        if expected is not None:
            tests["excluded"], tests["not_applicable"] = expected["excluded"], expected["not_applicable"]
            tests["did_not_run"] = [t for t in expected["tests"] if t not in tests["ran"]]
            tests["unexpected"] = [t for t in tests["ran"] if t not in expected["tests"]]
        ran = values.get("rc") == "0" and counts["passed"] > 0
        verdict = "passed" if ran and not counts["failed"] + counts["error"] else "failed"
        if expected is None:
            verdict, note = "failed", "the cell's tests could not be listed before the run (the log says why)"
        elif tests["did_not_run"] or tests["unexpected"]:
            verdict = "failed"
            note = "; ".join(x for x in (
                tests["did_not_run"] and "did not run: " + ", ".join(tests["did_not_run"]),
                tests["unexpected"] and "ran without being expected: " + ", ".join(tests["unexpected"]),
                note) if x)
        if verdict == "failed" and not counts["failed"] + counts["error"]:
            counts["error"] = 1
    try:
        with open(os.path.join(d, "cpu"), encoding="utf-8") as f:
            cpu = float(f.read())
    except (OSError, ValueError):
        cpu = 0.0
    if verdict == "setup":
        report = "setup.log"
    elif kind == "load" or not os.path.exists(os.path.join(d, "JTreport")):
        report = "log"
    else:
        report = "JTreport/index.html"
    summary = dict(cell=values["cell"], arch=arch, jdk=jdk, kind=kind, gc=gc, mode=mode,
                   options=values.get("options", ""), jdk_build=values.get("jdk_build", ""),
                   jdk_package=values.get("jdk_package", ""), jdk_home=values.get("jdk_home", ""),
                   verdict=verdict, **counts, tests=tests,
                   wall_seconds=int(values.get("wall", 0)), cpu_seconds=round(cpu, 1),
                   host=values.get("host", ""), machine=values.get("machine", ""), checkout=values.get("checkout", ""),
                   commit=values.get("commit", ""), started=values.get("started", ""), note=note, report=report)
    with open(os.path.join(d, "cell.json"), "w", encoding="utf-8") as f:
        json.dump(summary, f, indent=1)
        f.write("\n")
    return 0


# ---- merge and report

def find_results(dirs):
    """(cells: id -> [dirs], selections: [(file, dict)]) under the given
    directories: a cell's own directory, or up to three levels above it."""
    cells, selections = {}, []
    for top in dict.fromkeys(os.path.realpath(d) for d in dirs):
        if not os.path.isdir(top):
            raise Refused(f"no directory {top}")
        for here, subdirs, files in os.walk(top):
            depth = os.path.relpath(here, top).count(os.sep) + (here != top)
            if "cell.json" in files:
                with open(os.path.join(here, "cell.json"), encoding="utf-8") as f:
                    c = json.load(f)
                cells.setdefault(c["cell"], []).append(os.path.realpath(here))
                subdirs[:] = []
                continue
            if "selection.json" in files:
                with open(os.path.join(here, "selection.json"), encoding="utf-8") as f:
                    selections.append((os.path.join(here, "selection.json"), json.load(f)))
            if depth >= 3:
                subdirs[:] = []
            subdirs.sort()
    return cells, selections


def duration(seconds):
    seconds = int(seconds)
    return f"{seconds // 60}m{seconds % 60:02d}s"


def cell_text(c, with_build=True):
    v = c["verdict"]
    if v == "missing":
        return "MISSING: no result"
    if v in ("duplicated", "unselected"):
        return v.upper() + ": " + c["note"]
    build = f" · {c['jdk_build']}" if with_build and c["jdk_build"] else ""
    if v == "unsupported":
        return "not supported: " + (c["note"] or "the JDK refuses these options") + build
    if v == "setup":
        return f"SET-UP FAILED: {c['note']} · {duration(c['wall_seconds'])}"
    counts = [f"{c['passed']} passed"]
    if c["error"]:
        counts.insert(0, f"{c['error']} error")
    if c["failed"]:
        counts.insert(0, f"{c['failed']} failed")
    if c["skipped"]:
        counts.append(f"{c['skipped']} skipped")
    mark = "FAILED" if v == "failed" else "ok"
    return f"{mark}: {', '.join(counts)} · {duration(c['wall_seconds'])}{build}"


def row_label(c):
    if c["kind"] == "load":
        return "load check"
    options = ", ".join(x for x in (c["gc"] if c["gc"] != "default" else "",) if x)
    if c["kind"] == "suite":
        return "tests/java/jvm" + (f", {options}" if options else "")
    return f"group matrix, {c['gc'] if c['gc'] != 'default' else 'default collector'}"


def placeholder(cell_id, verdict, note=""):
    arch, jdk, kind, gc, mode = parse(cell_id)
    return dict(cell=cell_id, arch=arch, jdk=jdk, kind=kind, gc=gc, mode=mode, verdict=verdict, note=note,
                passed=0, failed=0, error=0, skipped=0, wall_seconds=0, cpu_seconds=0, jdk_build="", host="",
                report="")


def grids(cells):
    """One grid per architecture and JDK: rows by what ran and the collector,
    columns by mode."""
    out = []
    for arch in ARCHS:
        for jdk in sorted({c["jdk"] for c in cells if c["arch"] == arch}):
            mine = [c for c in cells if c["arch"] == arch and c["jdk"] == jdk]
            modes = [m for m in MODES if any(c["mode"] == m for c in mine)]
            labels = list(dict.fromkeys(row_label(c) for c in mine))
            rows = [[label] + [next((c for c in mine if row_label(c) == label and c["mode"] == m), None)
                               for m in modes] for label in labels]
            builds = sorted({c["jdk_build"] for c in mine if c["jdk_build"]})
            title = f"{ARCH_TITLES.get(arch, arch)}, JDK {jdk}"
            if builds:
                title += f" (build {' / '.join(builds)})"
            out.append((title, [""] + [MODE_OPTIONS[m] or "default mode" for m in modes], rows))
    return out


def overview(cells):
    """A table of architectures by JDKs: how many cells of each grid passed."""
    jdks = sorted({c["jdk"] for c in cells})
    lines = ["| architecture | " + " | ".join(f"JDK {j}" for j in jdks) + " |", "|" + "---|" * (len(jdks) + 1)]
    for arch in ARCHS:
        if not any(c["arch"] == arch for c in cells):
            continue
        row = []
        for j in jdks:
            mine = [c for c in cells if c["arch"] == arch and c["jdk"] == j]
            bad = sum(c["verdict"] in ("failed", "setup", "missing", "duplicated", "unselected") for c in mine)
            ok = sum(c["verdict"] == "passed" for c in mine)
            unsupported = len(mine) - bad - ok
            text = f"{ok}/{len(mine)} passed" + (f", **{bad} failed**" if bad else "") + \
                (f", {unsupported} not supported" if unsupported else "")
            row.append(text if mine else "—")
        lines.append(f"| {ARCH_TITLES.get(arch, arch)} | " + " | ".join(row) + " |")
    return lines


def junit(cells, out):
    """One JUnit XML file: a test suite per cell, a test case per jtreg test
    or per library of a load check."""
    suites = ET.Element("testsuites", name="configuration matrix")
    totals = dict(tests=0, failures=0, errors=0, skipped=0)
    for c in cells:
        suite = ET.SubElement(suites, "testsuite", name=c["cell"], hostname=c.get("host", ""),
                              time=str(c["wall_seconds"]))
        props = ET.SubElement(suite, "properties")
        for key in ("jdk_build", "options", "verdict", "note"):
            if c.get(key):
                ET.SubElement(props, "property", name=key, value=str(c[key]))
        cases = []
        d = os.path.join(out, c["cell"])
        if c["verdict"] in ("missing", "duplicated", "setup"):
            case = ET.Element("testcase", classname=c["cell"], name=c["verdict"])
            ET.SubElement(case, "error", message=cell_text(c, False))
            cases.append(case)
        elif c["verdict"] == "unsupported":
            case = ET.Element("testcase", classname=c["cell"], name="options")
            ET.SubElement(case, "skipped", message=cell_text(c, False))
            cases.append(case)
        elif c["kind"] == "load":
            cases = load_cases(c, d)
        else:
            cases = jtreg_cases(c, d)
        for test in c.get("tests", {}).get("did_not_run", []):
            case = ET.Element("testcase", classname=c["cell"], name=test)
            ET.SubElement(case, "error", message="expected to run, but did not report")
            cases.append(case)
        if c["verdict"] == "failed" and not any(x.find("failure") is not None or x.find("error") is not None
                                                for x in cases):
            case = ET.Element("testcase", classname=c["cell"], name="cell")
            ET.SubElement(case, "error", message=cell_text(c, False) + (f" ({c['note']})" if c["note"] else ""))
            cases.append(case)
        counts = dict(tests=len(cases), failures=sum(x.find("failure") is not None for x in cases),
                      errors=sum(x.find("error") is not None for x in cases),
                      skipped=sum(x.find("skipped") is not None for x in cases))
        for key, value in counts.items():
            suite.set(key, str(value))
            totals[key] += value
        suite.extend(cases)
    for key, value in totals.items():
        suites.set(key, str(value))
    ET.indent(suites)
    ET.ElementTree(suites).write(os.path.join(out, "junit.xml"), encoding="utf-8", xml_declaration=True)


def load_rows(d):
    """The rows of the load check's table in the cell's log: (library, line, result)."""
    try:
        with open(os.path.join(d, "log"), encoding="utf-8", errors="replace") as f:
            lines = f.read().splitlines()
    except OSError:
        return []
    header = next((i for i, l in enumerate(lines) if re.match(r"^library\s+loaded by\s+scenario: result", l)), None)
    if header is None:
        return []
    rows = []
    for line in lines[header + 1:]:
        m = re.match(r"^(\S+)\s{2,}.*: (.*)$", line)
        if m and not re.match(r"^[0-9]+ ok, ", line):
            rows.append((m.group(1), line.strip(), m.group(2)))
    return rows


def load_cases(c, d):
    cases = []
    for name, line, result in load_rows(d):
        case = ET.Element("testcase", classname=c["cell"], name=name)
        if result != "ok":
            ET.SubElement(case, "failure", message=line)
        cases.append(case)
    return cases


def jtreg_cases(c, d):
    tests = c.get("tests", {})
    reasons = {x["test"]: f"{kind}: {x['reason']}" for kind in ("excluded", "not_applicable")
               for x in tests.get(kind, [])}
    cases = []
    for listing in ("summary.txt", "notRun.txt"):
        try:
            with open(os.path.join(d, "JTreport", "text", listing), encoding="utf-8", errors="replace") as f:
                lines = f.read().splitlines()
        except OSError:
            continue
        for line in lines:
            test, _, status = line.partition(" ")
            status = status.strip()
            if not test:
                continue
            case = ET.Element("testcase", classname=c["cell"], name=test)
            source = None
            path, _, ident = test.partition("#")
            xml_file = os.path.join(d, "JTwork", path.rsplit(".", 1)[0] + (f"_{ident}" if ident else "") + ".jtr.xml")
            try:
                source = ET.parse(xml_file).getroot().find("testcase")
            except (OSError, ET.ParseError):
                pass
            if source is not None and source.get("time"):
                case.set("time", source.get("time"))
            if status.startswith("Passed"):
                pass
            elif status.startswith("Not run"):
                ET.SubElement(case, "skipped", message=reasons.get(test, status))
            else:
                tag = "error" if status.startswith("Error") else "failure"
                element = ET.SubElement(case, tag, message=status)
                detail = source.find("system-out") if source is not None else None
                if detail is not None and detail.text:
                    element.text = detail.text[-20000:]
            cases.append(case)
    return cases


def tests_text(c):
    """Markdown lines: what the cell ran, and what it left out and why."""
    tests = c.get("tests")
    if not tests or c["verdict"] not in ("passed", "failed"):
        return []
    lines = [f"- {c['cell']}: ran {len(tests['ran'])}: {', '.join(tests['ran']) or 'nothing'}"]
    lines += [f"  - excluded {x['test']}: {x['reason']}" for x in tests["excluded"]]
    lines += [f"  - not applicable {x['test']}: {x['reason']}" for x in tests["not_applicable"]]
    lines += [f"  - DID NOT RUN {t}" for t in tests["did_not_run"]]
    lines += [f"  - RAN UNEXPECTED {t}" for t in tests["unexpected"]]
    return lines


def cmd_merge(args):
    if not args:
        raise Refused("merge OUT [SELECTION] DIR...")
    out, own = args[0], "--run" in args
    args = [a for a in args if a != "--run"]
    explicit = any(a in ("--tier", "--cell", "--arch", "--jdk", "--gc", "--mode", "--kind") for a in args[1:])
    cells_sel, description, dirs = parse_selection(args[1:])
    if not dirs:
        raise Refused("merge: no result directories")
    found, selections = find_results(dirs)
    problems = []
    if explicit:
        expected = [name(c) for c in cells_sel]
    elif own:
        expected = selections[0][1]["run"] if selections else []
        if selections:
            description = selections[0][1]["selection"]
            if selections[0][1].get("shard"):
                description += " --shard " + selections[0][1]["shard"]
    else:
        # Without a selection a missing cell cannot be told: every input
        # must have recorded one, the same.
        bare = [d for d in dirs if not any(f.startswith(os.path.realpath(d) + os.sep) for f, _ in selections)]
        if bare:
            raise Refused("no selection given, and none recorded in " + ", ".join(bare) +
                          ": give the one the cells were run for (--tier, --cell, --arch, ...)")
        lists = {tuple(s.get("cells", [])) for _, s in selections}
        if len(lists) > 1:
            raise Refused("the result directories come from different selections: " +
                          ", ".join(f"{f} ({s.get('selection')})" for f, s in selections))
        expected = list(lists.pop())
        description = selections[0][1].get("selection", "")
    results = {}
    for places in found.values():
        for place in places:
            with open(os.path.join(place, "cell.json"), encoding="utf-8") as f:
                results[place] = json.load(f)
    commits = {}
    for place, c in results.items():
        commits.setdefault(c.get("commit") or "none recorded", []).append(c["cell"])
    if len(commits) > 1:
        raise Refused("the results come from different commits: " +
                      "; ".join(f"{k}: {', '.join(sorted(v))}" for k, v in sorted(commits.items())))
    builds = {}
    for c in results.values():
        if c.get("jdk_build"):
            builds.setdefault((c["arch"], c["jdk"]), {}).setdefault(
                f"{c['jdk_build']} (package {c.get('jdk_package') or 'none'})", []).append(c["cell"])
    for (arch, jdk), seen in sorted(builds.items()):
        if len(seen) > 1:
            raise Refused(f"the results ran on different builds of JDK {jdk} for {arch}: " +
                          "; ".join(f"{k}: {', '.join(sorted(v))}" for k, v in sorted(seen.items())))

    claim(out)
    real_out = os.path.realpath(out)
    cells = []
    for cell_id in sorted(set(expected) | set(found), key=lambda i: order(parse(i))):
        places = found.get(cell_id, [])
        if not places:
            cells.append(placeholder(cell_id, "missing"))
            problems.append(f"missing: {cell_id}")
            continue
        if len(places) > 1:
            cells.append(placeholder(cell_id, "duplicated", " and ".join(places)))
            problems.append(f"duplicated: {cell_id} in {' and '.join(places)}")
            continue
        target = os.path.join(real_out, cell_id)
        if places[0] != target:
            shutil.rmtree(target, ignore_errors=True)
            shutil.copytree(places[0], target, symlinks=True)
        with open(os.path.join(target, "cell.json"), encoding="utf-8") as f:
            c = json.load(f)
        if cell_id not in expected:
            c["verdict"], c["note"] = "unselected", "not in the selection " + description
            problems.append(f"not in the selection: {cell_id}")
        cells.append(c)
    # A cell left over from an earlier merge into the same place goes.
    for entry in os.listdir(real_out):
        path = os.path.join(real_out, entry)
        if ID.match(entry) and os.path.isfile(os.path.join(path, "cell.json")) and \
                entry not in {c["cell"] for c in cells}:
            shutil.rmtree(path)

    count = {v: sum(c["verdict"] == v for c in cells)
             for v in ("passed", "failed", "setup", "unsupported", "missing", "duplicated", "unselected")}
    bad = [c["cell"] for c in cells if c["verdict"] in ("failed", "setup", "missing", "duplicated", "unselected")]
    wall = sum(c["wall_seconds"] for c in cells)
    cpu = sum(c["cpu_seconds"] for c in cells)
    verdict = (f"{'FAILED' if bad else 'PASSED'}: {len(cells)} cells ({description}): {count['passed']} passed, "
               f"{count['failed']} failed, {count['setup']} set-up failed, {count['unsupported']} not supported, "
               f"{count['missing']} missing, {count['duplicated']} duplicated"
               + (f", {count['unselected']} not in the selection" if count["unselected"] else "")
               + f"; cell time {duration(wall)}, "
               f"CPU {duration(cpu)}")
    if bad:
        verdict += " (" + ", ".join(bad) + ")"
    closing = f"matrix: {count['passed']} passed, {len(bad)} failed, {count['unsupported']} skipped"

    md = ["# Configuration matrix", "", verdict, ""] + overview(cells) + [""]
    for title, header, rows in grids(cells):
        md += [f"## {title}", "", "| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
        for row in rows:
            md.append("| " + " | ".join([row[0]] + [
                (f"[{cell_text(c)}]({c['cell']}/{c['report']})" if c.get("report") else cell_text(c)) if c else "—"
                for c in row[1:]]) + " |")
        md.append("")
    md += ["## Cells", "", "| cell | verdict | passed | failed | error | skipped | wall | CPU | host | JDK build |",
           "|---|---|---|---|---|---|---|---|---|---|"]
    for c in cells:
        md.append(f"| {c['cell']} | {c['verdict']} | {c['passed']} | {c['failed']} | {c['error']} | {c['skipped']} | "
                  f"{duration(c['wall_seconds'])} | {duration(c['cpu_seconds'])} | {c['host']} | {c['jdk_build']} |")
    md += ["", "## What each cell ran", ""] + [line for c in cells for line in tests_text(c)]
    md += ["", verdict]
    with open(os.path.join(out, "summary.md"), "w", encoding="utf-8") as f:
        f.write("\n".join(md) + "\n")

    page = ["<!DOCTYPE html>", "<html><head><meta charset=\"utf-8\"><title>Configuration matrix</title>",
            "<style>body{font-family:sans-serif}table{border-collapse:collapse;margin-bottom:1.5em}"
            "td,th{border:1px solid #999;padding:4px 8px;text-align:left;vertical-align:top}.passed{background:#dfd}"
            ".failed,.missing,.duplicated,.unselected{background:#fcc}.setup{background:#fd9}.unsupported{background:#eee}"
            "small{color:#555}</style></head><body>",
            "<h1>Configuration matrix</h1>", f"<p><b>{html.escape(verdict)}</b></p>", "<table>"]
    for i, line in enumerate(overview(cells)):
        if i != 1:
            tag = "th" if i == 0 else "td"
            fields = [html.escape(x.strip()).replace("**", "") for x in line.strip("|").split("|")]
            page.append("<tr>" + "".join(f"<{tag}>{x}</{tag}>" for x in fields) + "</tr>")
    page.append("</table>")
    for title, header, rows in grids(cells):
        page += [f"<h2>{html.escape(title)}</h2>", "<table>",
                 "<tr>" + "".join(f"<th>{html.escape(h)}</th>" for h in header) + "</tr>"]
        for row in rows:
            tds = [f"<th>{html.escape(row[0])}</th>"]
            for c in row[1:]:
                if c is None:
                    tds.append("<td>—</td>")
                    continue
                label = html.escape(cell_text(c, False))
                if c.get("report"):
                    label = f"<a href=\"{html.escape(c['cell'] + '/' + c['report'])}\">{label}</a>"
                extra = " · ".join(x for x in (c["jdk_build"], c["host"]) if x)
                tds.append(f"<td class=\"{c['verdict']}\" title=\"{html.escape(c['cell'])}\">{label}"
                           f"{'<br><small>' + html.escape(extra) + '</small>' if extra else ''}</td>")
            page.append("<tr>" + "".join(tds) + "</tr>")
        page.append("</table>")
    page += ["<h2>What each cell ran</h2>", "<ul>"]
    for c in cells:
        lines = tests_text(c)
        if lines:
            page.append(f"<li>{html.escape(lines[0][2:])}<ul>" +
                        "".join(f"<li>{html.escape(x.strip()[2:])}</li>" for x in lines[1:]) + "</ul></li>")
    page.append("</ul>")
    page.append("<p><a href=\"summary.md\">summary.md</a> · <a href=\"junit.xml\">junit.xml</a></p></body></html>")
    with open(os.path.join(out, "index.html"), "w", encoding="utf-8") as f:
        f.write("\n".join(page) + "\n")
    junit(cells, real_out)
    for p in problems:
        print("merge: " + p, file=sys.stderr)
    print(verdict)
    print(closing)
    return 1 if bad or problems else 0


def main(argv):
    commands = {"select": cmd_select, "plan": cmd_plan, "units": cmd_units, "exec": cmd_exec, "record": cmd_record,
                "merge": cmd_merge, "claim": cmd_claim, "probe": cmd_probe, "expect": cmd_expect,
                "describe": cmd_describe, "line": cmd_line, "setup": cmd_setup}
    if not argv or argv[0] not in commands:
        sys.stderr.write(__doc__)
        return 2
    try:
        return commands[argv[0]](argv[1:])
    except Refused as e:
        print(f"matrix: {e}", file=sys.stderr)
        return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
