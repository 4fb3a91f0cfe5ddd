#!/usr/bin/env bash
# The main job: builds Scrollsnap and runs it on the bundled sample.
# Until the capture command lands, this shows the settings the capture would
# use (the settings store in a scratch home unless SCROLLSNAP_HOME is set).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
export SCROLLSNAP_HOME="${SCROLLSNAP_HOME:-$PWD/build/sample-home}"
mkdir -p "$SCROLLSNAP_HOME"
echo "Settings store: $SCROLLSNAP_HOME" >&2
build/bin/scrollsnap config list
