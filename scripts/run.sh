#!/usr/bin/env bash
# Installs what is missing, builds the release preset and starts the explorer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default
cmake --build --preset default
if [ -x build/default/apps/explorer/mandel-explorer ]; then
  exec build/default/apps/explorer/mandel-explorer "$@"
fi
# Until the window is built, draw the start-up picture headless.
exec build/default/apps/mandel-render --out mandel.bmp "$@"
