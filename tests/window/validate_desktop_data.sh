#!/usr/bin/env bash
# Validates the launcher entry and the AppStream metadata; exit 77 (skipped)
# when neither validator is installed.
set -euo pipefail
data=$1
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
