#!/usr/bin/env bash
# exclude-for.sh JDK_HOME: prints jtreg's option that leaves out the tests
# problem-listed for that JDK's feature version (-exclude:problems/jdk<N>.txt),
# or nothing if that version has no list. For each jtreg run of the suite:
#   jtreg -jdk:$HOME $(tests/java/exclude-for.sh $HOME) ... tests/java/jvm
home=${1:?usage: exclude-for.sh JDK_HOME}
dir=$(cd "$(dirname "$0")" && pwd)
feature=$("$dir/jdk-version.sh" "$home") || exit 1
list=$dir/problems/jdk$feature.txt
if [[ -f $list ]]; then
  echo "-exclude:$list"
fi
