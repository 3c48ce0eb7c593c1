#!/usr/bin/env bash
# exclude-for.sh JDK_HOME: prints jtreg's option that leaves out the tests
# problem-listed for that JDK's feature version (-exclude:problems/jdk<N>.txt),
# or nothing if that version has no list. For each jtreg run of the suite:
#   jtreg -jdk:$HOME $(tests/java/exclude-for.sh $HOME) ... tests/java/jvm
home=${1:?usage: exclude-for.sh JDK_HOME}
dir=$(cd "$(dirname "$0")" && pwd)
version=$(sed -n 's/^JAVA_VERSION="\(.*\)"$/\1/p' "$home/release" 2>/dev/null)
if [[ -z $version ]]; then  # an image without a release file
  version=$("$home/bin/java" -XshowSettings:properties -version 2>&1 |
    sed -n 's/^ *java\.specification\.version = //p')
fi
[[ -n $version ]] || { echo "exclude-for.sh: no JDK at $home" >&2; exit 1; }
feature=${version#1.}  # 1.8.0_412 is feature 8
feature=${feature%%[!0-9]*}
list=$dir/problems/jdk$feature.txt
if [[ -f $list ]]; then
  echo "-exclude:$list"
fi
