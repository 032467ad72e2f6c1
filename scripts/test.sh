#!/usr/bin/env bash
# Configures with warnings as errors, builds everything and runs every test,
# then builds the Debian package of that build and checks what is in it.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset ci
cmake --build --preset ci
ctest --preset ci --output-on-failure
bash scripts/package-check.sh build/ci
