#!/usr/bin/env bash
# debian-archive.sh: prints the URI of the Debian archive this machine's apt
# sources use for its own release, and the keyring that source names (if
# any), separated by a blank: the URI (and key) of the apt source that
# carries the host's own release, in one-line or deb822 form.
set -euo pipefail
codename=$(sed -n 's/^VERSION_CODENAME=//p' /etc/os-release)
sources=()
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  if [[ -f $f ]]; then sources+=("$f"); fi
done
awk -v codename="$codename" '
  function take(uri, key) { if (!found) { print uri, key; found = 1 } }
  /^deb[ \t]/ {
    key = ""; i = 2
    if ($2 ~ /^\[/) {
      for (; i <= NF; i++) {
        if ($i ~ /^\[?signed-by=/) { key = $i; sub(/^\[?signed-by=/, "", key); sub(/\]$/, "", key) }
        if ($i ~ /\]$/) break
      }
      i++
    }
    if ($(i + 1) == codename) take($i, key)
    next
  }
  /^[ \t]*$/ { if (deb && suite) take(uri, key); deb = suite = 0; uri = key = ""; next }
  /^Types:/ { deb = / deb( |$)/ }
  /^URIs:/ { uri = $2 }
  /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == codename) suite = 1 }
  /^Signed-By:/ { if ($2 ~ /^\//) key = $2 }
  END { if (deb && suite) take(uri, key) }' "${sources[@]}" /dev/null
