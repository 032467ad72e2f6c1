#!/usr/bin/env bash
# A user's session with locations, on the real programs under a virtual X
# server: zoom five times, undo twice, redo once, copy the location. Then
# mandel-render --location must draw exactly the picture on screen (as the
# window saves it), and a fresh mandel-explorer must show it too, both when
# the location is pasted with Ctrl+V and when it is given with --location.
# Usage: locations_end_to_end.sh MANDEL_EXPLORER MANDEL_RENDER
# Exit 77 (skipped) when xvfb-run, xdotool, xwd or xclip is missing.
set -euo pipefail

if [ "${1:-}" != "--inside" ]; then
  for tool in xvfb-run xdotool xwd xclip; do
    if ! command -v "$tool" >/dev/null; then
      echo "$tool is not installed: skipped"
      exit 77
    fi
  done
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" --inside "$@"
fi
explorer=$2
render=$3
work=$(mktemp -d)
pids=()
windows=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
mkdir -p "$HOME"
saved=$HOME/Pictures/tivek-art

fail() {
  echo "FAIL: $*"
  for log in "$work"/*.log; do echo "--- $log"; cat "$log"; done
  exit 1
}

# Starts an explorer with the options given; sets pid and win.
start() {
  local name=$1
  shift
  "$explorer" "$@" >"$work/$name.log" 2>&1 &
  pid=$!
  pids+=("$pid")
  win=""
  for _ in $(seq 1 100); do
    win=$(xdotool search --all --pid "$pid" --name '^Form1$' 2>/dev/null | head -n 1 || true)
    [ -n "$win" ] && break
    sleep 0.1
  done
  [ -n "$win" ] || fail "no window of $name appeared"
  for other in "${windows[@]}"; do
    [ "$other" != "$win" ] || fail "$name was given the window of an explorer before it"
  done
  windows+=("$win")
  settled "$name"
}

# Waits until the window stops changing, i.e. its picture is finished.
settled() {
  local name=$1 previous=""
  for _ in $(seq 1 100); do
    sleep 0.3
    xwd -id "$win" -silent >"$work/$name.xwd"
    if [ -n "$previous" ] && cmp -s "$work/$name.xwd" "$previous"; then
      return 0
    fi
    cp "$work/$name.xwd" "$work/$name.prev"
    previous="$work/$name.prev"
  done
  fail "the window kept changing ($name)"
}

left=0 top=0  # the client area's corner in the window, once known

press_picture() {  # a press on picture pixel (X, Y)
  xdotool mousemove --window "$win" $((left + 48 + 2 + $1)) $((top + 48 + 2 + $2)) click 1
}

key() {  # real key events to the window, focused first (no window manager here)
  xdotool windowfocus --sync "$win" 2>/dev/null || true
  xdotool key "$@"
}

copied_location() {
  printf '' | xclip -selection clipboard
  key ctrl+c
  for _ in $(seq 1 50); do
    text=$(xclip -o -selection clipboard 2>/dev/null || true)
    if [ -n "$text" ]; then
      echo "$text"
      return 0
    fi
    sleep 0.1
  done
  fail "Ctrl+C put no location on the clipboard"
}

# Saves with Ctrl+S and prints the path of the new picture.
save() {
  ls "$saved" >"$work/before" 2>/dev/null || : >"$work/before"
  key ctrl+s
  for _ in $(seq 1 100); do
    new=$(ls "$saved" 2>/dev/null | grep -vxF -f "$work/before" || true)
    if [ -n "$new" ]; then
      echo "$saved/$new"
      return 0
    fi
    sleep 0.1
  done
  fail "Ctrl+S wrote no picture into $saved"
}

start first --seed 5
# The menu bar's height depends on the font: where the first press landed,
# as its location tells, gives the client area's corner.
press_picture 186 300
settled first
clicked=$(sed -n 's/.* clicks=\([0-9]*\),\([0-9]*\)\( .*\)\{0,1\}$/\1 \2/p' <<<"$(copied_location)")
[ -n "$clicked" ] || fail "the first zoom left no click in the location"
read -r x y <<<"$clicked"
left=$((186 - x)) top=$((300 - y))

for at in "300 250" "420 130" "100 500" "310 290"; do
  # shellcheck disable=SC2086
  press_picture $at
  settled first
done
key ctrl+z
settled first
key ctrl+z
settled first
key ctrl+shift+z
settled first
location=$(copied_location)
clicks=$(sed -n 's/.* clicks=\([^ ]*\).*/\1/p' <<<"$location")
[ "$clicks" = "$x,$y/300,250/420,130/100,500" ] || fail "five zooms, two undos and a redo left clicks=$clicks"
shown=$(save)

"$render" --location "$location" --out "$work/rendered.bmp" >/dev/null || fail "mandel-render --location failed"
cmp -s "$shown" "$work/rendered.bmp" || fail "mandel-render --location drew another picture than the window shows"

start pasted --seed 9
key ctrl+v
settled pasted
cmp -s "$shown" "$(save)" || fail "pasting the location into a fresh explorer did not show its picture"
start opened --seed 11 --location "$location"
cmp -s "$shown" "$(save)" || fail "mandel-explorer --location did not open at its picture"

for p in "${pids[@]}"; do
  kill -0 "$p" 2>/dev/null || fail "an explorer ended early"
done
for w in "${windows[@]}"; do
  win=$w
  key ctrl+q
done
for p in "${pids[@]}"; do
  status=0
  wait "$p" || status=$?
  [ "$status" -eq 0 ] || fail "an explorer ended with status $status"
done
pids=()
echo "locations end to end: undo, redo, copy, mandel-render --location, paste and --location agree"
