#!/usr/bin/env bash
# Installs what is missing, builds everything, builds and checks the Debian package, and runs
# every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh test
if [ "${CI:-}" = true ] && [ -z "${CCACHE_DIR:-}" ]; then
  # CI builds in a fresh clone: a cache outside it, with paths taken relative to the clone, lets
  # the next run on the same machine reuse the objects.
  export CCACHE_DIR="$HOME/.cache/quillotide-ccache" CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
fi
export CCACHE_DIR="${CCACHE_DIR:-$PWD/build/.ccache}"
cmake --preset ci >/dev/null
cmake --build --preset ci
# The fuzz targets only need to keep compiling here; they run by hand (see README).
if command -v clang++ >/dev/null; then
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz
fi
# The package as a user gets it: release build, install, first starts, lintian, removal.
started=$SECONDS
deb="$(bash scripts/package.sh | tail -n 1)"
bash scripts/check-package.sh "$deb"
echo "package built and checked in $((SECONDS - started)) s"
ctest --preset ci -j2 --timeout 600
