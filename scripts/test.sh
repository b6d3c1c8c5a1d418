#!/bin/sh
# Installs what is missing, checks that no name is a form designer's default, builds, and
# runs every test (widget tests headless).
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/check-names.sh
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
cd build
ctest --output-on-failure --timeout 900
