#!/usr/bin/env bash
# release.sh [ARCH...] [--out DIR] [--tag TAG]
#   Builds the release archive zol-natives-<version>-linux-<ARCH>.tar.gz of
#   each architecture (default: all of x86_64 aarch64 ppc64le s390x riscv64;
#   ppc64el names ppc64le too), and zol-natives-<version>-windows-x64.zip for
#   windows-x64 (only when named): its release preset (release on this machine's
#   own architecture, release-<arch> for the cross builds), the build, then
#   CPack, which installs it and packs it. Each archive is checked (the 21
#   libraries of tests/exports/exports.txt for the architecture, their
#   exports, NEEDED entries and glibc versions, the version note, the
#   manifest's hashes, BUILDINFO) and copied to DIR (default build/archives),
#   which gets a SHA256SUMS over the archives of this run. With --tag, fails
#   first unless TAG is v<version> of project() in CMakeLists.txt.
# release.sh --check-reproducible [--java-homes A,B] [ARCH...]
#   Builds the archives of the commit HEAD (default: x86_64 aarch64) twice,
#   from two copies of it at paths of different names and depths, one after
#   the other, with JAVA_HOME A then B (default: Debian's JDK 17, then
#   Temurin 25 where it is installed), under another time zone, locale and
#   umask, and compares every library and archive of the two. Prints one
#   line per file; exits non-zero on any difference.
# The archives' time stamp is SOURCE_DATE_EPOCH, else the time of HEAD's
# commit. Builds use CMAKE_BUILD_PARALLEL_LEVEL jobs (default 2). The git
# calls trust the checkout whoever owns it (a CI container's workspace),
# without any git configuration.
set -euo pipefail
export LC_ALL=C
usage() { sed -n '2,24s/^# \{0,1\}//p' "$0" >&2; exit 2; }

archs=() out=build/archives check=0 tag="" java_homes=""
while (($#)); do
  case $1 in
    --out) [[ $# -ge 2 ]] || usage; out=$2; shift ;;
    --tag) [[ $# -ge 2 ]] || usage; tag=$2; shift ;;
    --java-homes) [[ $# -ge 2 ]] || usage; java_homes=$2; shift ;;
    --check-reproducible) check=1 ;;
    x86_64 | aarch64 | ppc64le | s390x | riscv64 | windows-x64) archs+=("$1") ;;
    ppc64el) archs+=(ppc64le) ;;
    *) usage ;;
  esac
  shift
done
mkdir -p "$out"
out=$(cd "$out" && pwd)

# unpack ARCHIVE DIR: a .tar.gz or a .zip.
unpack() {
  case $1 in
    *.zip) unzip -q -o "$1" -d "$2" ;;
    *) tar -xzf "$1" -C "$2" ;;
  esac
}
cd "$(dirname "$0")/.."
root=$PWD
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}
git() { command git -c safe.directory="$root" "$@"; }
version=$(sed -n 's/^project(zol_natives VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
if [[ -n $tag && $tag != "v$version" ]]; then
  echo "release.sh: the tag $tag is not v$version, the version of project() in CMakeLists.txt" >&2
  exit 1
fi

if ((check)); then
  ((${#archs[@]})) || archs=(x86_64 aarch64)
  commit=$(git rev-parse HEAD) || { echo "--check-reproducible builds a commit: run it in a git checkout" >&2; exit 1; }
  [[ -z $(git status --porcelain --untracked-files=no) ]] ||
    echo "note: uncommitted changes are not part of the check; it builds $commit" >&2
  epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
  deb=$(dpkg --print-architecture)
  if [[ -z $java_homes ]]; then
    java_homes=/usr/lib/jvm/java-17-openjdk-$deb
    for other in /usr/lib/jvm/temurin-25-jdk-"$deb" /usr/lib/jvm/java-17-openjdk-"$deb"; do
      if [[ -x $other/bin/javac ]]; then java_homes+=,$other && break; fi
    done
  fi
  IFS=, read -r java_one java_two <<<"$java_homes"
  for h in "$java_one" "$java_two"; do
    [[ -x $h/bin/javac ]] || { echo "--java-homes: $h is not a JDK home" >&2; exit 2; }
  done
  work=$root/build/reproducible
  rm -rf "$work"
  # Paths of different lengths, names and depths, so that any path that
  # reaches a library or an archive shows.
  one=$work/one/zol-natives two=$work/second-build/of/depth/five/checkout-of-$commit
  for copy in "$one" "$two"; do
    mkdir -p "$copy"
    git archive --format=tar HEAD | tar -x -C "$copy"
  done
  echo "building $commit twice for ${archs[*]} (SOURCE_DATE_EPOCH=$epoch)"
  echo "first: $one, JAVA_HOME=$java_one"
  echo "second: $two, JAVA_HOME=$java_two"
  (cd "$one" && umask 022 && SOURCE_DATE_EPOCH=$epoch TZ=UTC LC_ALL=C JAVA_HOME=$java_one \
    scripts/release.sh "${archs[@]}" --out "$work/one/archives") >"$work/one.log" 2>&1 ||
    { tail -n 30 "$work/one.log"; echo "first build failed: $work/one.log" >&2; exit 1; }
  sleep 2
  (cd "$two" && umask 002 && SOURCE_DATE_EPOCH=$epoch TZ=Asia/Kathmandu LC_ALL=C.UTF-8 JAVA_HOME=$java_two \
    scripts/release.sh "${archs[@]}" --out "$work/second-build/archives") >"$work/two.log" 2>&1 ||
    { tail -n 30 "$work/two.log"; echo "second build failed: $work/two.log" >&2; exit 1; }

  # Every file of the two archives of an architecture, libraries first, then
  # the archive itself.
  same=0 differ=0
  compare() {
    local what=$1 a=$2 b=$3 sa sb=missing
    sa=$(sha256sum <"$a" | cut -d' ' -f1)
    [[ -f $b ]] && sb=$(sha256sum <"$b" | cut -d' ' -f1)
    if [[ $sa == "$sb" ]]; then
      same=$((same + 1)); printf 'same       %s  %s\n' "$sa" "$what"
    else
      differ=$((differ + 1)); printf 'DIFFERENT  %s  %s (second: %s)\n' "$sa" "$what" "$sb"
    fi
  }
  for a in "$work/one/archives/"*.tar.gz "$work/one/archives/"*.zip; do
    [[ -f $a ]] || continue
    name=$(basename "$(basename "$a" .tar.gz)" .zip) b=$work/second-build/archives/$(basename "$a")
    mkdir -p "$work/unpacked/one" "$work/unpacked/two"
    unpack "$a" "$work/unpacked/one"
    [[ -f $b ]] && unpack "$b" "$work/unpacked/two"
    while read -r f; do
      compare "$name/$f" "$work/unpacked/one/$name/$f" "$work/unpacked/two/$name/$f"
    done < <(cd "$work/unpacked/one/$name" && find . -type f | sed 's|^\./||' | sort)
    compare "$(basename "$a")" "$a" "$b"
  done
  compare SHA256SUMS "$work/one/archives/SHA256SUMS" "$work/second-build/archives/SHA256SUMS"
  echo "reproducible: $same passed, $differ failed"
  ((differ == 0 && same > 0))
  exit
fi

((${#archs[@]})) || archs=(x86_64 aarch64 ppc64le s390x riscv64)
host=$(uname -m)
declare -A cross=([aarch64]=aarch64 [ppc64le]=ppc64el [s390x]=s390x [riscv64]=riscv64 [windows-x64]=windows-x64)
declare -A triplet=([aarch64]=aarch64-linux-gnu [ppc64le]=powerpc64le-linux-gnu [s390x]=s390x-linux-gnu
  [riscv64]=riscv64-linux-gnu)
packages=()
for arch in "${archs[@]}"; do
  if [[ $arch == windows-x64 ]]; then
    packages+=(g++-mingw-w64-x86-64 zip unzip)
  elif [[ $arch != "$host" ]]; then
    [[ -n ${cross[$arch]:-} ]] || { echo "no preset builds $arch on $host" >&2; exit 1; }
    packages+=("g++-${triplet[$arch]}")
  fi
done
scripts/deps.sh "${packages[@]}"

# The architecture of an ELF file, named as the archives name it.
elf_arch() {
  local header
  header=$(readelf -h "$1")
  case $(sed -n 's/^ *Machine: *//p' <<<"$header"),$(grep -c 'little endian' <<<"$header") in
    *X86-64,1) echo x86_64 ;;
    AArch64,1) echo aarch64 ;;
    PowerPC64,1) echo ppc64le ;;
    "IBM S/390",0) echo s390x ;;
    RISC-V,1) echo riscv64 ;;
    *) echo unknown ;;
  esac
}

# check ARCHIVE ARCH VERSION: the archive holds exactly the libraries of the
# export list and the two text files; each library is built for ARCH, passes
# the export check and carries the version note; the manifest's hashes are
# the libraries'.
names=$(awk '!/^#/ && NF { print $1 }' tests/exports/exports.txt)
check() {
  local archive=$1 arch=$2 version=$3 tmp dir top want have problems=0 name
  top=$(basename "$(basename "$archive" .tar.gz)" .zip)
  tmp=$(mktemp -d)
  unpack "$archive" "$tmp"
  dir=$tmp/$top
  local prefix=lib/lib suffix=.so
  [[ $arch == windows-x64 ]] && prefix=lib/ suffix=.dll
  want=$( { printf '%s\n' BUILDINFO LIBRARIES.md MANIFEST.tsv; awk -v p="$prefix" -v s="$suffix" '{ print p $0 s }' <<<"$names"; } | sort)
  have=$(cd "$tmp" && find . -type f | sed "s|^\./$top/||" | sort)
  if [[ $have != "$want" ]]; then
    echo "$top: files other than BUILDINFO, LIBRARIES.md, MANIFEST.tsv and the libraries of exports.txt (< missing, > extra):"
    diff <(echo "$want") <(echo "$have")
    problems=1
  fi
  for name in $names; do
    # A DLL: the export check reads its PE tables and its format (pei-x86-64).
    if [[ $arch == windows-x64 && -f $dir/lib/$name.dll ]]; then
      tests/exports/check-exports.sh "$dir/lib" "$name" >/dev/null ||
        { tests/exports/check-exports.sh "$dir/lib" "$name"; problems=1; }
      # The version resource's strings are UTF-16.
      strings -el "$dir/lib/$name.dll" | grep -A1 -x ProductVersion | grep -qx "$version" ||
        { echo "$top: $name.dll has no version resource of zol-natives $version"; problems=1; }
      continue
    fi
    [[ -f $dir/lib/lib$name.so ]] || continue
    tests/exports/check-exports.sh "$dir/lib" "$name" >/dev/null ||
      { tests/exports/check-exports.sh "$dir/lib" "$name"; problems=1; }
    [[ $(elf_arch "$dir/lib/lib$name.so") == "$arch" ]] ||
      { echo "$top: lib$name.so is built for $(elf_arch "$dir/lib/lib$name.so")"; problems=1; }
    readelf -n "$dir/lib/lib$name.so" | grep -qF "{\"name\":\"zol-natives\",\"version\":\"$version\"" ||
      { echo "$top: lib$name.so has no note of zol-natives $version"; problems=1; }
  done
  if ! { [[ $(awk 'NR > 1' "$dir/MANIFEST.tsv" | wc -l) -eq $(wc -w <<<"$names") ]] &&
    (cd "$dir" && awk -F'\t' 'NR > 1 { print $5 "  lib/" $1 }' MANIFEST.tsv | sha256sum --check --quiet); }; then
    echo "$top: MANIFEST.tsv does not list each library with its hash"
    problems=1
  fi
  if ! grep -q '^compiler: ' "$dir/BUILDINFO" || ! grep -q '^JNI headers: .* of openjdk-17-jdk-headless ' "$dir/BUILDINFO"; then
    echo "$top: BUILDINFO does not name the compiler and the JNI headers' package"
    problems=1
  fi
  rm -rf "$tmp"
  return $problems
}

made=()
for arch in "${archs[@]}"; do
  preset=release
  [[ $arch == "$host" ]] || preset=release-${cross[$arch]}
  build=build/$preset log=build/$preset.log
  mkdir -p build
  echo "$arch: preset $preset (log: $log)"
  if ! { cmake --preset "$preset" && cmake --build --preset "$preset" &&
    rm -rf "$build/package" && (cd "$build" && cpack); } >"$log" 2>&1; then
    tail -n 30 "$log"; echo "$arch: the build failed (log: $log)" >&2; exit 1
  fi
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
  file=$(sed -n 's/^set(CPACK_PACKAGE_FILE_NAME "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
  want=zol-natives-$version-linux-$arch.tar.gz
  [[ $arch == windows-x64 ]] && want=zol-natives-$version-$arch.zip
  file=$file.${want##*-"$arch".}
  [[ $file == "$want" ]] ||
    { echo "$arch: the build named its archive $file" >&2; exit 1; }
  check "$build/package/$file" "$arch" "$version" || { echo "$arch: $file failed its check" >&2; exit 1; }
  cp "$build/package/$file" "$out/"
  made+=("$file")
  echo "$arch: $out/$file ($(stat -c %s "$out/$file") bytes) checked"
done
mapfile -t made < <(printf '%s\n' "${made[@]}" | sort)
(cd "$out" && sha256sum "${made[@]}" >SHA256SUMS)
echo "$out/SHA256SUMS:"
cat "$out/SHA256SUMS"
