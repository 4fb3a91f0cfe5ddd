#!/usr/bin/env bash
# The whole capture as a user runs it (`scrollsnap capture` to a PNG file),
# timed as a whole process beside its peer in the same run:
#
#   1280 x 20000 page to PNG  vs  puppeteer-core full-page screenshot of the
#       same file on the same Chromium, runs alternating; goal: ratio <= 0.8
#   1280 x 200000 page: every band right, and the scrollsnap process's peak
#       memory within 1.5 x the picture's 24-bit size
#   480 rows cropped from that page: at most a fifth of the whole capture's
#       time, with memory in proportion to the crop
#
# Usage: bench/capture/run.sh [BUILD_DIR]   (default: build next to the sources)
# Environment: RUNS (timed runs of each, default 5; the fastest counts).
# Exit status: 0 when every goal is met, 1 when one is missed, 2 on an error.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source_dir="$(cd "$here/../.." && pwd)"
build_dir="${1:-$source_dir/build}"
runs="${RUNS:-5}"
page="$source_dir/tests/fixtures/pages/bands.html"
peer_dir="$source_dir/bench/browser"

die() { echo "run.sh: $*" >&2; exit 2; }

[ -x "$build_dir/bin/scrollsnap" ] || die "build first (scripts/build.sh): no $build_dir/bin/scrollsnap"
cmake --build "$build_dir" --target bench_browser_render >/dev/null || die "cannot build bench_browser_render"
command -v node >/dev/null || die "node is needed for the peer (Debian package \"nodejs\")"
if [ ! -d "$peer_dir/node_modules/puppeteer-core" ]; then
  echo "run.sh: installing puppeteer-core into $peer_dir/node_modules" >&2
  (cd "$peer_dir" && npm install --no-audit --no-fund --silent) || die "cannot install puppeteer-core"
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export SCROLLSNAP_HOME="$work/home"
ss="$build_dir/bin/scrollsnap"
check="$build_dir/bin/bench_browser_render"
"$ss" register >/dev/null
"$ss" config set Destination File
"$ss" config set ImageFileFormat/FormatName PNG
"$ss" config set ImageFilePath/FileNameRule Numbered3
"$ss" config set OmitDialog 1

# capture HEIGHT FOLDER: one capture into FOLDER; prints "PEAK_KB WALL_MS".
capture() {
  rm -rf "$2" && mkdir -p "$2"
  "$ss" config set ImageFilePath/BaseFolderPath "$2"
  python3 "$here/peak_rss.py" "$ss" --ui batch capture "file://$page?h=$1"
}
peer() { python3 "$here/peak_rss.py" node "$peer_dir/peer.js" "file://$page?h=$1" "$2"; }

status=0
echo "whole capture, 1280 x 20000 to PNG (alternating, fastest of $runs runs)"
best_ours="" best_peer=""
for _ in $(seq "$runs"); do
  read -r _ ms < <(capture 20000 "$work/ours")
  [ -z "$best_ours" ] || [ "$ms" -lt "$best_ours" ] && best_ours=$ms
  read -r _ ms < <(peer 20000 "$work/peer.png")
  [ -z "$best_peer" ] || [ "$ms" -lt "$best_peer" ] && best_peer=$ms
done
ratio=$(awk -v a="$best_ours" -v b="$best_peer" 'BEGIN { printf "%.2f", a / b }')
printf "  scrollsnap capture    %6d ms\n  puppeteer-core        %6d ms\n  ratio                 %6s   (goal <= 0.80)\n" \
  "$best_ours" "$best_peer" "$ratio"
awk -v r="$ratio" 'BEGIN { exit !(r <= 0.8) }' || { echo "  GOAL MISSED"; status=1; }

echo "1280 x 200000 page"
"$ss" config set ImageCrop/CropHeight NoCrop
read -r whole_kb whole_ms < <(capture 200000 "$work/tall")
picture_kb=$((1280 * 200000 * 3 / 1024))
mem_ratio=$(awk -v a="$whole_kb" -v b="$picture_kb" 'BEGIN { printf "%.2f", a / b }')
printf "  time %d ms, peak %d MB = %s x the 24-bit picture (goal <= 1.50)\n" "$whole_ms" $((whole_kb / 1024)) "$mem_ratio"
awk -v r="$mem_ratio" 'BEGIN { exit !(r <= 1.5) }' || { echo "  GOAL MISSED (memory)"; status=1; }
printf "  bands: "
"$check" check-bands "$work/tall/000.png" 200000 || { echo "  GOAL MISSED: not exact"; status=1; }

echo "480 rows cropped from the 1280 x 200000 page"
"$ss" config set ImageCrop/CropHeight ByPixels
"$ss" config set ImageCrop/HeightByPixels 480
read -r crop_kb crop_ms < <(capture 200000 "$work/crop")
time_ratio=$(awk -v a="$crop_ms" -v b="$whole_ms" 'BEGIN { printf "%.2f", a / b }')
printf "  time %d ms = %s of the whole capture (goal <= 0.20), peak %d MB\n" "$crop_ms" "$time_ratio" $((crop_kb / 1024))
awk -v r="$time_ratio" 'BEGIN { exit !(r <= 0.2) }' || { echo "  GOAL MISSED (time)"; status=1; }
exit $status
