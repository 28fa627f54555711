#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Sondral needs, and only what is missing.
# Safe to run again. Runs apt-get as root, or through sudo.
set -euo pipefail

packages=(
  build-essential g++ cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core fonts-wine
  xvfb xauth x11-utils desktop-file-utils libglib2.0-bin file
  zlib1g-dev nettle-dev libicu-dev
  libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev
  clang libclang-rt-dev
  python3
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  sudo_cmd=()
elif command -v sudo >/dev/null 2>&1; then
  sudo_cmd=(sudo)
else
  echo "setup.sh: need root or sudo to install: ${missing[*]}" >&2
  exit 1
fi

echo "setup.sh: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
