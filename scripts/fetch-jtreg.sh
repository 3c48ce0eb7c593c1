#!/usr/bin/env bash
# fetch-jtreg.sh DIR: fetches jtreg for a machine without Debian's jtreg7
# package (the macOS and Windows jobs): that very package, pinned by its
# version and the SHA-256 of Debian's package index, from $JTREG_URL. Its
# jars (jtreg, JT Harness, JUnit, TestNG, asmtools, ...) all sit in
# usr/share/jtreg, which becomes DIR (DIR/lib/jtreg.jar), run with
# `java -jar DIR/lib/jtreg.jar`. Fails, printing the fetched file's hash, when
# the hash differs.
set -euo pipefail
dir=$1
: "${JTREG_URL:?set JTREG_URL}" "${JTREG_SHA256:?set JTREG_SHA256}"
tmp=$(mktemp -d)
curl -fsSL --retry 3 -o "$tmp/jtreg.deb" "$JTREG_URL"
if command -v sha256sum >/dev/null; then
  have=$(sha256sum "$tmp/jtreg.deb" | cut -d' ' -f1)
else
  have=$(shasum -a 256 "$tmp/jtreg.deb" | cut -d' ' -f1)
fi
if [[ $have != "$JTREG_SHA256" ]]; then
  echo "fetch-jtreg.sh: $JTREG_URL has SHA-256 $have, not $JTREG_SHA256" >&2
  exit 1
fi
# A .deb is an ar archive holding data.tar.<compression>.
(cd "$tmp" && ar x jtreg.deb && mkdir root && tar -xf data.tar.* -C root ./usr/share/jtreg)
rm -rf "$dir"
mkdir -p "$(dirname "$dir")"
mv "$tmp/root/usr/share/jtreg" "$dir"
rm -rf "$tmp"
[[ -f $dir/lib/jtreg.jar ]] || { echo "fetch-jtreg.sh: no lib/jtreg.jar in $JTREG_URL" >&2; exit 1; }
echo "jtreg: $dir ($have)"
