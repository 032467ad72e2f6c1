#!/usr/bin/env bash
# Starts the real explorer under a virtual X server, zooms with a click on the
# picture, goes back, and ends it with "exit", saving the picture at each
# step: the picture after "back" must equal the start-up picture and differ
# from the zoomed one, and the program must end with status 0. On the way,
# a wheel notch zooms about the pointer and a drag moves the picture (the
# copied location says where they went), the status bar follows the
# pointer, the picture grows with the window, and F11 shows it alone.
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

# Grown by xdotool, the window's picture fills it: a pixel right of where
# the 600-pixel picture ended is picture, not the client area's face (a
# pixel of the left margin), and the status line moved down under it.
opened=$(size_of "$win")
xdotool windowsize "$win" $((${opened%x*} + 200)) $((${opened#*x} + 120))
settled resize
face=$(pixel_of "$work/resize.xwd" $((left + 10)) $((top + 300)))
grown=$(pixel_of "$work/resize.xwd" $((left + 48 + 600 + 150)) $((top + 300)))
below=$(pixel_of "$work/resize.xwd" $((left + 300)) $((top + 48 + 600 + 80)))
[ "$grown" != "$face" ] || fail "the picture did not grow with the window ($grown)"
[ "$below" != "$face" ] || fail "the picture did not grow downwards with the window ($below)"
# F11: the picture alone on the whole 1280 x 1024 screen, from its corner;
# Esc: the window as it was.
key F11
settled full-screen
[ "$(size_of "$win")" = 1280x1024 ] || fail "F11 did not cover the screen: $(size_of "$win")"
corner=$(pixel_of "$work/full-screen.xwd" 20 20)
[ "$corner" != "$face" ] || fail "F11 did not show the picture alone"
key Escape
settled windowed
[ "$(size_of "$win")" = "$((${opened%x*} + 200))x$((${opened#*x} + 120))" ] ||
  fail "Esc did not bring the window back: $(size_of "$win")"
click_at $((600 + 24)) $((16 + 8))             # exit
all_end
echo "end to end: zoom, back, wheel, drag, status bar, resize, full screen and exit worked"
