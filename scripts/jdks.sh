#!/usr/bin/env bash
# Prints the further JDK homes to test on, separated by ';': ZOL_EXTRA_JDKS
# if set, else the JDK 25 of this kind of machine where it is installed.
if [[ -n ${ZOL_EXTRA_JDKS:-} ]]; then
  echo "$ZOL_EXTRA_JDKS"
elif [[ -x /usr/lib/jvm/temurin-25-jdk-amd64/bin/java ]]; then
  echo /usr/lib/jvm/temurin-25-jdk-amd64
fi
