#!/usr/bin/env bash
# Starts the real explorer under a virtual X server, zooms with a click on the
# picture, goes back, and ends it with "exit", saving the picture at each
# step: the picture after "back" must equal the start-up picture and differ
# from the zoomed one, and the program must end with status 0. On the way,
# a wheel notch zooms about the pointer and a drag moves the picture (the
# copied location says where they went), and the status bar follows the
# pointer.
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

# The wheel over picture pixel (100, 200) of the full view: twice as close,
# that point (-4/3, 2/3) kept under the pointer, so the centre is (-2/3, 1/3).
wheel_picture 100 200 4
settled wheel
wheeled=$(copied_location)
[ "$(field_of zoom "$wheeled")" = 0.3010299956639812 ] || fail "a wheel notch did not zoom 2x: $wheeled"
centre=$(field_of centre "$wheeled")
near "${centre%,*}" -0.6666667 1e-6 && near "${centre#*,}" 0.3333333 1e-6 ||
  fail "the wheel did not keep the point under the pointer: $wheeled"

# A drag by (40, 10) pixels of 1/300: the picture follows the pointer.
drag_picture 300 300 340 310
settled drag
dragged=$(copied_location)
centre=$(field_of centre "$dragged")
near "${centre%,*}" -0.8 1e-6 && near "${centre#*,}" 0.3666667 1e-6 || fail "the drag did not pan: $dragged"

# The status bar's pointer field changes as the pointer moves over the
# picture, and nothing else does.
point_picture 10 10
sleep 0.5
xwd -id "$win" -silent >"$work/pointer-a.xwd"
point_picture 500 500
sleep 0.5
xwd -id "$win" -silent >"$work/pointer-b.xwd"
cmp -s "$work/pointer-a.xwd" "$work/pointer-b.xwd" && fail "the status bar did not follow the pointer"
# Undo twice: back at the classic full view, the picture as at start-up.
key ctrl+z
key ctrl+z
settled undo
undone=$(save)
cmp -s "$first" "$undone" || fail "undoing the wheel and the drag did not bring the classic view back"
click_at $((600 + 24)) $((16 + 8))             # exit
all_end
echo "end to end: zoom, back, wheel, drag, status bar and exit worked"
