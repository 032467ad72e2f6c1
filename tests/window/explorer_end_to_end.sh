#!/usr/bin/env bash
# Starts the real explorer under a virtual X server, zooms with a click on the
# picture, goes back, and ends it with "exit", saving the picture at each
# step: the picture after "back" must equal the start-up picture and differ
# from the zoomed one, and the program must end with status 0.
# The client area starts below the menu bar, whose height depends on the
# font: the zoom's copied location tells where the click landed, and so
# where the client area is.
# Exit 77 (skipped) when xvfb-run, xdotool or xclip is missing.
set -euo pipefail
binary=$1

if [ "${1:-}" != "--inside" ]; then
  for tool in xvfb-run xdotool xwd xclip; do
    if ! command -v "$tool" >/dev/null; then
      echo "$tool is not installed: skipped"
      exit 77
    fi
  done
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" --inside "$binary"
fi
binary=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
mkdir -p "$HOME"
saved=$HOME/Pictures/tivek-art

"$binary" --seed 3 >"$work/out.log" 2>&1 &
pid=$!

fail() {
  echo "FAIL: $*"
  cat "$work/out.log"
  kill "$pid" 2>/dev/null || true
  exit 1
}

win=""
for _ in $(seq 1 100); do
  win=$(xdotool search --name '^Form1$' 2>/dev/null | head -n 1 || true)
  [ -n "$win" ] && break
  sleep 0.1
done
[ -n "$win" ] || fail "no window titled Form1 appeared"

# A dump of the window once it stops changing, i.e. the picture is finished.
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

click_at() {  # client-area pixels
  xdotool mousemove --window "$win" $((left + $1)) $((top + $2)) click 1
}

key() {  # real key events to the focused window (no window manager here)
  xdotool windowfocus --sync "$win" 2>/dev/null || true
  xdotool key "$@"
}

# Copies the location with Ctrl+C and prints it.
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

# Saves with the button "save" (or the keys given) and prints the path of
# the picture it wrote.
save() {
  local before
  before=$(ls "$saved" 2>/dev/null | wc -l)
  if [ $# -gt 0 ]; then key "$@"; else click_at $((488 + 52)) $((16 + 8)); fi
  for _ in $(seq 1 100); do
    if [ "$(ls "$saved" 2>/dev/null | wc -l)" -gt "$before" ]; then
      echo "$saved/$(ls -1t "$saved" | head -n 1)"
      return 0
    fi
    sleep 0.1
  done
  fail "save wrote no picture into $saved"
}

settled start
start=$(save ctrl+s)
click_at $((48 + 2 + 186)) $((48 + 2 + 300))   # zoom at picture pixel (186, 300), or near it
settled zoomed
location=$(copied_location)
clicked=$(sed -n 's/.* clicks=\([0-9]*\),\([0-9]*\)\( .*\)\{0,1\}$/\1 \2/p' <<<"$location")
[ -n "$clicked" ] || fail "the location names no click: $location"
read -r x y <<<"$clicked"
left=$((186 - x)) top=$((300 - y))
zoomed=$(save)
click_at $((432 + 24)) $((16 + 8))             # back
settled back
back=$(save)
cmp -s "$start" "$zoomed" && fail "the click on the picture changed nothing"
cmp -s "$start" "$back" || fail "back did not bring the start-up picture back"
click_at $((600 + 24)) $((16 + 8))             # exit

for _ in $(seq 1 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "exit did not end the program"
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || fail "exit status $status"
echo "end to end: zoom, back and exit worked"
