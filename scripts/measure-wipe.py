#!/usr/bin/env python3
"""The wipe's throughput against `dd if=/dev/zero bs=64k oflag=direct` on the same target.

Each QK Vorn run (`qkvorn-cli run --write --yes` on a medium without wipe markers) is
followed at once by dd writing as many bytes; the wipe's rate comes from the WIPE rows
of its event.log (bytes over the time from the first row's start to the last row's
end). Targets: the FUSE test medium at a set speed, and a loop device over a file in
memory. A run refuses the loop device (it is not removable), so there the same wipe is
timed by build/benchmarks/vorn-wipe-probe. Prints the median
of the pair ratios (wipe / dd) with their spread. As root:

    sudo scripts/measure-wipe.py [--runs 5]
"""
import argparse
import csv
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vornmeasure as vm  # noqa: E402

MEDIUM_BYTES = 64 * 1024 * 1024
# The loop device is fast: a larger one keeps each timing well above the noise.
LOOP_BYTES = 512 * 1024 * 1024


def wipe_rate(cli, target, folder):
    """Bytes per second of the run's full wipe, from its WIPE rows."""
    subprocess.run([cli, "run", "--device", target, "--write", "--yes"], cwd=folder,
                   check=True, capture_output=True)
    rows, inside = [], False
    with open(os.path.join(folder, "event.log"), newline="") as log:
        for row in csv.reader(log):
            if row[-1:] == ["WIPE FLASH DEVICE"]:
                inside = not inside
                if not inside and rows:
                    break  # the first wipe is the full one; the zeroing follows later
            elif inside and row and row[0] == "WIPE":
                rows.append(row)
    start = float(rows[0][3])
    end = float(rows[-1][3]) + float(rows[-1][4]) / 1000
    return sum(int(r[6]) for r in rows) * 512 / (end - start)


def dd_rate(target, size=MEDIUM_BYTES):
    """dd over the whole medium once (the wipe's 15 % more wraps back to the start)."""
    out = subprocess.run(["dd", "if=/dev/zero", "of=" + target, "bs=64k", "oflag=direct",
                          "conv=notrunc", f"count={size // 65536}"],
                         check=True, capture_output=True, text=True).stderr
    match = re.search(r"(\d+) bytes .* copied, ([0-9.]+) s", out)
    return int(match.group(1)) / float(match.group(2))


def probe_rate(probe, target):
    """The wipe alone, as the probe times it."""
    out = subprocess.run([probe, target], check=True, capture_output=True, text=True).stdout
    size, seconds = out.split()
    return int(size) / float(seconds)


def measure(name, wipe_of, target, runs, size=MEDIUM_BYTES):
    """Each wipe sits between two dd runs; it is paired with the one before and the one
    after in turn. dd also clears the run's markers, so every run wipes in full, and it
    has written every block once before the first wipe, so neither side pays for
    allocating a sparse image's blocks."""
    dd = [dd_rate(target, size)]
    wipes = []
    for _ in range(runs):
        wipes.append(wipe_of(target))
        dd.append(dd_rate(target, size))
    ratios = [wipe / dd[i + i % 2] for i, wipe in enumerate(wipes)]
    median, low, high = vm.pair_summary(ratios)
    print(f"{name:28} {median:6.3f}  ({low:.3f} .. {high:.3f})")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", default="build/qkvorn-cli")
    parser.add_argument("--medium", default="build/tests/vorn-test-medium")
    parser.add_argument("--probe", default="build/benchmarks/vorn-wipe-probe")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    cli, probe = os.path.abspath(args.cli), os.path.abspath(args.probe)
    folder = tempfile.mkdtemp(prefix="vorn-wipe-run-")

    def by_run(target):
        return wipe_rate(cli, target, folder)
    print(f"wipe / dd bs=64k oflag=direct, median of {args.runs} pairs (lowest .. highest)")
    shm = tempfile.mkdtemp(prefix="vorn-wipe-", dir="/dev/shm")
    medium = vm.TestMedium(os.path.abspath(args.medium), shm, MEDIUM_BYTES)
    try:
        medium.control(latency_us=100, bandwidth=200_000_000)
        measure("test medium 100 us, 200 MB/s", by_run, medium.path, args.runs)
    finally:
        medium.close()
        shutil.rmtree(shm, ignore_errors=True)
    # A loop device over a file in memory: no write-back of the machine's own disk
    # decides which side looks faster.
    ram = tempfile.mkdtemp(prefix="vorn-wipe-", dir="/dev/shm")
    try:
        image = os.path.join(ram, "wipe.img")
        with open(image, "wb") as file:
            file.truncate(LOOP_BYTES)
        loop = subprocess.run(["losetup", "--find", "--show", image], check=True,
                              capture_output=True, text=True).stdout.strip()
        try:
            measure("loop device (file in memory)", lambda t: probe_rate(probe, t), loop,
                    args.runs, LOOP_BYTES)
        finally:
            subprocess.run(["losetup", "-d", loop], check=False)
    finally:
        shutil.rmtree(ram)
        shutil.rmtree(folder)


if __name__ == "__main__":
    sys.exit(main())
