#!/usr/bin/env bash
# run-jvm.sh JDK_HOME junit CLASS   runs one JUnit test class
# run-jvm.sh JDK_HOME main CLASS ARGS...   runs a main class of the test kit
#
# In a JVM of JDK_HOME under -Xcheck:jni, with the built libraries on
# java.library.path. Fails if the run fails or if the JVM prints a JNI
# warning that allowed-jni-warnings.txt does not list. Locations come from
# the ZOL_* variables that ctest sets.
set -u
jdk=$1 mode=$2 class=$3
shift 3

major=$(sed -n 's/^JAVA_VERSION="\([0-9]*\).*/\1/p' "$jdk/release")
opts=(-Xcheck:jni "-Djava.library.path=$ZOL_LIB_DIR" "-Dzol.lib.dir=$ZOL_LIB_DIR" "-Dzol.classes=$ZOL_CLASSES"
      "-Dzol.variants=$ZOL_VARIANTS" "-Dzol.warnings=$ZOL_WARNINGS")
if ((major >= 22)); then opts+=(--enable-native-access=ALL-UNNAMED); fi

log=$(mktemp)
trap 'rm -f "$log"' EXIT
if [[ $mode == junit ]]; then
  "$jdk/bin/java" "${opts[@]}" -jar "$ZOL_JUNIT_JAR" --disable-banner --disable-ansi-colors --details=tree \
    --fail-if-no-tests -cp "$ZOL_TEST_CLASSES:$ZOL_CLASSES" --select-class "$class" </dev/null 2>&1 | tee "$log"
else
  "$jdk/bin/java" "${opts[@]}" -cp "$ZOL_CLASSES" "$class" "$@" </dev/null 2>&1 | tee "$log"
fi
status=${PIPESTATUS[0]}

allowed=()
while IFS=$'\t' read -r deliverable regex reason; do
  [[ -z $deliverable || $deliverable == \#* ]] && continue
  allowed+=("$regex")
done <"$ZOL_WARNINGS"

unexpected=0
while IFS= read -r line; do
  ok=0
  for regex in "${allowed[@]}"; do
    if [[ $line =~ $regex ]]; then ok=1; break; fi
  done
  if ((!ok)); then
    echo "unexpected JNI warning: $line"
    unexpected=$((unexpected + 1))
  fi
done < <(grep -iE 'warning.*(native method|JNI)' "$log")

if ((status == 0 && unexpected > 0)); then status=1; fi
exit "$status"
