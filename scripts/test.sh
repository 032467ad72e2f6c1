#!/usr/bin/env bash
# Configures with warnings as errors, builds everything and runs every test,
# then builds the Debian package of that build and checks what is in it.
# Last, the engine, snapshot and command-line tests run again in a build with
# AddressSanitizer, UndefinedBehaviorSanitizer and the C++ library's bounds
# checks, which see memory faults a release build passes over.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset ci
cmake --build --preset ci
ctest --preset ci --output-on-failure
bash scripts/package-check.sh build/ci
cmake --preset sanitize
cmake --build --preset sanitize
ctest --preset sanitize -j "$(nproc)"
