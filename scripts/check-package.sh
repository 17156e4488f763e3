#!/usr/bin/env bash
# Checks a built Debian package as a user meets it: installs it with apt, runs the installed
# quillotide-cli make-sample into a temporary folder and the installed quillotide (on the sample
# set, then on its own settings) on a virtual display, where it must draw its window and exit
# cleanly, keeping what it writes under the user's home; checks the manual pages, the menu entry
# and the icons; runs lintian, whose errors fail the check; and removes the package again when the
# check installed it. A quillotide package that was installed before the check is the user's: the
# check installs the built one over it and leaves that installed, saying so, rather than remove
# a program the user had.
#
#   bash scripts/check-package.sh build/release/quillotide_<version>_<arch>.deb
set -euo pipefail
deb="$(realpath "$1")"
sudo_cmd=""
if [ "$(id -u)" -ne 0 ]; then sudo_cmd="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
work="$(mktemp -d)"
installed_version() {
  # dpkg-query fails for a package it never saw: that is "not installed", not an error.
  { dpkg-query -W -f='${Status} ${Version}' quillotide 2>/dev/null || true; } |
    sed -n 's/^install ok installed //p'
}
before="$(installed_version)"
cleanup() {
  if [ -n "$before" ]; then
    echo "quillotide $before was installed before this check: the checked package stays" \
      "installed in its place ($(installed_version)); nothing was removed"
  elif [ -n "$(installed_version)" ]; then
    $sudo_cmd apt-get remove -y -qq quillotide >/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
step() { echo "== $*"; }
fail() { echo "check-package: $*" >&2; exit 1; }

step "lintian $(basename "$deb")"
lintian --fail-on error --display-level ">=warning" "$deb" || fail "lintian reports errors"

step "apt-get install $(basename "$deb")"
$sudo_cmd apt-get install -y -qq --reinstall "$deb" >/dev/null
for f in /usr/bin/quillotide /usr/bin/quillotide-cli /usr/share/applications/quillotide.desktop \
         /usr/share/icons/hicolor/scalable/apps/quillotide.svg \
         /usr/share/icons/hicolor/256x256/apps/quillotide.png \
         /usr/share/metainfo/quillotide.metainfo.xml /usr/share/man/man1/quillotide.1.gz \
         /usr/share/man/man1/quillotide-cli.1.gz /usr/share/doc/quillotide/copyright; do
  [ -f "$f" ] || fail "the package did not install $f"
done
file /usr/share/icons/hicolor/256x256/apps/quillotide.png | grep -q "256 x 256" ||
  fail "the hicolor PNG icon is not 256 x 256"
desktop-file-validate /usr/share/applications/quillotide.desktop
grep -q "^Exec=quillotide$" /usr/share/applications/quillotide.desktop

step "manual pages"
page="$(gzip -dc /usr/share/man/man1/quillotide-cli.1.gz)"
groups="$(quillotide-cli --help | sed -n '/^Groups:/,/^$/s/^  \([^ ]*\)  .*/\1/p')"
[ -n "$groups" ] || fail "quillotide-cli --help lists no groups"
for g in $groups; do
  grep -q "^\.SS $(printf '%s' "$g" | sed 's/-/\\\\-/g')\$" <<<"$page" ||
    fail "man quillotide-cli has no section for the group $g"
done
gzip -dc /usr/share/man/man1/quillotide.1.gz | grep -q "config.xml" ||
  fail "man quillotide does not say where config.xml is kept"
echo "$(wc -w <<<"$groups") groups in man quillotide-cli"

step "quillotide-cli make-sample"
quillotide-cli --version
quillotide-cli make-sample "$work/sample"
for f in hues.mul tiledata.mul artidx.mul art.mul map0.mul staidx0.mul statics0.mul; do
  [ -s "$work/sample/$f" ] || fail "make-sample wrote no $f"
done

# The installed program as a user on a fresh account starts it: a home of its own, no display
# but a virtual one. --screenshot ends the program once its window is drawn.
home="$work/home"
mkdir -p "$home"
run_program() {
  env -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u DISPLAY -u WAYLAND_DISPLAY HOME="$home" \
    QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
    timeout 120 /usr/bin/quillotide "$@"
}
step "quillotide --sample"
run_program --sample --screenshot "$work/sample.png" || fail "quillotide --sample exited with $?"
[ "$(stat -c %s "$work/sample.png")" -gt 10000 ] || fail "no window was drawn"
for f in config.xml art.mul map0.mul; do
  [ -f "$home/.local/share/Quillotide/sample/$f" ] ||
    fail "the sample set is not in the user's data folder ($f)"
done
step "quillotide"
run_program --screenshot "$work/plain.png" || fail "quillotide exited with $?"
[ -f "$home/.config/Quillotide/config.xml" ] || fail "config.xml is not in the user's folder"
for f in /usr/bin/config.xml /usr/bin/sample; do
  [ ! -e "$f" ] || fail "the installed program wrote $f"
done
quillotide --help | grep -q "config.xml" || fail "quillotide --help does not say where"

if [ -z "$before" ]; then
  step "apt-get remove quillotide"
  $sudo_cmd apt-get remove -y -qq quillotide >/dev/null
  [ ! -e /usr/bin/quillotide ] || fail "/usr/bin/quillotide is still there after the removal"
fi
echo "package check passed: $(basename "$deb")"
