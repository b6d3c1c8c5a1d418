#!/bin/sh
# Shows a compiled help file in xchm under Xvfb and saves a screenshot.
# Usage: scripts/show-chm.sh FILE.CHM [SCREENSHOT.png] [contents|index|search:WORD|titles:WORD]
# (default /tmp/chm.png, contents). "contents" shows the contents tree opened out; "index"
# shows the Index tab; "search:WORD" searches the pages' text for WORD in the Search tab,
# "titles:WORD" the titles only (partial matches).
# Debian 12's shared MIME data also maps *.htm/*.html to application/xhtml+xml, which makes
# xchm show page source; as root the script hides that mapping in a private mount namespace.
set -eu
chm=$(realpath "$1")
png=${2:-/tmp/chm.png}
tab=${3:-contents}
here=$(cd "$(dirname "$0")" && pwd)
view="xvfb-run -a -s '-screen 0 1024x768x24' sh '$here/show-chm-xvfb.sh' xchm '$chm' '$png' '$tab'"
if [ "$(id -u)" -eq 0 ] && command -v unshare >/dev/null; then
  globs=$(mktemp)
  grep -v '^application/xhtml+xml:\*\.html\?$' /usr/share/mime/globs > "$globs"
  unshare -m sh -c "mount --bind '$globs' /usr/share/mime/globs && $view"
  rm -f "$globs"
else
  sh -c "$view"
fi
echo "$png"
