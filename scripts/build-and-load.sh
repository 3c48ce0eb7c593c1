#!/usr/bin/env bash
# Builds every library, then loads each into a JVM of every JDK the build
# tests on (build/default/jdks.txt) and runs its short scenario there: one
# line per library and JDK (tests/java/load-check.sh). Exits non-zero if any
# line failed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset default -DZOL_EXTRA_JDKS="$(scripts/jdks.sh)" >/dev/null
cmake --build --preset default
status=0
while read -r home; do
  echo "== $home"
  tests/java/load-check.sh "$home" build/default/lib || status=1
done <build/default/jdks.txt
exit $status
