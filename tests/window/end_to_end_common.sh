# shellcheck shell=bash
# What the end-to-end scripts share, sourced by them: the real explorer (the
# script's first argument) under a virtual X server, driven with xdotool,
# watched with xwd (pixels read with python3), the clipboard read with xclip. Exit 77 (skipped) when one
# of those tools is missing.
if [ "${1:-}" != "--inside" ]; then
  for tool in xvfb-run xdotool xwd xclip python3; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed: skipped"; exit 77; }
  done
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" --inside "$@"
fi
explorer=$2
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

# Starts an explorer with the options given and waits for its picture; sets
# pid and win.
start() {
  local name=$1
  "$explorer" "${@:2}" >"$work/$name.log" 2>&1 &
  pid=$!
  pids+=("$pid")
  win=""
  for _ in $(seq 1 100); do
    win=$(xdotool search --all --pid "$pid" --name '^Form1$' 2>/dev/null | head -n 1 || true)
    [ -n "$win" ] && break
    sleep 0.1
  done
  [ -n "$win" ] || fail "no window of $name appeared"
  windows+=("$win")
  settled "$name"
}

# Waits until the window stops changing, i.e. its picture is finished.
settled() {
  local name=$1 previous=""
  for _ in $(seq 1 100); do
    sleep 0.3
    xwd -id "$win" -silent >"$work/$name.xwd"
    [ -n "$previous" ] && cmp -s "$work/$name.xwd" "$previous" && return 0
    cp "$work/$name.xwd" "$work/$name.prev"
    previous="$work/$name.prev"
  done
  fail "the window kept changing ($name)"
}

# The colour (rrggbb) of window pixel (x, y) in the xwd dump $1.
pixel_of() {
  python3 - "$1" "$2" "$3" <<'PY'
import struct, sys
d = open(sys.argv[1], 'rb').read()
h = struct.unpack('>25I', d[:100])
x, y = int(sys.argv[2]), int(sys.argv[3])
at = h[0] + h[19] * 12 + y * h[12] + x * 4
print('%02x%02x%02x' % (d[at + 2], d[at + 1], d[at]) if h[7] == 0 else '%02x%02x%02x' % (d[at + 1], d[at + 2], d[at + 3]))
PY
}

# The window's size, "WIDTHxHEIGHT".
size_of() {
  xdotool getwindowgeometry "$1" | sed -n 's/.*Geometry: //p'
}

left=0 top=0  # the client area's corner in the window, once known

click_at() {  # client-area pixels
  xdotool mousemove --window "$win" $((left + $1)) $((top + $2)) click 1
}

press_picture() {  # picture pixels
  click_at $((48 + 2 + $1)) $((48 + 2 + $2))
}

point_picture() {  # moves the pointer over picture pixels (X, Y)
  xdotool mousemove --window "$win" $((left + 48 + 2 + $1)) $((top + 48 + 2 + $2))
}

wheel_picture() {  # wheel notches over picture pixel (X, Y): button 4 in, 5 out
  point_picture "$1" "$2"
  xdotool click "$3"
}

drag_picture() {  # a left drag from picture pixel (X0, Y0) to (X1, Y1), in steps
  point_picture "$1" "$2"
  xdotool mousedown 1
  for k in 1 2 3 4; do
    point_picture $(($1 + ($3 - $1) * k / 4)) $(($2 + ($4 - $2) * k / 4))
    sleep 0.05
  done
  xdotool mouseup 1
}

# The value of field $1 in the location $2.
field_of() {
  sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<"$2"
}

# Whether the decimals $1 and $2 differ by less than $3.
near() {
  awk -v a="$1" -v b="$2" -v d="$3" 'BEGIN { exit !((a - b) < d && (b - a) < d) }'
}

key() {  # real key events to the window, focused first (no window manager here)
  xdotool windowfocus --sync "$win" 2>/dev/null || true
  xdotool key "$@"
}

# Copies the location with Ctrl+C and prints it. The xclip left holding an
# emptied selection until the explorer takes it must not keep our output open.
copied_location() {
  printf '' | xclip -selection clipboard >/dev/null 2>&1
  printf '' | xclip -selection primary >/dev/null 2>&1
  key ctrl+c
  for _ in $(seq 1 50); do
    text=$(xclip -o -selection clipboard 2>/dev/null || true)
    [ -n "$text" ] && { echo "$text"; return 0; }
    sleep 0.1
  done
  fail "Ctrl+C put no location on the clipboard"
}

# Zooms the full view at picture pixel (X, Y), or near it: the menu bar's
# height depends on the font, so where the press landed (x, y), as the copied
# location tells, gives the client area's corner.
first_zoom() {
  press_picture "$1" "$2"
  settled "first-zoom"
  local clicked
  clicked=$(sed -n 's/.* clicks=\([0-9]*\),\([0-9]*\)\( .*\)\{0,1\}$/\1 \2/p' <<<"$(copied_location)")
  [ -n "$clicked" ] || fail "the first zoom left no click in the location"
  read -r x y <<<"$clicked"
  left=$(($1 - x)) top=$(($2 - y))
}

# Saves with the keys given, or else the button "save", and prints the path
# of the new picture.
save() {
  ls "$saved" >"$work/before" 2>/dev/null || : >"$work/before"
  if [ $# -gt 0 ]; then key "$@"; else click_at $((488 + 52)) $((16 + 8)); fi
  for _ in $(seq 1 100); do
    # shellcheck disable=SC2010 # the names are the explorer's own
    new=$(ls "$saved" 2>/dev/null | grep -vxF -f "$work/before" || true)
    [ -n "$new" ] && { echo "$saved/$new"; return 0; }
    sleep 0.1
  done
  fail "save wrote no picture into $saved"
}

# Every explorer started ends within 10 s, with status 0.
all_end() {
  for p in "${pids[@]}"; do
    for _ in $(seq 1 100); do kill -0 "$p" 2>/dev/null && sleep 0.1; done
    kill -0 "$p" 2>/dev/null && fail "an explorer did not end"
    status=0
    wait "$p" || status=$?
    [ "$status" -eq 0 ] || fail "an explorer ended with status $status"
  done
  pids=()
}
