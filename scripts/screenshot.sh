#!/usr/bin/env bash
# Takes the README's screenshots: the program on the sample client files under a virtual display,
# once on the "Art (S)" page with a static shown and once on the "Hues" page with a hue selected,
# then the world editor on the sample world, once in 3D and once flat (2D) with the web, and
# the minimap beside the editor. Writes docs/screenshot-art.png, docs/screenshot-hues.png,
# docs/screenshot-editor.png, docs/screenshot-editor-2d.png and docs/screenshot-minimap.png.
#
#   bash scripts/screenshot.sh                         # builds the release configuration first
#   QUILLOTIDE_BIN=build/debug/quillotide bash scripts/screenshot.sh   # uses a program already built
set -euo pipefail
cd "$(dirname "$0")/.."

bin="${QUILLOTIDE_BIN:-}"
if [[ -z "$bin" ]]; then
  bash scripts/install-deps.sh screenshot
  export CCACHE_DIR="${CCACHE_DIR:-$PWD/build/.ccache}"
  cmake --preset release >/dev/null
  cmake --build --preset release --target quillotide
  bin=build/release/quillotide
fi

mkdir -p docs
# shot TAB LINE FILE: the program opens the page, picks the line, saves the window and ends.
shot() {
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
    timeout 120 "$bin" --sample --tab "$1" --select "$2" --screenshot "$PWD/$3"
  echo "wrote $3"
}
shot "Art (S)" 0x2 docs/screenshot-art.png
shot "Hues" 0x25 docs/screenshot-hues.png
# editorshot FILE [MENU ...]: the world editor on the sample set, the menu items chosen, saved.
editorshot() {
  local out="$1"
  shift
  local menus=()
  for m in "$@"; do menus+=(--menu "$m"); done
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
    timeout 120 "$bin" --Worldeditor --sample --screenshot "$PWD/$out" "${menus[@]}"
  echo "wrote $out"
}
editorshot docs/screenshot-editor.png
editorshot docs/screenshot-editor-2d.png "Show Map 2D" "Show Web"
# The minimap beside the editor: the whole screen, so both windows are seen.
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" \
  timeout 120 "$bin" --Worldeditor --sample --screenshot "$PWD/docs/screenshot-minimap.png" \
  --menu "Show WorldMap" --screen
# The screen is larger than the two windows: keep only what they cover.
convert docs/screenshot-minimap.png -trim +repage docs/screenshot-minimap.png
echo "wrote docs/screenshot-minimap.png"
