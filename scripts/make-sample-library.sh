#!/usr/bin/env bash
# Makes the sample library samples/qkvorn-samples.qkl from results this project
# measures itself, so a fresh machine has something to browse in Graph Data.
#
#   scripts/make-sample-library.sh [QKVORN_CLI [OUT.qkl]]
#
# Each target gets a whole write test run (qkvorn-cli run --device ... --write --yes)
# in a temporary folder; its temp.qkt is kept as a .qkc and all of them are bundled
# with qkvorn-cli library. The targets are image files in the temporary folder, named
# so that their identification says what they are ("qkvorn-sample-image-64MiB.img"
# and so on), and, when run as root, a loop device ("loopN"). A run that refuses its
# target (a loop device is not removable media) is reported and left out.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${1:-$root/build/qkvorn-cli}
out=${2:-$root/samples/qkvorn-samples.qkl}
[[ -x $cli ]] || { echo "no qkvorn-cli at $cli: build first (scripts/build.sh)" >&2; exit 1; }
# The runs work in a folder of their own: paths given relative to here are made whole.
case $cli in /*) ;; *) cli=$PWD/$cli ;; esac
case $out in /*) ;; *) out=$PWD/$out ;; esac

work=$(mktemp -d "${TMPDIR:-/tmp}/qkvorn-samples.XXXXXX")
loop=
cleanup() {
    [[ -n $loop ]] && losetup -d "$loop" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/run" "$work/results"
results=()

# measure NAME TARGET: one write test run on TARGET, kept as NAME.qkc.
measure() {
    local name=$1 target=$2
    echo "== $name: $target" >&2
    rm -f "$work/run/temp.qkt"
    if (cd "$work/run" && "$cli" run --device "$target" --write --yes >/dev/null 2>run.err); then
        cp "$work/run/temp.qkt" "$work/results/$name.qkc"
        results+=("$work/results/$name.qkc")
    else
        sed 's/^/   /' "$work/run/run.err" >&2
        echo "   left out: the run on $target did not complete" >&2
    fi
}

for size in 64MiB 256MiB 1GiB; do
    image=$work/qkvorn-sample-image-$size.img
    truncate -s "${size%iB}" "$image"
    measure "image-$size" "$image"
    rm -f "$image"
done

if [[ $(id -u) -eq 0 ]] && command -v losetup >/dev/null; then
    backing=$work/qkvorn-sample-loop.img
    truncate -s 128M "$backing"
    if loop=$(losetup -f --show "$backing" 2>/dev/null); then
        measure "$(basename "$loop")" "$loop"
    fi
fi

[[ ${#results[@]} -gt 0 ]] || { echo "no run completed: no library made" >&2; exit 1; }
mkdir -p "$(dirname "$out")"
"$cli" library "$out" "${results[@]}"
