#!/usr/bin/env bash
# Runs a command (as root) with the device services of daemons.sh on a private
# system bus, a blank loop device and the polkit rule for the test user in place:
#   tests/udisks/with-daemons.sh SIZE_MIB COMMAND...
# The command sees DBUS_SYSTEM_BUS_ADDRESS, VORN_LOOP (the device), VORN_USER and
# VORN_WORK (a folder every user may enter). VORN_IMAGE_DIR puts the loop device's
# image elsewhere (/dev/shm: RAM-backed, without the host disk's noise). Everything
# is undone afterwards.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
size=${1:?usage: with-daemons.sh SIZE_MIB COMMAND...}
shift
[ "$(id -u)" = 0 ] || { echo "with-daemons.sh: needs root" >&2; exit 2; }
rule=/etc/polkit-1/rules.d/49-vorn-udisks-test.rules
export VORN_USER=vorntest
# shellcheck source=tests/udisks/daemons.sh
source "$here/daemons.sh"
work=$(mktemp -d /tmp/vorn-udisks-XXXXXX)
loop=""
cleanup() {
    set +e
    rm -f "$rule"
    [ -n "$loop" ] && losetup -d "$loop"
    [ -n "${image_dir:-}" ] && rm -rf "$image_dir"
    vorn_daemons_stop
    rm -rf "$work"
}
trap cleanup EXIT
vorn_daemons_start "$work" || { echo "with-daemons.sh: ${VORN_SKIP:-services did not start}" >&2; exit 3; }
id "$VORN_USER" >/dev/null 2>&1 || useradd -M -s /usr/sbin/nologin "$VORN_USER"
image_dir=$(mktemp -d "${VORN_IMAGE_DIR:-$work}/vorn-image-XXXXXX")
image="$image_dir/blank.img"
fallocate -l "${size}M" "$image"
if [ "$(stat -f -c %T "$image_dir")" = tmpfs ]; then
    loop=$(losetup -f --show "$image")
else
    # Direct I/O on the backing file keeps the file's page cache out of the figures.
    loop=$(losetup -f --show --direct-io=on "$image")
fi
vorn_udev_settle "$loop"
cat >"$rule" <<RULE
polkit.addRule(function(action, subject) {
    if (action.id.indexOf("org.freedesktop.udisks2.") == 0 && subject.user == "$VORN_USER") {
        return polkit.Result.YES;
    }
});
RULE
chmod 644 "$rule"
vorn_polkit_restart
export VORN_LOOP="$loop" VORN_WORK="$work"
"$@"
