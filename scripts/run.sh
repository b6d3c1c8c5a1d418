#!/bin/sh
# Installs what is missing, builds, and starts the workbench.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: starting the workbench under Xvfb (screen :99)."
  exec xvfb-run -a build/bin/zelbrin
fi
exec build/bin/zelbrin
