#!/usr/bin/env bash
# jdk.sh [--pin PACKAGE_VERSION] VERSION [ARCH]
# jdk.sh --resolve VERSION [ARCH]
#   VERSION: 8, 11, 17, 21, 25, 26, 27, 28, ... (28-ea too)
#   ARCH: amd64, aarch64, ppc64el, s390x, riscv64 (default: this machine's)
#   (arm64, ppc64le, x86_64 and host name the same)
#
# Prints the home of Debian's JDK VERSION for ARCH, ready to run on this
# machine; progress goes to stderr. --pin takes exactly that version of the
# packages (21.0.9+10-1~deb13u1), from the first suite that has it;
# --resolve prints the version a call without a pin would take. It fetches openjdk-VERSION-jdk-headless,
# its JRE and the libraries its JVM needs with `apt-get download` from the
# first suite that has it, and unpacks them into
# build/jdks/<arch>-<version>/root. The package index comes through an apt
# state of its own (build/jdks/apt-<suite>-<arch>: sources, lists, cache and
# an empty dpkg status), so the host's apt lists and dpkg architectures stay
# as they are, and root is needed only to install qemu-user-static or
# patchelf once. One lock per apt state keeps two calls that read one suite
# (21 and 25 from trixie) apart. A package the index names but the mirror no
# longer serves (404) gets the index fetched again, once. A second call
# reuses the cache when it holds the version pinned (any, without a pin).
#
# A JDK of the machine's own architecture (dpkg --print-architecture) whose
# glibc or libstdc++ is newer than the host's runs on the
# ones unpacked beside it: each ELF file of the home gets that root's dynamic
# loader as interpreter and its library directories as DT_RPATH (patchelf), so
# bin/java, the JVMs it starts and jspawnhelper run natively with no wrapper.
# A foreign JDK runs under qemu-<arch>-static: without binfmt_misc each
# executable (bin/*, lib/jspawnhelper, lib/jexec; on 8 also jre/bin/* and
# jre/lib/jexec, where its java.home is jre/) becomes a script that runs the
# real one, renamed NAME.elf, with the root as qemu's library prefix.
# Either way a JVM that starts java.home/bin/java starts a JVM like itself,
# so jtreg takes the home as -jdk: as it is.
#
# Any failure exits non-zero with a line "jdk.sh: set-up failed: REASON".
# Environment: ZOL_JDK_SUITES (the suites to try, in order), ZOL_DEBIAN_ARCHIVE
# (the archive's URI; default: the one the host's apt sources use).
set -eEuo pipefail
fail() {
  echo "jdk.sh: set-up failed: $*" >&2
  exit 1
}
trap 'fail "$BASH_COMMAND (line $LINENO)"' ERR
usage() {
  sed -n '2,6s/^# \{0,1\}//p' "$0" >&2
  exit 2
}

pin="" resolve=0
case ${1:-} in
  --pin) [[ $# -ge 2 && -n $2 ]] || usage; pin=$2; shift 2 ;;
  --resolve) resolve=1; shift ;;
esac
[[ $# -ge 1 && $# -le 2 ]] || usage
version=${1%-ea}
[[ $version =~ ^[1-9][0-9]*$ ]] || usage
case ${2:-$(dpkg --print-architecture)} in
  amd64 | x86_64 | host) arch=amd64 deb=amd64 qemu=x86_64 triplet=x86_64-linux-gnu loader=ld-linux-x86-64.so.2 ;;
  aarch64 | arm64) arch=aarch64 deb=arm64 qemu=aarch64 triplet=aarch64-linux-gnu loader=ld-linux-aarch64.so.1 ;;
  ppc64el | ppc64le) arch=ppc64el deb=ppc64el qemu=ppc64le triplet=powerpc64le-linux-gnu loader=ld64.so.2 ;;
  s390x) arch=s390x deb=s390x qemu=s390x triplet=s390x-linux-gnu loader=ld64.so.1 ;;
  riscv64) arch=riscv64 deb=riscv64 qemu=riscv64 triplet=riscv64-linux-gnu loader=ld-linux-riscv64-lp64d.so.1 ;;
  *) usage ;;
esac
# A JDK of the machine's own architecture runs natively, whichever it is.
[[ $deb != "$(dpkg --print-architecture)" ]] || qemu=""
scripts=$(cd "$(dirname "$0")" && pwd)
jdks=$(dirname "$scripts")/build/jdks
dir=$jdks/$arch-$version
root=$dir/root
home=$root/usr/lib/jvm/java-$version-openjdk-$deb
# ready: the home, then the packages' version.
done_already() {
  local ready=()
  [[ -f $dir/ready ]] || return 0
  mapfile -t ready <"$dir/ready"
  if ((!resolve)) && [[ ${ready[0]:-} == "$home" && -x $home/bin/java && ( -z $pin || ${ready[1]:-} == "$pin" ) ]]; then
    echo "$home"
    exit 0
  fi
}
((resolve)) || done_already
mkdir -p "$jdks"
# Two runs for the same JDK would unpack over each other; the second finds
# the first one's.
if ((!resolve)); then
  exec 9>"$dir.lock"
  flock 9
  done_already
fi

# The oldest suite that has the JDK comes first: its libraries are the
# closest to the host's.
if [[ -n ${ZOL_JDK_SUITES:-} ]]; then
  read -ra suites <<<"${ZOL_JDK_SUITES//,/ }"
else
  case $version in
    17) suites=(bookworm trixie sid) ;;
    21 | 25) suites=(trixie sid) ;;
    *) suites=(sid) ;;
  esac
fi

read -r archive keyring < <("$scripts/debian-archive.sh") || true
archive=${ZOL_DEBIAN_ARCHIVE:-$archive}
[[ -n $archive ]] || fail "no apt source for this machine's release in /etc/apt to take the archive's URI from (set ZOL_DEBIAN_ARCHIVE)"

# Holds the lock of suite $1's apt state for $deb on fd 8, released by
# unlock_state: apt-get on one state at once.
lock_state() {
  mkdir -p "$jdks"
  exec 8>"$jdks/apt-$1-$deb.lock"
  flock 8
}
unlock_state() { exec 8>&-; }

# apt-get and apt-cache on the private state of suite $1 for $deb.
private_apt() {
  local state=$jdks/apt-$1-$deb command=$2
  shift 2
  "$command" -q -o Dir::Etc::SourceList="$state/sources.list" -o Dir::Etc::SourceParts="$state/empty" \
    -o Dir::Etc::Preferences="$state/empty/none" -o Dir::Etc::PreferencesParts="$state/empty" \
    -o Dir::State="$state" -o Dir::State::Lists="$state/lists" -o Dir::State::status="$state/status" \
    -o Dir::Cache="$state/cache" -o APT::Architecture="$deb" -o APT::Architectures="$deb" \
    -o Acquire::Languages=none -o Acquire::Retries=5 -o APT::Sandbox::User="$(id -un)" "$@"
}

# Fetches the Packages index of suite $1's main for $deb, and nothing else. A
# mirror in the middle of a sync serves indexes of the wrong size or hash:
# apt's own retries do not help there, a later attempt does.
update() {
  local suite=$1 state=$jdks/apt-$1-$deb attempt log
  mkdir -p "$state/lists/partial" "$state/cache/archives/partial" "$state/empty"
  : >"$state/status"
  echo "deb [arch=$deb targets=Packages${keyring:+ signed-by=$keyring}] $archive $suite main" >"$state/sources.list"
  for attempt in 1 2 3 4; do
    if log=$(private_apt "$suite" apt-get update 2>&1) &&
      ! grep -qE '^(E:|Err:)|Failed to fetch|failed to download' <<<"$log"; then
      return 0
    fi
    echo "$log" >&2
    ((attempt < 4)) || break
    echo "jdk.sh: the index of $suite for $deb failed (attempt $attempt), retrying in $((attempt * 10)) s" >&2
    sleep $((attempt * 10))
  done
  reason="the index of $suite for $deb could not be fetched: $(grep -m1 '^E:' <<<"$log" || grep -m1 '^Err:' <<<"$log")"
  return 1
}

# The version of package $2 that suite $1 offers, if any (a package that is
# only named by others has none).
candidate_version() {
  private_apt "$1" apt-cache show --no-all-versions "$2" 2>/dev/null | sed -n 's/^Version: //p'
}

# Whether suite $1 offers version $3 of package $2.
# grep reads all of apt-cache's output: with -q it would stop at the first
# match, and apt-cache, killed by SIGPIPE, would fail the pipeline.
offers() {
  private_apt "$1" apt-cache show "$2" 2>/dev/null | grep -xF "Version: $3" >/dev/null
}

# Whether suite $1's mirror serves the JDK at version $2: a mirror may carry
# an architecture's index but not its pool (trixie's s390x here, once), and a
# version resolved from such an index could never be fetched. Without python3
# it counts as served, and the download tells.
served() {
  local uri
  uri=$(private_apt "$1" apt-get download --print-uris "openjdk-$version-jdk-headless=$2" 2>/dev/null |
    sed -n "1s/^'\([^']*\)'.*/\1/p")
  if [[ -z $uri ]] || ! command -v python3 >/dev/null; then return 0; fi
  "$scripts/url-served.py" "$uri"
}

# Downloads the JDK and what it needs from suite $1 into $dir/debs; sets
# patch when a native JDK needs libraries newer than the host's. The JRE's
# further dependencies serve AWT, sound, smart cards, TLS and the certificate
# store, which no test uses; the libraries that the launcher, the JVM and the
# core libraries link come along, for a native JDK only when the host's are older
# than the suite's (then all four: the host's libstdc++ must not meet a newer
# glibc). A file missing on the mirror is not worth a retry; anything else
# (a dropped connection, a file of the wrong size) is.
download() {
  local suite=$1 packages=("openjdk-$version-jdk-headless=$2" "openjdk-$version-jre-headless=$2") library attempt log
  local refreshed=0
  local libraries=(libc6 libgcc-s1 libstdc++6 zlib1g)
  patch=0
  if [[ -n $qemu ]]; then
    packages+=("${libraries[@]}")
  else
    for library in "${libraries[@]}"; do
      if ! dpkg --compare-versions "$(candidate_version "$suite" "$library")" le \
        "$(dpkg-query -W -f='${Version}' "$library" 2>/dev/null || echo 0)"; then
        packages+=("${libraries[@]}")
        patch=1
        break
      fi
    done
  fi
  rm -rf "$dir"
  mkdir -p "$dir/debs"
  echo "jdk.sh: fetching ${packages[*]} for $deb from $suite into $dir" >&2
  for attempt in 1 2 3; do
    if log=$(cd "$dir/debs" && private_apt "$suite" apt-get download "${packages[@]}" 2>&1); then
      return 0
    fi
    echo "$log" >&2
    if grep -qE '^E: Failed to fetch .* 404 ' <<<"$log"; then
      # The mirror moved on since the index was fetched: fetch it again, once.
      ((!refreshed)) || break
      refreshed=1
      echo "jdk.sh: a package of $suite is gone from the mirror; fetching the index again" >&2
      update "$suite" || return 1
      offers "$suite" "openjdk-$version-jdk-headless" "$2" || {
        reason="$suite no longer offers openjdk-$version-jdk-headless $2"
        return 1
      }
      continue
    fi
    ((attempt < 3)) || break
    sleep $((attempt * 10))
  done
  reason="the packages of $suite for $deb could not be fetched: $(grep -m1 '^E:' <<<"$log")"
  return 1
}

# The oldest suite that has the JDK (at the pinned version) and whose mirror
# serves it.
suite="" reasons=()
for candidate in "${suites[@]}"; do
  echo "jdk.sh: looking for openjdk-$version-jdk-headless:$deb${pin:+ $pin} in $candidate" >&2
  lock_state "$candidate"
  found=""
  if ! update "$candidate"; then
    reasons+=("$reason")
  elif ! found=$(candidate_version "$candidate" "openjdk-$version-jdk-headless") || [[ -z $found ]] ||
    [[ -z $(candidate_version "$candidate" "openjdk-$version-jre-headless") ]]; then
    reasons+=("$candidate has no openjdk-$version-jdk-headless for $deb")
  elif [[ -n $pin ]] && ! offers "$candidate" "openjdk-$version-jdk-headless" "$pin"; then
    reasons+=("$candidate has openjdk-$version-jdk-headless $found for $deb, not $pin")
  elif ((resolve)) && ! served "$candidate" "$found"; then
    reasons+=("$candidate's mirror does not serve openjdk-$version-jdk-headless $found for $deb")
  elif ((resolve)); then
    echo "$found"
    exit 0
  elif ! download "$candidate" "${pin:-$found}"; then
    reasons+=("$reason")
  else
    suite=$candidate
    unlock_state
    break
  fi
  unlock_state
  echo "jdk.sh: ${reasons[-1]}" >&2
done
if [[ -z $suite ]]; then
  reason=$(printf '%s; ' "${reasons[@]}")
  fail "${reason%; }"
fi
if [[ -n $qemu ]]; then
  "$scripts/deps.sh" --only qemu-user-static >&2
elif ((patch)); then
  "$scripts/deps.sh" --only patchelf binutils >&2
fi

mkdir -p "$root"
# jlink's modules are a third of the JDK's size and serve no test.
for package in "$dir"/debs/*.deb; do
  dpkg-deb --fsys-tarfile "$package" | tar -x -C "$root" --exclude='./usr/lib/jvm/*/jmods/*'
done
rm -rf "$dir/debs"
[[ -d $home ]] || fail "the packages have no $home"

# A merged /usr release ships its loader only under usr/; the ELF files name it
# under /lib.
for d in lib lib64; do
  if [[ -d $root/usr/$d && ! -e $root/$d ]]; then ln -s "usr/$d" "$root/$d"; fi
done
# Absolute links (jvm.cfg into /etc, the loader's own) point into the root,
# not at the host's files.
while IFS= read -r link; do
  ln -sfn "$(realpath -m --relative-to="$(dirname "$link")" "$root$(readlink "$link")")" "$link"
done < <(find "$root" -type l -lname '/*')

# patchelf (0.14) moves .note.gnu.property when it makes room but leaves
# PT_GNU_PROPERTY where the note was: arm64 kernels and qemu then refuse the
# program ("Invalid note in PT_GNU_PROPERTY"). Points that header (ELF64,
# little-endian) at the note again.
fix_gnu_property() {
  local elf=$1 note off addr phoff index
  note=$(readelf -SW "$elf" | awk '{ for (i = 1; i < NF; i++) if ($i == ".note.gnu.property") print $(i + 3), $(i + 2) }')
  [[ -n $note ]] || return 0
  read -r off addr <<<"$note"
  phoff=$(readelf -hW "$elf" | sed -n 's/^ *Start of program headers: *\([0-9]*\).*/\1/p')
  index=$(readelf -lW "$elf" | awk '/^Program Headers:/ { on = 1; next } on && /^ *Type/ { next } on && NF == 0 { exit }
    on && /^ +[A-Z]/ { if ($1 == "GNU_PROPERTY") { print n; exit } n++ }')
  [[ -n $index ]] || return 0
  le64() { local i; for i in 0 1 2 3 4 5 6 7; do printf '%b' "$(printf '\\x%02x' $((($1 >> (8 * i)) & 255)))"; done; }
  { le64 $((16#$off)); le64 $((16#$addr)); le64 $((16#$addr)); } |
    dd of="$elf" bs=1 seek=$((phoff + index * 56 + 8)) conv=notrunc status=none
}

elf_files() { find "$home" -type f -exec sh -c 'head -c4 "$1" | grep -q "^.ELF"' _ {} \; -print; }
if [[ -n $qemu ]]; then
  # A link (JDK 8's bin/java to jre/bin/java) reaches a wrapped file.
  for exe in "$home"/bin/* "$home"/lib/jspawnhelper "$home"/lib/jexec "$home"/jre/bin/* "$home"/jre/lib/jexec; do
    [[ -f $exe && ! -L $exe ]] || continue
    mv "$exe" "$exe.elf"
    printf '#!/bin/sh\nexec qemu-%s-static -L "%s" "%s.elf" "$@"\n' "$qemu" "$root" "$exe" >"$exe"
    chmod 755 "$exe"
  done
elif ((patch)); then
  # DT_RPATH, unlike DT_RUNPATH, is searched before LD_LIBRARY_PATH and the
  # host's ld.so.cache, and an executable's serves the libraries it loads
  # that have none of their own, so the root's libraries always win.
  dirs=()
  for d in lib lib64 usr/lib; do
    if [[ -d $root/$d ]]; then dirs+=("$root/$d"); fi
  done
  loader=$(realpath "$(find -L "${dirs[@]}" -maxdepth 2 -name "$loader" -print -quit)")
  libdirs=$(for d in "$root/lib/$triplet" "$root/usr/lib/$triplet"; do realpath -qe "$d" || true; done | sort -u | paste -sd:)
  echo "jdk.sh: running the JDK on the glibc $(candidate_version "$suite" libc6) in $root" >&2
  while IFS= read -r elf; do
    rpath=$(patchelf --print-rpath "$elf")
    patchelf --force-rpath --set-rpath "${rpath:+$rpath:}$libdirs" "$elf"
    if patchelf --print-interpreter "$elf" >/dev/null 2>&1; then
      patchelf --set-interpreter "$loader" "$elf"
    fi
    fix_gnu_property "$elf"
  done < <(elf_files)
fi

"$home/bin/java" -version >&2 || fail "$home/bin/java -version failed"
printf '%s\n%s\n' "$home" "${pin:-$found}" >"$dir/ready"
echo "$home"
