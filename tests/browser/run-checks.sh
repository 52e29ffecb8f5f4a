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
trap 'rm -rf "$work"' EXIT
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
"$velkor" --values="$examples/common_emitter_stage.values" --approx=0.05 --report="$work/approx.html" \
  -o "$work/approx.txt" "$examples/common_emitter_stage.net"
grep -q 'class="pair"' "$work/approx.html"
cd "$here"
node check.mjs "$work/bode.svg" "$work/pz.svg" "$work/report.html" "$work/approx.html"
