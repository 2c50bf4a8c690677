#!/usr/bin/env bash
# Builds the sample launcher and runs its main job under Wine on a sample machine,
# printing each message box a person would see and each exit code.
set -euo pipefail
cd "$(dirname "$0")/.."

# Same choice as the tests: a 32-bit launcher needs a Wine that can run 32-bit code.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then preset=windows-x86; else preset=windows-x64; fi
echo "building the sample launcher ($preset)..."
cmake --preset "$preset" -DPython3_EXECUTABLE=/usr/bin/python3 >/dev/null
cmake --build --preset "$preset" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
exec /usr/bin/python3 scripts/demo.py "build/$preset"
