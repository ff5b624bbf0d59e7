#!/usr/bin/env bash
# The one test command: installs what is missing, then builds every configuration once and
# runs every test tier, the fuzz targets and the benchmarks for a bounded time.
#   scripts/run-tests.sh            everything
#   BREVANT_FUZZ_SECONDS=5 ...      shorter fuzz runs
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/install-deps.sh || exit 1

jobs=$(nproc)
fuzz_seconds=${BREVANT_FUZZ_SECONDS:-20}
failures=()
passed=0
failed=0

step() { printf '\n==== %s ====\n' "$*"; }

# Adds one ctest summary ("N% tests passed, F tests failed out of T") to the totals.
count_ctest() {
  local line t f
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)
  if [ -z "$line" ]; then return; fi
  f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  t=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
  passed=$((passed + t - f))
  failed=$((failed + f))
}

build() {
  local preset=$1
  step "configure and build: $preset"
  cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j "$jobs"
}

run_ctest() {
  local preset=$1
  shift
  step "tests: $preset $*"
  local log
  log=$(mktemp)
  ctest --preset "$preset" "$@" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  count_ctest "$log"
  rm -f "$log"
  [ "$rc" -eq 0 ] || failures+=("ctest $preset $*")
}

# 1. Unit and scenario tiers under AddressSanitizer + UndefinedBehaviorSanitizer.
if build linux-asan; then run_ctest linux-asan -L 'unit|scenario'; else failures+=("build linux-asan"); fi

# 2. Release build: every tier that runs natively (the GUI ones under a virtual display).
if build linux-release; then
  run_ctest linux-release -LE 'unit|scenario'
  # The unit tier once more without sanitizers: catches optimiser-dependent faults.
  run_ctest linux-release -L unit
  step "benchmarks (one short repetition)"
  for b in build/linux-release/bench/brevant_bench_*; do
    [ -x "$b" ] || continue
    "$b" --benchmark_min_time=0.05 || failures+=("bench $(basename "$b")")
  done
else
  failures+=("build linux-release")
fi

# 3. Windows builds under Wine, 64- and 32-bit.
for preset in win64 win32; do
  if build "$preset"; then
    run_ctest "$preset"
    WINEPREFIX=$root/build/$preset/wineprefix wineserver -k >/dev/null 2>&1 || true
  else
    failures+=("build $preset")
  fi
done

# 4. Fuzz targets, each for a bounded time.
if build fuzz; then
  step "fuzzing, ${fuzz_seconds}s per target"
  for f in build/fuzz/fuzz/fuzz_*; do
    [ -x "$f" ] || continue
    corpus=$(mktemp -d)
    if "$f" -max_total_time="$fuzz_seconds" -print_final_stats=0 "$corpus" >"$corpus.log" 2>&1; then
      echo "$(basename "$f"): no finding"
      passed=$((passed + 1))
    else
      tail -n 40 "$corpus.log"
      failures+=("fuzz $(basename "$f")")
      failed=$((failed + 1))
    fi
    rm -rf "$corpus" "$corpus.log"
  done
else
  failures+=("build fuzz")
fi

# 5. The page tier: the companion pages in a real browser.
if [ -f tests/page/package.json ]; then
  step "page tier"
  if bash tests/page/run.sh; then passed=$((passed + 1)); else failed=$((failed + 1)); failures+=("page tier"); fi
fi

step "summary"
if [ ${#failures[@]} -gt 0 ]; then
  printf 'FAILED: %s\n' "${failures[@]}"
fi
echo "Total: $passed passed, $failed failed"
[ ${#failures[@]} -eq 0 ]
