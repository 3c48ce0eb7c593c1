#!/usr/bin/env bash
# Makes sure the Debian packages that building and testing need are
# installed: installs the missing ones when run as root, otherwise names the
# command to run and fails.
set -euo pipefail

# Further packages a script needs come as arguments (gcovr, clang, ...).
packages=(cmake ninja-build g++ binutils openjdk-17-jdk-headless libgtest-dev libgmock-dev jtreg7 clang-format clang-tidy
  shellcheck "$@")

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
