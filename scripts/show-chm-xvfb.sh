#!/bin/sh
# Inside an X server: opens a help file in a viewer, opens out its contents tree, turns to
# its Index tab or runs a search in its Search tab (xchm), and saves a screenshot. Called by
# show-chm.sh (xchm) and show-chm-wine.sh (Wine's hh.exe).
# Usage: show-chm-xvfb.sh xchm|wine FILE.CHM SCREENSHOT.png contents|index|search:WORD|titles:WORD
# ("titles:" searches titles only, with partial matches).
set -eu
viewer=$1 chm=$2 png=$3 tab=$4

# Waits until the screen stops changing: the viewer has drawn what it was asked to.
settle() {
  last=""
  for _ in $(seq 1 60); do
    now=$(import -window root -depth 8 rgb:- | md5sum)
    [ "$now" = "$last" ] && return 0
    last=$now
    sleep 0.5
  done
}

case $viewer in
  xchm)
    xchm "$chm" &
    class=xchm
    tree_x=55 tree_y=139      # the first contents entry
    index_x=157 index_y=106   # the arrow to the next tab of the navigation pane
    ;;
  wine)
    wine hh.exe "$chm" &
    class=hh.exe
    tree_x=59 tree_y=100      # as above, in hh.exe's window
    index_x=89 index_y=70
    ;;
esac
pid=$!
win=$(xdotool search --sync --onlyvisible --class "$class" | head -n 1)
settle
if [ "$tab" = index ]; then
  xdotool mousemove --window "$win" "$index_x" "$index_y" click 1
elif [ "$viewer" = xchm ] && [ "${tab#search:}" != "$tab" -o "${tab#titles:}" != "$tab" ]; then
  # The Search tab is two tabs on; its query field, option boxes and button, top down.
  xdotool mousemove --window "$win" "$index_x" "$index_y" click 1
  settle
  xdotool mousemove --window "$win" "$index_x" "$index_y" click 1
  settle
  xdotool mousemove --window "$win" 85 141 click 1
  xdotool type --delay 40 "${tab#*:}"
  if [ "${tab#titles:}" != "$tab" ]; then
    xdotool mousemove --window "$win" 23 175 click 1
    xdotool mousemove --window "$win" 23 197 click 1
  fi
  xdotool mousemove --window "$win" 53 235 click 1
else
  # Select the first entry, then open out every entry from the top down.
  xdotool mousemove --window "$win" "$tree_x" "$tree_y" click 1
  for _ in $(seq 1 40); do
    xdotool key KP_Multiply Down
  done
  xdotool key Home
fi
settle
import -window root "$png"
kill "$pid" 2>/dev/null || true
[ "$viewer" = wine ] && wineserver -k 2>/dev/null || true
