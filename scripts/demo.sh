#!/usr/bin/env bash
# Builds the sample launcher and runs its main job under Wine on a sample machine,
# printing each message box a person would see and each exit code.
#
#   demo.sh [--screenshots DIR]
#
# With --screenshots the boxes appear on a virtual X display (Xvfb) and a PNG of each,
# as that display shows it, is saved in DIR.
set -euo pipefail

demo_args=()
while [ $# -gt 0 ]; do
  case $1 in
    --screenshots)
      if [ $# -lt 2 ]; then echo "usage: $0 [--screenshots DIR]" >&2; exit 2; fi
      # Taken relative to where we were called from, before the cd below.
      case $2 in /*) dir=$2 ;; *) dir=$PWD/$2 ;; esac
      demo_args+=(--screenshots "$dir")
      shift 2
      ;;
    *) echo "usage: $0 [--screenshots DIR]" >&2; exit 2 ;;
  esac
done
cd "$(dirname "$0")/.."
# What is missing is installed first (as root), so a fresh machine needs only this command.
bash scripts/install-deps.sh

if [ ${#demo_args[@]} -gt 0 ]; then
  for tool in Xvfb xwd; do
    if ! command -v "$tool" >/dev/null; then
      echo "--screenshots needs $tool (packages xvfb, x11-apps): run scripts/install-deps.sh as root" >&2
      exit 1
    fi
  done
fi

# Same choice as the tests: a 32-bit launcher needs a Wine that can run 32-bit code.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then preset=windows-x86; else preset=windows-x64; fi
echo "building the sample launcher ($preset)..."
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
exec /usr/bin/python3 scripts/demo.py "build/$preset" ${demo_args[@]+"${demo_args[@]}"}
