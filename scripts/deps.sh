#!/usr/bin/env bash
# deps.sh [--build | --only] [PACKAGE...]
# Makes sure the Debian packages that a script needs are installed (or
# provided by an installed package): installs the missing ones when run as
# root, otherwise names the command to run and fails.
#   (no option)  what building, testing and linting need (under CI=true also
#                npm, for the workflows' linters), and the packages given
#   --build      what building and the JVM tests need (the matrix), and the
#                packages given
#   --only       exactly the packages given: for scripts that use a few tools
#                and no build (jdk.sh, the lab's controller, the workflows' lint)
set -euo pipefail

build=(cmake ninja-build g++ binutils openjdk-17-jdk-headless libgtest-dev libgmock-dev jtreg7)
case ${1:-} in
  --only) packages=() && shift ;;
  --build) packages=("${build[@]}") && shift ;;
  *)
    packages=("${build[@]}" clang-format clang-tidy shellcheck)
    # CI lints the workflows too, with linters from npm.
    [[ ${CI:-} != true ]] || packages+=(npm)
    ;;
esac
packages+=("$@")

# Installed, or provided by an installed package (npm by a nodejs of another
# origin, which conflicts with Debian's npm).
provided=$(dpkg-query -W -f='${Status}\t${Provides}\n' 2>/dev/null |
  awk -F'\t' '$1 == "install ok installed" { n = split($2, p, /, */); for (i = 1; i <= n; i++) { sub(/ .*/, "", p[i]); print p[i] } }')
missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' &&
    ! grep -qxF "$package" <<<"$provided"; then
    missing+=("$package")
  fi
done
((${#missing[@]} == 0)) && exit 0

if [[ $(id -u) -ne 0 ]]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Run as root: apt-get update && apt-get install -y ${missing[*]}" >&2
  exit 1
fi
echo "Installing missing packages: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
