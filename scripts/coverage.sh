#!/usr/bin/env bash
# Line and branch coverage of src/ by the unit tests and the JVM tests: the
# coverage preset builds everything with gcov counters, runs the default test
# set (libraries loaded into JVMs write their counters when the JVM exits)
# and prints gcovr's per-file tables.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh gcovr
cmake --preset coverage -DZOL_EXTRA_JDKS="$(scripts/jdks.sh)" >/dev/null
cmake --build --preset coverage
find build/coverage -name '*.gcda' -delete
status=0
ctest --preset coverage || status=$?
# Only src/ counts; headers of the JDK and of the tests are left out.
report=(gcovr -r . --object-directory build/coverage --filter 'src/' --exclude-unreachable-branches)
"${report[@]}" --print-summary -o build/coverage/coverage-lines.txt >build/coverage/coverage-summary.txt
"${report[@]}" --branches -o build/coverage/coverage-branches.txt
cat build/coverage/coverage-lines.txt build/coverage/coverage-branches.txt build/coverage/coverage-summary.txt
exit $status
