#!/usr/bin/env bash
# matrix.sh [SELECTION] [--shard K/N] [--jobs J] [--out DIR] [--build DIR]
# matrix.sh --list [SELECTION] [--shard K/N]
# matrix.sh --cell ID [--out DIR] [--build DIR]
# matrix.sh --merge DIR... [SELECTION] [--out DIR]
#
# The configuration matrix: the jtreg suite, or its group matrix, under JDKs,
# collectors and execution modes on this machine, and on the foreign
# architectures under qemu-user, each cell with its own result directory.
#   SELECTION  --tier 1|2|3 (default 2; scripts/matrix-tiers.txt), then any of
#              --arch host,aarch64,ppc64el,s390x,riscv64  --jdk 11,17,...
#              --gc default,Serial,Parallel,G1,ConcMarkSweep,Z,Shenandoah,ZGen
#              --mode default,int,comp,c1  --kind load,suite,matrix
#              to keep the tier's cells that match
#   --list     prints the selected cells as one JSON array, runs nothing
#   --shard    runs every N-th cell from the K-th, in the order of their
#              expected time
#   --jobs     runs up to J cells at once (default 1)
#   --cell     runs exactly that cell (ids as --list prints them) and adds its
#              result directory to DIR, leaving the others there
#   --merge    one report from the result directories of any runs (shards,
#              machines): fails if a cell of the selection (default: the one
#              the runs recorded) is missing, duplicated or failed
#   --out      where the cells' result directories and the report go
#              (default build/matrix; for --merge build/matrix-merged)
#   --build    the host's build directory in this checkout, built first
#              (default build/default)
# A cell's result directory, DIR/<cell>/, holds cell.json (cell, JDK build,
# counts, wall and CPU seconds, host and checkout), the log, and jtreg's work
# and report directories (JUnit-style XML of each test in JTwork). The report:
# DIR/index.html, DIR/summary.md, DIR/junit.xml. A JDK refusing a cell's
# options is "not supported", not a failure; a JDK or cross build that could
# not be set up is "set-up failed". JDKs: Debian's, from scripts/jdk.sh (17 on
# x86-64: this machine's own); ZOL_MATRIX_JDKS (homes separated by ';') puts
# others first, for their version and architecture. Exits non-zero if a cell
# failed or could not be set up.
set -uo pipefail
here=$PWD
cd "$(dirname "$0")/.." || exit 1
root=$PWD
# Directories given are taken from where the script was called; --build is
# a build directory of this checkout.
from_here() { if [[ $1 == /* ]]; then echo "$1"; else echo "$here/$1"; fi; }

usage() { awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 2; }
action=run host=build/default jobs=1 shard="" out="" cell="" selection=() dirs=()
while (($#)); do
  case $1 in
    --list) action=list; shift; continue ;;
    --merge)
      action=merge
      shift
      while (($#)) && [[ $1 != --* ]]; do dirs+=("$(from_here "$1")"); shift; done
      continue ;;
    -h | --help) usage ;;
  esac
  [[ $# -ge 2 ]] || usage
  case $1 in
    --tier | --arch | --jdk | --gc | --mode | --kind) selection+=("$1" "$2") ;;
    --cell) cell=$2 selection+=(--cell "$2") ;;
    --shard) shard=$2 ;;
    --jobs) jobs=$2 ;;
    --out) out=$(from_here "$2") ;;
    --build) host=$2 ;;
    *) usage ;;
  esac
  shift 2
done
[[ $jobs =~ ^[1-9][0-9]*$ ]] || usage
if [[ $action == run && -n $cell ]]; then
  action=cell
  [[ $cell != *,* ]] || { echo "--cell takes one cell" >&2; exit 2; }
fi
command -v python3 >/dev/null || scripts/deps.sh python3 || exit 1
matrix() { python3 scripts/matrix.py "$@"; }

case $action in
  list) exec python3 scripts/matrix.py select "${selection[@]}" ${shard:+--shard "$shard"} --json ;;
  merge)
    ((${#dirs[@]})) || usage
    exec python3 scripts/matrix.py merge "${out:-build/matrix-merged}" "${selection[@]}" "${dirs[@]}" ;;
esac

out=${out:-build/matrix}
if [[ $action == run ]]; then
  rm -rf "$out"
  mapfile -t cells < <(matrix plan "$out" "${selection[@]}" ${shard:+--shard "$shard"}) || exit 2
else
  mapfile -t cells < <(matrix select "${selection[@]}") || exit 2
fi
((${#cells[@]})) || { echo "no cell selected" >&2; exit 2; }
mkdir -p "$out"
out=$(cd "$out" && pwd)

# This machine's architecture in the cells' names: a cell of it runs
# natively, the others under qemu-user.
case $(uname -m) in
  x86_64) machine=host ;;
  aarch64) machine=aarch64 ;;
  ppc64le) machine=ppc64el ;;
  *) machine=$(uname -m) ;;
esac
declare -A triplet=([aarch64]=aarch64-linux-gnu [ppc64el]=powerpc64le-linux-gnu [s390x]=s390x-linux-gnu
  [riscv64]=riscv64-linux-gnu)
declare -A debian=([host]=amd64 [aarch64]=arm64 [ppc64el]=ppc64el [s390x]=s390x [riscv64]=riscv64)
declare -A need_arch=() need_jdk=()
for id in "${cells[@]}"; do
  IFS=$'\t' read -r arch major _ <<<"$(matrix describe "$id")"
  need_arch[$arch]=1 need_jdk[$arch-$major]=1
done
packages=()
for arch in "${!need_arch[@]}"; do
  [[ $arch == host || $arch == "$machine" ]] || packages+=("g++-${triplet[$arch]}" qemu-user-static)
done
scripts/deps.sh "${packages[@]}" || exit 1

started=$SECONDS
# Builds, one at a time even when runs share the checkout (--cell on a
# machine that runs several cells at once).
mkdir -p build
exec 8>build/.matrix-build.lock
flock 8
# The libraries and the test classes are all that the cells need.
mapfile -t targets < <(sed -n 's/^zol_deliverable(\([A-Za-z0-9_]*\) .*/\1/p' src/CMakeLists.txt)
if ! { [[ -f $host/CMakeCache.txt ]] || cmake --preset "$(basename "$host")" >/dev/null; } ||
  ! cmake --build "$host" --target "${targets[@]}" java_tests >/dev/null; then
  echo "building $host failed" >&2; exit 1
fi
compile_jdk=$(sed -n 's/^ZOL_JAVA_HOME:PATH=//p' "$host/CMakeCache.txt")
export JAVA_HOME=$compile_jdk # Debian's jtreg runs on it

# The cross build of each architecture, once; its export check is a test of
# the libraries, so a failed one fails that architecture's cells.
declare -A built=()
for arch in $(printf '%s\n' "${!need_arch[@]}" | sort); do
  [[ $arch == host ]] && continue
  log=$root/build/cross-$arch.log
  if ! cmake --preset "cross-$arch" >"$log" 2>&1 || ! cmake --build --preset "cross-$arch" >>"$log" 2>&1; then
    built[$arch]="setup:the cross build failed (its log: build.log)"
  elif ! ctest --preset "cross-$arch" >>"$log" 2>&1; then
    built[$arch]="failed:the export check failed (its log: build.log)"
  else
    built[$arch]=ok
  fi
  echo "cross build for $arch: ${built[$arch]%%:*}"
done
flock -u 8

# The JDKs: a home of ZOL_MATRIX_JDKS of the version and architecture, this
# machine's own Debian JDK that builds, else scripts/jdk.sh. Each with its
# build string, asked once.
declare -A given=() jdk_home=() jdk_build=() jdk_setup=()
IFS=';' read -ra homes <<<"${ZOL_MATRIX_JDKS:-}"
for home in "${homes[@]}" "$compile_jdk"; do
  [[ -n $home && -f $home/release ]] || continue
  v=$(tests/java/jdk-version.sh "$home") || continue # 8 for 1.8.0_412
  a=$(sed -n 's/^OS_ARCH="\(.*\)"/\1/p' "$home/release")
  case $a in amd64 | x86_64) a=host ;; ppc64le) a=ppc64el ;; esac
  [[ -n ${given[$a-$v]:-} ]] || given[$a-$v]=$home
done
mkdir -p "$root/build/matrix-setup"
for key in $(printf '%s\n' "${!need_jdk[@]}" | sort); do
  arch=${key%-*} major=${key##*-} log=$root/build/matrix-setup/jdk-$key.log
  if [[ $arch == host && $machine != host ]]; then
    jdk_setup[$key]="host cells run on an x86-64 machine; this one is $(uname -m)"
    continue
  fi
  if [[ -n ${given[$key]:-} ]]; then
    home=${given[$key]}
  elif ! home=$(scripts/jdk.sh "$major" "${debian[$arch]}" 2>"$log"); then
    reason=$(sed -n 's/^jdk.sh: set-up failed: //p' "$log" | head -n 1)
    jdk_setup[$key]="JDK $major for $arch: ${reason:-scripts/jdk.sh failed}"
    echo "JDK $major for $arch: set-up failed"
    continue
  fi
  jdk_home[$key]=$home
  jdk_build[$key]=$("$home/bin/java" -version 2>&1 | sed -n '2s/.*(build \(.*\))$/\1/p')
  echo "JDK $major for $arch: ${jdk_build[$key]:-?} ($home)"
done

gc_options() { # collector, JDK version
  case $1 in
    default) ;;
    ZGen) echo "-XX:+UseZGC -XX:+ZGenerational" ;;
    # Before 15 both were experimental.
    Z | Shenandoah) (($2 < 15)) && echo "-XX:+UnlockExperimentalVMOptions -XX:+Use$1GC" || echo "-XX:+Use$1GC" ;;
    *) echo "-XX:+Use$1GC" ;;
  esac
}
mode_option() {
  case $1 in
    int) echo -Xint ;;
    comp) echo -Xcomp ;;
    c1) echo -XX:TieredStopAtLevel=1 ;;
  esac
}
echo "set-up: $((SECONDS - started)) s"
conc=$(($(nproc) / jobs))
((conc > 0)) || conc=1

# Runs one cell into $out/<id>/ and prints its line.
run_cell() {
  local id=$1 n=$2 arch major kind gc mode dir key start started verdict="" note="" rc=0 options lib factor compile=()
  IFS=$'\t' read -r arch major kind gc mode <<<"$(matrix describe "$id")"
  dir=$out/$id key=$arch-$major start=$SECONDS started=$(date -u +%FT%TZ)
  rm -rf "$dir"
  mkdir -p "$dir"
  options=$(xargs <<<"$(gc_options "$gc" "$major") $(mode_option "$mode")")
  lib=$root/$host/lib factor=4
  if [[ $arch != host ]]; then
    lib=$root/build/cross-$arch/lib
    cp "$root/build/cross-$arch.log" "$dir/build.log"
    if [[ $arch != "$machine" ]]; then
      factor=10 compile=(-compilejdk:"$compile_jdk")
    fi
  fi
  local home=${jdk_home[$key]:-}
  if [[ ${built[$arch]:-ok} == setup:* ]]; then
    verdict=setup note=${built[$arch]#setup:}
  elif [[ -z $home ]]; then
    verdict=setup note=${jdk_setup[$key]}
    cp "$root/build/matrix-setup/jdk-$key.log" "$dir/setup.log" 2>/dev/null
  elif [[ ${built[$arch]:-ok} == failed:* ]]; then
    verdict=failed note=${built[$arch]#failed:}
  fi
  if [[ $verdict == setup ]]; then
    { echo "$note"; cat "$dir/build.log" 2>/dev/null; } >>"$dir/setup.log"
  elif [[ -n $verdict ]]; then
    :
  elif [[ $kind == load ]]; then
    matrix exec "$dir/cpu" -- tests/java/load-check.sh "$home" "$lib" "$root/$host/java/classes" >"$dir/log" 2>&1
    rc=$? verdict=ran
  else
    # -Xcomp is left out of the question whether the JDK takes the options:
    # -version under it alone takes seconds.
    local probe
    read -ra probe <<<"${options/-Xcomp/}"
    if ! "$home/bin/java" "${probe[@]}" -version >"$dir/log" 2>&1; then
      verdict=unsupported note=$(grep -m1 -iE 'error|unrecognized|not supported' "$dir/log")
    else
      # The options go to every JVM that runs a test (-javaoptions), not to
      # javac: under -Xcomp that doubles a cell's time and tests nothing of
      # ours. @requires sees them either way. Known JDK bugs are excluded per
      # feature version.
      local exclude=() tests=tests/java/jvm
      [[ $kind == matrix ]] && tests=tests/java:matrix
      [[ -f tests/java/problems/jdk$major.txt ]] && exclude=(-exclude:"$root/tests/java/problems/jdk$major.txt")
      matrix exec "$dir/cpu" -- jtreg -jdk:"$home" "${compile[@]}" -nativepath:"$lib" -conc:"$conc" \
        -timeoutFactor:$factor ${options:+-javaoptions:"$options"} "${exclude[@]}" -verbose:summary \
        -retain:fail,error -xml -w:"$dir/JTwork" -r:"$dir/JTreport" "$tests" >"$dir/log" 2>&1
      rc=$? verdict=ran
    fi
  fi
  matrix record "$dir" cell="$id" verdict="$verdict" rc="$rc" note="$note" options="$options" \
    jdk_home="$home" jdk_build="${jdk_build[$key]:-}" wall=$((SECONDS - start)) host="$(hostname)" \
    machine="$(uname -m)" checkout="$root" started="$started"
  # One line per cell, and what failed, so a log of the run alone says it.
  python3 - "$dir/cell.json" "$n" <<'EOF'
import json, sys
c = json.load(open(sys.argv[1]))
t = c["wall_seconds"]
counts = f"passed {c['passed']:2d}, failed {c['failed']}, error {c['error']}, skipped {c['skipped']}"
text = {"setup": "set-up failed", "unsupported": "not supported"}.get(c["verdict"], c["verdict"])
print(f"{sys.argv[2]:<9} {c['cell']:<34} {text:<13} {counts}  {t // 60}m{t % 60:02d}s  {c['jdk_build']}"
      + (f"  ({c['note']})" if c["note"] else ""))
EOF
  if [[ -f $dir/log ]] && grep -q '"verdict": "failed"' "$dir/cell.json"; then
    grep -E '^(FAILED|Error):|not built yet$|^Test results|^[0-9]+ ok, |: FAILED' "$dir/log" | sed 's/^/    /'
  fi
}

n=0
for id in "${cells[@]}"; do
  n=$((n + 1))
  if ((jobs == 1)); then
    run_cell "$id" "[$n/${#cells[@]}]"
  else
    while (($(jobs -rp | wc -l) >= jobs)); do wait -n; done
    run_cell "$id" "[$n/${#cells[@]}]" &
  fi
done
wait

if [[ $action == cell ]]; then
  ! grep -qE '"verdict": "(failed|setup)"' "$out/$cell/cell.json"
  exit
fi
total=$((SECONDS - started))
report=$(matrix merge "$out" --run "$out" 2>&1)
status=$?
sed '$d' <<<"$report"
echo "wall time of the run: $((total / 60))m$((total % 60))s (--jobs $jobs); report: $out/index.html"
tail -n 1 <<<"$report"
exit "$status"
