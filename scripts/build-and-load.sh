#!/usr/bin/env bash
# Builds every library, then loads each into a JVM of every JDK the build
# knows and runs its short scenario there: one line per deliverable.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset default -DZOL_EXTRA_JDKS="$(scripts/jdks.sh)" >/dev/null
cmake --build --preset default
build/default/load-check
