#!/usr/bin/env python3
"""The real-kernel stage: Debian's kernel under QEMU (software emulation) with emulated
USB 1.1, 2.0 and 3 sticks, a UAS disk, a card reader, an SD card, SATA, NVMe and virtio
disks, a read-only stick and a 4096-byte-sector stick; tests/vm/init.sh runs qkvorn-cli
inside and reports on the serial console; this script makes the media and the
initramfs, answers the VM's requests through the QEMU monitor (a card inserted, a stick
plugged in and out while `qkvorn-cli watch` runs, a stick pulled) and counts the results.

    tests/vm/vmtest.py --cli build/qkvorn-cli --work build/vm
"""
import argparse
import glob
import os
import select
import shutil
import socket
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
# Sizes in MiB tell the media apart inside the VM (init.sh).
MEDIA = {"u11": 20, "key": 24, "pull": 26, "u30": 28, "uas": 30, "sd": 32, "sata": 44,
         "nvme": 46, "vda": 52, "ro": 54, "k4": 56, "card": 36, "hot": 38}


def sh(*cmd, **kw):
    return subprocess.run(cmd, check=True, capture_output=True, text=True, **kw).stdout


def make_media(images):
    os.makedirs(images, exist_ok=True)
    paths = {}
    for name, mib in MEDIA.items():
        path = paths[name] = os.path.join(images, name + ".img")
        with open(path, "wb") as image:
            image.truncate(mib << 20)
    # A stick with an ext4 partition (mounted in the VM), a SATA disk with a table, a
    # virtio disk and the USB 1.1 stick with a file system on the whole disk.
    for name in ("key", "sata"):
        subprocess.run(["sfdisk", "-q", paths[name]], input="2048,,83\n", text=True, check=True)
    sh("mkfs.ext4", "-q", "-F", "-E", "offset=1048576", paths["key"], f"{MEDIA['key'] - 1}M")
    for name in ("vda", "u11"):
        sh("mkfs.ext4", "-q", "-F", paths[name])
    with open(paths["k4"], "r+b") as image:  # must survive the refused run
        image.seek(256 * 4096)
        image.write(b"VORNKEEP")
    return paths


def copy_with_libraries(program, root):
    shutil.copy(program, os.path.join(root, "bin", "qkvorn-cli"))
    libs = os.path.join(root, "lib", "vorn")
    os.makedirs(libs, exist_ok=True)
    for line in sh("ldd", program).splitlines():
        parts = line.split()
        path = parts[2] if "=>" in parts and len(parts) > 2 else parts[0]
        if path.startswith("/"):
            target = libs if "ld-linux" not in path else os.path.join(root, "lib64")
            os.makedirs(target, exist_ok=True)
            shutil.copy(path, os.path.join(target, os.path.basename(path)))


def make_initramfs(cli, kernel_root, release, work):
    root = os.path.join(work, "root")
    shutil.rmtree(root, ignore_errors=True)
    for folder in ("bin", "proc", "sys", "dev", "tmp", "usr", "boot", "mnt"):
        os.makedirs(os.path.join(root, folder), exist_ok=True)
    shutil.copy("/bin/busybox", os.path.join(root, "bin", "busybox"))
    shutil.copy(os.path.join(HERE, "init.sh"), os.path.join(root, "init"))
    copy_with_libraries(cli, root)
    source = os.path.join(kernel_root, "lib", "modules", release)
    target = os.path.join(root, "lib", "modules", release)
    for sub in ("kernel/drivers/usb", "kernel/drivers/scsi", "kernel/drivers/ata",
                "kernel/drivers/mmc", "kernel/drivers/nvme", "kernel/drivers/block",
                "kernel/drivers/virtio", "kernel/drivers/cdrom", "kernel/fs/ext4",
                "kernel/fs/jbd2", "kernel/fs/mbcache.ko", "kernel/lib", "kernel/crypto",
                "kernel/drivers/base", "kernel/drivers/hwmon", "kernel/block",
                "kernel/arch/x86/crypto"):
        path = os.path.join(source, sub)
        if os.path.isdir(path):
            shutil.copytree(path, os.path.join(target, sub))
        elif os.path.exists(path):
            os.makedirs(os.path.dirname(os.path.join(target, sub)), exist_ok=True)
            shutil.copy(path, os.path.join(target, sub))
    for name in glob.glob(os.path.join(source, "modules.*")):
        if name.endswith(("order", "builtin", "builtin.modinfo")):
            shutil.copy(name, target)
    sh("depmod", "-b", root, release)
    image = os.path.join(work, "initrd.gz")
    with open(image, "wb") as out:
        find = subprocess.Popen(["find", "."], cwd=root, stdout=subprocess.PIPE)
        cpio = subprocess.Popen(["cpio", "-o", "-H", "newc", "--quiet"], cwd=root,
                                stdin=find.stdout, stdout=subprocess.PIPE)
        subprocess.run(["gzip", "-1"], stdin=cpio.stdout, stdout=out, check=True)
    return image


def qemu_command(kernel, initrd, media, monitor):
    drive = lambda name, extra="": ["-drive", f"if=none,id={name},file={media[name]},format=raw{extra}"]
    return (["qemu-system-x86_64", "-accel", "tcg", "-m", "1024", "-smp", "1", "-nodefaults",
             "-display", "none", "-serial", "stdio", "-no-reboot",
             "-monitor", f"unix:{monitor},server,nowait",
             "-kernel", kernel, "-initrd", initrd, "-append", "console=ttyS0 panic=-1",
             "-device", "piix3-usb-uhci,id=uhci", "-device", "usb-ehci,id=ehci",
             "-device", "qemu-xhci,id=xhci"]
            + drive("u11") + ["-device", "usb-storage,bus=uhci.0,drive=u11,removable=on"]
            + drive("key") + ["-device", "usb-storage,bus=ehci.0,drive=key,removable=on"]
            + drive("pull") + ["-device", "usb-storage,bus=xhci.0,drive=pull,id=pull"]
            + drive("u30") + ["-device", "usb-storage,bus=xhci.0,drive=u30"]
            + drive("uas") + ["-device", "usb-uas,id=uas,bus=xhci.0",
                              "-device", "scsi-hd,bus=uas.0,scsi-id=0,lun=0,drive=uas"]
            + ["-drive", "if=none,id=rdr",
               "-device", "usb-storage,bus=ehci.0,drive=rdr,removable=on"]
            + drive("sd") + ["-device", "sdhci-pci", "-device", "sd-card,drive=sd"]
            + drive("sata") + ["-device", "ahci,id=ahci", "-device", "ide-hd,drive=sata,bus=ahci.0"]
            + drive("nvme") + ["-device", "nvme,serial=vorn0001,drive=nvme"]
            + drive("vda") + ["-device", "virtio-blk-pci,drive=vda"]
            + drive("ro", ",readonly=on") + ["-device", "usb-storage,bus=ehci.0,drive=ro,removable=on"]
            # usb-storage keeps 512-byte blocks: a bulk-only device with its own disk.
            + drive("k4") + ["-device", "usb-bot,id=bot,bus=ehci.0",
                             "-device", "scsi-hd,bus=bot.0,drive=k4,removable=on,"
                                        "logical_block_size=4096,physical_block_size=4096"])


def monitor_say(path, command):
    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as mon:
        mon.connect(path)
        mon.settimeout(5)
        time.sleep(0.2)
        mon.sendall((command + "\n").encode())
        time.sleep(0.5)


def run_vm(command, monitor, media, timeout):
    passed, failed = [], []
    vm = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    deadline = time.monotonic() + timeout
    buffered = b""
    done = False
    try:
        while not done and time.monotonic() < deadline and vm.poll() is None:
            ready, _, _ = select.select([vm.stdout], [], [], 1)
            if not ready:
                continue
            chunk = os.read(vm.stdout.fileno(), 65536)
            buffered += chunk
            *lines, buffered = buffered.split(b"\n")
            for raw in lines:
                line = raw.decode(errors="replace").rstrip("\r")
                if not line.startswith("VMTEST"):
                    continue
                print(line, flush=True)
                words = line.split(" ", 2)
                if words[1] == "ok":
                    passed.append(words[2])
                elif words[1] == "FAIL":
                    failed.append(words[2])
                elif words[1] == "insert-card":
                    monitor_say(monitor, f"change rdr {media['card']} raw")
                elif words[1] == "plug":
                    monitor_say(monitor, f"drive_add 0 if=none,id=hot,file={media['hot']},"
                                         "format=raw")
                    monitor_say(monitor, "device_add usb-storage,bus=xhci.0,drive=hot,id=hot")
                elif words[1] == "unplug":
                    monitor_say(monitor, "device_del hot")
                elif words[1] == "pull":
                    monitor_say(monitor, "device_del pull")
                elif words[1] == "done":
                    done = True
        if not done:
            failed.append("the VM stopped before its end" if vm.poll() is not None
                          else f"the VM did not finish within {timeout} s")
    finally:
        vm.kill()
        vm.wait()
    return passed, failed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", default="build/qkvorn-cli")
    parser.add_argument("--work", default="build/vm")
    parser.add_argument("--timeout", type=int, default=1200)
    args = parser.parse_args()
    work = os.path.abspath(args.work)
    kernel_root = os.path.join(work, "kernel")
    release = os.listdir(os.path.join(kernel_root, "lib", "modules"))[0]
    kernel = os.path.join(kernel_root, "boot", f"vmlinuz-{release}")
    started = time.monotonic()
    media = make_media(os.path.join(work, "images"))
    initrd = make_initramfs(os.path.abspath(args.cli), kernel_root, release, work)
    monitor = os.path.join(work, "monitor.sock")
    if os.path.exists(monitor):
        os.unlink(monitor)
    print(f"kernel {release}; booting under software emulation", flush=True)
    passed, failed = run_vm(qemu_command(kernel, initrd, media, monitor), monitor, media,
                            args.timeout)
    for reason in failed:
        print(f"FAILED: {reason}")
    print(f"VM stage: {time.monotonic() - started:.0f} s")
    print(f"{len(passed)} passed, {len(failed)} failed")
    return 1 if failed or not passed else 0


if __name__ == "__main__":
    sys.exit(main())
