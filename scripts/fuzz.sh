#!/bin/sh
# Builds the libFuzzer targets of fuzz/ with ASan and UBSan into build-fuzz/ and runs them.
#   scripts/fuzz.sh [SECONDS] [TARGET...]  each target SECONDS (default 60), starting from
#                                          the kept corpus fuzz/corpus/TARGET and growing
#                                          build-fuzz/corpus/TARGET
#   scripts/fuzz.sh --smoke [TARGET...]    about 20 s each on the kept corpus only
#   scripts/fuzz.sh --merge [TARGET...]    replaces the kept corpus by a minimised set of it
#                                          and of what earlier runs found
#   scripts/fuzz.sh --build                builds the targets only
# Any crash, sanitizer report, leak, time-out or memory blow-up fails the run; the input is
# saved in build-fuzz/artifacts/TARGET/. Targets: the *_fuzzer.cpp files of fuzz/.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
out="$root/build-fuzz"

mode=run
seconds=60
case "${1:-}" in
  --smoke) mode=smoke; seconds=20; shift ;;
  --merge) mode=merge; shift ;;
  --build) mode=build; shift ;;
  ''|*[!0-9]*) ;;
  *) seconds=$1; shift ;;
esac

targets="$*"
if [ -z "$targets" ]; then
  for f in fuzz/*_fuzzer.cpp; do
    targets="$targets $(basename "$f" _fuzzer.cpp)"
  done
fi

sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=undefined"
cmake -S . -B "$out" -G Ninja -DZELBRIN_FUZZ=ON \
  -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
  -DCMAKE_CXX_FLAGS="-fno-omit-frame-pointer $sanitizers -fsanitize=fuzzer-no-link" >/dev/null
cmake --build "$out" --target fuzz_targets --parallel "$(nproc)"
[ "$mode" = build ] && exit 0

export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# Three frames of allocation context: the full default makes ASan's store of allocation
# stacks grow with every new path, until a long campaign spends over a third of its time (and a
# gigabyte) there. A crash found is rerun with the defaults for its whole story.
export ASAN_OPTIONS="detect_leaks=1:malloc_context_size=3"

# Inputs bigger than this add little to text parsers and slow every run down.
max_len() {
  case "$1" in
    chm|chm_dump) echo 65536 ;;
    *) echo 16384 ;;
  esac
}

mkdir -p "$out/logs"
failed=""
for t in $targets; do
  bin="$out/fuzz/fuzz_$t"
  kept="$root/fuzz/corpus/$t"
  log="$out/logs/$t.log"
  mkdir -p "$kept" "$out/corpus/$t" "$out/artifacts/$t"
  if [ "$mode" = merge ]; then
    fresh="$out/merge/$t"
    rm -rf "$fresh" && mkdir -p "$fresh"
    "$bin" -merge=1 -max_len="$(max_len "$t")" "$fresh" "$kept" "$out/corpus/$t" >"$log" 2>&1 </dev/null
    rm -rf "$kept" && mv "$fresh" "$kept"
    echo "$t: $(ls "$kept" | wc -l) inputs, $(du -sk "$kept" | cut -f1) KB kept"
    continue
  fi
  if [ "$mode" = smoke ]; then
    grow="$out/smoke/$t"  # new inputs of a smoke run are thrown away
    rm -rf "$grow" && mkdir -p "$grow"
  else
    grow="$out/corpus/$t"
  fi
  echo "fuzzing $t for $seconds s"
  if "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len="$(max_len "$t")" \
       -print_final_stats=1 -artifact_prefix="$out/artifacts/$t/" \
       "$grow" "$kept" >"$log" 2>&1 </dev/null; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    cov=$(grep -E '^#[0-9]+' "$log" | tail -n 1 | grep -oE 'cov: [0-9]+ ft: [0-9]+' || true)
    echo "$t: $runs runs, $speed exec/s, $cov"
  else
    echo "$t: FAILED (log $log)"
    grep -E 'ERROR|SUMMARY|fuzz check failed|runtime error' "$log" | head -n 5 || true
    failed="$failed $t"
  fi
done

if [ -n "$failed" ]; then
  echo "fuzzing failed:$failed"
  exit 1
fi
