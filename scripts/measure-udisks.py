#!/usr/bin/env python3
"""Zone rates of a root run and of a plain user's run through udisks2, side by side.

Usage (as root): scripts/measure-udisks.py BUILD_DIR [--rounds N] [--size-mib M]

Starts the device services on a private system bus with a blank loop device (on a
RAM-backed image by default, so the host disk's noise stays out) and the
test user's polkit rule (tests/udisks/with-daemons.sh), then times `qkvorn-cli bench
--json` on that device for every block size of the test tables, reading and writing,
alternately as root and as the user (the order swapped each round). For each zone
it prints the median of the per-round ratios user/root and their spread (min..max).
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys

BLOCKS = [2048, 4096, 8192, 16384, 32768, 65536]
HERE = os.path.dirname(os.path.abspath(__file__))
WITH_DAEMONS = os.path.join(HERE, "..", "tests", "udisks", "with-daemons.sh")


def bench(cli, loop, block, write, as_user, cwd, timed):
    args = [cli, "bench", "--device", loop, "--block", str(block), "--timed", str(timed),
            "--json"]
    args += ["--write", "--yes"] if write else ["--read"]
    if as_user:
        args = ["runuser", "-u", os.environ["VORN_USER"], "--", "env",
                "DBUS_SYSTEM_BUS_ADDRESS=" + os.environ["DBUS_SYSTEM_BUS_ADDRESS"]] + args
    done = subprocess.run(args, cwd=cwd, capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"bench failed ({'user' if as_user else 'root'}): {done.stdout}{done.stderr}")
    return [zone["zone_rate"] for zone in json.loads(done.stdout)["zones"]]


def measure(build, rounds, timed):
    loop = os.environ["VORN_LOOP"]
    work = os.environ["VORN_WORK"]
    cli = os.path.join(work, "qkvorn-cli")
    shutil.copy(os.path.join(build, "qkvorn-cli"), cli)
    os.chmod(cli, 0o755)
    # Each side writes its own logs.
    cwd = {}
    for who, name in ((False, "root"), (True, "user")):
        cwd[who] = os.path.join(work, name)
        os.makedirs(cwd[who], exist_ok=True)
        os.chmod(cwd[who], 0o777)
    print(f"device {loop}, {rounds} rounds, {timed} bytes timed per zone, "
          "ratio = user (udisks2) / root")
    print(f"{'test':<6} {'block':>6} {'zone':>4} {'root MB/s':>10} {'user MB/s':>10} "
          f"{'ratio':>6} {'spread':>13}")
    for write in (False, True):
        for block in BLOCKS:
            ratios, roots, users = {}, {}, {}
            for r in range(rounds):
                order = (False, True) if r % 2 == 0 else (True, False)
                rates = {who: bench(cli, loop, block, write, who, cwd[who], timed) for who in order}
                for zone, (root, user) in enumerate(zip(rates[False], rates[True])):
                    roots.setdefault(zone, []).append(root)
                    users.setdefault(zone, []).append(user)
                    if root > 0:
                        ratios.setdefault(zone, []).append(user / root)
            for zone in sorted(ratios):
                values = ratios[zone]
                print(f"{'write' if write else 'read':<6} {block:>6} {zone:>4} "
                      f"{statistics.median(roots[zone]) / 1e6:>10.1f} "
                      f"{statistics.median(users[zone]) / 1e6:>10.1f} "
                      f"{statistics.median(values):>6.3f} "
                      f"{min(values):>6.3f}..{max(values):<6.3f}")
    # The last user run wrote: its log has the descriptors for reading and writing.
    log = os.path.join(cwd[True], "vorntest.log")
    if os.path.exists(log):
        for line in open(log, errors="replace"):
            if "udisks2 descriptor of" in line:
                print("flags seen:", line.strip())


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--size-mib", type=int, default=256)
    # The tests' 4 MiB take a few milliseconds on a RAM-backed device: too short to
    # stand above a busy machine's noise.
    parser.add_argument("--timed", type=int, default=32 << 20, help="bytes timed per zone")
    parser.add_argument("--image-dir", default="/dev/shm",
                        help="where the loop device's image lives (default: RAM)")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    if "VORN_LOOP" not in os.environ:
        if os.geteuid() != 0:
            sys.exit("measure-udisks.py: run as root")
        os.environ["VORN_IMAGE_DIR"] = args.image_dir
        os.execvp("bash", ["bash", WITH_DAEMONS, str(args.size_mib), sys.executable,
                           os.path.abspath(__file__), build, "--rounds", str(args.rounds),
                           "--timed", str(args.timed)])
    measure(build, args.rounds, args.timed)


if __name__ == "__main__":
    main()
