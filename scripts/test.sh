#!/usr/bin/env bash
# Builds everything and runs every test: the unit tests of the logic (native, and again
# under sanitizers), the fuzz targets, the checks of the built launcher.exe, and the
# end-to-end tests of the real launcher.exe under Wine.
# Ends with one summary line over all of them.
set -uo pipefail
cd "$(dirname "$0")/.."
# What is missing is installed first (as root), so a fresh machine needs only this command.
bash scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
log_dir=build/test-logs
mkdir -p "$log_dir"
passed=0
failed=0

# A 32-bit Windows program needs a 32-bit Wine, which needs a kernel that runs 32-bit code.
# Where there is one, the end-to-end tests run the product, the i686 build, and then the
# same sources built for x86_64, which stands in for it where there is none.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  wine32=yes
else
  wine32=no
  echo "note: this machine's Wine cannot run 32-bit programs: the 32-bit launcher.exe (the product) is not run end to end here, only its x86_64 build"
fi

run_preset() {
  local preset=$1 label=$2
  shift 2
  echo "=== $label ($preset)"
  if ! cmake --preset "$preset" "$@" >"$log_dir/$preset-configure.log" 2>&1 ||
     ! cmake --build --preset "$preset" -j "$jobs" >"$log_dir/$preset-build.log" 2>&1; then
    echo "build failed: see $log_dir/$preset-*.log"
    tail -30 "$log_dir/$preset-configure.log" "$log_dir/$preset-build.log"
    failed=$((failed + 1))
    return
  fi
  local out="$log_dir/$preset-ctest.log"
  ctest --preset "$preset" -j "$jobs" 2>&1 | tee "$out" | grep -E '^ *[0-9]+/[0-9]+ Test|tests passed|FAILED|Failed' || true
  local summary
  summary=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$out" | tail -1)
  if [ -z "$summary" ]; then
    echo "ctest printed no summary"
    failed=$((failed + 1))
    return
  fi
  local total fails
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
  fails=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$summary")
  passed=$((passed + total - fails))
  failed=$((failed + fails))
}

# The benchmarks are built with the tests, so a change that breaks one fails here; only
# scripts/bench.sh runs them (timings on a shared machine are no test).
benchmarks=-DLAUNCHER_BENCHMARKS=ON
run_preset host "unit tests and the native benchmark" "$benchmarks"
run_preset host-sanitize "unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
run_preset fuzz "fuzzing each parser of outside text for a bounded time"
if [ "$wine32" = yes ]; then
  run_preset windows-x86 "launcher.exe checks and end-to-end tests" "$benchmarks"
else
  run_preset windows-x86 "launcher.exe checks" -DLAUNCHER_E2E_TESTS=OFF "$benchmarks"
fi
run_preset windows-x64 "end-to-end tests of the x86_64 build" -DLAUNCHER_RESOURCE_TESTS=OFF "$benchmarks"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
