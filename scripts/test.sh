#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
export CCACHE_DIR="${CCACHE_DIR:-$PWD/build/.ccache}"
cmake --preset ci >/dev/null
cmake --build --preset ci
# The fuzz targets only need to keep compiling here; they run by hand (see README).
if command -v clang++ >/dev/null; then
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz
fi
ctest --preset ci -j2 --timeout 600
