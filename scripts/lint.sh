#!/usr/bin/env bash
# lint.sh [--all] [BUILD_DIR]: clang-format (no change wanted) over every C++
# file of src/ and tests/ and every C file of bench/, and clang-tidy (no
# finding) using the compile commands of BUILD_DIR (default build/default,
# configured first).
#
# Without --all (the test suite's quick lint) clang-tidy checks only the
# sources of src/ that it has not yet found clean in BUILD_DIR: a clean result
# is kept per source, keyed by its text, the headers of src/, .clang-tidy, the
# clang-tidy version and the compile commands. With --all (CI, after the
# tests) it checks every source of src/, tests/ and bench/, whatever was found
# before, and the GitHub workflows (scripts/lint-workflows.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
all=0
if [[ ${1:-} == --all ]]; then
  all=1
  shift
fi
build=$(cd "${1:-build/default}" && pwd)
[[ -f $build/compile_commands.json ]] || { echo "configure $build first" >&2; exit 1; }

mapfile -t files < <(git ls-files -co --exclude-standard -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.c')
status=0
clang-format --dry-run --Werror "${files[@]}" || status=1

# clang-tidy needs each file's compile command: sources only; headers are
# checked through them.
scope='^src/.*\.cpp$'
((all)) && scope='\.(cpp|c)$'
mapfile -t sources < <(printf '%s\n' "${files[@]}" | grep -E "$scope" | while read -r f; do
  grep -q "\"file\": \"$PWD/$f\"" "$build/compile_commands.json" && echo "$f"; done)

clean=$build/lint-tidy-clean
touch "$clean"
context=$({ clang-tidy --version; cat .clang-tidy "$build/compile_commands.json";
  printf '%s\n' "${files[@]}" | grep '^src/.*\.h$' | xargs cat; } | sha1sum | cut -d' ' -f1)
todo=()
for f in "${sources[@]}"; do
  key=$( { echo "$context"; cat "$f"; } | sha1sum | cut -d' ' -f1)
  if ((all)) || ! grep -qx "$key $f" "$clean"; then todo+=("$key $f"); fi
done

# Two at a time; each source found clean is noted as such.
export build clean
if ((${#todo[@]} > 0)) && ! printf '%s\n' "${todo[@]}" | xargs -P 2 -L 1 bash -c \
  'clang-tidy -p "$build" --quiet "$1" 2>/dev/null && echo "$0 $1" >>"$clean"'; then
  status=1
fi
# With the whole tree, the GitHub workflows too.
if ((all)) && ! scripts/lint-workflows.sh; then status=1; fi
if ((status == 0)); then
  echo "lint: ${#files[@]} files formatted; clang-tidy clean over ${#sources[@]} sources" \
    "(${#todo[@]} checked now, the rest unchanged since found clean)"
fi
exit $status
