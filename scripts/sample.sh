#!/usr/bin/env bash
# The main job: builds Scrollsnap, registers its module and captures the
# bundled sample page (four screens tall) into a PNG file.
#
# It keeps its settings in a scratch home (build/sample-home) unless
# SCROLLSNAP_HOME is set, and writes into build/sample-output unless
# SCROLLSNAP_SAMPLE_OUTPUT names another folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
export SCROLLSNAP_HOME="${SCROLLSNAP_HOME:-$PWD/build/sample-home}"
out="${SCROLLSNAP_SAMPLE_OUTPUT:-$PWD/build/sample-output}"
mkdir -p "$SCROLLSNAP_HOME" "$out"
ss=build/bin/scrollsnap

"$ss" register
"$ss" config set Destination File
"$ss" config set ImageFileFormat/FormatName PNG
"$ss" config set ImageFilePath/BaseFolderPath "$out"
"$ss" config set ImageFilePath/ConfirmOverwrite 0
"$ss" --ui batch capture samples/sample-page.html

file=$(ls -t "$out"/*.png | head -n 1)
echo "Captured the whole sample page into: $file"
