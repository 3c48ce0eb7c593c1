#!/usr/bin/env bash
# jdk-version.sh JDK_HOME: prints the JDK's feature version (8 for 1.8.0_412,
# 17 for 17.0.13), from its release file or, for an image without one (Debian's
# JDK 8), from its java launcher.
home=${1:?usage: jdk-version.sh JDK_HOME}
version=$(sed -n 's/^JAVA_VERSION="\(.*\)"$/\1/p' "$home/release" 2>/dev/null)
if [[ -z $version ]]; then
  version=$("$home/bin/java" -XshowSettings:properties -version 2>&1 |
    sed -n 's/^ *java\.specification\.version = //p')
fi
[[ -n $version ]] || { echo "jdk-version.sh: no JDK at $home" >&2; exit 1; }
feature=${version#1.} # 1.8.0_412 is feature 8
echo "${feature%%[!0-9]*}"
