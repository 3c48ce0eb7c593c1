#!/usr/bin/env bash
# foreign-load-check.sh [ARCH...]   (default: aarch64 ppc64el s390x)
#
# For each architecture: cross-builds the libraries (preset cross-ARCH), runs
# their export check, fetches that architecture's JDK 17 (foreign-jdk.sh) and
# runs the load check in it under qemu-user, with the Java classes that the
# host's default build compiles. Exits non-zero if any step fails.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
archs=("$@")
((${#archs[@]})) || archs=(aarch64 ppc64el s390x)
declare -A triplet=([aarch64]=aarch64-linux-gnu [ppc64el]=powerpc64le-linux-gnu [s390x]=s390x-linux-gnu)
compilers=()
for arch in "${archs[@]}"; do
  [[ -n ${triplet[$arch]:-} ]] || { echo "unknown architecture: $arch" >&2; exit 2; }
  compilers+=("g++-${triplet[$arch]}")
done
scripts/deps.sh "${compilers[@]}" qemu-user-static || exit 1

# The classes are the same on every architecture: the host's build compiles them.
host=build/default
if ! { [[ -f $host/CMakeCache.txt ]] || cmake --preset default >/dev/null; } ||
  ! cmake --build "$host" --target java_tests >/dev/null; then
  echo "building the Java classes in $host failed" >&2; exit 1
fi

status=0
for arch in "${archs[@]}"; do
  echo "== $arch"
  start=$SECONDS
  if ! { cmake --preset "cross-$arch" >/dev/null && cmake --build --preset "cross-$arch" >/dev/null; }; then
    echo "$arch: cross build FAILED"; status=1; continue
  fi
  if exports=$(ctest --preset "cross-$arch" 2>&1); then
    echo "$arch exports: $(grep 'tests passed' <<<"$exports")"
  else
    echo "$exports"; status=1
  fi
  jdk=$(scripts/foreign-jdk.sh "$arch") || { echo "$arch: no JDK"; status=1; continue; }
  tests/java/load-check.sh "$jdk" "$PWD/build/cross-$arch/lib" "$PWD/$host/java/classes" || status=1
  echo "$arch: $((SECONDS - start)) s"
done
exit $status
