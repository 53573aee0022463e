#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, when any is missing.
set -euo pipefail

# Extra package names may be given as arguments; they are installed with the usual ones.
packages=(
  "$@"
  cmake ninja-build g++ pkg-config ccache
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev
  libudev-dev
  socat netcat-openbsd
  appstream desktop-file-utils dpkg-dev file
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "These packages are missing: ${missing[*]}; run this as root, or install them with apt-get." >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
