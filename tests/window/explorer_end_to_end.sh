#!/usr/bin/env bash
# Starts the real explorer under a virtual X server, zooms with a click on the
# picture, goes back, and ends it with "exit", saving the picture at each
# step: the picture after "back" must equal the start-up picture and differ
# from the zoomed one, and the program must end with status 0.
# Exit 77 (skipped) when xvfb-run, xdotool, xwd or xclip is missing.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=end_to_end_common.sh
source "$(dirname "$0")/end_to_end_common.sh"

start explorer --seed 3
first=$(save ctrl+s)
first_zoom 186 300
zoomed=$(save)
click_at $((432 + 24)) $((16 + 8))             # back
settled back
back=$(save)
cmp -s "$first" "$zoomed" && fail "the click on the picture changed nothing"
cmp -s "$first" "$back" || fail "back did not bring the start-up picture back"
click_at $((600 + 24)) $((16 + 8))             # exit
all_end
echo "end to end: zoom, back and exit worked"
