#!/usr/bin/env bash
# Measures the launcher's performance figures and prints them in one table against their
# goals: how product discovery scales with the target list, what /e costs under Wine next
# to a program that only writes the package (onto a new path and over a file), the default
# run next to msiexec /p on the same products, and the size of the executable without its
# package. Exits non-zero when a goal is missed or a figure could not be measured.
#
#   bash scripts/bench.sh [--large]
#
# --large (minutes): also /e with a large sample package (512 MiB, or BENCH_LARGE_MIB); the
# default run with it against what an administrator does instead (copy the package onto the
# machine, then msiexec /p on the copy) and, for information, against msiexec /p on the
# package where it lies; how its build's time and peak memory grow against the default
# package's, each from a clean build of the launcher; and how the configure step's read of
# the package grows.
#
# Builds into build/bench-host (native benchmark), build/bench-windows (the launcher and
# the reference extractor, for the Wine that runs here), build/bench-x86 (the i686
# launcher, for its size) and, with --large, build/bench-large-{default,large}.
# BENCH_WORK names the folder for the Wine prefixes (default build/bench-windows/bench-work);
# BENCH_PAIRS the number of extraction pairs (31), BENCH_DEFAULT_PAIRS that of default runs
# of each side (25).
set -euo pipefail
cd "$(dirname "$0")/.."

large=no
for argument in "$@"; do
  case $argument in
    --large) large=yes ;;
    *) echo "usage: bash scripts/bench.sh [--large]" >&2; exit 2 ;;
  esac
done

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

work=${BENCH_WORK:-build/bench-windows/bench-work}
mkdir -p "$work"
large_arguments=()
if [ "$large" = yes ]; then
  large_bytes=$(( ${BENCH_LARGE_MIB:-512} << 20 ))
  large_package=build/bench-large-package/large.msp
  builds=$log_dir/large-builds.txt
  mkdir -p "$(dirname "$large_package")"
  echo "making a sample package of $large_bytes bytes..." >&2
  "$python" resources/sample_package/make_sample_package.py --output "$large_package" --size "$large_bytes"
  rm -f "$builds"
  # A clean build of the launcher with each package, timed without its configure step; the
  # peak is that of the largest single process (the linker or the resource compiler).
  for name in default large; do
    package=build/bench-windows/sample/sample.msp
    [ "$name" = large ] && package=$large_package
    dir=build/bench-large-$name
    rm -rf "$dir"
    cmake -S . -B "$dir" -G Ninja -DPython3_EXECUTABLE="$python" "${windows[@]}" \
      -DLAUNCHER_MINGW_ARCH="$win_arch" -DLAUNCHER_BENCHMARKS=ON \
      -DLAUNCHER_PATCH_PACKAGE="$(pwd)/$package" >"$log_dir/$name-configure.log" 2>&1 || true
    echo "timing the build of $dir..." >&2
    printf '%s %s ' "$name" "$(stat -c %s "$package")" >>"$builds"
    "$python" -I -S tests/bench/peak_rss.py /bin/sh -c \
      "cmake --build '$dir' -j $jobs --target launcher >>'$log_dir/$name-timed-build.log' 2>&1" >>"$builds"
  done
  build build/bench-large-large reference_extract "${windows[@]}" -DLAUNCHER_MINGW_ARCH="$win_arch" \
    -DLAUNCHER_BENCHMARKS=ON -DLAUNCHER_PATCH_PACKAGE="$(pwd)/$large_package" || true
  large_arguments=(--large-launcher build/bench-large-large/launcher.exe
                   --large-reference build/bench-large-large/tests/bench/reference_extract.exe
                   --large-package "$large_package" --large-builds "$builds")
fi

echo "running /e and the default run under Wine..." >&2
exec "$python" tests/bench/bench_figures.py \
  --discovery-json "$discovery_json" \
  --launcher build/bench-windows/launcher.exe \
  --reference build/bench-windows/tests/bench/reference_extract.exe \
  --package build/bench-windows/sample/sample.msp \
  --size-exe build/bench-x86/launcher.exe \
  --size-package build/bench-x86/sample/sample.msp \
  --work "$work" --pairs "${BENCH_PAIRS:-31}" --default-pairs "${BENCH_DEFAULT_PAIRS:-25}" \
  "${large_arguments[@]}"
