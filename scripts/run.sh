#!/usr/bin/env bash
# Installs what is missing, builds and starts the analyzer. Arguments go to the analyzer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
exec "${SPECTRINO_BUILD_DIR:-$root/build}/bin/spectrino" "$@"
