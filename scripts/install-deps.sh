#!/usr/bin/env bash
# Installs what QK Vorn needs to build and test on Debian 12 (run as root).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
. "$(dirname "$0")/packages.sh"
packages=(
    cmake g++ make pkg-config clang-format
    libgtest-dev libgmock-dev libbenchmark-dev
    libblkid-dev libpci-dev pci.ids libudev-dev
    fio e2fsprogs util-linux
    qt6-base-dev qt6-charts-dev libqt6opengl6-dev libgl-dev
    libcurl4-openssl-dev python3 python3-aiosmtpd
    libcli11-dev nlohmann-json3-dev
    libfuse3-dev fuse3 liburing-dev
    clang libclang-rt-14-dev
    desktop-file-utils appstream dpkg-dev librsvg2-bin file
    libsystemd-dev udisks2 udev dbus polkitd
    postfix nginx-light openssl chromium chromium-driver
)
# Postfix only for the servers stage, which configures its own instance: the
# machine's mail set-up stays as it is.
echo "postfix postfix/main_mailer_type select No configuration" | debconf-set-selections
install_missing_packages "${packages[@]}"
