#!/bin/sh
# Installs what is missing, builds, compiles the sample manual into a .chm with the
# command-line builder, and starts the workbench with the sample project open.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
project=$(scripts/sample.sh build/sample)
build/bin/zelbrin-build "$project"
echo "Sample help file: build/sample/用户手册.CHM (project $project)"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: starting the workbench under Xvfb."
  exec xvfb-run -a build/bin/zelbrin "$project"
fi
exec build/bin/zelbrin "$project"
