#!/usr/bin/env bash
# lint-workflows.sh: checks each GitHub workflow (.github/workflows/*.yml)
# with action-validator from npm, at a pinned version.
set -euo pipefail
cd "$(dirname "$0")/.."
validator=@action-validator/cli@0.6.0
command -v npx >/dev/null || { echo "lint-workflows: npx not found: install Node.js with npm" >&2; exit 1; }
status=0 n=0
for f in .github/workflows/*.yml; do
  [[ -f $f ]] || continue
  n=$((n + 1))
  npx --yes "$validator" "$f" || { echo "lint-workflows: $f is not a valid workflow" >&2; status=1; }
done
((status)) || echo "lint: $n workflows valid ($validator)"
exit $status
