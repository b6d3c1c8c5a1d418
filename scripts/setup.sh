#!/bin/sh
# Installs every Debian package that Zelbrin needs to build, run and test.
# Quick when everything is present: apt is only called for what is missing.
set -eu

PACKAGES="
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev
  libpugixml-dev libcurl4-openssl-dev libx11-dev
  libreoffice-writer-nogui libreoffice-calc-nogui libreoffice-impress-nogui libreoffice-dev
  libreoffice-l10n-zh-cn qt6-translations-l10n
  xdg-utils desktop-file-utils shared-mime-info
  libchm-dev libchm-bin python3-chm p7zip-full libmspack-dev
  googletest libgtest-dev libgmock-dev
  clang-14 libclang-rt-14-dev
  xvfb xauth xdotool x11-utils kchmviewer xchm imagemagick fonts-wqy-zenhei
  python3 curl iproute2
"

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

if [ -n "$missing" ]; then
  echo "Installing:$missing"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
fi

# The workbench opens a compiled help file in the program the desktop registers for it:
# kchmviewer, which shows the pages, the Chinese contents and finds Chinese words (xchm
# shows Debian's *.htm pages as source), unless the user has chosen a program for it in
# mimeapps.list.
chosen=""
for list in "${XDG_CONFIG_HOME:-$HOME/.config}/mimeapps.list" "$HOME/.local/share/applications/mimeapps.list"; do
  [ -f "$list" ] || continue
  chosen=$(sed -n '/^\[Default Applications\]/,/^\[/s/^application\/vnd\.ms-htmlhelp=//p' "$list" | head -n 1)
  [ -n "$chosen" ] && break
done
if [ -z "$chosen" ]; then
  xdg-mime default kchmviewer.desktop application/vnd.ms-htmlhelp
fi
