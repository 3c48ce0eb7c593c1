#!/usr/bin/env bash
# arm64-root.sh [--root DIR] [CELL...]
# arm64-root.sh --teardown [--root DIR]
#
# Runs the matrix workflow's arm job on this x86-64 machine, as root, as if
# on an aarch64 runner: registers qemu-aarch64-static with binfmt_misc for
# aarch64 programs (the F flag: the kernel keeps the interpreter open, so it
# serves inside a chroot too), makes a Debian 12 arm64 root with debootstrap
# from the archive this machine's apt uses (DIR, default build/arm64-root),
# clones the checkout's HEAD into it, and there runs the job's own command,
# `scripts/ci-matrix.sh run 3 arm CELL`, for each cell (default: the load
# check and the group under G1 on Debian's arm64 JDK 17, which the job
# installs, aarch64-jdk17-load and aarch64-jdk17-G1-default). A cell on
# another JDK gets Debian's arm64 one (scripts/jdk.sh in the root, native
# there) in the variable that actions/setup-java sets on the runner
# (JAVA_HOME_21_ARM64, ...). Every program in the root, the compiler and the
# JVMs included, runs emulated: expect an hour.
#
# Opt-in and not part of CI: it changes the machine's binfmt table.
# --teardown unmounts what the script mounted and unregisters the handler if
# the script registered it; the root stays (rm -rf DIR removes it).
set -euo pipefail
cd "$(dirname "$0")/.."
usage() { awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0" >&2; exit 2; }
root=build/arm64-root teardown=0 cells=()
while (($#)); do
  case $1 in
    --root) (($# >= 2)) || usage; root=$2; shift 2 ;;
    --teardown) teardown=1; shift ;;
    -*) usage ;;
    *) cells+=("$1"); shift ;;
  esac
done
((${#cells[@]})) || cells=(aarch64-jdk17-load aarch64-jdk17-G1-default)
[[ $(id -u) -eq 0 ]] || { echo "arm64-root: run as root (it mounts and registers binfmt_misc)" >&2; exit 1; }
mkdir -p "$root"
root=$(cd "$root" && pwd)
state=$root.state # what this script set up, for --teardown
binfmt=/proc/sys/fs/binfmt_misc

if ((teardown)); then
  for m in work/zol dev/pts dev sys proc; do
    if mountpoint -q "$root/$m"; then umount "$root/$m"; fi
  done
  if grep -qx registered "$state" 2>/dev/null && [[ -e $binfmt/qemu-aarch64 ]]; then
    update-binfmts --disable qemu-aarch64
  fi
  if grep -qx mounted "$state" 2>/dev/null && mountpoint -q "$binfmt"; then umount "$binfmt"; fi
  rm -f "$state"
  echo "arm64-root: torn down (the root stays in $root)"
  exit 0
fi

scripts/deps.sh --only debootstrap qemu-user-static binfmt-support git
if ! mountpoint -q "$binfmt"; then
  mount -t binfmt_misc binfmt_misc "$binfmt"
  echo mounted >>"$state"
fi
if [[ ! -e $binfmt/qemu-aarch64 ]]; then
  update-binfmts --enable qemu-aarch64
  echo registered >>"$state"
fi
grep -q '^flags:.*F' "$binfmt/qemu-aarch64" ||
  { echo "arm64-root: the aarch64 handler lacks the F flag: it cannot serve inside the root" >&2; exit 1; }

if [[ ! -f $root/.ready ]]; then
  read -r archive _ < <(scripts/debian-archive.sh)
  archive=${ZOL_DEBIAN_ARCHIVE:-$archive}
  echo "arm64-root: debootstrap bookworm arm64 from $archive into $root"
  debootstrap --arch=arm64 --variant=minbase --include=ca-certificates,python3,git bookworm "$root" "$archive"
  touch "$root/.ready"
fi
cp /etc/resolv.conf "$root/etc/resolv.conf"
mountpoint -q "$root/proc" || mount -t proc proc "$root/proc"
for m in sys dev dev/pts; do
  mountpoint -q "$root/$m" || mount --bind "/$m" "$root/$m"
done

# The job's checkout: HEAD of this one, its build/ (the root's own) kept
# from run to run.
checkout=$root/work/zol
if [[ ! -d $checkout/.git ]]; then git clone --quiet --no-checkout "$PWD" "$checkout"; fi
git -C "$checkout" fetch --quiet "$PWD" HEAD
git -C "$checkout" checkout --quiet --force --detach FETCH_HEAD
echo "arm64-root: checkout at $(git -C "$checkout" rev-parse HEAD); $(chroot "$root" uname -m) in the root"

status=0
for cell in "${cells[@]}"; do
  echo "arm64-root: scripts/ci-matrix.sh run 3 arm $cell"
  # shellcheck disable=SC2016 # expanded in the root
  if ! chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 CELL="$cell" bash -c '
    set -euo pipefail
    cd /work/zol
    major=${CELL#aarch64-jdk} major=${major%%-*}
    if [[ $major != 17 ]]; then
      home=$(scripts/jdk.sh "$major")
      export "JAVA_HOME_${major}_ARM64=$home"
    fi
    scripts/ci-matrix.sh run 3 arm "$CELL"'; then
    status=1
  fi
done
echo "arm64-root: results in $checkout/build/matrix; scripts/arm64-root.sh --teardown undoes the mounts"
exit $status
