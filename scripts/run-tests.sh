#!/usr/bin/env bash
# The one test command: installs what is missing, then builds every configuration once and
# runs every test tier, the fuzz targets and the benchmarks for a bounded time.
#   scripts/run-tests.sh            everything
#   BREVANT_FUZZ_SECONDS=5 ...      shorter fuzz runs
# The closing line counts test cases (GoogleTest's and node's own counts); a tier that this
# machine cannot run is listed as not run, with the reason, and counts as neither.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/install-deps.sh || exit 1
# shellcheck source=../cmake/wine-env.sh
. cmake/wine-env.sh

jobs=$(nproc)
fuzz_seconds=${BREVANT_FUZZ_SECONDS:-20}
failures=()
not_run=()
passed=0
failed=0
skipped=0

step() { printf '\n==== %s ====\n' "$*"; }

xml_attr() {  # xml_attr FILE NAME: an attribute of the file's <testsuites> element
  sed -n "s/.*<testsuites[^>]* $2=\"\([0-9]*\)\".*/\1/p" "$1" | head -n 1
}

# Adds one ctest run to the totals: each GoogleTest entry by its cases (from its XML results),
# any other entry as one case. An entry that failed although its cases passed (a crash at exit,
# a leak report, a time-out) adds one failure.
count_ctest() {
  local log=$1 results=$2 line name status xml t f e d s
  while IFS= read -r line; do
    name=$(sed -E 's/.*Test +#[0-9]+: ([^ ]+) .*/\1/' <<<"$line")
    if grep -q ' Passed ' <<<"$line"; then status=pass; else status=fail; fi
    xml=$results/$name.xml
    if [ -s "$xml" ]; then
      t=$(xml_attr "$xml" tests) f=$(xml_attr "$xml" failures) e=$(xml_attr "$xml" errors)
      d=$(xml_attr "$xml" disabled)
      s=$(grep -c 'result="skipped"' "$xml")
      t=${t:-0} f=${f:-0} e=${e:-0} d=${d:-0}
      passed=$((passed + t - f - e - d - s))
      failed=$((failed + f + e))
      skipped=$((skipped + s))
      if [ "$status" = fail ] && [ $((f + e)) -eq 0 ]; then failed=$((failed + 1)); fi
    elif [ "$status" = pass ]; then
      passed=$((passed + 1))
    else
      failed=$((failed + 1))
    fi
  done < <(grep -E 'Test +#[0-9]+: ' "$log")
}

build() {
  local preset=$1
  step "configure and build: $preset"
  cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j "$jobs"
}

# Every ctest call keeps its result files and its log in a folder of its own under
# build/test-results/ (numbered in the order run), so a later call of the same preset does not
# wipe an earlier one's.
results_root=$root/build/test-results
rm -rf "$results_root"
mkdir -p "$results_root"
ctest_calls=0
kept_results=()

# run_ctest PRESET [ctest arguments]; BREVANT_CTEST_WRAP may name a wrapper (xvfb-run).
run_ctest() {
  local preset=$1
  shift
  step "tests: $preset $*"
  # The tests write into build/<preset>/test-results (fixed at configure time); it is emptied
  # before the call and moved to the call's own folder after it.
  local staging=$root/build/$preset/test-results
  ctest_calls=$((ctest_calls + 1))
  local name
  name=$(printf '%02d-%s%s' "$ctest_calls" "$preset" "$(printf -- '-%s' "$@" | tr -c 'A-Za-z0-9_-' '_')")
  local kept=$results_root/$name
  rm -rf "$staging"
  mkdir -p "$staging" "$kept"
  ${BREVANT_CTEST_WRAP:-} ctest --preset "$preset" "$@" 2>&1 | tee "$kept/ctest.log"
  local rc=${PIPESTATUS[0]}
  count_ctest "$kept/ctest.log" "$staging"
  cp -a "$staging/." "$kept/"
  kept_results+=("$kept")
  [ "$rc" -eq 0 ] || failures+=("ctest $preset $*")
}

# 1. Unit and scenario tiers under AddressSanitizer + UndefinedBehaviorSanitizer.
if build linux-asan; then run_ctest linux-asan -L 'unit|scenario'; else failures+=("build linux-asan"); fi

# 2. Release build: every tier that runs natively, the GUI ones on a virtual display.
if build linux-release; then
  BREVANT_CTEST_WRAP="xvfb-run -a" run_ctest linux-release -LE 'unit|scenario'
  # The unit tier once more without sanitizers: catches optimiser-dependent faults.
  run_ctest linux-release -L unit
  step "benchmarks (one short repetition)"
  for b in build/linux-release/bench/brevant_bench_*; do
    [ -x "$b" ] || continue
    "$b" --benchmark_min_time=0.05 || failures+=("bench $(basename "$b")")
  done
  # 20 idle companion windows on a virtual display for 10 s: CPU time of the process.
  idle=build/linux-release/bench/brevant_linux_idle_companions
  if [ -x "$idle" ]; then xvfb-run -a "$idle" || failures+=("bench $(basename "$idle")"); fi
  messenger=build/linux-release/bench/brevant_messenger_sim
  if [ -x "$messenger" ]; then
    xvfb-run -a "$messenger" --messages 10 --seconds 3 --placements 400 || failures+=("bench $(basename "$messenger")")
  fi
else
  failures+=("build linux-release")
fi

# 3. Windows builds under Wine. 64-bit always with the 64-bit loader; 32-bit where this machine
# can run 32-bit programs (built either way, so that it keeps compiling). The x86 build comes
# first: the x64 build makes the installer, which takes the x86 DLL from it.
for preset in win32 win64; do
  arch=x64
  [ "$preset" = win32 ] && arch=x86
  if ! build "$preset"; then
    failures+=("build $preset")
    continue
  fi
  if brevant_wine_select "$arch"; then
    run_ctest "$preset"
    WINEPREFIX=$root/build/$preset/wineprefix wineserver -k >/dev/null 2>&1 || true
  elif [ "$arch" = x86 ]; then
    not_run+=("$preset tier (built, not run): $BREVANT_WINE_WHY")
  else
    failures+=("$preset tier: $BREVANT_WINE_WHY")
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

# 5. The page tier: the companion pages in a real browser, counted by node's own summary.
if [ -f tests/page/package.json ]; then
  step "page tier"
  log=$(mktemp)
  bash tests/page/run.sh 2>&1 | tee "$log"
  rc=${PIPESTATUS[0]}
  p=$(sed -n 's/^# pass \([0-9]*\)$/\1/p' "$log" | tail -n 1)
  f=$(sed -n 's/^# fail \([0-9]*\)$/\1/p' "$log" | tail -n 1)
  s=$(sed -n 's/^# skipped \([0-9]*\)$/\1/p' "$log" | tail -n 1)
  passed=$((passed + ${p:-0}))
  failed=$((failed + ${f:-0}))
  skipped=$((skipped + ${s:-0}))
  if [ "$rc" -ne 0 ]; then
    failures+=("page tier")
    [ "${f:-0}" -gt 0 ] || failed=$((failed + 1))
  fi
  rm -f "$log"
fi

step "summary"
echo "Result files of each test call (GoogleTest XML and the ctest log):"
for k in "${kept_results[@]}"; do echo "  ${k#"$root"/} ($(find "$k" -name '*.xml' | wc -l) result files)"; done
for n in "${not_run[@]}"; do echo "NOT RUN: $n"; done
if [ ${#failures[@]} -gt 0 ]; then
  printf 'FAILED: %s\n' "${failures[@]}"
fi
echo "Total: $passed passed, $failed failed, $skipped skipped"
[ ${#failures[@]} -eq 0 ]
