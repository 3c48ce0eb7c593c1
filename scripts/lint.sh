#!/usr/bin/env bash
# lint.sh [BUILD_DIR]: clang-format (no change wanted) and clang-tidy (no
# finding) over every C++ file of src/ and tests/ and every C file of bench/,
# using the compile commands of BUILD_DIR (default build/default, configured
# first).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build/default}" && pwd)
[[ -f $build/compile_commands.json ]] || { echo "configure $build first" >&2; exit 1; }

mapfile -t files < <(git ls-files -co --exclude-standard -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.c')
status=0
clang-format --dry-run --Werror "${files[@]}" || status=1

# clang-tidy needs each file's compile command: sources only; headers are
# checked through them.
mapfile -t sources < <(printf '%s\n' "${files[@]}" | grep -E '\.(cpp|c)$' | while read -r f; do
  grep -q "\"file\": \"$PWD/$f\"" "$build/compile_commands.json" && echo "$f"; done)
if ! printf '%s\n' "${sources[@]}" | xargs -P 2 -n 4 clang-tidy -p "$build" --quiet 2>/dev/null; then
  status=1
fi
if ((status == 0)); then echo "lint: ${#files[@]} files formatted, ${#sources[@]} sources clean under clang-tidy"; fi
exit $status
