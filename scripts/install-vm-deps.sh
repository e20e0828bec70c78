#!/usr/bin/env bash
# Installs what the real-kernel stage needs on Debian 12 (run as root): QEMU, busybox
# and the image tools, and Debian's own kernel, fetched with apt-get download and
# unpacked into build/vm/kernel, never installed.
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive
. scripts/packages.sh
packages=(qemu-system-x86 busybox-static cpio kmod fdisk e2fsprogs python3)
install_missing_packages "${packages[@]}"
work=build/vm
# The kernel the distribution's meta package points at today.
image=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/.*Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -n 1)
if [ -z "$image" ]; then
    apt-get update
    image=$(apt-cache depends linux-image-amd64 | sed -n 's/.*Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -n 1)
fi
release=${image#linux-image-}
if [ ! -f "$work/kernel/boot/vmlinuz-$release" ]; then
    rm -rf "$work/kernel" "$work"/linux-image-*.deb
    mkdir -p "$work"
    (cd "$work" && apt-get download "$image")
    dpkg-deb -x "$work"/linux-image-*.deb "$work/kernel"
    rm -f "$work"/linux-image-*.deb
fi
echo "kernel $release in $work/kernel"
