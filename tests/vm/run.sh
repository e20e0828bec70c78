#!/usr/bin/env bash
# The real-kernel stage in one command (as root): installs QEMU and the kernel, builds
# qkvorn-cli if needed and boots the test VM (tests/vm/vmtest.py).
#
#   tests/vm/run.sh [BUILD_DIR]      (default build)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
./scripts/install-deps.sh
./scripts/install-vm-deps.sh
if [ ! -x "$build/qkvorn-cli" ]; then
    ./scripts/build.sh "$build"
fi
# The VM's kernel has only the drivers of its emulated devices: a clean work folder.
rm -rf build/vm/root build/vm/images
python3 tests/vm/vmtest.py --cli "$build/qkvorn-cli" --work build/vm
