#!/usr/bin/env bash
# Installs what is missing, builds the release configuration and the Debian package
# build/release/quillotide_<version>_<arch>.deb, and prints its path on the last line.
# Install it with: sudo apt install ./build/release/quillotide_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh package >&2
export CCACHE_DIR="${CCACHE_DIR:-$PWD/build/.ccache}"
cmake --preset release >/dev/null
cmake --build --preset release --target package >&2
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/release/CMakeCache.txt)
deb=$(ls build/release/quillotide_"${version}"_*.deb)
echo "$PWD/$deb"
