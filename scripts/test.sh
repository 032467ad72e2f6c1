#!/usr/bin/env bash
# Configures with warnings as errors, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset ci
cmake --build --preset ci
ctest --preset ci --output-on-failure
