#!/usr/bin/env bash
# fetch-jtreg.sh DIR: fetches the jtreg build at $JTREG_URL (a zip whose top
# directory is jtreg/), checks it against $JTREG_SHA256 and unpacks it as DIR
# (DIR/lib/jtreg.jar). Fails, printing the fetched file's hash, when the
# expected hash is missing or differs. Used by the platforms workflow.
set -euo pipefail
dir=$1
: "${JTREG_URL:?set JTREG_URL}"
tmp=$(mktemp -d)
curl -fsSL --retry 3 -o "$tmp/jtreg.zip" "$JTREG_URL"
if command -v sha256sum >/dev/null; then
  have=$(sha256sum "$tmp/jtreg.zip" | cut -d' ' -f1)
else
  have=$(shasum -a 256 "$tmp/jtreg.zip" | cut -d' ' -f1)
fi
if [[ -z ${JTREG_SHA256:-} || $have != "$JTREG_SHA256" ]]; then
  echo "fetch-jtreg.sh: $JTREG_URL has SHA-256 $have; expected '${JTREG_SHA256:-}' (JTREG_SHA256 of the workflow)" >&2
  exit 1
fi
unzip -q "$tmp/jtreg.zip" -d "$tmp/unpacked"
rm -rf "$dir"
mkdir -p "$(dirname "$dir")"
mv "$tmp/unpacked/jtreg" "$dir"
rm -rf "$tmp"
[[ -f $dir/lib/jtreg.jar ]] || { echo "fetch-jtreg.sh: no lib/jtreg.jar in $JTREG_URL" >&2; exit 1; }
echo "jtreg: $dir ($have)"
