#!/usr/bin/env bash
# Redraws the AppStream screenshots in data/screenshots with mandel-render,
# from the build in build/default (or the folder given). The pictures are
# published under https://mandelexplorer.org/screenshots/ with the same names.
# The README's small deep examples go to docs/.
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
p44=-0.00000000000000005080655206364047861695457499256407823361646978964504433388298
p44=$p44,1.000000000000000632720065388414143680992769992608350212556972
p137=0.0000000000000000000000000000000000000000000000000014197175377848470420287711699649563681341117842822753516857583987519239876780441245465243079894290937015833365736433011419190414372
p137=$p137,1.0000000000000000000000000000000000000000000000000041552319172640952117103458054320568475272379631107013721091936791747732174127549
examples=(
  "deep-distance|--centre $p44 --zoom 30 --palette ice --density 12 --shading distance --samples 2 --size 256x256"
  "deep-slopes|--centre $p137 --zoom 99 --palette fire --density 30 --shading slopes --samples 2 --size 256x256"
)
for shot in "${examples[@]}"; do
  IFS='|' read -r name options <<<"$shot"
  # shellcheck disable=SC2086
  "$render" $options --out "$scratch/$name.png" >/dev/null
  mv "$scratch/$name.png" "docs/$name.png"
done
