#!/usr/bin/env bash
# matrix.sh [--arch LIST] [--jdk LIST] [--gc LIST] [--mode LIST] [--tests SEL] [--foreign load|suite] [--build DIR]
#
# Runs the jtreg suite under each combination of JDK, collector and execution
# mode on this machine (as jtreg -javaoptions), and the load check (or the
# whole suite) on each foreign architecture's JDK 17 under qemu-user
# (scripts/jdk.sh). LIST is comma-separated:
#   --arch    host,aarch64,ppc64el,s390x,riscv64    (default: all)
#   --jdk     17,25,...                              (host JDKs; default: the installed
#                                                     ones; other versions come from
#                                                     scripts/jdk.sh VERSION)
#   --gc      Serial,Parallel,G1,Z,Shenandoah        (default: all)
#   --mode    default,int,comp,c1                    (default: all; -Xint, -Xcomp,
#                                                     -XX:TieredStopAtLevel=1)
#   --tests   what the host cells run, relative to tests/java: a directory or
#             a group of TEST.groups (default: matrix; jvm for the whole suite)
#   --foreign load: the load check only (default); suite: the load check, then
#             the whole suite under each --gc and --mode given (default: the
#             JDK's own collector and mode)
#   --build   the host's build directory, built first (default: build/default)
# A progress line per cell; the report goes to build/matrix/index.html and
# build/matrix/summary.md, each cell's jtreg report to build/matrix/<cell>/
# (with the files of failed tests and jtreg's XML results in its JTwork).
# A combination that a JDK refuses to start with is reported as such, not as a
# failure; a cell whose JDK or cross build could not be set up as "set-up
# failed", not as a test failure. Prints a one-line verdict; exits non-zero if
# a cell failed or could not be set up.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
root=$PWD

all_archs=host,aarch64,ppc64el,s390x,riscv64 all_gcs=Serial,Parallel,G1,Z,Shenandoah all_modes=default,int,comp,c1
host=build/default archs=$all_archs jdks="" gcs=$all_gcs modes=$all_modes tests=matrix foreign=load foreign_gcs="" foreign_modes=""
usage() { sed -n '2,28s/^# \{0,1\}//p' "$0"; exit 2; }
while (($#)); do
  [[ $# -ge 2 ]] || usage
  case $1 in
    --arch) archs=$2 ;;
    --jdk) jdks=$2 ;;
    --gc) gcs=$2 foreign_gcs=$2 ;;
    --mode) modes=$2 foreign_modes=$2 ;;
    --tests) tests=$2 ;;
    --foreign) foreign=$2 ;;
    --build) host=$2 ;;
    *) usage ;;
  esac
  shift 2
done
[[ $foreign == load || $foreign == suite ]] || usage
IFS=, read -ra archs <<<"$archs"
IFS=, read -ra gcs <<<"$gcs"
IFS=, read -ra modes <<<"$modes"
IFS=, read -ra foreign_gcs <<<"${foreign_gcs:-default}"
IFS=, read -ra foreign_modes <<<"${foreign_modes:-default}"
for a in "${archs[@]}"; do [[ ,$all_archs, == *,$a,* ]] || { echo "unknown architecture: $a" >&2; usage; }; done
for g in "${gcs[@]}" "${foreign_gcs[@]}"; do
  [[ ,$all_gcs,default, == *,$g,* ]] || { echo "unknown collector: $g" >&2; usage; }
done
for m in "${modes[@]}" "${foreign_modes[@]}"; do
  [[ ,$all_modes, == *,$m,* ]] || { echo "unknown mode: $m" >&2; usage; }
done

# jtreg's name for a directory of the suite, or for one of its groups.
selection() { if [[ -d tests/java/$1 ]]; then echo "tests/java/$1"; else echo "tests/java:$1"; fi; }
gc_option() { [[ $1 == default ]] || echo "-XX:+Use$1GC"; }
mode_option() {
  case $1 in
    int) echo -Xint ;;
    comp) echo -Xcomp ;;
    c1) echo -XX:TieredStopAtLevel=1 ;;
  esac
}

# The host's libraries and classes, and the JDKs they are tested on; the
# cross compilers and qemu for the foreign architectures.
declare -A triplet=([aarch64]=aarch64-linux-gnu [ppc64el]=powerpc64le-linux-gnu [s390x]=s390x-linux-gnu
  [riscv64]=riscv64-linux-gnu)
packages=()
for arch in "${archs[@]}"; do
  [[ $arch == host ]] || packages+=("g++-${triplet[$arch]}" qemu-user-static)
done
scripts/deps.sh "${packages[@]}" || exit 1
if ! { [[ -f $host/CMakeCache.txt ]] || cmake --preset "$(basename "$host")" -DZOL_EXTRA_JDKS="$(scripts/jdks.sh)" >/dev/null; } ||
  ! cmake --build "$host" >/dev/null; then
  echo "building $host failed" >&2; exit 1
fi
compile_jdk=$(sed -n 's/^ZOL_JAVA_HOME:PATH=//p' "$host/CMakeCache.txt")
declare -A jdk_home=()
IFS=';' read -ra extra <<<"$(scripts/jdks.sh)"
for home in "$compile_jdk" "${extra[@]}"; do
  [[ -n $home && -x $home/bin/java ]] || continue
  major=$(sed -n 's/^JAVA_VERSION="\([0-9]*\).*/\1/p' "$home/release")
  [[ -n ${jdk_home[$major]:-} ]] || jdk_home[$major]=$home
done
if [[ -z $jdks ]]; then
  jdks=$(printf '%s\n' "${!jdk_home[@]}" | sort -n | paste -sd,)
fi
IFS=, read -ra jdks <<<"$jdks"
for j in "${jdks[@]}"; do
  [[ $j =~ ^[1-9][0-9]*$ ]] || { echo "not a JDK version: $j" >&2; usage; }
done
export JAVA_HOME=$compile_jdk  # Debian's jtreg runs on it

out=build/matrix
rm -rf "$out"
mkdir -p "$out"
# One line per cell: arch jdk gc mode verdict passed failed skipped seconds
# note; verdict: passed, failed, unsupported or setup (set-up failed).
results=$out/cells.tsv
: >"$results"

# Planned cells, so the progress line can say how far the run is.
cells=()
for arch in "${archs[@]}"; do
  if [[ $arch == host ]]; then
    for j in "${jdks[@]}"; do
      for g in "${gcs[@]}"; do
        for m in "${modes[@]}"; do cells+=("host $j $g $m"); done
      done
    done
  else
    cells+=("$arch 17 load -")
    if [[ $foreign == suite ]]; then
      for g in "${foreign_gcs[@]}"; do
        for m in "${foreign_modes[@]}"; do cells+=("$arch 17 $g $m"); done
      done
    fi
  fi
done

# Sets passed, failed (with errors) and skipped from a jtreg report's statistics.
jtreg_counts() {
  local stats=$1/JTreport/text/stats.txt line
  line=$(cat "$stats" 2>/dev/null)
  passed=$(grep -o 'passed: [0-9]*' <<<"$line" | grep -o '[0-9]*' || echo 0)
  failed=$(($(grep -oE '(failed|error): [0-9]*' <<<"$line" | grep -o '[0-9]*' | paste -sd+ || echo 0)))
  skipped=$(grep -o 'did not meet platform requirements: [0-9]*' <<<"$line" | grep -o '[0-9]*$' || echo 0)
  passed=${passed:-0} skipped=${skipped:-0}
}

# Whether a JDK starts with the options, asked once per JDK and options.
# -Xcomp, which every JVM takes, is left out of the question: -version under
# it alone takes seconds.
declare -A starts=()
supported() {
  local jdk=$1 key
  shift
  key="$jdk $*"
  [[ -n ${starts[$key]:-} ]] || { "$jdk/bin/java" "$@" -version && starts[$key]=yes; }
}

# Sets jdk to the home of JDK $1 for architecture $2 (host: this machine's
# own JDK of that version if there is one), fetched by jdk.sh when needed.
# Otherwise sets setup to jdk.sh's reason; either is remembered, so a JDK
# that cannot be set up costs its retries once.
declare -A setup_failed=()
resolve_jdk() {
  local key=$2-$1 log=$dir/setup.log
  setup=${setup_failed[$key]:-}
  jdk=""
  if [[ -n $setup ]]; then
    echo "$setup" >"$log"
  elif [[ $2 == host && -n ${jdk_home[$1]:-} ]]; then
    jdk=${jdk_home[$1]}
  elif jdk=$(scripts/jdk.sh "$1" "$([[ $2 == host ]] && echo amd64 || echo "$2")" 2>>"$log"); then
    [[ $2 == host ]] && jdk_home[$1]=$jdk
  else
    setup=$(grep -m1 '^jdk.sh: set-up failed: ' "$log" | sed 's/^jdk.sh: set-up failed: //')
    setup="JDK $1 for $2: ${setup:-scripts/jdk.sh failed}"
    setup_failed[$key]=$setup
  fi
}

declare -A built=()
status=0 n=0 started=$SECONDS
for cell in "${cells[@]}"; do
  read -r arch major gc mode <<<"$cell"
  n=$((n + 1))
  name="$arch-jdk$major-$gc-$mode"
  [[ $gc == load ]] && name="$arch-jdk$major-load"
  dir=$out/$name
  mkdir -p "$dir"
  printf '%-8s %-34s ' "[$n/${#cells[@]}]" "$name"
  start=$SECONDS verdict="" passed=0 failed=0 skipped=0 note=""
  lib=$root/$host/lib timeout_factor=4 compile=() setup=""
  if [[ $arch != host ]]; then
    # The cross build is set-up; its export check is a test of the libraries.
    if [[ -z ${built[$arch]:-} ]]; then
      if ! cmake --preset "cross-$arch" >"$dir/build.log" 2>&1 ||
        ! cmake --build --preset "cross-$arch" >>"$dir/build.log" 2>&1; then
        built[$arch]="setup:the cross build failed: $name/build.log"
      elif ! ctest --preset "cross-$arch" >>"$dir/build.log" 2>&1; then
        built[$arch]="failed:the export check failed: $name/build.log"
      else
        built[$arch]=ok
      fi
    fi
    [[ ${built[$arch]} == setup:* ]] && setup=${built[$arch]#setup:}
    lib=$root/build/cross-$arch/lib timeout_factor=10 compile=(-compilejdk:"$compile_jdk")
  fi
  [[ -n $setup ]] || resolve_jdk "$major" "$arch"
  options=$(xargs <<<"$(gc_option "$gc") $(mode_option "$mode")")
  read -ra probe <<<"${options/-Xcomp/}"
  if [[ -n $setup ]]; then
    verdict=setup note=$setup
    [[ -s $dir/setup.log ]] || { echo "$setup"; cat "$dir/build.log" 2>/dev/null; } >"$dir/setup.log"
  elif [[ ${built[$arch]:-} == failed:* ]]; then
    verdict=failed note=${built[$arch]#failed:} failed=1
  elif [[ $gc == load ]]; then
    if tests/java/load-check.sh "$jdk" "$lib" "$root/$host/java/classes" >"$dir/log" 2>&1; then
      verdict=passed
    else
      verdict=failed
    fi
    # Its last line: "N ok, M failed, K not built yet".
    read -r passed _ failed _ missing _ < <(grep -E '^[0-9]+ ok, ' "$dir/log")
    passed=${passed:-0} failed=$((${failed:-0} + ${missing:-0}))
    [[ $verdict == passed ]] || ((failed)) || failed=1
  elif ! supported "$jdk" "${probe[@]}" >"$dir/log" 2>&1; then
    verdict=unsupported note="$(grep -m1 -iE 'error|unrecognized|not supported' "$dir/log")"
  else
    # The options go to every JVM that runs a test (-javaoptions), not to
    # javac: -vmoptions would put javac under -Xcomp too, which doubles the
    # cell's time and tests nothing of ours. @requires sees them either way.
    # The files of failed tests stay (an hs_err file among them), and the
    # XML results go to JTwork for tools that read them.
    JAVA_HOME=$compile_jdk jtreg -jdk:"$jdk" "${compile[@]}" -nativepath:"$lib" -conc:"$(nproc)" \
      -timeoutFactor:$timeout_factor ${options:+-javaoptions:"$options"} -verbose:summary \
      -retain:fail,error -xml \
      -w:"$dir/JTwork" -r:"$dir/JTreport" "$(selection "$( [[ $arch == host ]] && echo "$tests" || echo jvm)")" \
      >"$dir/log" 2>&1
    rc=$?
    jtreg_counts "$dir"
    if ((rc == 0 && passed > 0)); then verdict=passed; else verdict=failed; ((failed)) || failed=1; fi
  fi
  [[ $verdict == failed || $verdict == setup ]] && status=1
  seconds=$((SECONDS - start))
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$arch" "$major" "$gc" "$mode" "$verdict" \
    "$passed" "$failed" "$skipped" "$seconds" "$note" >>"$results"
  if [[ $verdict == setup ]]; then
    printf 'set-up failed  %dm%02ds  (%s)\n' $((seconds / 60)) $((seconds % 60)) "$note"
  else
    printf '%-11s passed %2d, failed %d, skipped %d  %dm%02ds%s\n' "$verdict" "$passed" "$failed" "$skipped" \
      $((seconds / 60)) $((seconds % 60)) "${note:+  ($note)}"
  fi
  # What failed, so a log of the run alone says it.
  if [[ $verdict == failed && -f $dir/log ]]; then
    grep -E '^(FAILED|Error):|FAILED|not built yet$|^Test results|^[0-9]+ ok, ' "$dir/log" | sed 's/^/    /'
  elif [[ $verdict == setup ]]; then
    grep -E '^(E|Err):' "$dir/setup.log" | head -n 5 | sed 's/^/    /'
  fi
done

total=$((SECONDS - started))
scripts/matrix-report.py "$results" "$out" "$total" "$(selection "$tests")" || exit 1
tail -n 1 "$out/summary.md"
echo "report: $out/index.html"
exit $status
