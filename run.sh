#!/usr/bin/env bash
# Installs what is missing, builds the window (only the `orvek` target) and opens ORVEK in the
# bundled data folder. ./run.sh FILE.ORV opens that waveform.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
"$here/tools/setup.sh" --target orvek
args=()
if [ $# -gt 0 ]; then args=("$(realpath "$1")"); fi
cd "$here/data"
exec "$here/build/orvek" "${args[@]}"
