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
)
for shot in "${shots[@]}"; do
  IFS='|' read -r name options <<<"$shot"
  # shellcheck disable=SC2086
  "$render" $options --out "$scratch/$name.bmp" >/dev/null
  convert "$scratch/$name.bmp" -strip -define png:compression-level=9 "data/screenshots/$name.png"
done
