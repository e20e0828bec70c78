#!/usr/bin/env python3
"""QK Vorn's queued tests against the truth of a medium that serves requests in parallel,
and against fio's io_uring engine on the same medium.

The FUSE test medium (started so the kernel passes it many requests at once) serves
`--parallel` K requests at a time, each in a fixed service time T, so at queue depth D
its true rate is min(D, K) / T requests per second. For sequential 1 MiB and random
4 KiB reads at depths 1, 8 and 32 the script runs `qkvorn-cli bench --queue D --json`
and fio (io_uring, direct, the same block, region and depth, random offsets from a
fixed seed, 1 s of ramp as QK Vorn's warm-up) side by side, alternating which goes
first, and prints per case the median of the pair ratios with their spread: QK Vorn
over fio, and each over the truth. Run as root after a build:

    sudo scripts/measure-extended.py [--pairs 5] [--seconds 3] [--parallel 8]
        [--seq-service-us 20000] [--rnd-service-us 4000]
"""
import argparse
import os
import shutil
import statistics
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vornmeasure as vm  # noqa: E402

REGION = 1 << 30  # the queued tests' region at the start of the medium
# A little past the region, so the region is the tests' whole 1 GiB. The image is
# sparse in memory: reading its holes allocates nothing.
MEDIUM_BYTES = REGION + (64 << 20)
DEPTHS = (1, 8, 32)
SEQ_BLOCK, RND_BLOCK = 1 << 20, 4096
TARGET = 0.02


def case_truth(depth, parallel, service_us):
    """Requests per second the medium serves at this depth."""
    return min(depth, parallel) / (service_us / 1e6)


def row(label, ratios):
    median, low, high = vm.pair_summary(ratios)
    mark = "" if abs(median - 1) <= TARGET else "  (outside 2 %)"
    print(f"  {label:16} {median:7.4f}  ({low:.4f} .. {high:.4f}){mark}")
    return median


def measure_case(args, cli, medium, random, depth):
    block = RND_BLOCK if random else SEQ_BLOCK
    service_us = args.rnd_service_us if random else args.seq_service_us
    truth = case_truth(depth, args.parallel, service_us) * (1 if random else block)
    settings = {"reset": 1, "latency_us": service_us, "parallel": args.parallel}
    vorn, fio, peaks = [], [], []

    def run_vorn():
        medium.control(**settings)
        record = vm.vorn_queued(cli, medium.path, block, depth, args.seconds, random)
        if record["status"] != 1 or record["queue_depth"] != depth or record["block"] != block:
            raise RuntimeError(f"qkvorn-cli did not measure the case: {record}")
        # The figure a person reads: MB/s of a sequential case, IOPS of a random one.
        vorn.append(record["iops"] if random else record["bytes_per_second"])
        peaks.append(medium.counts()["peak"])

    def run_fio():
        medium.control(**settings)
        figures = vm.fio_queued(medium.path, block, depth, args.seconds, REGION, random)
        fio.append(figures["iops"] if random else figures["bw_bytes"])

    for pair in range(args.pairs):
        for run in ((run_vorn, run_fio) if pair % 2 == 0 else (run_fio, run_vorn)):
            run()
    kind = "random 4 KiB" if random else "sequential 1 MiB"

    def figure(value):
        return f"{value:.0f} IOPS" if random else f"{value / 1e6:.1f} MB/s"

    print(f"{kind} Q{depth}: truth {figure(truth)}, QK Vorn {figure(statistics.median(vorn))}, "
          f"fio {figure(statistics.median(fio))} (medians); QK Vorn held up to {max(peaks)} "
          f"requests at the medium")
    return [abs(row("QK Vorn / fio", [v / f for v, f in zip(vorn, fio)]) - 1),
            abs(row("QK Vorn / truth", [v / truth for v in vorn]) - 1),
            abs(row("fio / truth", [f / truth for f in fio]) - 1)]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", default="build/qkvorn-cli")
    parser.add_argument("--medium", default="build/tests/vorn-test-medium")
    parser.add_argument("--pairs", type=int, default=5)
    parser.add_argument("--seconds", type=int, default=3, help="measured seconds a run")
    parser.add_argument("--parallel", type=int, default=8, help="requests served at once")
    parser.add_argument("--seq-service-us", type=int, default=20000)
    parser.add_argument("--rnd-service-us", type=int, default=4000)
    parser.add_argument("--only", choices=("seq", "rnd"), help="one kind of case")
    parser.add_argument("--depths", default=",".join(map(str, DEPTHS)))
    args = parser.parse_args()
    cli, program = os.path.abspath(args.cli), os.path.abspath(args.medium)
    folder = tempfile.mkdtemp(prefix="vorn-extended-", dir="/dev/shm")
    medium = vm.TestMedium(program, folder, MEDIUM_BYTES, concurrent=True)
    try:
        os.chdir(folder)  # the CLI leaves its logs here
        print(f"medium: {args.parallel} requests served at once, sequential {args.seq_service_us}"
              f" us, random {args.rnd_service_us} us each; {args.pairs} pairs of "
              f"{args.seconds} s runs; median pair ratio (lowest .. highest), target within 2 %")
        worst = {"QK Vorn / fio": 0.0, "QK Vorn / truth": 0.0, "fio / truth": 0.0}
        kinds = {"seq": (False,), "rnd": (True,), None: (False, True)}[args.only]
        for random in kinds:
            for depth in (int(d) for d in args.depths.split(",")):
                for key, deviation in zip(worst, measure_case(args, cli, medium, random, depth)):
                    worst[key] = max(worst[key], deviation)
        print("largest deviation of a median: " +
              ", ".join(f"{key} {value * 100:.2f} %" for key, value in worst.items()))
    finally:
        medium.close()
        if not os.path.ismount(medium.mount):
            shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
