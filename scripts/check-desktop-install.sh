#!/bin/sh
# Installs a build into a scratch prefix and checks the desktop integration there: the
# entry passes desktop-file-validate and starts the installed workbench, the icons are in
# place, and a desktop that knows only this prefix names the workbench as the program for
# a project file (.zlp) and tells a .zlp by its name.
#   scripts/check-desktop-install.sh BUILD-DIR
set -eu
build=$(cd "${1:?usage: $0 BUILD-DIR}" && pwd)
prefix=$(mktemp -d /tmp/zelbrin-install.XXXXXX)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "check-desktop-install: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >"$prefix/install.log" 2>&1 ||
  fail "cmake --install failed: $(cat "$prefix/install.log")"
share=$prefix/share
entry=$share/applications/zelbrin.desktop
desktop-file-validate "$entry" || fail "desktop-file-validate refused $entry"
program=$(sed -n 's/^Exec="\(.*\)" %f$/\1/p' "$entry")
[ -x "$program" ] && [ "${program#"$prefix"/}" != "$program" ] ||
  fail "the entry does not start the installed workbench: $(grep ^Exec= "$entry")"
for size in 16 22 24 32 48 64 128 256; do
  [ -s "$share/icons/hicolor/${size}x$size/apps/zelbrin.png" ] || fail "no ${size}x$size icon"
done
[ -s "$share/icons/hicolor/scalable/apps/zelbrin.svg" ] || fail "no scalable icon"
[ -s "$share/mime/mime.cache" ] || fail "update-mime-database did not run on $share/mime"

export XDG_DATA_HOME="$prefix/home-data" XDG_DATA_DIRS="$share"
export XDG_CONFIG_HOME="$prefix/home-config" XDG_CONFIG_DIRS="$prefix/config"
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID
default=$(xdg-mime query default application/x-zelbrin-project)
[ "$default" = zelbrin.desktop ] || fail "xdg-mime names '$default' for a project file"
if command -v gio >/dev/null 2>&1; then
  printf '<Help><Items/></Help>' >"$prefix/Help.zlp"
  type=$(gio info -a standard::content-type "$prefix/Help.zlp" 2>/dev/null |
         sed -n 's/^ *standard::content-type: //p')
  [ "$type" = application/x-zelbrin-project ] || fail "a .zlp file is seen as '$type'"
fi
echo "check-desktop-install: passed (program $program, default $default)"
