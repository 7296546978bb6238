#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs each for a bounded time, starting
# from its committed seed corpus. Fails on the first finding; the input that
# found it is left in the build directory as crash-*, leak-*, timeout-* or
# oom-*, to be turned into a regression test.
#
#   fuzz/run.sh [TARGET...]      # default: every target
#   FUZZ_SECONDS=60              # time per target
#   FUZZ_BUILD_DIR=build/fuzz    # where it builds and keeps the working corpora
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-60}
build=${FUZZ_BUILD_DIR:-build/fuzz}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(remote_decoder replay_line core device_text)

CXX=${CXX_FOR_FUZZ:-clang++} cmake -S . -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DHUB_BUILD_FUZZERS=ON -DHUB_BUILD_TESTS=OFF -DHUB_BUILD_BENCHMARKS=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" \
  >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"

status=0
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  dictionary=()
  [ -f "fuzz/$target.dict" ] && dictionary=(-dict="fuzz/$target.dict")
  echo "==== fuzz_$target for ${seconds}s"
  if ! "$build/bin/fuzz_$target" "$corpus" "fuzz/corpus/$target" "${dictionary[@]}" \
       -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$build/$target-" 2>"$build/$target.log"; then
    tail -n 40 "$build/$target.log"
    echo "fuzz_$target: FINDING (see $build/$target.log and $build/$target-*)"
    status=1
  else
    grep -E '^stat::(number_of_executed_units|new_units_added)' "$build/$target.log" || true
  fi
done
exit $status
