#!/usr/bin/env bash
# Installs what is missing, builds the program and draws its window offscreen into a PNG:
#   bash tools/screenshot.sh [OUTPUT.png [WIDTHxHEIGHT | find | times | sending | lines]]   (default docs/screenshot.png)
set -euo pipefail
cd "$(dirname "$0")/.."
output="${1:-docs/screenshot.png}"
shift || true

bash tools/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target relvanto-screenshot
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
# A fresh settings store, so that the picture shows the defaults whatever this machine has stored.
store=$(mktemp -d)
trap 'rm -rf "$store"' EXIT
RELVANTO_MACHINE_STORE="$store/machine" RELVANTO_USER_STORE="$store/user" \
  QT_QPA_PLATFORM=offscreen build/release/app/relvanto-screenshot "$output" "$@"
echo "wrote $output"
