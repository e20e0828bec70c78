#!/usr/bin/env python3
"""Zone rates of `qkvorn-cli bench` against fio on the same RAM-backed loop device.

Both tools move the same block size over the same offsets and sizes with direct,
synchronous I/O at queue depth 1 (fio: psync, direct=1, iodepth=1). The script prints
one row per block size and direction with the two rates and their ratio (QK Vorn over
fio); runs alternate between the tools and the medians are compared, so machine noise
hits both alike. Needs root, losetup and fio. Run from the repository root after a build:

    sudo scripts/measure-fio.py [--cli build/qkvorn-cli] [--runs 5]
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile

BLOCKS = [4096, 16384, 65536]
IMAGE_BYTES = 256 * 1024 * 1024
TIMED = 32 * 1024 * 1024


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, capture_output=True, text=True, **kw).stdout


def vorn_zones(cli, dev, mode, block):
    out = run([cli, "bench", "--device", dev, "--" + mode, "--block", str(block),
               "--zones", "2", "--timed", str(TIMED), "--align", "65536", "--json", "--yes"])
    return json.loads(out)["zones"]


def fio_rate(dev, mode, block, offset):
    out = run(["fio", "--name=zone", "--filename=" + dev, "--rw=" + mode, "--bs=" + str(block),
               "--ioengine=psync", "--direct=1", "--iodepth=1", "--offset=" + str(offset),
               "--size=" + str(TIMED), "--output-format=json"])
    job = json.loads(out)["jobs"][0]
    return job["read" if mode == "read" else "write"]["bw_bytes"]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", default="build/qkvorn-cli")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    cli = os.path.abspath(args.cli)
    image = tempfile.NamedTemporaryFile(dir="/dev/shm", prefix="vorn-fio-", delete=False).name
    os.truncate(image, IMAGE_BYTES)
    dev = run(["losetup", "-f", "--show", image]).strip()
    workdir = tempfile.mkdtemp(prefix="vorn-fio-")
    try:
        os.chdir(workdir)  # the CLI leaves its logs here
        print(f"device {dev} backed by {image}; {TIMED} timed bytes per zone; "
              f"medians of {args.runs} alternating runs")
        print(f"{'mode':6} {'block':>6} {'zone':>4} {'QK Vorn B/s':>14} {'fio B/s':>14} {'ratio':>6}")
        worst = None
        for mode in ("read", "write"):
            for block in BLOCKS:
                vorn, fio = {}, {}
                for _ in range(args.runs):
                    zones = vorn_zones(cli, dev, mode, block)
                    for i, zone in enumerate(zones):
                        vorn.setdefault(i, []).append(zone["zone_rate"])
                        fio.setdefault(i, []).append(fio_rate(dev, mode, block, zone["start"]))
                for i in sorted(vorn):
                    v, f = statistics.median(vorn[i]), statistics.median(fio[i])
                    ratio = v / f if f else 0.0
                    worst = ratio if worst is None else min(worst, ratio)
                    print(f"{mode:6} {block:>6} {i:>4} {v:>14.0f} {f:>14.0f} {ratio:>6.3f}")
        print(f"lowest ratio {worst:.3f}")
    finally:
        subprocess.run(["losetup", "-d", dev])
        os.unlink(image)


if __name__ == "__main__":
    sys.exit(main())
