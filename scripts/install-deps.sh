#!/usr/bin/env bash
# Installs the Debian packages Quillotide needs to build, test and run, when they are missing.
set -euo pipefail
pkgs=(cmake g++ make ccache qt6-base-dev libqt6opengl6-dev qt6-multimedia-dev libgl-dev
      libpng-dev zlib1g-dev libgtest-dev libbenchmark-dev
      xvfb xauth libgl1-mesa-dri imagemagick sox clang libclang-rt-14-dev)
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
