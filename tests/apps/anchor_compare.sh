#!/usr/bin/env bash
# bench/anchor/compare.sh against stand-ins: the peer's parameter files must
# describe our pixel grid for every view and size (its centre moved by 2h + s/2,
# its reference on our centre, zoom 10^K 600/596, escape radius 2, the cap as
# every limit), our program must get the same view, and a failed run must show
# in the table and the exit status. Then one real mandel-render run, so a
# change of its options breaks this test rather than the next measurement.
# Usage: anchor_compare.sh COMPARE_SH MANDEL_RENDER
set -euo pipefail
compare=$(realpath "$1")
render=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*"; cat "$work/out.txt" 2>/dev/null; exit 1; }

# The peer stand-in checks its parameter file against the rule and records the view.
cat > "$work/peer" <<'EOF_PEER'
#!/usr/bin/env python3
import sys, tomllib
from decimal import Decimal, getcontext
getcontext().prec = 2000
p = tomllib.load(open(sys.argv[-1], 'rb'))
loc, ref, bail, img = p['location'], p['reference'], p['bailout'], p['image']
zoom = Decimal(loc['zoom'])
W, H = img['width'], img['height']
tenK = zoom * 596 / 600
h = 1 / (150 * tenK)
s = 4 / (zoom * H)
shift = 2 * h + s / 2
def near(a, b, what):
    if abs(a - b) > h * Decimal('1e-15'):
        sys.exit(f'{what}: {a} is not {b}')
near(Decimal(ref['real']) - Decimal(loc['real']), shift, 'real shift')
near(Decimal(loc['imag']) - Decimal(ref['imag']), shift, 'imaginary shift')
near(s, h * 596 / min(W, H), 'pixel spacing')
cap = bail['iterations']
limits = [bail['maximum_reference_iterations'], bail['maximum_perturb_iterations'], bail['maximum_bla_steps']]
if limits != [cap] * 3: sys.exit(f'limits {limits} are not the cap {cap}')
if bail['escape_radius'] != 2.0 or img['subframes'] != 1 or img['subsampling'] != 1: sys.exit('not one plain sample per pixel with radius 2')
with open(sys.argv[0] + '.views', 'a') as f:
    print(ref['real'], ref['imag'], f'{float(tenK.log10()):.6f}', cap, f'{W}x{H}', file=f)
EOF_PEER
# Our stand-in records what it was asked to draw.
cat > "$work/ours" <<'EOF_OURS'
#!/usr/bin/env bash
while (( $# )); do
    case $1 in
        --centre) centre=${2/,/ } ;; --zoom) zoom=$2 ;; --iterations) cap=$2 ;; --size) size=$2 ;;
    esac
    shift
done
printf '%s %s %s %s\n' "$centre" "$(printf '%.6f' "$zoom")" "$cap" "$size" >> "$0.views"
EOF_OURS
chmod +x "$work/peer" "$work/ours"

REPS=2 "$compare" "$work/peer" "$work/ours" > "$work/out.txt" 2>&1 || fail "compare.sh with stand-ins"
[[ $(wc -l < "$work/peer.views") == 20 ]] || fail "the peer drew $(wc -l < "$work/peer.views") views, not 5 views x 2 sizes x 2 runs"
diff <(sort "$work/peer.views") <(sort "$work/ours.views") || fail "the two programs were given different views"
for view in Interior_1E+2_N64000 Minibrot_1E+49_N1E4 Spiral_1E+100_N1E5 Minibrot_1E+301_N1E5 Minibrot_1E+998_N1E5; do
    for size in 596x596 1920x1080; do
        grep -Eq "^${view//+/\\+} +$size +[0-9.]+s +[0-9.]+s +[0-9.]+x" "$work/out.txt" || fail "no row for $view $size"
    done
done

# A peer that fails is named, its row says so, and the status is not 0.
printf '#!/bin/sh\necho broken >&2\nexit 3\n' > "$work/peer"
if REPS=1 SIZES=596x596 VIEWS='Interior' "$compare" "$work/peer" "$work/ours" > "$work/out.txt" 2>&1; then
    fail "a failed run left the status 0"
fi
grep -q "Interior_1E+2_N64000 596x596 peer: failed with status 3" "$work/out.txt" || fail "the failure is not named"
grep -Eq "^Interior_1E\+2_N64000 +596x596 +\(a run failed\)" "$work/out.txt" || fail "the row does not say the run failed"

# The real program, on the cheapest view.
printf '#!/bin/sh\nexit 0\n' > "$work/peer"
REPS=1 SIZES=596x596 VIEWS='Minibrot_1E\+49' KEEP="$work/keep" "$compare" "$work/peer" "$render" > "$work/out.txt" 2>&1 ||
    fail "mandel-render did not draw the view"
[[ -s $work/keep/Minibrot_1E+49_N1E4-596x596-ours.png ]] || fail "mandel-render wrote no picture"
echo "PASS"
