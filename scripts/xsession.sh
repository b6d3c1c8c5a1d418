#!/bin/sh
# Drives the real workbench under a virtual X server with xdotool: sets a working
# directory, makes two catalogs, places three documents by dragging them from the
# list, moves one file link to the other catalog by dragging it (menu "移动到此处"),
# saves, quits, starts again, opens the project and saves it once more; both saved
# files must be the expected one. Leaves a screenshot of the reopened window.
#
#   scripts/xsession.sh [path/to/zelbrin]      (default build/bin/zelbrin)
#
# The pixel positions below belong to the window at its first-start size (1000x700, tree
# pane 280 wide) at the screen's top-left corner with the fonts that scripts/setup.sh
# installs. The session keeps its settings in a folder of its own, so a size remembered
# from the user's own runs never applies.
set -eu
# Both paths are taken before the cd, so the script runs from any folder.
self=$(realpath "$0")
BIN=$(realpath "${1:-$(dirname "$self")/../build/bin/zelbrin}")
cd "$(dirname "$self")/.."

if [ -z "${ZELBRIN_XSESSION_DISPLAY:-}" ]; then
  export ZELBRIN_XSESSION_DISPLAY=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$self" "$BIN"
fi

WORK=$(mktemp -d /tmp/zelbrin-xsession.XXXXXX)
DOCS=$WORK/docs
mkdir -p "$DOCS"
for f in a.doc b.htm c.txt d.xls; do printf 'x' >"$DOCS/$f"; done
PROJECT=$WORK/Help.zlp
export XDG_CONFIG_HOME="$WORK/config"
APP=""
MAIN=""

fail() { echo "xsession: $*" >&2; [ -n "$APP" ] && kill "$APP" 2>/dev/null; exit 1; }

# Every step waits for what it needs to see (a window, the keyboard focus, a file), never
# for a fixed time: a busy machine or a slow folder view only makes the steps slower.
# $1 tries of 0.1 s each, then fail with $2; the condition is the rest of the arguments.
wait_for() {
  tries=$1; what=$2; shift 2
  i=0
  until "$@"; do
    i=$((i + 1)); [ "$i" -gt "$tries" ] && fail "$what"
    sleep 0.1
  done
}
# The program's visible top-level windows other than the main window (menus, dialogs).
others() { xdotool search --onlyvisible --pid "$APP" 2>/dev/null | grep -vx "$MAIN" || true; }
has_other() { OTHER=$(others | head -1); [ -n "$OTHER" ]; }
is_gone() { ! others | grep -qx "$1"; }
has_focus() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ] || { xdotool windowfocus "$1" 2>/dev/null; false; }; }
# Keys typed before a window has the focus go to the window that had it: with no window
# manager nobody hands it over, so each window is given the focus and checked.
focus_main() { wait_for 300 "the main window did not take the focus" has_focus "$MAIN"; }

start_app() {
  "$BIN" >"$WORK/app.log" 2>&1 &
  APP=$!
  wait_for 600 "the window did not appear" main_shown
  xdotool windowmove --sync "$MAIN" 0 0
  focus_main
}
main_shown() { MAIN=$(xdotool search --onlyvisible --pid "$APP" --name '^Zelbrin' 2>/dev/null | head -1); [ -n "$MAIN" ]; }
# Opens menu $1 by its accelerator and picks entry $2 once the menu is shown.
menu() {
  focus_main
  xdotool key "alt+$1"
  wait_for 300 "menu $1 did not open" has_other
  popup=$OTHER
  xdotool key "$2"
  wait_for 300 "menu $1 did not close" is_gone "$popup"
}
# Types a line into the dialog that the last command opened, once it has the focus.
dialog_line() {
  wait_for 300 "no dialog appeared" has_other
  dialog=$OTHER
  wait_for 300 "the dialog did not take the focus" has_focus "$dialog"
  xdotool type --delay 15 "$1"
  xdotool key Return
  wait_for 300 "the dialog did not close" is_gone "$dialog"
}
# Types into the caption editor that the last command opened in the tree.
editor_line() { focus_main; xdotool type --delay 15 "$1"; xdotool key Return; }
# Press at (x1,y1), move past the drag distance, and release at (x2,y2).
drag() {
  focus_main
  xdotool mousemove --sync "$1" "$2"
  xdotool mousedown 1
  for i in 1 2 3 4 5 6; do xdotool mousemove_relative --sync -- "-$((i * 3))" 1; done
  xdotool mousemove --sync "$3" "$4"
  xdotool mousemove --sync "$(($3 + 1))" "$4"
  xdotool mouseup 1
}
quit_app() {
  menu f q
  wait_for 600 "the program did not quit" app_ended
  APP=""
}
app_ended() { ! kill -0 "$APP" 2>/dev/null; }
file_saved() { [ -f "$PROJECT" ]; }
title_is_project() { xdotool getwindowname "$MAIN" | grep -q 'Zelbrin - Help'; }

# Row centres: tree rows and list rows start 95 pixels down, 18 apart.
TREE_X=83; LIST_X=450; ROW0=95; ROW=18
row() { echo $((ROW0 + $1 * ROW)); }

start_app
menu f n                       # 新建工程
menu f w                       # 设置本地文件目录: the edit box is selected, typing replaces it
dialog_line "$DOCS"
menu c n; editor_line Chapter1 # 新建同级目录, named in its editor
menu c n; editor_line Chapter2
# The list shows a.doc b.htm c.txt d.xls; each drop takes the top row away and opens the
# catalog that receives it.
drag "$LIST_X" "$(row 0)" "$TREE_X" "$(row 0)"    # a.doc -> Chapter1: Chapter1, a.doc, Chapter2
drag "$LIST_X" "$(row 0)" "$TREE_X" "$(row 2)"    # b.htm -> Chapter2: ..., Chapter2, b.htm
drag "$LIST_X" "$(row 0)" "$TREE_X" "$(row 2)"    # c.txt -> Chapter2: ..., b.htm, c.txt
drag "$TREE_X" "$(row 4)" "$TREE_X" "$(row 0)"    # c.txt -> Chapter1 ...
wait_for 300 "no menu after the drop" has_other
popup=$OTHER
xdotool mousemove --sync $((TREE_X + 57)) $(($(row 0) + 11)) click 1   # ... 移动到此处
wait_for 300 "the drop menu did not close" is_gone "$popup"
menu f s                       # 保存工程: save dialog
dialog_line "$PROJECT"
wait_for 300 "no project file was saved" file_saved

EXPECTED="<Help><WorkCatalog>$DOCS</WorkCatalog><Items><Item Caption=\"Chapter1\" FullDir=\"\"><Item Caption=\"a.doc\" FullDir=\"$DOCS/a.doc\"/><Item Caption=\"c.txt\" FullDir=\"$DOCS/c.txt\"/></Item><Item Caption=\"Chapter2\" FullDir=\"\"><Item Caption=\"b.htm\" FullDir=\"$DOCS/b.htm\"/></Item></Items></Help>"
[ "$(cat "$PROJECT")" = "$EXPECTED" ] || fail "saved project differs: $(cat "$PROJECT")"
cp "$PROJECT" "$WORK/first.zlp"
quit_app

start_app
menu f o                       # 打开工程
dialog_line "$PROJECT"
wait_for 300 "the project did not open" title_is_project
import -window root "$WORK/reopened.png"
# Rename marks the project modified even when cancelled; saving then rewrites the file
# from the tree as it was read back.
menu c r; xdotool key Escape
rm "$PROJECT"
menu f s
wait_for 300 "the reopened project was not saved again" file_saved
cmp -s "$PROJECT" "$WORK/first.zlp" || fail "reopened tree differs: $(cat "$PROJECT")"
quit_app

echo "xsession: passed ($WORK, screenshot $WORK/reopened.png)"
