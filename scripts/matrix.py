#!/usr/bin/env python3
"""The configuration matrix's cells, tiers and report, for scripts/matrix.sh.

  matrix.py select [SELECTION] [--shard K/N] [--json]
      the selected cells in their canonical order, one per line (--json: one
      JSON array); with --shard, every N-th of them from the K-th, taken in
      the order of their expected time, longest first
  matrix.py plan OUT [SELECTION] [--shard K/N]
      as select, and writes OUT/selection.json: the selection, its cells and
      this run's (a shard's)
  matrix.py units [SELECTION] --max N
      the jobs of a CI matrix as one JSON array: a cell each, or N shards
      (K/N) when there are more than N cells
  matrix.py describe ID
      the cell's fields, tab-separated: arch, jdk, kind, gc, mode
  matrix.py exec FILE -- COMMAND...
      runs COMMAND and writes its CPU seconds, with those of every process it
      started, to FILE; exits with its status
  matrix.py record DIR key=value...
      writes DIR/cell.json from the values and the counts in the cell's files
  matrix.py merge OUT [SELECTION | --run] DIR...
      OUT/index.html, OUT/summary.md and OUT/junit.xml from the cells found
      in the result directories, copied into OUT; the cells expected are the
      selection given, else the one the runs recorded (--run: the cells of
      the run that recorded it); fails if a cell is missing, duplicated,
      outside the selection or failed

SELECTION: --tier 1|2|3 (default 2) or --cell ID,...; then --arch, --jdk,
--gc, --mode and --kind (load, suite, matrix) keep the cells that match a
comma-separated list. The tiers are in matrix-tiers.txt beside this file.
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
KINDS = ["load", "suite", "matrix"]
GCS = ["default", "Serial", "Parallel", "G1", "ConcMarkSweep", "Z", "Shenandoah", "ZGen"]
# The JDKs that ship each collector, first and last feature version (None: still there), as Debian builds them:
# CMS went in 14; Z came in 11 (experimental before 15); Debian's 8 has no Shenandoah, its 11 has.
GC_JDKS = {"ConcMarkSweep": (8, 13), "Z": (11, None), "Shenandoah": (11, None), "ZGen": (21, 22)}
MODES = ["default", "int", "comp", "c1"]
MODE_OPTIONS = {"default": "", "int": "-Xint", "comp": "-Xcomp", "c1": "-XX:TieredStopAtLevel=1"}
TIERS_FILE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "matrix-tiers.txt")

GC = r"(default|Serial|Parallel|G1|ConcMarkSweep|Z|Shenandoah|ZGen)"
MODE = r"(default|int|comp|c1)"
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
    first, last = GC_JDKS.get(cell[3], (8, None))
    if not first <= jdk <= (last or jdk):
        raise Refused(f"{cell_id}: JDK {jdk} has no {cell[3]} (JDK {first} to {last or 'now'})")
    if cell[3] == "ZGen" and not 21 <= jdk <= 22:
        raise Refused(f"{cell_id}: ZGen exists on JDK 21 and 22 only (from 23 on, Z is generational)")
    return cell


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
    if "cell" in opts:
        cells = {parse(c) for c in opts["cell"].split(",") if c}
    else:
        tier = opts.get("tier", "2")
        cells = tier_cells(tier if tier.startswith("tier") else "tier" + tier, tiers())
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
    by_time = sorted(cells, key=lambda c: (-expected_seconds(c), order(c)))
    mine = set(by_time[k - 1::n])
    return [c for c in cells if c in mine]


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


def cmd_exec(args):
    """Runs the command as a subreaper, so the CPU time of processes that
    outlive their parent (a JVM's child JVMs) still comes back here."""
    if len(args) < 3 or args[1] != "--":
        raise Refused("exec FILE -- COMMAND...")
    out, command = args[0], args[2:]
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(36, 1, 0, 0, 0)  # PR_SET_CHILD_SUBREAPER
    child = subprocess.Popen(command)
    for sig in (signal.SIGINT, signal.SIGTERM):
        signal.signal(sig, lambda s, f: child.send_signal(s))
    status = child.wait()
    # Orphans left behind get a few seconds to end; whatever still runs then
    # is not waited for.
    deadline = time.monotonic() + 10
    try:
        while True:
            pid, _ = os.waitpid(-1, os.WNOHANG)
            if pid == 0:
                if time.monotonic() > deadline:
                    break
                time.sleep(0.1)
    except ChildProcessError:
        pass
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


def cmd_record(args):
    d, values = args[0], dict(a.split("=", 1) for a in args[1:])
    arch, jdk, kind, gc, mode = parse(values["cell"])
    verdict = values["verdict"]
    if verdict in ("setup", "unsupported", "failed"):
        counts = dict(passed=0, failed=0, error=int(verdict == "failed"), skipped=0)
    else:
        counts = load_counts(d) if kind == "load" else jtreg_counts(d)
        ran = values.get("rc") == "0" and counts["passed"] > 0
        verdict = "passed" if ran and not counts["failed"] + counts["error"] else "failed"
        if verdict == "failed" and not counts["failed"] + counts["error"]:
            counts["error"] = 1
    try:
        with open(os.path.join(d, "cpu"), encoding="utf-8") as f:
            cpu = float(f.read())
    except (OSError, ValueError):
        cpu = 0.0
    if verdict == "setup":
        report = "setup.log"
    elif kind == "load" or verdict == "unsupported" or not os.path.exists(os.path.join(d, "JTreport")):
        report = "log"
    else:
        report = "JTreport/index.html"
    summary = dict(cell=values["cell"], arch=arch, jdk=jdk, kind=kind, gc=gc, mode=mode,
                   options=values.get("options", ""), jdk_build=values.get("jdk_build", ""),
                   jdk_home=values.get("jdk_home", ""), verdict=verdict, **counts,
                   wall_seconds=int(values.get("wall", 0)), cpu_seconds=round(cpu, 1),
                   host=values.get("host", ""), machine=values.get("machine", ""), checkout=values.get("checkout", ""),
                   started=values.get("started", ""), note=values.get("note", ""), report=report)
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


def load_cases(c, d):
    cases = []
    try:
        with open(os.path.join(d, "log"), encoding="utf-8", errors="replace") as f:
            lines = f.read().splitlines()
    except OSError:
        lines = []
    for line in lines[1:]:
        m = re.match(r"^(\S+)\s{2,}.*: (.*)$", line)
        if not m or re.match(r"^[0-9]+ ok, ", line):
            continue
        case = ET.Element("testcase", classname=c["cell"], name=m.group(1))
        if m.group(2) != "ok":
            ET.SubElement(case, "failure", message=line.strip())
        cases.append(case)
    return cases


def jtreg_cases(c, d):
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
            xml_file = os.path.join(d, "JTwork", test.rsplit(".", 1)[0] + ".jtr.xml")
            try:
                source = ET.parse(xml_file).getroot().find("testcase")
            except (OSError, ET.ParseError):
                pass
            if source is not None and source.get("time"):
                case.set("time", source.get("time"))
            if status.startswith("Passed"):
                pass
            elif status.startswith("Not run"):
                ET.SubElement(case, "skipped", message=status)
            else:
                tag = "error" if status.startswith("Error") else "failure"
                element = ET.SubElement(case, tag, message=status)
                detail = source.find("system-out") if source is not None else None
                if detail is not None and detail.text:
                    element.text = detail.text[-20000:]
            cases.append(case)
    return cases


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
    elif selections:
        lists = {tuple(s.get("cells", [])) for _, s in selections}
        if len(lists) > 1:
            raise Refused("the result directories come from different selections: " +
                          ", ".join(f"{f} ({s.get('selection')})" for f, s in selections))
        expected = list(lists.pop())
        description = selections[0][1].get("selection", "")
    else:
        expected = sorted(found, key=lambda i: order(parse(i)))
        description = "the cells found"
        print("merge: no selection given or recorded: a missing cell cannot be told", file=sys.stderr)

    os.makedirs(out, exist_ok=True)
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
    commands = {"select": cmd_select, "plan": cmd_plan, "units": cmd_units, "exec": cmd_exec, "record": cmd_record, "merge": cmd_merge,
                "describe": lambda a: print("\t".join(map(str, parse(a[0])))) or 0}
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
