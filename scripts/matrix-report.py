#!/usr/bin/env python3
"""matrix-report.py CELLS OUT SECONDS TESTS: writes OUT/summary.md and
OUT/index.html from matrix.sh's cell lines (tab-separated: arch, jdk, gc, mode,
verdict, passed, failed, skipped, seconds, note; verdict: passed, failed,
unsupported, or setup for a cell whose JDK or cross build could not be set
up). The last line of summary.md is the verdict."""
import html
import sys

cells_file, out, total, tests = sys.argv[1:5]
MODES = {"default": "default", "int": "-Xint", "comp": "-Xcomp", "c1": "-XX:TieredStopAtLevel=1"}
GCS = ["default", "Serial", "Parallel", "G1", "Z", "Shenandoah"]

cells = []
with open(cells_file, encoding="utf-8") as f:
    for line in f:
        arch, jdk, gc, mode, verdict, passed, failed, skipped, seconds, note = line.rstrip("\n").split("\t")
        name = f"{arch}-jdk{jdk}-load" if gc == "load" else f"{arch}-jdk{jdk}-{gc}-{mode}"
        if verdict == "setup":
            report = f"{name}/setup.log"
        elif gc == "load" or verdict == "unsupported":
            report = f"{name}/log"
        else:
            report = f"{name}/JTreport/index.html"
        cells.append(dict(arch=arch, jdk=jdk, gc=gc, mode=mode, verdict=verdict, passed=int(passed),
                          failed=int(failed), skipped=int(skipped), seconds=int(seconds), note=note,
                          name=name, report=report))


def duration(seconds):
    return f"{seconds // 60}m{seconds % 60:02d}s"


def text(c):
    if c["verdict"] == "unsupported":
        return "not supported: " + (c["note"] or "the JDK refuses these options")
    if c["verdict"] == "setup":
        return f"SET-UP FAILED: {c['note']} · {duration(c['seconds'])}"
    counts = [f"{c['passed']} passed"]
    if c["failed"]:
        counts.insert(0, f"**{c['failed']} failed**" if c["verdict"] == "failed" else f"{c['failed']} failed")
    if c["skipped"]:
        counts.append(f"{c['skipped']} skipped")
    mark = "FAILED" if c["verdict"] == "failed" else "ok"
    return f"{mark}: {', '.join(counts)} · {duration(c['seconds'])}"


# Tables: one per host JDK (rows: collectors, columns: modes), one for the foreign architectures.
tables = []
host = [c for c in cells if c["arch"] == "host"]
for jdk in sorted({c["jdk"] for c in host}, key=int):
    mine = [c for c in host if c["jdk"] == jdk]
    modes = [m for m in MODES if any(c["mode"] == m for c in mine)]
    rows = [[gc] + [next((c for c in mine if c["gc"] == gc and c["mode"] == m), None) for m in modes]
            for gc in GCS if any(c["gc"] == gc for c in mine)]
    tables.append((f"Host (x86-64), JDK {jdk}: {tests}", ["collector"] + [MODES[m] for m in modes], rows))
foreign_cells = [c for c in cells if c["arch"] != "host"]
if foreign_cells:
    columns = []
    for c in foreign_cells:
        if c["gc"] == "load":
            column = "load check"
        else:
            options = ", ".join(o for o in (c["gc"], MODES[c["mode"]]) if o != "default")
            column = "tests/java/jvm" + (f", {options}" if options else "")
        c["column"] = column
        if column not in columns:
            columns.append(column)
    archs = list(dict.fromkeys(c["arch"] for c in foreign_cells))
    rows = [[arch] + [next((c for c in foreign_cells if c["arch"] == arch and c["column"] == col), None)
                      for col in columns] for arch in archs]
    versions = ", ".join(sorted({c["jdk"] for c in foreign_cells}, key=int))
    tables.append((f"Foreign architectures, Debian's JDK {versions} under qemu-user", ["architecture"] + columns, rows))

failed = [c for c in cells if c["verdict"] == "failed"]
setup = [c for c in cells if c["verdict"] == "setup"]
unsupported = sum(c["verdict"] == "unsupported" for c in cells)
passed = sum(c["verdict"] == "passed" for c in cells)
verdict = (f"{'FAILED' if failed or setup else 'PASSED'}: {len(cells)} cells, {passed} passed, {len(failed)} failed, "
           f"{len(setup)} set-up failed, {unsupported} not supported, in {duration(int(total))}")
if failed:
    verdict += " (failed: " + ", ".join(c["name"] for c in failed) + ")"
if setup:
    verdict += " (set-up failed: " + ", ".join(c["name"] for c in setup) + ")"

md = ["# Configuration matrix", ""]
for title, header, rows in tables:
    md += [f"## {title}", "", "| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    for row in rows:
        md.append("| " + " | ".join([row[0]] + [f"[{text(c)}]({c['report']})" if c else "—" for c in row[1:]]) + " |")
    md.append("")
md.append(verdict)
with open(f"{out}/summary.md", "w", encoding="utf-8") as f:
    f.write("\n".join(md) + "\n")

page = ["<!DOCTYPE html>", "<html><head><meta charset=\"utf-8\"><title>Configuration matrix</title>",
        "<style>body{font-family:sans-serif}table{border-collapse:collapse;margin-bottom:1.5em}"
        "td,th{border:1px solid #999;padding:4px 8px;text-align:left}.passed{background:#dfd}"
        ".failed{background:#fcc}.setup{background:#fd9}.unsupported{background:#eee}</style></head><body>",
        "<h1>Configuration matrix</h1>", f"<p><b>{html.escape(verdict)}</b></p>"]
for title, header, rows in tables:
    page += [f"<h2>{html.escape(title)}</h2>", "<table>",
             "<tr>" + "".join(f"<th>{html.escape(h)}</th>" for h in header) + "</tr>"]
    for row in rows:
        tds = [f"<th>{html.escape(row[0])}</th>"]
        for c in row[1:]:
            if c is None:
                tds.append("<td>—</td>")
            else:
                label = html.escape(text(c).replace("**", ""))
                tds.append(f"<td class=\"{c['verdict']}\"><a href=\"{html.escape(c['report'])}\">{label}</a></td>")
        page.append("<tr>" + "".join(tds) + "</tr>")
    page.append("</table>")
page.append("</body></html>")
with open(f"{out}/index.html", "w", encoding="utf-8") as f:
    f.write("\n".join(page) + "\n")
