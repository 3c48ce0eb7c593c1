#!/usr/bin/env bash
# lint.sh [--all]: clang-format (no change wanted) over every C and C++ file
# of src/, tests/ and bench/, shellcheck over every shell script, and
# clang-tidy (no finding) through the lint preset's build (build/lint,
# configured on first use). That build runs clang-tidy beside each compile,
# so ninja checks again exactly the sources whose text, headers, flags or
# checks (.clang-tidy) changed since their last check.
#
# Without --all (the test suite's quick lint) clang-tidy checks the product
# (src/); with --all (CI, after the tests) everything the build compiles: the
# product, the unit tests and the benchmarks' bare natives, and the GitHub
# workflows (scripts/lint-workflows.sh). A build directory given after the
# options, as older callers do, is not needed.
set -euo pipefail
cd "$(dirname "$0")/.."
target=src/all scope=src/
if [[ ${1:-} == --all ]]; then
  target=all scope="src/, tests/ and bench/"
fi
status=0

mapfile -t files < <(git ls-files -co --exclude-standard -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.c')
clang-format --dry-run --Werror "${files[@]}" || status=1

mapfile -t scripts < <(git ls-files -co --exclude-standard -- '*.sh' .ci/run)
shellcheck "${scripts[@]}" || status=1

# The build's own output is shown when it fails: clang-tidy's findings, of
# every source (-k 0), not only of the first that has any.
log=build/lint/lint.log
if [[ ! -f build/lint/build.ninja ]] && ! cmake --preset lint >/dev/null; then
  echo "lint: the lint preset does not configure" >&2
  exit 1
fi
if ! cmake --build --preset lint --target "$target" -- -k 0 >"$log" 2>&1; then
  cat "$log"
  status=1
fi
checked=$(grep -cE 'Building (C|CXX) object' "$log" || true)
if [[ $target == all ]] && ! scripts/lint-workflows.sh; then
  status=1
fi

if ((status == 0)); then
  echo "lint: ${#files[@]} files formatted, ${#scripts[@]} shell scripts clean;" \
    "clang-tidy clean over $scope ($checked sources checked now, the rest unchanged since)"
fi
exit $status
