#!/bin/sh
# Installs what is missing, checks that no name is a form designer's default, builds, and
# runs every test (widget tests headless), then a short run of every fuzz target on its
# kept corpus (scripts/fuzz.sh --smoke).
#   scripts/test.sh             build/ and the smoke run
#   scripts/test.sh --sanitize  everything built with ASan and UBSan (clang) into
#                               build-sanitize/, and every test run there
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/setup.sh
scripts/check-names.sh
export QT_QPA_PLATFORM=offscreen

if [ "${1:-}" = --sanitize ]; then
  cmake -S . -B build-sanitize -G Ninja \
    -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
    -DCMAKE_CXX_FLAGS="-fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=undefined" \
    >/dev/null
  cmake --build build-sanitize --parallel "$(nproc)"
  # The tests and every program they start report into files, so that a report from a
  # program whose exit or output a test does not look at still fails the run. See the
  # suppression files for what is suppressed and why.
  reports="$root/build-sanitize/sanitizer-reports"
  rm -rf "$reports" && mkdir -p "$reports"
  export ASAN_OPTIONS="detect_leaks=1:log_path=$reports/report"
  export UBSAN_OPTIONS="print_stacktrace=1:log_path=$reports/report:suppressions=$root/scripts/sanitizer/ubsan.supp"
  export LSAN_OPTIONS="suppressions=$root/scripts/sanitizer/lsan.supp:print_suppressions=0"
  status=0
  (cd build-sanitize && ctest --output-on-failure --timeout 1800 --parallel "$(nproc)") || status=1
  if [ -n "$(ls "$reports")" ]; then
    cat "$reports"/*
    echo "sanitizer reports: $reports"
    status=1
  fi
  exit $status
fi

scripts/build.sh
(cd build && ctest --output-on-failure --timeout 900)
scripts/fuzz.sh --smoke
