#!/usr/bin/env python3
"""The capacity check against every counterfeit kind and cache kind of the FUSE test
medium, through the kernel as a user would run it: the answer, its exit status, the
time and the bytes written. Prints a Markdown table.

Usage: scripts/measure-capacity.py [BUILD_DIR]   (as root: FUSE; default build/)
"""
import json
import os
import subprocess
import sys
import tempfile
import time

from vornmeasure import TestMedium

MIB = 1024 * 1024
CLAIMED = 4_000_000_000
KINDS = ["wrap", "drop", "error", "refuse", "stale", "random"]
CACHES = [("none", None, 0), ("all writes 64 MiB", "cache", 64 * MIB),
          ("past the end 1 MiB", "cache_beyond", 1 * MIB),
          ("past the end 64 MiB", "cache_beyond", 64 * MIB)]
REALS = [40 * MIB, 256 * MIB, 97 * MIB + 7 * 512]


def check(cli, medium, full):
    args = [cli, "capacity", "--device", medium.path, "--yes", "--json"] + (["--full"] if full else [])
    start = time.monotonic()
    done = subprocess.run(args, capture_output=True, text=True)
    seconds = time.monotonic() - start
    answer = json.loads(done.stdout) if done.stdout.strip() else {}
    return done.returncode, seconds, answer, done.stderr.strip().splitlines()[-1:] or [""]


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    cli = os.path.join(build, "qkvorn-cli")
    program = os.path.join(build, "tests", "vorn-test-medium")
    print("| kind | real | cache | exit | verified | real - verified | failure | s | MB written |")
    print("|---|---|---|---|---|---|---|---|---|")
    for kind in KINDS:
        for real in REALS:
            for name, key, size in CACHES:
                if kind == "wrap" and size >= real:
                    continue
                with tempfile.TemporaryDirectory() as folder:
                    medium = TestMedium(program, folder, real)
                    try:
                        settings = {"claim": CLAIMED, "beyond": kind}
                        if key:
                            settings[key] = size
                        medium.control(**settings)
                        code, seconds, answer, _ = check(cli, medium, False)
                    finally:
                        medium.close()
                verified = answer.get("verified_bytes", 0)
                print(f"| {kind} | {real} | {name} | {code} | {verified} | {real - verified} | "
                      f"{answer.get('failure')} | {seconds:.2f} | "
                      f"{answer.get('bytes_written', 0) / 1e6:.1f} |")


if __name__ == "__main__":
    main()
