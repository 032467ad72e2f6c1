#!/usr/bin/env bash
# A user's session with locations, on the real programs under a virtual X
# server: zoom five times, undo twice, redo once, copy the location (to the
# clipboard and the X primary selection). Then mandel-render --location must
# draw exactly the picture on screen (as the window saves it), and a fresh
# mandel-explorer must show it too, both when the location is pasted with
# Ctrl+V and when it is given with --location.
# Usage: locations_end_to_end.sh MANDEL_EXPLORER MANDEL_RENDER
# Exit 77 (skipped) when xvfb-run, xdotool, xwd or xclip is missing.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=end_to_end_common.sh
source "$(dirname "$0")/end_to_end_common.sh"
render=$3

start first --seed 5
first_zoom 186 300
for at in "300 250" "420 130" "100 500" "310 290"; do
  # shellcheck disable=SC2086
  press_picture $at
  settled first
done
for keys in ctrl+z ctrl+z ctrl+shift+z; do
  key "$keys"
  settled first
done
location=$(copied_location)
# The X primary selection too, for a middle click into a terminal.
[ "$(xclip -o -selection primary 2>/dev/null || true)" = "$location" ] ||
  fail "Copy location left something else in the X primary selection"
clicks=$(sed -n 's/.* clicks=\([^ ]*\).*/\1/p' <<<"$location")
[ "$clicks" = "$x,$y/300,250/420,130/100,500" ] || fail "five zooms, two undos and a redo left clicks=$clicks"
shown=$(save ctrl+s)

"$render" --location "$location" --out "$work/rendered.bmp" >/dev/null || fail "mandel-render --location failed"
cmp -s "$shown" "$work/rendered.bmp" || fail "mandel-render --location drew another picture than the window shows"

start pasted --seed 9
key ctrl+v
settled pasted
cmp -s "$shown" "$(save ctrl+s)" || fail "pasting the location into a fresh explorer did not show its picture"
start opened --seed 11 --location "$location"
cmp -s "$shown" "$(save ctrl+s)" || fail "mandel-explorer --location did not open at its picture"

# Open picture on a FIFO nobody writes to: refused at once, without
# waiting for a writer; the window answers its keys within the deadline
# copied_location keeps (5 s).
mkfifo "$work/nobody-writes.png"
key ctrl+o
dialog=""
for _ in $(seq 1 50); do
  dialog=$(xdotool search --all --onlyvisible --pid "$pid" --name '^Open picture$' 2>/dev/null | head -n 1 || true)
  [ -n "$dialog" ] && break
  sleep 0.1
done
[ -n "$dialog" ] || fail "Ctrl+O showed no Open picture dialog"
# Bounded: --sync waits for the focus to arrive, and a window can be slow to take it.
timeout 5 xdotool windowfocus --sync "$dialog" 2>/dev/null || true
xdotool type --delay 5 "$work/nobody-writes.png"
xdotool key Return
[ "$(copied_location)" = "$location" ] || fail "after opening a FIFO the window shows another view"

for p in "${pids[@]}"; do
  kill -0 "$p" 2>/dev/null || fail "an explorer ended early"
done
for win in "${windows[@]}"; do
  key ctrl+q
done
all_end
echo "locations end to end: undo, redo, copy, mandel-render --location, paste and --location agree; a FIFO opened is refused at once"
