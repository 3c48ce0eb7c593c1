#!/usr/bin/env bash
# load-check.sh JDK_HOME LIB_DIR CLASSES: the load check (zoltest.Smoke) in a
# JVM of JDK_HOME with the system properties that jtreg would set: each
# library's short scenario in a child JVM of its own, one line per library.
# Exits non-zero if one failed.
jdk=$1 lib=$2 classes=$3
root=$(cd "$(dirname "$0")" && pwd)
exec "$jdk/bin/java" -cp "$classes" -Dtest.jdk="$jdk" -Dtest.nativepath="$lib" -Dtest.root="$root" \
  -Dtest.class.path="$classes" zoltest.Smoke </dev/null
