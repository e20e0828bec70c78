#!/usr/bin/env bash
# Installs the dependencies, builds, and starts QK Vorn.
#   without arguments: the window program qkvorn when a display is available
#                      ($DISPLAY or $WAYLAND_DISPLAY), otherwise how to get one and
#                      the terminal front end's commands;
#   with arguments:    qkvorn-cli with those arguments (the window program takes none).
# As a normal user both programs open drives through udisks2 (polkit deciding); the
# packages install only as root, so the first start may need it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh build >/dev/null
if [[ $# -eq 0 && ( -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ) ]]; then
    # The window program reads and writes its files in the current directory. It works
    # in a folder of its own, which holds the sample library so that Graph Data lists
    # real results on the first start (a newer copy there is kept).
    program=$PWD/build/qkvorn
    folder=${XDG_DATA_HOME:-$HOME/.local/share}/qkvorn
    mkdir -p "$folder"
    cp -u samples/qkvorn-samples.qkl "$folder/"
    cd "$folder"
    exec "$program"
fi
if [[ $# -eq 0 ]]; then
    cat >&2 <<'TEXT'
No display: neither $DISPLAY nor $WAYLAND_DISPLAY is set, so the window program
qkvorn cannot start. To get one:
  - on this machine without a screen:  xvfb-run ./scripts/start.sh   (package xvfb)
  - from another computer:             ssh -X <user>@<this machine>, then ./scripts/start.sh
Or use the terminal front end, for example a whole test run on a demo image:
  ./build/qkvorn-cli run --demo
Its commands:
TEXT
fi
exec ./build/qkvorn-cli "${@:---help}"
