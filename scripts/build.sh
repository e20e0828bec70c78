#!/usr/bin/env bash
# Configures and builds with the project's presets (CMakePresets.json): build-asan/
# with the sanitizer preset, any other folder (default build/) with the developer
# preset, warnings as errors in both. Extra arguments go to CMake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
preset=dev
[ "$(basename "$dir")" = build-asan ] && preset=asan
cmake --preset "$preset" -B "$dir" "$@"
cmake --build "$dir" -j"$(nproc)"
