#!/usr/bin/env bash
# Times the imaging operations as whole processes beside their peers, on the
# same input files in the same run, and reports the ratios:
#
#   reduce a 4000 x 30000 picture to 50 %   vs  vips shrink, convert -scale 50%
#                                               goal: ratio <= 1.0 against the faster peer
#   JPEG writer, quality 80, 1280 x 20000   vs  cjpeg -quality 80   goal: ratio <= 1.1
#   PNG writer, 1280 x 20000                vs  convert (PNG)       goal: ratio <= 1.1
#
# Usage: bench/imaging/run.sh [BUILD_DIR]   (default: build next to the sources)
# Environment: RUNS (timed runs of each command, default 5; the fastest counts),
#              WORK_DIR (where the pictures go; default a fresh temporary folder).
# Exit status: 0 when every goal is met, 1 when one is missed, 2 on an error.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source_dir="$(cd "$here/../.." && pwd)"
build_dir="${1:-$source_dir/build}"
runs="${RUNS:-5}"
tool="$build_dir/bin/bench_imaging_tool"

die() { echo "run.sh: $*" >&2; exit 2; }

# --- the tool and the peers ------------------------------------------------
if [ ! -x "$tool" ]; then
  [ -f "$build_dir/CMakeCache.txt" ] || cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build_dir" --target bench_imaging_tool >/dev/null || die "cannot build bench_imaging_tool"
fi

missing=()
command -v vips >/dev/null || missing+=(libvips-tools)
command -v convert >/dev/null || missing+=(imagemagick)
command -v cjpeg >/dev/null || missing+=(libjpeg-turbo-progs)
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "run.sh: installing ${missing[*]}" >&2
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null \
    || die "cannot install ${missing[*]}"
fi

if [ -n "${WORK_DIR:-}" ]; then
  work="$WORK_DIR"
  mkdir -p "$work"
else
  work="$(mktemp -d "${TMPDIR:-/tmp}/scrollsnap-bench-XXXXXX")"
  trap 'rm -rf "$work"' EXIT
fi

# Debian's ImageMagick policy stops at 16K pixels per side and a small pixel
# cache; the peer gets limits that let it take these pictures at all.
mkdir -p "$work/magick"
cat >"$work/magick/policy.xml" <<'EOF'
<policymap>
  <policy domain="resource" name="memory" value="8GiB"/>
  <policy domain="resource" name="map" value="8GiB"/>
  <policy domain="resource" name="width" value="1MP"/>
  <policy domain="resource" name="height" value="1MP"/>
  <policy domain="resource" name="area" value="4GP"/>
  <policy domain="resource" name="disk" value="16GiB"/>
</policymap>
EOF
export MAGICK_CONFIGURE_PATH="$work/magick"

# --- inputs ------------------------------------------------------------------
echo "generating inputs in $work ..." >&2
"$tool" generate 4000 30000 "$work/tall.ppm" || die "cannot generate the 4000 x 30000 picture"
"$tool" generate 1280 20000 "$work/page.ppm" || die "cannot generate the 1280 x 20000 picture"
# The writers' input is the page image's own layout, a bottom-up 24-bit BMP,
# which every program here reads.
"$tool" bmp "$work/page.ppm" "$work/page.bmp" || die "cannot write the BMP input"

# --- timing ------------------------------------------------------------------
# best[name] = fastest wall time in seconds; rss[name] = its peak memory in KiB.
declare -A best rss

time_once() {  # name, command...
  local name="$1"; shift
  local t0 t1 secs kb=""
  t0=$(date +%s.%N)
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f "%M" -o "$work/time.out" "$@" >/dev/null 2>"$work/err.out" \
      || { cat "$work/err.out" >&2; die "$name failed"; }
  else
    "$@" >/dev/null 2>"$work/err.out" || { cat "$work/err.out" >&2; die "$name failed"; }
  fi
  t1=$(date +%s.%N)
  [ -x /usr/bin/time ] && kb=$(tail -n 1 "$work/time.out")
  secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }')
  if [ -z "${best[$name]:-}" ] || awk -v a="$secs" -v b="${best[$name]}" 'BEGIN { exit !(a < b) }'; then
    best[$name]=$secs
  fi
  if [ -n "$kb" ] && { [ -z "${rss[$name]:-}" ] || [ "$kb" -gt "${rss[$name]}" ]; }; then rss[$name]=$kb; fi
}

# Runs the commands of one comparison in turn, RUNS rounds, so that a busy
# moment of the machine falls on all of them alike.
compare() {  # pairs of name and command string
  local round i
  for ((round = 0; round < runs; round++)); do
    for ((i = 1; i <= $#; i += 2)); do
      local name="${!i}" j=$((i + 1))
      eval "time_once \"$name\" ${!j}"
    done
  done
}

compare \
  ours-reduce "\"$tool\" reduce 50 \"$work/tall.ppm\" \"$work/ours.ppm\"" \
  vips-shrink "vips shrink \"$work/tall.ppm\" \"$work/vips.ppm\" 2 2" \
  magick-scale "convert \"$work/tall.ppm\" -scale 50% \"$work/magick.ppm\""
compare \
  ours-jpeg "\"$tool\" jpeg \"$work/page.bmp\" \"$work/ours.jpg\" 80" \
  cjpeg "sh -c \"cjpeg -quality 80 '$work/page.bmp' > '$work/cjpeg.jpg'\""
compare \
  ours-png "\"$tool\" png \"$work/page.bmp\" \"$work/ours.png\"" \
  magick-png "convert \"$work/page.bmp\" \"$work/magick.png\""

# --- report ------------------------------------------------------------------
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
min2() { awk -v a="$1" -v b="$2" 'BEGIN { print (a < b) ? a : b }'; }
verdict() { awk -v r="$1" -v g="$2" 'BEGIN { print (r <= g) ? "met" : "MISSED" }'; }

status=0
row() { printf '  %-14s %8ss %10s KiB\n' "$1" "${best[$1]}" "${rss[$1]:-?}"; }

echo
echo "Fastest of $runs runs, whole process (wall seconds, peak resident memory):"
echo "reduction, 4000 x 30000 to 2000 x 15000 (PPM in and out)"
row ours-reduce; row vips-shrink; row magick-scale
peer=$(min2 "${best[vips-shrink]}" "${best[magick-scale]}")
r=$(ratio "${best[ours-reduce]}" "$peer")
v=$(verdict "$r" 1.0)
echo "  ratio against the faster peer: $r (goal <= 1.0: $v)"
[ "$v" = met ] || status=1

echo "JPEG quality 80, 1280 x 20000 (BMP in)"
row ours-jpeg; row cjpeg
r=$(ratio "${best[ours-jpeg]}" "${best[cjpeg]}")
v=$(verdict "$r" 1.1)
echo "  ratio: $r (goal <= 1.1: $v)"
[ "$v" = met ] || status=1
if cmp -s "$work/ours.jpg" "$work/cjpeg.jpg"; then echo "  the two JPEG files are identical"; fi

echo "PNG, 1280 x 20000 (BMP in)"
row ours-png; row magick-png
r=$(ratio "${best[ours-png]}" "${best[magick-png]}")
v=$(verdict "$r" 1.1)
echo "  ratio: $r (goal <= 1.1: $v)"
[ "$v" = met ] || status=1
printf '  file sizes: ours %s bytes, peer %s bytes\n' "$(stat -c %s "$work/ours.png")" "$(stat -c %s "$work/magick.png")"
exit $status
