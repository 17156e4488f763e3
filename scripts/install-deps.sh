#!/usr/bin/env bash
# Installs the Debian packages Quillotide needs, when they are missing. What is installed depends
# on what comes next:
#   install-deps.sh            building and running the program (scripts/run.sh)
#   install-deps.sh screenshot the above and a virtual display (scripts/screenshot.sh)
#   install-deps.sh package    the above and the tools that make the Debian package
#   install-deps.sh test       all of it: tests, benchmarks, fuzz targets, package checks (CI),
#                              and the PostgreSQL server the shared-world tests start (also what
#                              scripts/shared-world.sh runs)
set -euo pipefail
purpose="${1:-run}"
pkgs=(cmake g++ make ccache qt6-base-dev libqt6opengl6-dev qt6-multimedia-dev libgl-dev
      libpng-dev zlib1g-dev libgl1-mesa-dri libpq-dev)
# Without a display the program starts on a virtual one.
if [ "$purpose" != run ] || { [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; }; then
  pkgs+=(xvfb xauth)
fi
case "$purpose" in
  run) ;;
  screenshot) pkgs+=(imagemagick) ;;
  package) pkgs+=(help2man dpkg-dev file gzip) ;;
  test) pkgs+=(help2man dpkg-dev file gzip libgtest-dev libbenchmark-dev imagemagick sox clang
               libclang-rt-14-dev lintian desktop-file-utils postgresql) ;;
  *) echo "usage: install-deps.sh [run|screenshot|package|test]" >&2; exit 2 ;;
esac
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then exit 0; fi
echo "Installing: ${missing[*]}"
sudo_cmd=""
if [ "$(id -u)" -ne 0 ]; then sudo_cmd="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo_cmd apt-get update -qq
$sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
