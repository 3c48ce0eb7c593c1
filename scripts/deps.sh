#!/usr/bin/env bash
# deps.sh [--build | --only] [PACKAGE...]
# Makes sure the Debian packages that a script needs are installed: installs
# the missing ones when run as root, otherwise names the command to run and
# fails. Without an option: the packages that building, testing and linting
# need, and those given (gcovr, clang, ...); --build: those that building and
# the JVM tests need (the matrix), and those given; --only: exactly those
# given, for scripts that use a few tools and no build (jdk.sh, the lab's
# controller, the workflows' lint).
set -euo pipefail

build=(cmake ninja-build g++ binutils openjdk-17-jdk-headless libgtest-dev libgmock-dev jtreg7)
case ${1:-} in
  --only) packages=() && shift ;;
  --build) packages=("${build[@]}") && shift ;;
  *) packages=("${build[@]}" clang-format clang-tidy shellcheck) ;;
esac
packages+=("$@")

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
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
