#!/usr/bin/env bash
# Redraws the AppStream screenshots in data/screenshots with mandel-render,
# from the build in build/default (or the folder given). The pictures are
# published under https://mandelexplorer.org/screenshots/ with the same names.
set -euo pipefail
cd "$(dirname "$0")/.."
render=${1:-build/default}/apps/mandel-render
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# name | mandel-render options
shots=(
  "mandel-explorer-full-view|--seed 4"
  "mandel-explorer-zoomed|--seed 4 --click 300,200"
  "mandel-explorer-smooth|--palette classic --density 16 --click 188,283 --click 120,120 --samples 2"
  "mandel-explorer-distance|--palette classic --density 16 --click 188,283 --click 120,120 --samples 2 --shading distance"
  "mandel-explorer-slopes|--palette classic --density 16 --click 188,283 --click 120,120 --samples 2 --shading slopes"
)
for shot in "${shots[@]}"; do
  IFS='|' read -r name options <<<"$shot"
  # shellcheck disable=SC2086
  "$render" $options --out "$scratch/$name.png" >/dev/null
  mv "$scratch/$name.png" "data/screenshots/$name.png"
done
