#!/usr/bin/env bash
# Takes the README's screenshots of the real window under a virtual X server:
#   tools/screenshots.sh [OUTPUT_DIR]   (default docs/screenshots)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$here/docs/screenshots}"
"$here/tools/setup.sh"
if ! command -v xvfb-run >/dev/null || ! command -v xauth >/dev/null; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends xvfb xauth
fi
cmake --build "$here/build" --target orvek-screenshots
# The xcb platform under Xvfb draws menus and fonts as a desktop does.
xvfb-run -a -s "-screen 0 1400x1000x24" "$here/build/tools/orvek-screenshots" "$here/data" "$out"
# The report pages, rendered from the PDF the command line writes.
"$here/tools/report-pictures.sh" "$out"
