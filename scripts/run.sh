#!/usr/bin/env bash
# Installs what building and running need when it is missing, builds the release configuration
# (the program and the CLI only) and starts Quillotide on the sample client files (written beside
# the program on the first start). Without a display (a fresh headless machine) the program runs
# on a virtual one, so this one command works everywhere.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh run
export CCACHE_DIR="${CCACHE_DIR:-$PWD/build/.ccache}"
cmake --preset release >/dev/null
cmake --build --preset release --target quillotide quillotide-cli
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display: starting the program on a virtual one (xvfb-run)."
  exec xvfb-run -a -s "-screen 0 1280x1024x24" build/release/quillotide --sample "$@"
fi
exec build/release/quillotide --sample "$@"
