#!/bin/sh
# Shows a compiled help file in kchmviewer (the viewer the workbench opens results in) under
# Xvfb, with openbox when it is installed so that the window has its frame, and saves a
# screenshot once the screen is still.
# Usage: scripts/show-chm-kchmviewer.sh FILE.CHM [SCREENSHOT.png] [contents|search:WORDS|page:PATH]
# (default /tmp/chm-kchmviewer.png, contents). "search:WORDS" runs kchmviewer's full-text
# search (Chinese words too) and opens the first page found; "page:PATH" opens that page of
# the help file ("/html/intro.htm"; kchmviewer misreads a path with Chinese in it).
set -eu
chm=$(realpath "$1")
png=$(realpath -m "${2:-/tmp/chm-kchmviewer.png}")
what=${3:-contents}
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${ZELBRIN_SHOW_DISPLAY:-}" ]; then
  export ZELBRIN_SHOW_DISPLAY=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" sh "$here/show-chm-kchmviewer.sh" "$chm" "$png" "$what"
fi
case $what in
  search:*) set -- -search "${what#search:}" ;;
  page:*) set -- -showPage "${what#page:}" ;;
  *) set -- ;;
esac
# kchmviewer remembers the last file, its window and its search index in the home folder:
# each run starts from a fresh one of its own.
home=$(mktemp -d)
wm=""
trap 'rm -rf "$home"; [ -n "$wm" ] && kill "$wm" 2>/dev/null || true' EXIT
if command -v openbox >/dev/null; then
  openbox & wm=$!
fi
HOME=$home XDG_CONFIG_HOME=$home/.config sh "$here/screenshot-when-still.sh" "$png" \
  kchmviewer -novcheck "$@" "$chm"
echo "$png"
