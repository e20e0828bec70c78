"""Helpers the measuring scripts share: running qkvorn-cli and fio on one target, the
test medium's control file, and pair statistics that survive a noisy machine."""
import json
import os
import statistics
import subprocess
import time


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, capture_output=True, text=True, **kw).stdout


def vorn_bench(cli, target, mode, block, timed, zones=2):
    """`qkvorn-cli bench --json` on the target: its zones (start, median, zone_rate, ...)."""
    out = run([cli, "bench", "--device", target, "--" + mode, "--block", str(block),
               "--zones", str(zones), "--timed", str(timed), "--align", "65536", "--json",
               "--yes"])
    return json.loads(out)["zones"]


def vorn_access(cli, target, sequential=False, count=512):
    """`qkvorn-cli access --json`: times in hundredths of a millisecond."""
    cmd = [cli, "access", "--device", target, "--count", str(count), "--json"]
    return json.loads(run(cmd + (["--sequential"] if sequential else [])))


def fio_rate(target, mode, block, offset, size):
    """fio's rate in bytes per second: psync, direct, queue depth 1, same block and place."""
    # At QK Vorn's own priority (it raises itself to the lowest nice value), so the two
    # tools differ in how they time, not in how often other work preempts them.
    out = run(["nice", "-n", "-20", "fio", "--name=zone", "--filename=" + target, "--rw=" + mode, "--bs=" + str(block),
               "--ioengine=psync", "--direct=1", "--iodepth=1", "--offset=" + str(offset),
               "--size=" + str(size), "--output-format=json"])
    job = json.loads(out)["jobs"][0]
    return job["read" if mode == "read" else "write"]["bw_bytes"]


def vorn_queued(cli, target, block, depth, seconds, random=False):
    """`qkvorn-cli bench --queue --json` reading the target: the queued test's record."""
    cmd = [cli, "bench", "--device", target, "--read", "--block", str(block), "--queue",
           str(depth), "--seconds", str(seconds), "--json", "--yes"]
    return json.loads(run(cmd + (["--random"] if random else [])))


def fio_queued(target, block, depth, seconds, region, random=False, seed=1):
    """fio reading through io_uring, direct, at a fixed depth: 1 s of ramp, then `seconds`
    measured in the first `region` bytes; random offsets from a fixed seed. Its buffers
    are registered with the ring, as QK Vorn's are. Its read figures (bw_bytes, iops, ...)."""
    out = run(["nice", "-n", "-20", "fio", "--name=queued", "--filename=" + target,
               "--rw=" + ("randread" if random else "read"), "--bs=" + str(block),
               "--ioengine=io_uring", "--fixedbufs", "--direct=1", "--iodepth=" + str(depth),
               "--offset=0", "--size=" + str(region), "--time_based", "--ramp_time=1",
               "--runtime=" + str(seconds), "--randrepeat=1", "--randseed=" + str(seed),
               "--norandommap", "--output-format=json"])
    return json.loads(out)["jobs"][0]["read"]


def pair_summary(ratios):
    """Median of the pair ratios and their spread (lowest, highest)."""
    return statistics.median(ratios), min(ratios), max(ratios)


class TestMedium:
    """The FUSE test medium (build/tests/vorn-test-medium) over a fresh image file: one
    request at a time, or (concurrent) as many as the kernel passes, served
    `parallel` at a time."""

    def __init__(self, program, folder, size, concurrent=False):
        self.mount = os.path.join(folder, "mount")
        self.image = os.path.join(folder, "medium.img")
        os.makedirs(self.mount, exist_ok=True)
        with open(self.image, "wb") as image:
            image.truncate(size)
        # The medium keeps its service times while a build runs beside it only when
        # other work cannot preempt it: it runs at the highest priority it may have.
        self.process = subprocess.Popen(
            ["nice", "-n", "-20", program, "--image", self.image, self.mount, "-f", "-o",
             "attr_timeout=0"] + ([] if concurrent else ["-s"]))
        self.path = os.path.join(self.mount, "medium")
        for _ in range(250):
            if os.path.exists(self.path):
                return
            time.sleep(0.02)
        self.close()
        raise RuntimeError("the test medium did not mount (FUSE needs root and /dev/fuse)")

    def control(self, **settings):
        with open(os.path.join(self.mount, "control"), "w") as control:
            control.write("".join(f"{key}={value}\n" for key, value in settings.items()))

    def counts(self):
        """What the medium's control file reports, as numbers where they are."""
        with open(os.path.join(self.mount, "control")) as control:
            pairs = (line.split("=", 1) for line in control.read().splitlines() if "=" in line)
            return {key: int(value) if value.lstrip("-").isdigit() else value
                    for key, value in pairs}

    def close(self):
        subprocess.run(["umount", self.mount], capture_output=True)
        try:
            self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.process.kill()
