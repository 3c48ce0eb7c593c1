#!/usr/bin/env bash
# The whole test suite: unit tests, export checks, quick lint and the JVM tests
# (the jtreg suite) on every JDK found, then the unit tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

# CI builds with warnings as errors.
preset=default
[[ ${CI:-} == true ]] && preset=ci

cmake --preset "$preset" -DZOL_EXTRA_JDKS="$(scripts/jdks.sh)"
cmake --build --preset "$preset"

# The sanitizer build runs at low priority beside the tests, which spend much
# of their time waiting on JVMs; its output is shown after theirs.
mkdir -p build
log=build/asan-build.log
(cmake --preset asan && nice -n 15 cmake --build --preset asan) >"$log" 2>&1 &
asan_build=$!

status=0
ctest --preset "$preset" || status=1
if wait "$asan_build"; then
  tail -n 1 "$log"
  ctest --preset asan || status=1
else
  cat "$log"
  echo "the sanitizer build failed" >&2
  status=1
fi
exit $status
