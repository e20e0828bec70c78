#!/usr/bin/env bash
# Drive access as a plain user through real udisks2 and polkit.
# Usage: tests/udisks/run.sh BUILD_DIR   (as root; skips with the reason otherwise)
# Starts dbus-daemon, polkitd, systemd-udevd and udisksd on a private system bus,
# makes loop devices from image files (one blank, one holding a mounted ext4), and
# runs the user test binary as the user "vorntest" twice: with a polkit rule that
# lets that user at udisks2's actions, and without it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: run.sh BUILD_DIR}" && pwd)
user=vorntest
rule=/etc/polkit-1/rules.d/49-vorn-udisks-test.rules

skip() {
    echo "udisks stage skipped: $*"
    exit 0
}

[ "$(id -u)" = 0 ] || skip "needs root (loop devices, services, a test user)"
for tool in losetup mkfs.ext4 runuser useradd sha256sum dbus-send; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
done
test_bin="$build/tests/vorn_udisks_user_test"
cli="$build/qkvorn-cli"
gui="$build/qkvorn"
[ -x "$test_bin" ] || skip "$test_bin is not built"
[ -x "$cli" ] || skip "$cli is not built"
[ -x "$gui" ] || gui=""

# shellcheck source=tests/udisks/daemons.sh
source "$here/daemons.sh"
work=$(mktemp -d /tmp/vorn-udisks-XXXXXX)
loops=()
mountpoint=""
cleanup() {
    set +e
    rm -f "$rule"
    [ -n "$mountpoint" ] && mountpoint -q "$mountpoint" && umount "$mountpoint"
    for loop in "${loops[@]}"; do losetup -d "$loop"; done
    vorn_daemons_stop
    rm -rf "$work"
}
trap cleanup EXIT

if ! vorn_daemons_start "$work"; then
    skip "${VORN_SKIP:-the services did not start (logs in $work)}"
fi

id "$user" >/dev/null 2>&1 || useradd -M -s /usr/sbin/nologin "$user"

# Blank 64 MiB for the runs, 32 MiB holding an ext4 that run.sh mounts as root.
truncate -s 64M "$work/blank.img"
truncate -s 32M "$work/ext4.img"
mkfs.ext4 -q -F "$work/ext4.img"
chmod 644 "$work/blank.img" "$work/ext4.img"
blank=$(losetup -f --show "$work/blank.img")
loops+=("$blank")
ext4=$(losetup -f --show "$work/ext4.img")
loops+=("$ext4")
vorn_udev_settle "$blank" "$ext4"

# The user's folder for the test's files, and the test binary reachable by it.
home="$work/home"
mkdir -p "$home"
chown "$user" "$home"

run_as_user() {
    local mode=$1 filter=$2
    echo "== udisks stage, polkit rule: $mode"
    runuser -u "$user" -- env -C "$home" \
        DBUS_SYSTEM_BUS_ADDRESS="$DBUS_SYSTEM_BUS_ADDRESS" HOME="$home" \
        VORN_UDISKS_RULE="$mode" VORN_LOOP="$blank" VORN_LOOP_IMAGE="$work/blank.img" \
        VORN_EXT4_LOOP="$ext4" VORN_EXT4_MOUNT="$mountpoint" \
        VORN_CLI="$cli" VORN_GUI="$gui" "$test_bin" --gtest_filter="$filter"
}

mount_ext4() {
    mountpoint="$work/mnt"
    mkdir -p "$mountpoint"
    mount "$ext4" "$mountpoint"
}

# The build folder may sit where the user cannot go; the binaries are copied out.
mkdir -p "$work/bin"
cp "$test_bin" "$cli" "$work/bin/"
test_bin="$work/bin/$(basename "$test_bin")"
cli="$work/bin/$(basename "$cli")"
if [ -n "$gui" ]; then
    cp "$gui" "$work/bin/"
    gui="$work/bin/$(basename "$gui")"
fi
chmod -R a+rX "$work/bin"

# Without the rule first: nothing may be written, and the ext4 stays mounted.
rm -f "$rule"
vorn_polkit_restart
mount_ext4
run_as_user deny '*'
mountpoint -q "$mountpoint" || { echo "** the ext4 came off without authorization"; exit 1; }

cat >"$rule" <<RULE
// Written by tests/udisks/run.sh for its test user; removed when the stage ends.
polkit.addRule(function(action, subject) {
    if (action.id.indexOf("org.freedesktop.udisks2.") == 0 && subject.user == "$user") {
        return polkit.Result.YES;
    }
});
RULE
chmod 644 "$rule"
vorn_polkit_restart
run_as_user allow '*'
echo "udisks stage passed"
