#!/bin/sh
# Opens a compiled help file in Wine's hh.exe under Xvfb and saves screenshots of its
# Contents and Index tabs: Wine's storage library reads the container as Windows does.
# Usage: scripts/show-chm-wine.sh FILE.CHM [SCREENSHOT-PREFIX]   (default /tmp/chm-wine)
#   writes PREFIX-contents.png and PREFIX-index.png
# Wine is large, so only this script installs it (Debian's wine, as root). The Wine prefix
# is made once under LANG=zh_CN.UTF-8, so that Wine's ANSI code page is 936 like a Chinese
# Windows; it lives in ${ZELBRIN_WINE_PREFIX:-$HOME/.cache/zelbrin-wine}.
set -eu
chm=$(realpath "$1")
prefix=${2:-/tmp/chm-wine}

need=""
command -v wine >/dev/null || need="$need wine wine64"
command -v xdotool >/dev/null || need="$need xdotool"
command -v import >/dev/null || need="$need imagemagick"
command -v xvfb-run >/dev/null || need="$need xvfb xauth"
fc-list | grep -qi "wenquanyi zen hei" || need="$need fonts-wqy-zenhei"
if [ -n "$need" ]; then
  [ "$(id -u)" -eq 0 ] || { echo "as root, install:$need" >&2; exit 1; }
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $need >/dev/null
fi
if ! locale -a | grep -qi '^zh_CN.utf8$'; then
  [ "$(id -u)" -eq 0 ] || { echo "as root, generate the locale zh_CN.UTF-8" >&2; exit 1; }
  command -v locale-gen >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq locales >/dev/null
  sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi

export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
export WINEPREFIX="${ZELBRIN_WINE_PREFIX:-$HOME/.cache/zelbrin-wine}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  xvfb-run -a wineboot -i
  xvfb-run -a wineserver -w
fi

here=$(cd "$(dirname "$0")" && pwd)
for tab in contents index; do
  xvfb-run -a -s '-screen 0 1024x768x24' sh "$here/show-chm-xvfb.sh" wine "$chm" "$prefix-$tab.png" "$tab"
  echo "$prefix-$tab.png"
done
