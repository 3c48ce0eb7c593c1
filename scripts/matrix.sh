#!/usr/bin/env bash
# matrix.sh [SELECTION] [--shard K/N] [--jobs J] [--out DIR] [--build DIR]
# matrix.sh --list [SELECTION] [--shard K/N]
# matrix.sh --cell ID [--out DIR] [--build DIR]
# matrix.sh --merge DIR... [SELECTION] [--out DIR]
# matrix.sh --pins [SELECTION]
#
# The configuration matrix: the jtreg suite, or its group matrix, under JDKs,
# collectors and execution modes on this machine's own architecture, natively,
# and on the foreign architectures under qemu-user (their cross builds), each
# cell with its own result directory.
#   SELECTION  --tier 1|2|3 (default 2; scripts/matrix-tiers.txt), then any of
#              --arch host,aarch64,ppc64el,s390x,riscv64  --jdk 11,17,...
#              --gc default,Serial,Parallel,G1,ConcMarkSweep,Z,Shenandoah,ZGen
#              --mode default,int,comp,c1  --kind load,suite,matrix
#              to keep the cells that match, of the tier given, else of
#              every tier; with none of them, tier 2
#   --list     prints the selected cells as one JSON array, runs nothing
#   --shard    runs the K-th of N shards: cells of one architecture and JDK
#              each where N allows (one JDK, one cross build), balanced by
#              expected time
#   --jobs     runs up to J cells at once (default 1)
#   --cell     runs exactly that cell (ids as --list prints them) and adds its
#              result directory to DIR, leaving the others there
#   --merge    one report from the result directories of any runs (shards,
#              machines): refuses results without a selection (given, or the
#              same recorded by every input), of different commits or of
#              different builds of one JDK; fails if a cell of the selection
#              is missing, duplicated or failed
#   --pins     resolves the exact Debian package of each JDK the selection
#              needs and prints them as a value of ZOL_MATRIX_PINS, which
#              every run, shard and lab host then uses
#   --out      where the cells' result directories and the report go
#              (default build/matrix; for --merge build/matrix-merged); a
#              non-empty directory the matrix did not write is refused
#   --build    the host's build directory in this checkout, built first
#              (default build/default)
# A cell's result directory, DIR/<cell>/, holds cell.json (cell, commit, JDK
# build and package, counts, the tests it ran, excluded and found not
# applicable, wall and CPU seconds, host and checkout), the log, and jtreg's
# work and report directories (JUnit-style XML of each test in JTwork). The
# report: DIR/index.html, DIR/summary.md, DIR/junit.xml. A cell fails when the
# tests that ran are not the ones its listing expected. A JDK refusing a
# cell's options in its own words is "not supported" (a failure for a cell of
# tier 1 or 2); a JVM that crashes on them fails the cell; a JDK or cross
# build that could not be set up is "set-up failed". JDKs: Debian's, from
# scripts/jdk.sh (17 on x86-64: this machine's own), at the package versions
# of ZOL_MATRIX_PINS ("host-21=VERSION;aarch64-25=VERSION", from --pins),
# else resolved once at the start; ZOL_MATRIX_JDKS (homes separated by ';')
# puts others first, for their version and architecture. Every process a
# cell starts ends with it. Exits non-zero if a cell failed or could not be
# set up.
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
    --pins) action=pins; shift; continue ;;
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
command -v python3 >/dev/null || scripts/deps.sh --only python3 || exit 1
matrix() { python3 scripts/matrix.py "$@"; }
# Reads a cell's description (matrix.py describe: its fields, options, the
# options to probe and its tests, as key=value lines) into the array desc.
declare -A desc=()
describe() { # $1: the cell's id
  local line
  desc=()
  while IFS= read -r line; do desc[${line%%=*}]=${line#*=}; done < <(matrix describe "$1")
  [[ -n ${desc[id]:-} ]]
}

case $action in
  list) exec python3 scripts/matrix.py select "${selection[@]}" ${shard:+--shard "$shard"} --json ;;
  merge)
    ((${#dirs[@]})) || usage
    exec python3 scripts/matrix.py merge "${out:-build/matrix-merged}" "${selection[@]}" "${dirs[@]}" ;;
esac

out=${out:-build/matrix}
if [[ $action == run ]]; then
  matrix claim "$out" --fresh || exit 2
  mapfile -t cells < <(matrix plan "$out" "${selection[@]}" ${shard:+--shard "$shard"}) || exit 2
elif [[ $action == cell ]]; then
  matrix claim "$out" || exit 2
  mapfile -t cells < <(matrix select "${selection[@]}") || exit 2
else
  mapfile -t cells < <(matrix select "${selection[@]}") || exit 2
fi
((${#cells[@]})) || { echo "no cell selected" >&2; exit 2; }
[[ $action == pins ]] || out=$(cd "$out" && pwd)

# This machine's own architecture runs natively, with the host's build and
# JDKs; every other one through its cross build under qemu-user
# (matrix.py setup).
machine=$(dpkg --print-architecture)
declare -A debian=([host]=amd64 [aarch64]=arm64 [ppc64el]=ppc64el [s390x]=s390x [riscv64]=riscv64)
# The cells' name of this machine's architecture (host for amd64).
machine_arch=$machine
for a in "${!debian[@]}"; do
  if [[ ${debian[$a]} == "$machine" ]]; then machine_arch=$a; fi
done
declare -A need_arch=() need_jdk=() cross=()
for id in "${cells[@]}"; do
  describe "$id" || exit 2
  need_arch[${desc[arch]}]=1 need_jdk[${desc[arch]}-${desc[jdk]}]=1
done

# The JDKs: a home of ZOL_MATRIX_JDKS of the version and architecture; else
# Debian's at the run's package version (ZOL_MATRIX_PINS, else resolved now):
# this machine's own JDK that builds where it is that version, else
# scripts/jdk.sh's.
declare -A given=() pin=()
IFS=';' read -ra homes <<<"${ZOL_MATRIX_JDKS:-}"
given_home() { # $1: a home; sets given[arch-version] unless set
  local v a
  [[ -n $1 && -f $1/release ]] || return 0
  v=$(tests/java/jdk-version.sh "$1") || return 0 # 8 for 1.8.0_504
  a=$(sed -n 's/^OS_ARCH="\(.*\)"/\1/p' "$1/release")
  case $a in amd64 | x86_64) a=host ;; ppc64le) a=ppc64el ;; esac
  [[ -n ${given[$a-$v]:-} ]] || given[$a-$v]=$1
}
for home in "${homes[@]}"; do given_home "$home"; done
IFS=';' read -ra pins <<<"${ZOL_MATRIX_PINS:-}"
for p in "${pins[@]}"; do
  if [[ $p == *=* ]]; then pin[${p%%=*}]=${p#*=}; fi
done
# The Debian package version of the JDK at home $1, or nothing.
package_of() {
  local package
  package=$(dpkg -S "$(realpath "$1/bin/java")" 2>/dev/null | sed -n '1s/:.*//p')
  if [[ -n $package ]]; then dpkg-query -W -f='${Version}' "$package" 2>/dev/null; fi
}
# Sets home_of[key] and pin[key] for a JDK that is not given: this machine's
# own where it is the pinned version (or nothing is pinned), else Debian's
# through jdk.sh --resolve.
declare -A own=()
own_jdk() { # $1: the JDK that builds
  [[ -n $1 && -f $1/release ]] || return 0
  local v
  v=$(tests/java/jdk-version.sh "$1") || return 0 # 8 for 1.8.0_504
  own[$machine_arch-$v]=$1
}
resolve() { # $1: key; jdk.sh's progress goes to $resolve_log
  local key=$1 version=""
  [[ -z ${given[$key]:-} && -z ${pin[$key]:-} ]] || return 0
  if [[ -n ${own[$key]:-} ]]; then version=$(package_of "${own[$key]}"); fi
  if [[ -z $version ]]; then
    version=$(scripts/jdk.sh --resolve "${key##*-}" "${debian[${key%-*}]}" 2>>"$resolve_log") || version=""
  fi
  pin[$key]=$version
}
resolve_log=/dev/stderr
if [[ $action == pins ]]; then
  own_jdk "$(sed -n 's/^ZOL_JAVA_HOME:PATH=//p' "$host/CMakeCache.txt" 2>/dev/null)"
  status=0 list=()
  for key in $(printf '%s\n' "${!need_jdk[@]}" | sort); do
    [[ -z ${given[$key]:-} ]] || continue
    resolve "$key"
    if [[ -z ${pin[$key]:-} ]]; then
      echo "JDK ${key##*-} for ${key%-*}: no package version could be resolved" >&2
      status=1
    else
      list+=("$key=${pin[$key]}")
    fi
  done
  (IFS=';'; echo "${list[*]}")
  exit "$status"
fi
packages=()
while IFS=$'\t' read -r arch build _ needs; do
  # x86-64 cells (host) have no cross build: they need an x86-64 machine.
  [[ $build == native || $arch == host ]] && continue
  cross[$arch]=$build
  read -ra needs <<<"$needs"
  packages+=("${needs[@]}")
done < <(matrix setup "$machine" "${!need_arch[@]}")
scripts/deps.sh --build python3 "${packages[@]}" || exit 1

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
for arch in $(printf '%s\n' "${!cross[@]}" | sort); do
  log=$root/build/cross-$arch.log
  if ! cmake --preset "${cross[$arch]}" >"$log" 2>&1 || ! cmake --build --preset "${cross[$arch]}" >>"$log" 2>&1; then
    built[$arch]="setup:the cross build failed (its log: build.log)"
  elif ! ctest --preset "${cross[$arch]}" >>"$log" 2>&1; then
    built[$arch]="failed:the export check failed (its log: build.log)"
  else
    built[$arch]=ok
  fi
  echo "cross build for $arch: ${built[$arch]%%:*}"
done
flock -u 8

# Each JDK once, with its build string and package version.
declare -A jdk_home=() jdk_build=() jdk_setup=() jdk_package=()
own_jdk "$compile_jdk"
mkdir -p "$root/build/matrix-setup"
for key in $(printf '%s\n' "${!need_jdk[@]}" | sort); do
  arch=${key%-*} major=${key##*-} log=$root/build/matrix-setup/jdk-$key.log resolve_log=$log
  : >"$log"
  if [[ $arch == host && $machine != amd64 ]]; then
    jdk_setup[$key]="host cells run on an x86-64 machine; this one is $machine"
    continue
  fi
  resolve "$key"
  if [[ -n ${given[$key]:-} ]]; then
    home=${given[$key]}
    jdk_package[$key]=$(package_of "$home")
  elif [[ -z ${pin[$key]:-} ]]; then
    jdk_setup[$key]="JDK $major for $arch: no package version could be resolved (scripts/jdk.sh --resolve $major ${debian[$arch]})"
    echo "JDK $major for $arch: set-up failed"
    continue
  elif [[ -n ${own[$key]:-} && $(package_of "${own[$key]}") == "${pin[$key]}" ]]; then
    home=${own[$key]} jdk_package[$key]=${pin[$key]}
  elif ! home=$(scripts/jdk.sh --pin "${pin[$key]}" "$major" "${debian[$arch]}" 2>>"$log"); then
    reason=$(sed -n 's/^jdk.sh: set-up failed: //p' "$log" | head -n 1)
    jdk_setup[$key]="JDK $major for $arch: ${reason:-scripts/jdk.sh failed}"
    echo "JDK $major for $arch: set-up failed"
    continue
  else
    jdk_package[$key]=${pin[$key]}
  fi
  jdk_home[$key]=$home
  jdk_build[$key]=$("$home/bin/java" -version 2>&1 | sed -n '2s/.*(build \(.*\))$/\1/p')
  echo "JDK $major for $arch: ${jdk_build[$key]:-?}, package ${jdk_package[$key]:-none} ($home)"
done
commit=${GITHUB_SHA:-$(git rev-parse HEAD 2>/dev/null)}

echo "set-up: $((SECONDS - started)) s"
conc=$(($(nproc) / jobs))
((conc > 0)) || conc=1

# Runs one cell into $out/<id>/ and prints its line.
run_cell() {
  local id=$1 n=$2 arch major kind dir key start started verdict="" note="" rc=0 options lib factor compile=()
  local -A desc=()
  describe "$id" || return
  arch=${desc[arch]} major=${desc[jdk]} kind=${desc[kind]} options=${desc[options]}
  dir=$out/$id key=$arch-$major start=$SECONDS started=$(date -u +%FT%TZ)
  rm -rf "$dir"
  mkdir -p "$dir"
  lib=$root/$host/lib factor=4
  if [[ -n ${cross[$arch]:-} ]]; then
    lib=$root/build/${cross[$arch]}/lib factor=10 compile=(-compilejdk:"$compile_jdk")
    cp "$root/build/cross-$arch.log" "$dir/build.log"
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
  local probe=() tests=${desc[tests]} exclude=() result
  read -ra probe <<<"${desc[probe]}"
  if [[ -z $verdict ]]; then
    result=$(matrix probe "$dir" "$home" "${probe[@]}" 2>>"$dir/log")
    case $result in
      ok) ;;
      setup*) verdict=setup note=${result#setup$'\t'} ;;
      unsupported* | failed*) verdict=${result%%$'\t'*} note=${result#*$'\t'} ;;
      *) verdict=failed note="the JVM could not be probed (the log says why)" ;;
    esac
  fi
  # Known JDK bugs are excluded per feature version.
  [[ -f tests/java/problems/jdk$major.txt ]] && exclude=(-exclude:"$root/tests/java/problems/jdk$major.txt")
  if [[ $verdict == setup ]]; then
    { echo "$note"; cat "$dir/build.log" "$dir/log" 2>/dev/null; } >>"$dir/setup.log"
  elif [[ -n $verdict ]]; then
    :
  elif ! matrix expect "$dir" "$kind" -jdk:"$home" ${options:+-javaoptions:"$options"} "${exclude[@]}" \
    "$tests" >>"$dir/log" 2>&1; then
    verdict=ran rc=1
  elif [[ $kind == load ]]; then
    matrix exec "$dir/cpu" -- tests/java/load-check.sh "$home" "$lib" "$root/$host/java/classes" >>"$dir/log" 2>&1
    rc=$? verdict=ran
  else
    # The options go to every JVM that runs a test (-javaoptions), not to
    # javac: under -Xcomp that doubles a cell's time and tests nothing of
    # ours. @requires sees them either way.
    matrix exec "$dir/cpu" -- jtreg -jdk:"$home" "${compile[@]}" -nativepath:"$lib" -conc:"$conc" \
      -timeoutFactor:$factor ${options:+-javaoptions:"$options"} "${exclude[@]}" -verbose:summary \
      -retain:fail,error -xml -w:"$dir/JTwork" -r:"$dir/JTreport" "$tests" >>"$dir/log" 2>&1
    rc=$? verdict=ran
  fi
  matrix record "$dir" cell="$id" verdict="$verdict" rc="$rc" note="$note" options="$options" \
    jdk_home="$home" jdk_build="${jdk_build[$key]:-}" jdk_package="${jdk_package[$key]:-}" commit="$commit" \
    wall=$((SECONDS - start)) host="$(hostname)" machine="$(uname -m)" checkout="$root" started="$started"
  # One line per cell, and what failed, so a log of the run alone says it.
  matrix line "$dir" "$n"
  if [[ -f $dir/log ]] && grep -q '"verdict": "failed"' "$dir/cell.json"; then
    grep -E '^(FAILED|Error):|not built yet$|^Test results|^[0-9]+ ok, |: FAILED|^matrix: ' "$dir/log" | sed 's/^/    /'
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
