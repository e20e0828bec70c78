#!/usr/bin/env bash
# Installs the dependencies, builds, and starts QK Vorn's terminal front end.
# Arguments are passed to qkvorn-cli (without any, it prints its commands).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh build >/dev/null
exec ./build/qkvorn-cli "${@:---help}"
