#!/usr/bin/env bash
# The test command: installs what is needed, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
# Headless everywhere: Qt paints offscreen and Chromium runs without a window.
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j"$(nproc)" --timeout 900
