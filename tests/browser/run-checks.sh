#!/usr/bin/env bash
# Writes the plots and the report of two example circuits with velkor and
# checks them in headless Chromium (check.mjs).
# Usage: run-checks.sh VELKOR EXAMPLES_DIR
set -euo pipefail
velkor=$1
examples=$2
here=$(cd "$(dirname "$0")" && pwd)
if [ ! -d "$here/node_modules/playwright-core" ]; then
  echo "tests/browser: run 'npm ci' there first (tools/run-tests does)" >&2
  exit 1
fi
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
cat >"$work/tt.val" <<'VALUES'
rin 10k
rq 47k
r2 10k
r3 22k
rf 15k
c1 10n
c2 15n
VALUES
# Two netlists, so two curves and two sets of markers.
cat "$examples/sallen_key_lowpass.net" "$examples/tow_thomas_biquad.net" >"$work/two.net"
"$velkor" --values="$examples/sallen_key_lowpass.values" --values="$work/tt.val" --set=c1=22.508n \
  --bode="$work/bode" --pz="$work/pz.svg" --report="$work/report.html" -o "$work/out.txt" "$work/two.net"
# An approximation: exact and approximated formula side by side, both
# curves on one Bode plot.
"$velkor" --values="$examples/common_emitter_stage.values" --formulas=exact --approx=0.05 --report="$work/approx.html" \
  -o "$work/approx.txt" "$examples/common_emitter_stage.net"
grep -q 'class="pair"' "$work/approx.html"
# A series LC band-pass with Q = 100 at 1 MHz: its peak is exactly 0 dB.
cat >"$work/bandpass.net" <<'NETLIST'
{LC band-pass, Q = 100 at 1 MHz}
l1 1 3
c1 3 2
r1 2 0
f 1 0 2 0
p g21
end
NETLIST
"$velkor" --set=l1=10u --set=c1=2.533029591n --set=r1=0.6283185307 --bode="$work/bandpass" \
  --pz="$work/bandpass-pz.svg" --report="$work/bandpass.html" -o "$work/bandpass.txt" "$work/bandpass.net"
# Buffered first-order stages whose poles and zeros spread over ten
# decades: low-passes with a pole at 10^k rad/s (k = 1, 5, 9, 11), lead
# networks with a zero at 10^k and a pole at 2 * 10^k rad/s (k = 3, 7).
{
  echo '{Poles and zeros over ten decades}'
  node=1
  for k in 1 3 5 7 9 11; do
    if [ "$k" != 3 ] && [ "$k" != 7 ]; then
      echo "r$k $node $((node + 1))"; echo "c$k $((node + 1)) 0"
    else
      echo "r$k $node $((node + 1))"; echo "c$k $node $((node + 1))"; echo "rb$k $((node + 1)) 0"
    fi
    echo "u$k $((node + 2)) 0 $((node + 1)) 0"
    node=$((node + 2))
  done
  echo "f 1 0 $node 0"; echo "p g21"; echo end
} >"$work/decades.net"
: >"$work/decades.val"
for k in 1 3 5 7 9 11; do
  printf 'r%s 1k\nc%s 1e-%s\nu%s 1\n' "$k" "$k" "$((k + 3))" "$k" >>"$work/decades.val"
  if [ "$k" = 3 ] || [ "$k" = 7 ]; then printf 'rb%s 1k\n' "$k" >>"$work/decades.val"; fi
done
"$velkor" --values="$work/decades.val" --pz="$work/decades-pz.svg" -o "$work/decades.txt" "$work/decades.net"
cd "$here"
node check.mjs "$work/bode.svg" "$work/pz.svg" "$work/report.html" "$work/approx.html" "$work/decades-pz.svg" \
  --peak=0 "$work/bandpass.svg" "$work/bandpass-pz.svg" "$work/bandpass.html"
# Every root of the ten-decade map is on it.
[ "$(grep -c '<g class="root' "$work/decades-pz.svg")" -eq 8 ] || { echo "decades: roots missing" >&2; exit 1; }
