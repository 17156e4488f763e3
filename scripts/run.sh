#!/usr/bin/env bash
# Installs what is missing, builds the release configuration and starts Quillotide on the sample
# client files (written beside the program on the first start).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
export CCACHE_DIR="${CCACHE_DIR:-$PWD/build/.ccache}"
cmake --preset release >/dev/null
cmake --build --preset release --target quillotide quillotide-cli
exec build/release/quillotide --sample "$@"
