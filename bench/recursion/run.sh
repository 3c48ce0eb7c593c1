#!/usr/bin/env bash
# run.sh [BUILD_DIR] [XSS]: the deepest recursion each libvostrel.so reaches
# at -XssXSS (default 512k), found by bisection over child JVMs, and the
# ratio of the verified native to the bare one; then the stack frame of each
# recursiveMethod2 as the compiler reports it.
set -euo pipefail
build=$(cd "${1:-build/default}" && pwd)
xss=${2:-512k}
java=${JAVA_HOME:-/usr/lib/jvm/java-17-openjdk-amd64}/bin/java
classes=$build/java/classes:$build/bench/recursion/classes

reaches() { # libdir depth
  "$java" -Xint -Xss"$xss" -Djava.library.path="$1" -cp "$classes" DepthProbe "$2" >/dev/null 2>&1
}

deepest() { # libdir
  local lo=1 hi=2
  while reaches "$1" "$hi"; do lo=$hi; hi=$((hi * 2)); done
  while ((hi - lo > 1)); do
    local mid=$(((lo + hi) / 2))
    if reaches "$1" "$mid"; then lo=$mid; else hi=$mid; fi
  done
  echo "$lo"
}

verified=$(deepest "$build/lib")
bare=$(deepest "$build/bench/recursion/lib")
echo "deepest recursion at -Xss$xss (-Xint): vostrel $verified, bare native $bare"
awk -v v="$verified" -v b="$bare" 'BEGIN { printf "depth ratio vostrel/bare: %.4f\n", v / b }'
echo "stack frames of recursiveMethod2 (-fstack-usage):"
find "$build" -name '*.su' -exec grep -H recursiveMethod2 {} + | sed 's|.*/||'
