#!/usr/bin/env bash
# Times the whole-page drawing as a whole process beside its peer, on the same
# page in the same run, and checks both pictures of a very tall page:
#
#   lay out and draw a 1280 x 20000 page into a bitmap and write it as PNG
#       vs  puppeteer-core page.screenshot({fullPage: true}) on Debian's Chromium
#       goal: ratio < 1.0 (faster than the peer)
#   a 1280 x 100000 page of 100-row bands, each its own colour: every band
#       right in our picture (the peer's is reported as it comes out)
#
# Usage: bench/browser/run.sh [BUILD_DIR]   (default: build next to the sources)
# Environment: RUNS (timed runs of each command, default 5; the fastest counts),
#              WORK_DIR (where the pictures go; default a fresh temporary folder).
# Exit status: 0 when every goal is met, 1 when one is missed, 2 on an error.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source_dir="$(cd "$here/../.." && pwd)"
build_dir="${1:-$source_dir/build}"
runs="${RUNS:-5}"
tool="$build_dir/bin/bench_browser_render"
page="$source_dir/tests/fixtures/pages/bands.html"

die() { echo "run.sh: $*" >&2; exit 2; }

# --- the tool and the peer ---------------------------------------------------
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build_dir" --target bench_browser_render >/dev/null || die "cannot build bench_browser_render"
[ -x /usr/bin/chromium ] || die "Chromium is not installed (Debian package \"chromium\")"
command -v node >/dev/null || die "node is needed for the peer (Debian package \"nodejs\")"
if [ ! -d "$here/node_modules/puppeteer-core" ]; then
  echo "run.sh: installing puppeteer-core into $here/node_modules" >&2
  (cd "$here" && npm install --no-audit --no-fund --silent) || die "cannot install puppeteer-core"
fi

work="${WORK_DIR:-$(mktemp -d)}"
mkdir -p "$work"
[ -n "${WORK_DIR:-}" ] || trap 'rm -rf "$work"' EXIT

now_ms() { date +%s%3N; }

# best_of NAME COMMAND...: runs the command $runs times, prints the fastest
# wall time in milliseconds.
best_of() {
  local best="" t0 t1 ms
  for _ in $(seq "$runs"); do
    t0=$(now_ms)
    "$@" >/dev/null 2>"$work/stderr" || { cat "$work/stderr" >&2; die "failed: $*"; }
    t1=$(now_ms)
    ms=$((t1 - t0))
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  echo "$best"
}

ours() { "$tool" draw "file://$page?h=$1" "$2"; }
peer() { node "$here/peer.js" "file://$page?h=$1" "$2"; }

status=0

# --- speed: 1280 x 20000 -------------------------------------------------------
echo "whole-page drawing, 1280 x 20000, written as PNG (fastest of $runs runs)"
ours_ms=$(best_of ours 20000 "$work/ours-20000.png")
peer_ms=$(best_of peer 20000 "$work/peer-20000.png")
ratio=$(awk -v a="$ours_ms" -v b="$peer_ms" 'BEGIN { printf "%.2f", a / b }')
printf "  scrollsnap            %6d ms\n" "$ours_ms"
printf "  puppeteer-core        %6d ms\n" "$peer_ms"
printf "  ratio                 %6s   (goal < 1.00)\n" "$ratio"
awk -v r="$ratio" 'BEGIN { exit !(r < 1.0) }' || { echo "  GOAL MISSED"; status=1; }
for who in ours peer; do
  printf "  %-20s  " "$who picture"
  "$tool" check-bands "$work/$who-20000.png" 20000 || true
done

# --- correctness: 1280 x 100000 ------------------------------------------------
echo "correctness, 1280 x 100000 page of 100-row bands"
ours 100000 "$work/ours-100000.png" >/dev/null
peer 100000 "$work/peer-100000.png" >/dev/null
printf "  %-20s  " "scrollsnap"
if ! "$tool" check-bands "$work/ours-100000.png" 100000; then echo "  GOAL MISSED: our picture is not exact"; status=1; fi
printf "  %-20s  " "puppeteer-core"
"$tool" check-bands "$work/peer-100000.png" 100000 || true
exit $status
