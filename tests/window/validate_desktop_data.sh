#!/usr/bin/env bash
# Validates the launcher entry and the AppStream metadata; exit 77 (skipped)
# when neither validator is installed. The newest release in the metadata is
# the project's version, and each screenshot is a picture kept in
# data/screenshots, of the size the metadata gives.
# Usage: validate_desktop_data.sh DATA_DIR PROJECT_VERSION
set -euo pipefail
data=$1
version=$2
metainfo=$(echo "$data"/*.metainfo.xml)
newest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n1 | cut -d'"' -f2)
if [ "$newest" != "$version" ]; then
  echo "the newest release in $metainfo is '$newest', the project's version is $version"
  exit 1
fi
# A PNG's width and height, big-endian, at bytes 16 to 23.
pngSize() { od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'; }
shots=$(grep -o '<image type="source" width="[0-9]*" height="[0-9]*">[^<]*' "$metainfo" \
  | sed -E 's/.*width="([0-9]+)" height="([0-9]+)">.*\/([^/]+)$/\1x\2 \3/')
[ -n "$shots" ] || { echo "$metainfo has no screenshot"; exit 1; }
while read -r size name; do
  picture=$data/screenshots/$name
  if [ ! -f "$picture" ] || [ "$(pngSize "$picture")" != "$size" ]; then
    echo "screenshot $name: no $size PNG at $picture"
    exit 1
  fi
done <<<"$shots"
ran=0
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$data"/*.desktop
  ran=1
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net --pedantic "$data"/*.metainfo.xml
  ran=1
fi
if command -v xmllint >/dev/null; then
  xmllint --noout "$data"/*.svg
fi
if [ "$ran" -eq 0 ]; then
  echo "neither desktop-file-validate nor appstreamcli is installed: skipped"
  exit 77
fi
