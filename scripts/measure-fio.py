#!/usr/bin/env python3
"""Zone rates of `qkvorn-cli bench` against fio on the same RAM-backed loop device.

Both tools move the same block size over the same offsets and sizes with direct,
synchronous I/O at queue depth 1 (fio: psync, direct=1, iodepth=1). The script prints
one row per block size, direction and zone: the median of the pair ratios (QK Vorn over
fio, each QK Vorn run followed at once by fio on the same zone) with the lowest and
highest pair, so machine noise that hits one run hits its own pair only. Needs root, losetup and fio. Run from the repository root after a build:

    sudo scripts/measure-fio.py [--cli build/qkvorn-cli] [--runs 5]
"""
import argparse
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vornmeasure as vm  # noqa: E402

BLOCKS = [4096, 16384, 65536]
IMAGE_BYTES = 256 * 1024 * 1024
TIMED = 32 * 1024 * 1024


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", default="build/qkvorn-cli")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    cli = os.path.abspath(args.cli)
    image = tempfile.NamedTemporaryFile(dir="/dev/shm", prefix="vorn-fio-", delete=False).name
    os.truncate(image, IMAGE_BYTES)
    dev = vm.run(["losetup", "-f", "--show", image]).strip()
    workdir = tempfile.mkdtemp(prefix="vorn-fio-")
    try:
        os.chdir(workdir)  # the CLI leaves its logs here
        print(f"device {dev} backed by {image}; {TIMED} timed bytes per zone; QK Vorn zone "
              f"rate / fio, median of {args.runs} alternating pairs with their spread")
        print(f"{'mode':6} {'block':>6} {'zone':>4} {'median':>7} {'lowest':>7} {'highest':>7}")
        worst = None
        for mode in ("read", "write"):
            for block in BLOCKS:
                # One QK Vorn run, then fio on each of its zones: a pair per zone and run.
                ratios = {}
                for _ in range(args.runs):
                    for i, zone in enumerate(vm.vorn_bench(cli, dev, mode, block, TIMED)):
                        fio = vm.fio_rate(dev, mode, block, zone["start"], TIMED)
                        ratios.setdefault(i, []).append(zone["zone_rate"] / fio if fio else 0.0)
                for i in sorted(ratios):
                    median, low, high = vm.pair_summary(ratios[i])
                    worst = median if worst is None else min(worst, median)
                    print(f"{mode:6} {block:>6} {i:>4} {median:>7.3f} {low:>7.3f} {high:>7.3f}")
        print(f"lowest median pair ratio {worst:.3f}")
    finally:
        subprocess.run(["losetup", "-d", dev])
        os.unlink(image)


if __name__ == "__main__":
    sys.exit(main())
