#!/usr/bin/env bash
# run.sh BUILD_DIR [JDK_HOME...]: the digest benchmark on each JDK (default:
# JDK 17 and 25 where installed), without -Xcheck:jni.
set -euo pipefail
build=${1:?usage: run.sh BUILD_DIR [JDK_HOME...]}
shift
jdks=("$@")
if ((${#jdks[@]} == 0)); then
  for home in /usr/lib/jvm/java-17-openjdk-amd64 /usr/lib/jvm/temurin-25-jdk-amd64; do
    [[ -x $home/bin/java ]] && jdks+=("$home")
  done
fi
for home in "${jdks[@]}"; do
  opts=(-Djava.library.path="$build/lib" -cp "$build/bench/brantholm/classes:$build/java/classes")
  if (("$(sed -n 's/^JAVA_VERSION="\([0-9]*\).*/\1/p' "$home/release")" >= 22)); then
    opts+=(--enable-native-access=ALL-UNNAMED)
  fi
  "$home/bin/java" "${opts[@]}" DigestBench
done
