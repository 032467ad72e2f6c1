#!/usr/bin/env bash
# Installs what is missing, builds the release preset and starts the explorer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default
cmake --build --preset default
exec build/default/apps/explorer/mandel-explorer "$@"
