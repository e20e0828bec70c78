#!/usr/bin/env bash
# Configures and builds into build/ (or the folder given as $1, with extra CMake args),
# warnings as errors as for every developer build.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_WERROR=ON "$@"
cmake --build "$dir" -j"$(nproc)"
