#!/usr/bin/env python3
"""The selection window's listing of a 10,000-member library against one plain read.

Runs the two micro-benchmarks of build/benchmarks/vorn_bench one after the other,
alternating which goes first, and prints the median of the pair ratios (listing over
plain read, both as Google Benchmark's real time) with their spread. Target: 5 or less.

    scripts/measure-listing.py [--pairs 5]
"""
import argparse
import json
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vornmeasure as vm  # noqa: E402


def real_time(bench, name):
    out = subprocess.run([bench, "--benchmark_filter=^" + name + "/",
                          "--benchmark_format=json"], check=True, capture_output=True,
                         text=True).stdout
    runs = [b for b in json.loads(out)["benchmarks"] if b["run_type"] == "iteration"]
    if not runs or "error_occurred" in runs[0]:
        raise RuntimeError(f"{name} did not run: {runs[0].get('error_message', '') if runs else ''}")
    return runs[0]["real_time"]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bench", default="build/benchmarks/vorn_bench")
    parser.add_argument("--pairs", type=int, default=5)
    args = parser.parse_args()
    bench = os.path.abspath(args.bench)
    ratios = []
    for pair in range(args.pairs):
        order = ["BM_SelectionListing", "BM_PlainLibraryRead"]
        if pair % 2:
            order.reverse()
        times = {name: real_time(bench, name) for name in order}
        ratios.append(times["BM_SelectionListing"] / times["BM_PlainLibraryRead"])
        print(f"pair {pair + 1}: listing {times['BM_SelectionListing']:.1f} ms, "
              f"plain read {times['BM_PlainLibraryRead']:.1f} ms, ratio {ratios[-1]:.2f}")
    median, low, high = vm.pair_summary(ratios)
    print(f"listing / plain read: median {median:.2f} ({low:.2f} .. {high:.2f}), target <= 5")
    return 0 if median <= 5 else 1


if __name__ == "__main__":
    sys.exit(main())
