#!/usr/bin/env bash
# load-check.sh JDK_HOME LIB_DIR [CLASSES]: the load check, the one entry for
# scripts and people: each library's short scenario in a JVM of JDK_HOME of
# its own, one line per library, then "N ok, M failed". CLASSES holds the
# build's compiled test classes (default: LIB_DIR/../java/classes, where a
# build puts them). The JVM gets the system properties that jtreg would set.
# Exits non-zero if any library is missing or failed, or if the check itself
# cannot run.
(($# == 2 || $# == 3)) || { echo "usage: $0 JDK_HOME LIB_DIR [CLASSES]" >&2; exit 2; }
jdk=$1 lib=$2 classes=${3:-$2/../java/classes}
root=$(cd "$(dirname "$0")" && pwd)
[[ -x $jdk/bin/java ]] || { echo "load check FAILED: no $jdk/bin/java"; exit 1; }
[[ -d $lib ]] || { echo "load check FAILED: no library directory $lib"; exit 1; }
[[ -f $classes/LoadCheck.class ]] || { echo "load check FAILED: no test classes in $classes (build first)"; exit 1; }
exec "$jdk/bin/java" -cp "$classes" -Dtest.jdk="$jdk" -Dtest.nativepath="$lib" -Dtest.root="$root" \
  -Dtest.class.path="$classes" LoadCheck </dev/null
