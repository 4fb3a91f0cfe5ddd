#!/usr/bin/env bash
# Installs the Debian 12 packages Scrollsnap needs to build, test and run.
# Runs apt-get as root, or through sudo otherwise; does nothing when every
# package is already installed.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev
  libsqlite3-dev qt6-base-dev nettle-dev libpugixml-dev nlohmann-json3-dev
  libjpeg62-turbo-dev libpng-dev zlib1g-dev libtiff-dev
  chromium
  python3 python3-pyftpdlib
  fonts-noto-cjk fonts-dejavu-core
  xvfb xauth
  openssl libjpeg-turbo-progs
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  SUDO="sudo"
fi
echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
