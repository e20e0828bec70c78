#!/usr/bin/env python3
"""QK Vorn's stored figures against the truth of a medium of known speed.

The FUSE test medium serves every request after a fixed service time: a latency plus
the bytes at a set bandwidth, one request at a time. A block of B bytes then takes
latency + B / bandwidth, so its true rate is known, and so is an access's time. The
script runs `qkvorn-cli bench` for every block size, read and write, and `access`,
and fio on the same medium beside it (alternating run by run), and prints each figure
over the truth, and QK Vorn's zone rates over fio's of the same zone: medians of the
runs with their spread. Run as root after a build:

    sudo scripts/measure-accuracy.py [--runs 3] [--latency-us 4000] [--bandwidth 10000000]
"""
import argparse
import os
import statistics
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vornmeasure as vm  # noqa: E402

BLOCKS = [2048, 4096, 8192, 16384, 32768, 65536]
MEDIUM_BYTES = 64 * 1024 * 1024


def block_truth(block, latency_us, bandwidth):
    seconds = latency_us / 1e6 + block / bandwidth
    return block / seconds


def row(label, ratios):
    median, low, high = vm.pair_summary(ratios)
    print(f"{label:34} {median:7.4f}  ({low:.4f} .. {high:.4f})")
    return median


def measure_blocks(args, cli, medium, worst):
    for mode in ("read", "write"):
        for block in BLOCKS:
            truth = block_truth(block, args.latency_us, args.bandwidth)
            # Enough blocks for a steady median, few enough to keep a run short.
            timed = max(block * 64, min(1 << 20, block * 256))
            medians, zone_rates, fio = [], [], []
            for _ in range(args.runs):
                zones = vm.vorn_bench(cli, medium.path, mode, block, timed)
                medians += [z["median"] / truth for z in zones]
                zone_rates += [z["zone_rate"] / truth for z in zones]
                fio += [vm.fio_rate(medium.path, mode, block, z["start"], timed) / truth
                        for z in zones]
            for name, ratios in (("median", medians), ("zone rate", zone_rates), ("fio", fio)):
                worst.append(abs(row(f"{mode} {block:>5} {name}", ratios) - 1))
            # Side by side, the medium's own overhead (a FUSE round trip per request)
            # falls out: both tools pay it.
            row(f"{mode} {block:>5} zone rate / fio", [z / f for z, f in zip(zone_rates, fio)])


def measure_access(args, cli, medium, worst):
    truth = (args.latency_us / 1e3 + 512 / args.bandwidth * 1e3) * 100  # hundredths of ms
    for sequential in (False, True):
        ratios = [vm.vorn_access(cli, medium.path, sequential)["median"] / truth
                  for _ in range(args.runs)]
        label = "sequential" if sequential else "random"
        worst.append(abs(row(f"access {label} median", ratios) - 1))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", default="build/qkvorn-cli")
    parser.add_argument("--medium", default="build/tests/vorn-test-medium")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--latency-us", type=int, default=4000)
    parser.add_argument("--bandwidth", type=int, default=10_000_000)
    args = parser.parse_args()
    cli, program = os.path.abspath(args.cli), os.path.abspath(args.medium)
    # In memory, so the image behind the medium adds no time of its own.
    folder = tempfile.mkdtemp(prefix="vorn-accuracy-", dir="/dev/shm")
    medium = vm.TestMedium(program, folder, MEDIUM_BYTES)
    try:
        os.chdir(folder)  # the CLI leaves its logs here
        medium.control(latency_us=args.latency_us, bandwidth=args.bandwidth)
        print(f"medium: {args.latency_us} us + bytes at {args.bandwidth} B/s per request; "
              f"figure / truth, median of {args.runs} runs (lowest .. highest)")
        worst = []
        measure_blocks(args, cli, medium, worst)
        measure_access(args, cli, medium, worst)
        print(f"largest deviation of a median from the truth: {max(worst) * 100:.2f} %")
    finally:
        medium.close()


if __name__ == "__main__":
    sys.exit(main())
