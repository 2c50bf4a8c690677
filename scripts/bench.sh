#!/usr/bin/env bash
# Measures the launcher's performance figures and prints them in one table against their
# goals: how product discovery scales with the target list, what /e costs under Wine next
# to a program that only writes the package, and the size of the executable without its
# package. Exits non-zero when a goal is missed or a figure could not be measured.
#
# Builds into build/bench-host (native benchmark), build/bench-windows (the launcher and
# the reference extractor, for the Wine that runs here) and build/bench-x86 (the i686
# launcher, for its size). BENCH_WORK names the folder for the Wine prefixes (default
# build/bench-windows/bench-work); BENCH_PAIRS the number of extraction pairs (15).
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)
log_dir=build/bench-logs
mkdir -p "$log_dir"
python=/usr/bin/python3

# A 32-bit launcher needs a Wine that can run 32-bit code; elsewhere the same sources are
# measured as an x86_64 build under the 64-bit Wine.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then win_arch=i686; else win_arch=x86_64; fi

# build <dir> <targets> <cmake settings...>: configure and build, the log in $log_dir.
build() {
  local dir=$1 targets=$2 name
  shift 2
  name=$(basename "$dir")
  echo "building $dir ($targets)..." >&2
  # shellcheck disable=SC2086
  if ! cmake -S . -B "$dir" -G Ninja -DPython3_EXECUTABLE="$python" "$@" >"$log_dir/$name.log" 2>&1 ||
     ! cmake --build "$dir" -j "$jobs" --target $targets >>"$log_dir/$name.log" 2>&1; then
    echo "build of $dir failed: see $log_dir/$name.log" >&2
    tail -20 "$log_dir/$name.log" >&2
    return 1
  fi
}

windows=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF)
# Every build is tried; a figure whose build failed is reported as not measured.
build build/bench-host discovery_bench -DCMAKE_BUILD_TYPE=Release -DLAUNCHER_BENCHMARKS=ON || true
build build/bench-windows "launcher reference_extract" "${windows[@]}" \
  -DLAUNCHER_MINGW_ARCH="$win_arch" -DLAUNCHER_BENCHMARKS=ON || true
build build/bench-x86 launcher "${windows[@]}" -DLAUNCHER_MINGW_ARCH=i686 || true

# Repetitions in random order: a machine that gets busier for a while slows every size.
discovery_json=$log_dir/discovery.json
rm -f "$discovery_json"
if [ -x build/bench-host/tests/bench/discovery_bench ]; then
  echo "running the discovery benchmark..." >&2
  build/bench-host/tests/bench/discovery_bench --benchmark_filter=BM_DiscoverInstalledProducts \
    --benchmark_repetitions=15 --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true \
    --benchmark_out="$discovery_json" --benchmark_out_format=json >"$log_dir/discovery.txt" 2>&1 || true
fi

echo "running /e under Wine..." >&2
work=${BENCH_WORK:-build/bench-windows/bench-work}
mkdir -p "$work"
exec "$python" tests/bench/bench_figures.py \
  --discovery-json "$discovery_json" \
  --launcher build/bench-windows/launcher.exe \
  --reference build/bench-windows/tests/bench/reference_extract.exe \
  --package build/bench-windows/sample/sample.msp \
  --size-exe build/bench-x86/launcher.exe \
  --size-package build/bench-x86/sample/sample.msp \
  --work "$work" --pairs "${BENCH_PAIRS:-15}"
