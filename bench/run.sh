#!/usr/bin/env bash
# run.sh [BUILD_DIR] [RUNS]: every benchmark RUNS times (default 5) on each JDK
# (JDK 17 and 25 where installed, or the homes listed in ZOL_BENCH_JDKS,
# separated by ';'), then one table: for each benchmark and JDK the library's
# figure, the bare native's, their ratio (medians over the runs), the lowest
# and highest ratio of the runs, and the target. Build BUILD_DIR (default
# build/default) first. Exits 1 if a median misses its target.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build/default}" && pwd)
runs=${2:-5}

jdks=()
if [[ -n ${ZOL_BENCH_JDKS:-} ]]; then
  IFS=';' read -r -a jdks <<<"$ZOL_BENCH_JDKS"
else
  for home in /usr/lib/jvm/java-17-openjdk-amd64 /usr/lib/jvm/temurin-25-jdk-amd64; do
    [[ -x $home/bin/java ]] && jdks+=("$home")
  done
fi
((${#jdks[@]} > 0)) || { echo "run.sh: no JDK found" >&2; exit 2; }

feature() { sed -n 's/^JAVA_VERSION="\([0-9]*\).*/\1/p' "$1/release"; }

results=$(mktemp)
scratch=$(mktemp)
trap 'rm -f "$results" "$scratch"' EXIT

# The deepest recursion through one library directory's natives. The probe's
# last "reached" line is the answer: the failing depth ends the process.
depth() { # home xss native libdir
  ("$1/bin/java" -Xint -Xss"$2" -Djava.library.path="$4" -cp "$build/java/classes:$build/bench/recursion/classes" \
    DepthProbe "$3" 2>/dev/null || true) | sed -n 's/^reached //p' | tail -n 1
}

for ((run = 1; run <= runs; run++)); do
  echo "run $run of $runs" >&2
  for home in "${jdks[@]}"; do
    jdk=$(feature "$home")
    for native in vostrel tamsik; do
      for xss in 512k 1m; do
        library=$(depth "$home" "$xss" "$native" "$build/lib")
        bare=$(depth "$home" "$xss" "$native" "$build/bench/recursion/lib")
        echo "$jdk $native.depth.$xss $library $bare $(awk -v l="$library" -v b="$bare" 'BEGIN { print l / b }')" \
          >>"$results"
      done
    done
    opts=()
    (($(feature "$home") >= 22)) && opts+=(--enable-native-access=ALL-UNNAMED)
    # The natives' own output (CheckCompare's lines, progress and trace lines) goes.
    "$home/bin/java" "${opts[@]}" -cp "$build/bench/jni/classes" CallTimes "$build/java/classes" \
      "$build/bench/jni/loop" "$build/lib" "$build/bench/jni/lib" "$scratch" 15 >/dev/null 2>&1
    sed "s/^/$jdk /" "$scratch" >>"$results"
  done
  # tellvarn makes no JNI call: no JVM, so no JDK.
  "$build/bench/tellvarn/tellvarn_bench" "$build/lib/libtellvarn.so" "$build/bench/tellvarn/lib/libtellvarn.so" \
    | sed 's/^/- /' >>"$results"
done

for home in "${jdks[@]}"; do
  echo "JDK $(feature "$home"): $(sed -n 's/^JAVA_RUNTIME_VERSION="\(.*\)"/\1/p' "$home/release"), $home"
done
echo "$(nproc) cores, $runs runs; ratio = library / bare, the median over the runs, with the lowest and highest run"
echo
status=0
awk -f "$here/table.awk" "$results" || status=$?

echo
echo "Stack frames (-fstack-usage; bytes, return address included):"
find "$build/src" "$build/bench/recursion" -name '*.su' -exec grep -hE 'recursiveMethod2|call_void_method_last' {} + |
  sed -E 's|^[^ ]*/([^/:]+):[0-9]+:[0-9]+:|\1: |; s/\[with .*\]//'
exit $status
