#!/usr/bin/env bash
# The whole test suite: unit tests, export checks and JVM integration tests
# on every JDK found, then the unit tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

# CI builds with warnings as errors.
preset=default
[[ ${CI:-} == true ]] && preset=ci

cmake --preset "$preset" -DZOL_EXTRA_JDKS="$(scripts/jdks.sh)"
cmake --build --preset "$preset"
ctest --preset "$preset"

cmake --preset asan
cmake --build --preset asan
ctest --preset asan
