#!/usr/bin/env bash
# Installs what is missing, builds the window (only the `orvek` target) and opens ORVEK. It starts
# in the current folder when that holds "Man.Fig", else in the per-user data folder (a copy of
# data/ made on first use), so the checkout is never written. ./run.sh FILE.ORV opens that waveform.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
"$here/tools/setup.sh" --target orvek
args=()
if [ $# -gt 0 ]; then args=("$(realpath "$1")"); fi
exec "$here/build/orvek" "${args[@]}"
