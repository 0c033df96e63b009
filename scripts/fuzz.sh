#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 30)
# The corpora in tests/fuzz/corpus seed each run; what a run adds stays in build/fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
command -v clang++ >/dev/null || { echo "fuzz: clang++ is not installed (MORVAND_SETUP_FUZZ=1 scripts/setup.sh)"; exit 1; }
cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DMORVAND_BUILD_FUZZERS=ON -DMORVAND_BUILD_TESTS=OFF \
  -DMORVAND_BUILD_BENCH=OFF >/dev/null
cmake --build build/fuzz -j2 --target fuzz_settings fuzz_shell_line
root=$PWD
for target in settings shell_line; do
  corpus=$root/build/fuzz/corpus/$target
  log=$root/build/fuzz/$target.log
  mkdir -p "$corpus"
  echo "fuzz: $target for $seconds s"
  # Absolute paths: the settings target works in a directory of its own.
  rc=0
  "$root/build/fuzz/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$root/build/fuzz/crash-$target-" "$corpus" "$root/tests/fuzz/corpus/$target" \
    >"$log" 2>&1 || rc=$?
  grep -E '^(stat::number_of_executed_units|stat::new_units_added|SUMMARY)' "$log" || true
  if [ "$rc" -ne 0 ]; then
    tail -n 40 "$log"
    echo "fuzz: $target found a failure (exit $rc), see $log"
    exit 1
  fi
done
