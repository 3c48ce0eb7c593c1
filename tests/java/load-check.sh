#!/usr/bin/env bash
# load-check.sh JDK_HOME LIB_DIR CLASSES: the load check (zoltest.Smoke) in a
# JVM of JDK_HOME with the system properties that jtreg would set: each
# library's short scenario in a child JVM of its own, one line per library.
# Exits non-zero if any library is missing or failed, or if the check itself
# cannot run.
(($# == 3)) || { echo "usage: $0 JDK_HOME LIB_DIR CLASSES" >&2; exit 2; }
jdk=$1 lib=$2 classes=$3
root=$(cd "$(dirname "$0")" && pwd)
[[ -x $jdk/bin/java ]] || { echo "load check FAILED: no $jdk/bin/java"; exit 1; }
[[ -f $classes/zoltest/Smoke.class ]] || { echo "load check FAILED: no test classes in $classes (build first)"; exit 1; }
exec "$jdk/bin/java" -cp "$classes" -Dtest.jdk="$jdk" -Dtest.nativepath="$lib" -Dtest.root="$root" \
  -Dtest.class.path="$classes" zoltest.Smoke </dev/null
