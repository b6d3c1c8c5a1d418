#!/bin/sh
# Drives the real workbench under a virtual X server with xdotool: sets a working
# directory, makes two catalogs, places three documents by dragging them from the
# list, moves one file link to the other catalog by dragging it (menu "移动到此处"),
# saves, quits, starts again, opens the project and saves it once more; both saved
# files must be the expected one. Leaves a screenshot of the reopened window.
#
#   scripts/xsession.sh [path/to/zelbrin]      (default build/bin/zelbrin)
#
# The pixel positions below belong to the window at 657x492 at the screen's top-left
# corner with the fonts that scripts/setup.sh installs.
set -eu
cd "$(dirname "$0")/.."

if [ -z "${ZELBRIN_XSESSION_DISPLAY:-}" ]; then
  export ZELBRIN_XSESSION_DISPLAY=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

BIN=$(realpath "${1:-build/bin/zelbrin}")
WORK=$(mktemp -d /tmp/zelbrin-xsession.XXXXXX)
DOCS=$WORK/docs
mkdir -p "$DOCS"
for f in a.doc b.htm c.txt d.xls; do printf 'x' >"$DOCS/$f"; done
PROJECT=$WORK/Help.zlp
APP=""

fail() { echo "xsession: $*" >&2; [ -n "$APP" ] && kill "$APP" 2>/dev/null; exit 1; }
pause() { sleep "${1:-0.5}"; }

start_app() {
  "$BIN" >"$WORK/app.log" 2>&1 &
  APP=$!
  i=0
  until MAIN=$(xdotool search --onlyvisible --name '^Zelbrin' 2>/dev/null | head -1) && [ -n "$MAIN" ]; do
    i=$((i + 1)); [ $i -gt 50 ] && fail "the window did not appear"
    sleep 0.2
  done
  xdotool windowmove "$MAIN" 0 0
  pause 0.8
}
# There is no window manager: give the main window the keyboard after every dialog.
focus_main() { xdotool windowfocus "$MAIN"; pause 0.3; }
menu() { focus_main; xdotool key "alt+$1"; pause 0.3; xdotool key "$2"; pause 0.8; }
type_line() { xdotool type --delay 15 "$1"; xdotool key Return; pause 0.8; }
# Press at (x1,y1), move past the drag distance, and release at (x2,y2).
drag() {
  xdotool mousemove "$1" "$2"; pause 0.2
  xdotool mousedown 1; pause 0.2
  for i in 1 2 3 4 5 6; do xdotool mousemove_relative -- "-$((i * 3))" 1; sleep 0.05; done
  xdotool mousemove "$3" "$4"; pause 0.3
  xdotool mousemove "$(($3 + 1))" "$4"; pause 0.3
  xdotool mouseup 1; pause 0.8
}
quit_app() {
  menu f q
  i=0
  while kill -0 "$APP" 2>/dev/null; do
    i=$((i + 1)); [ $i -gt 50 ] && fail "the program did not quit"
    sleep 0.2
  done
  APP=""
}

# Row centres: tree rows and list rows start 95 pixels down, 18 apart.
TREE_X=83; LIST_X=290; ROW0=95; ROW=18
row() { echo $((ROW0 + $1 * ROW)); }

start_app
menu f n                       # 新建工程
menu f w                       # 设置本地文件目录: the edit box is selected, typing replaces it
type_line "$DOCS"
menu c n; type_line Chapter1   # 新建同级目录, named in its editor
menu c n; type_line Chapter2
# The list shows a.doc b.htm c.txt d.xls; each drop takes the top row away.
drag "$LIST_X" "$(row 0)" "$TREE_X" "$(row 0)"    # a.doc -> Chapter1 (collapsed afterwards)
drag "$LIST_X" "$(row 0)" "$TREE_X" "$(row 1)"    # b.htm -> Chapter2
drag "$LIST_X" "$(row 0)" "$TREE_X" "$(row 1)"    # c.txt -> Chapter2
xdotool mousemove 24 "$(row 1)" click 1; pause     # open Chapter2: b.htm, c.txt below it
drag "$TREE_X" "$(row 3)" "$TREE_X" "$(row 0)"    # c.txt -> Chapter1 ...
xdotool mousemove $((TREE_X + 57)) $(($(row 0) + 11)) click 1; pause   # ... 移动到此处
menu f s                       # 保存工程: save dialog
type_line "$PROJECT"

EXPECTED="<Help><WorkCatalog>$DOCS</WorkCatalog><Items><Item Caption=\"Chapter1\" FullDir=\"\"><Item Caption=\"a.doc\" FullDir=\"$DOCS/a.doc\"/><Item Caption=\"c.txt\" FullDir=\"$DOCS/c.txt\"/></Item><Item Caption=\"Chapter2\" FullDir=\"\"><Item Caption=\"b.htm\" FullDir=\"$DOCS/b.htm\"/></Item></Items></Help>"
[ -f "$PROJECT" ] || fail "no project file was saved"
[ "$(cat "$PROJECT")" = "$EXPECTED" ] || fail "saved project differs: $(cat "$PROJECT")"
cp "$PROJECT" "$WORK/first.zlp"
quit_app

start_app
menu f o                       # 打开工程
type_line "$PROJECT"
xdotool getwindowname "$MAIN" | grep -q 'Zelbrin - Help' || fail "the project did not open"
import -window root "$WORK/reopened.png"
# Rename marks the project modified even when cancelled; saving then rewrites the file
# from the tree as it was read back.
menu c r; xdotool key Escape; pause
rm "$PROJECT"
menu f s
[ -f "$PROJECT" ] || fail "the reopened project was not saved again"
cmp -s "$PROJECT" "$WORK/first.zlp" || fail "reopened tree differs: $(cat "$PROJECT")"
quit_app

echo "xsession: passed ($WORK, screenshot $WORK/reopened.png)"
