#!/usr/bin/env bash
# Renders the first two pages of the rifle sample's analysis report as the README's pictures:
#   tools/report-pictures.sh [OUTPUT_DIR]   (default docs/screenshots; needs build/orvek-cli)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$here/docs/screenshots}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$here/data/samples/RIFLE160.ORV" "$work/"
"$here/build/orvek-cli" report "$work/RIFLE160.ORV" --data "$here/data" -o "$work/report.pdf" \
  >/dev/null 2>&1
pdftoppm -png -r 60 -f 1 -l 2 "$work/report.pdf" "$work/page"
cp "$work/page-1.png" "$out/08-report-page1.png"
cp "$work/page-2.png" "$out/09-report-page2.png"
