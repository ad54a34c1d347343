#!/usr/bin/env bash
# Installs what is missing, builds, and opens ORVEK in the bundled data folder.
# ./run.sh FILE.ORV opens that waveform.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
"$here/tools/setup.sh"
args=()
if [ $# -gt 0 ]; then args=("$(realpath "$1")"); fi
cd "$here/data"
exec "$here/build/orvek" "${args[@]}"
