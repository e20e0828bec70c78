# shellcheck shell=bash disable=SC2034
# Sourced by tests/udisks/run.sh: the device services on a private system bus.
# vorn_daemons_start DIR starts dbus-daemon (the system bus configuration, listening
# in DIR), polkitd, systemd-udevd and udisksd, and exports DBUS_SYSTEM_BUS_ADDRESS;
# it answers 1 with VORN_SKIP set to the reason when the stage cannot run here.
# vorn_daemons_stop stops whatever was started; vorn_polkit_restart makes polkitd
# read its rules afresh.

VORN_DAEMON_PIDS=()
VORN_DBUS_PID=""
VORN_UDEVD_STARTED=0

vorn_daemon_paths() {
    VORN_DBUS_DAEMON=$(command -v dbus-daemon || true)
    VORN_POLKITD=/usr/lib/polkit-1/polkitd
    VORN_UDEVD=/lib/systemd/systemd-udevd
    VORN_UDISKSD=/usr/libexec/udisks2/udisksd
    local missing=()
    [ -n "$VORN_DBUS_DAEMON" ] || missing+=("dbus-daemon (dbus)")
    [ -x "$VORN_POLKITD" ] || missing+=("polkitd (polkitd)")
    [ -x "$VORN_UDEVD" ] || missing+=("systemd-udevd (udev)")
    [ -x "$VORN_UDISKSD" ] || missing+=("udisksd (udisks2)")
    command -v udevadm >/dev/null || missing+=("udevadm (udev)")
    if [ ${#missing[@]} -gt 0 ]; then
        VORN_SKIP="not installed: ${missing[*]}"
        return 1
    fi
}

# The machine's own system bus configuration with its address and pid file moved
# into DIR: a second <listen> would also claim the machine's socket, so the file is
# copied with those two elements replaced rather than included.
vorn_bus_config() {
    local dir=$1
    sed -e "s|<listen>[^<]*</listen>|<listen>unix:path=$dir/system_bus_socket</listen>|" \
        -e "s|<pidfile>[^<]*</pidfile>|<pidfile>$dir/dbus.pid</pidfile>|" \
        -e "s|<includedir>system.d</includedir>|<includedir>/usr/share/dbus-1/system.d</includedir>|" \
        -e "s|<syslog/>||" \
        /usr/share/dbus-1/system.conf >"$dir/system.conf"
}

vorn_wait_for_name() {
    local name=$1
    for _ in $(seq 100); do
        if dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner "string:$name" 2>/dev/null | grep -q "boolean true"; then
            return 0
        fi
        sleep 0.1
    done
    echo "** $name did not appear on the bus" >&2
    return 1
}

vorn_start_polkitd() {
    "$VORN_POLKITD" --no-debug >"$VORN_DAEMON_DIR/polkitd.log" 2>&1 &
    VORN_POLKITD_PID=$!
    vorn_wait_for_name org.freedesktop.PolicyKit1
}

vorn_polkit_restart() {
    if [ -n "${VORN_POLKITD_PID:-}" ]; then
        kill "$VORN_POLKITD_PID" 2>/dev/null || true
        wait "$VORN_POLKITD_PID" 2>/dev/null || true
    fi
    # polkitd leaves the bus name when it goes; wait for that before the next one.
    for _ in $(seq 50); do
        dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner string:org.freedesktop.PolicyKit1 2>/dev/null |
            grep -q "boolean false" && break
        sleep 0.1
    done
    vorn_start_polkitd
}

vorn_daemons_start() {
    VORN_DAEMON_DIR=$1
    vorn_daemon_paths || return 1
    if pgrep -x systemd-udevd >/dev/null || pgrep -x udevd >/dev/null; then
        VORN_SKIP="another udevd already runs on this machine"
        return 1
    fi
    if pgrep -x udisksd >/dev/null; then
        VORN_SKIP="another udisksd already runs on this machine"
        return 1
    fi
    chmod 755 "$VORN_DAEMON_DIR"
    vorn_bus_config "$VORN_DAEMON_DIR"
    "$VORN_DBUS_DAEMON" --config-file="$VORN_DAEMON_DIR/system.conf" --fork || return 1
    VORN_DBUS_PID=$(cat "$VORN_DAEMON_DIR/dbus.pid")
    export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$VORN_DAEMON_DIR/system_bus_socket"
    vorn_start_polkitd || return 1
    "$VORN_UDEVD" --daemon || return 1
    VORN_UDEVD_STARTED=1
    "$VORN_UDISKSD" --no-debug >"$VORN_DAEMON_DIR/udisksd.log" 2>&1 &
    VORN_DAEMON_PIDS+=($!)
    vorn_wait_for_name org.freedesktop.UDisks2
}

# Loop devices made after udevd started still need their udev records for udisksd:
# vorn_udev_settle /dev/loopN... triggers those devices only.
vorn_udev_settle() {
    local node
    for node in "$@"; do
        udevadm trigger --action=change "/sys/class/block/$(basename "$node")"
    done
    udevadm settle --timeout=30
}

vorn_daemons_stop() {
    local pid
    for pid in "${VORN_DAEMON_PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    VORN_DAEMON_PIDS=()
    if [ -n "${VORN_POLKITD_PID:-}" ]; then
        kill "$VORN_POLKITD_PID" 2>/dev/null || true
        wait "$VORN_POLKITD_PID" 2>/dev/null || true
        VORN_POLKITD_PID=""
    fi
    if [ "$VORN_UDEVD_STARTED" = 1 ]; then
        udevadm control --exit 2>/dev/null || true
        VORN_UDEVD_STARTED=0
    fi
    if [ -n "$VORN_DBUS_PID" ]; then
        kill "$VORN_DBUS_PID" 2>/dev/null || true
        VORN_DBUS_PID=""
    fi
}
