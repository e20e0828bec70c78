#!/usr/bin/env bash
# Installs the dependencies, builds and runs every test.
# With --sanitize the tests are built and run under ASan and UBSan in build-asan/.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
if [ "${1:-}" = "--sanitize" ]; then
    ./scripts/build.sh build-asan
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    ctest --test-dir build-asan --output-on-failure -j"$(nproc)"
else
    ./scripts/build.sh build
    ctest --test-dir build --output-on-failure -j"$(nproc)"
fi
