#!/usr/bin/env bash
# foreign-jdk.sh ARCH [CACHE]   ARCH: aarch64, ppc64el or s390x
#
# Prints the home of Debian's JDK 17 for ARCH, set up to run on this machine
# under qemu-user: fetched with `apt-get download` (the JRE and the libraries
# its JVM needs) and unpacked with `dpkg -x` into CACHE/ARCH/root (default
# CACHE: build/foreign), so the host's own JDK and packages stay as they are.
# There is no binfmt_misc here, so each executable of that JDK (bin/*,
# lib/jspawnhelper, lib/jexec) becomes a script that runs the real one,
# renamed NAME.elf, under qemu-<arch>-static with the unpacked root as its
# library prefix. A JVM that starts `java.home/bin/java`, or that spawns a
# process through jspawnhelper, so starts emulated children; jtreg takes the
# home as -jdk: (compiling with the host's JDK, -compilejdk:). A second run
# reuses the cache.
set -euo pipefail
arch=${1:?usage: foreign-jdk.sh aarch64|ppc64el|s390x [CACHE]}
cache=${2:-$(cd "$(dirname "$0")/.." && pwd)/build/foreign}
case $arch in
  aarch64) deb=arm64 qemu=aarch64 ;;
  ppc64el) deb=ppc64el qemu=ppc64le ;;
  s390x) deb=s390x qemu=s390x ;;
  *) echo "unknown architecture: $arch (aarch64, ppc64el or s390x)" >&2; exit 2 ;;
esac
# The JRE's other dependencies serve AWT, sound, smart cards and TLS, which no test uses.
packages=(openjdk-17-jre-headless libc6 libgcc-s1 libstdc++6 zlib1g)
dir=$cache/$arch
root=$dir/root
home=$root/usr/lib/jvm/java-17-openjdk-$deb

if [[ ! -f $dir/ready ]]; then
  "$(dirname "$0")/deps.sh" qemu-user-static >&2
  if ! apt-cache show "openjdk-17-jre-headless:$deb" >/dev/null 2>&1; then
    if [[ $(id -u) -ne 0 ]]; then
      echo "Run as root: dpkg --add-architecture $deb && apt-get update" >&2
      exit 1
    fi
    echo "Adding the architecture $deb to dpkg's list and updating apt's package lists" >&2
    dpkg --add-architecture "$deb"
    apt-get -o DPkg::Lock::Timeout=600 update -qq >&2
  fi
  rm -rf "$dir"
  mkdir -p "$dir/debs"
  echo "Fetching ${packages[*]} for $deb into $dir" >&2
  (cd "$dir/debs" && apt-get download -q -o APT::Sandbox::User=root "${packages[@]/%/:$deb}" >&2)
  for package in "$dir"/debs/*.deb; do
    dpkg -x "$package" "$root"
  done
  # Absolute links (jvm.cfg into /etc, the loader's own) point into the root, not at the host's files.
  while IFS= read -r link; do
    target=$(readlink "$link")
    ln -sfn "$(realpath -m --relative-to="$(dirname "$link")" "$root$target")" "$link"
  done < <(find "$root" -type l -lname '/*')
  for exe in "$home"/bin/* "$home"/lib/jspawnhelper "$home"/lib/jexec; do
    mv "$exe" "$exe.elf"
    printf '#!/bin/sh\nexec qemu-%s-static -L "%s" "%s.elf" "$@"\n' "$qemu" "$root" "$exe" >"$exe"
    chmod 755 "$exe"
  done
  "$home/bin/java" -version >&2
  touch "$dir/ready"
fi
echo "$home"
