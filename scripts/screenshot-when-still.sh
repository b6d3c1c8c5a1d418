#!/bin/sh
# Runs a program on the current X display, waits for its window and then until the
# screen stops changing (the page has been drawn), saves a screenshot and ends the program.
# Usage: scripts/screenshot-when-still.sh SCREENSHOT.png PROGRAM [ARGS...]
set -eu
png=$1; shift
"$@" &
app=$!
trap 'kill $app 2>/dev/null || true' EXIT
xdotool search --sync --onlyvisible --pid "$app" >/dev/null
# "Still" allows a few hundred changed pixels: a text cursor keeps blinking.
prev=$(mktemp --suffix=.png); cur=$(mktemp --suffix=.png)
import -window root "$prev"
i=0
while [ $i -lt 60 ]; do
  sleep 0.5
  import -window root "$cur"
  changed=$(compare -metric AE "$prev" "$cur" null: 2>&1 || true)
  case $changed in ''|*[!0-9]*) changed=999999 ;; esac
  [ -n "${SHOT_DEBUG:-}" ] && echo "changed $changed" >&2
  [ "$changed" -lt 400 ] && break
  mv "$cur" "$prev"; cur=$(mktemp --suffix=.png)
  i=$((i + 1))
done
mv "$cur" "$png"
rm -f "$prev"
