#!/bin/busybox sh
# The test VM's /init: loads the drivers of the emulated devices, binds loop devices,
# runs qkvorn-cli against the real device tree and reports on the serial console:
# "VMTEST ok NAME", "VMTEST FAIL NAME: why", requests to the host ("VMTEST insert-card",
# "VMTEST plug", "VMTEST unplug", "VMTEST pull"), and "VMTEST done" at the end.
# Media are told apart by their size.
/bin/busybox --install -s /bin
export PATH=/bin LD_LIBRARY_PATH=/lib/vorn
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mount -t tmpfs tmp /tmp
echo 0 > /proc/sys/kernel/printk
# The kernel asks for crc32c (ext4) and other helpers through this path.
echo /bin/modprobe > /proc/sys/kernel/modprobe

for m in ahci ata_piix sd_mod uhci-hcd ehci-pci xhci-pci usb-storage uas sdhci-pci mmc_block \
    nvme virtio_pci virtio_blk loop crc32c_generic ext4; do
    modprobe "$m" 2>/dev/null || echo "VMTEST note: module $m did not load"
done

ok() { echo "VMTEST ok $1"; }
fail() { echo "VMTEST FAIL $1: $2"; }
check() { name=$1; shift; if "$@"; then ok "$name"; else fail "$name" "$*"; fi; }

# The disk of a given size in MiB, e.g. "sdc".
disk_of() {
    for d in /sys/block/*; do
        [ "$(cat "$d/size")" = "$(($1 * 2048))" ] && { basename "$d"; return; }
    done
}
# USB devices come late: wait for the twelve hardware disks (or 60 s).
for _ in $(seq 60); do
    [ "$(ls /sys/block | grep -c -v -E '^(loop|ram|zram)')" -ge 12 ] && break
    sleep 1
done
for d in /sys/block/*; do echo "VMTEST note: $(basename "$d") $(cat "$d/size")"; done
# A drive's number: its place among the hardware drives in the catalog's natural
# order, where names with a shorter letter run come first (sda ... vda, nvme0n1, mmcblk0).
drive_of() {
    ls /sys/block | grep -v -E '^(loop|ram|zram|dm-|md|nbd)' |
        while read -r n; do echo "$(expr "$n" : '[a-z]*') $n"; done |
        sort -k1,1n -k2,2 | grep -n " $1\$" | cut -d: -f1 |
        while read -r n; do echo $((n - 1)); done
}
# A drive's entry without its link, whose texts may hold quotes.
entry_of() {
    grep -o "{\"drive\": $(drive_of "$1"), [^}]*}" /tmp/list.json | sed 's/, "link": .*/}/'
}
# A watched list with its quotes made plain, so checks can quote it.
plain_list() { tr "'" '_'; }

U11=$(disk_of 20); RUNKEY=$(disk_of 24); PULL=$(disk_of 26); U30=$(disk_of 28)
UAS=$(disk_of 30); SD=$(disk_of 32); SATA=$(disk_of 44); NVME=$(disk_of 46)
VDA=$(disk_of 52); RO=$(disk_of 54); K4=$(disk_of 56)
READER=$(for d in /sys/block/sd*; do [ "$(cat "$d/size")" = 0 ] && basename "$d"; done | head -1)
echo "VMTEST note: usb1.1=$U11 key=$RUNKEY pull=$PULL usb3=$U30 uas=$UAS sd=$SD sata=$SATA" \
    "nvme=$NVME virtio=$VDA ro=$RO 4k=$K4 reader=$READER"
for v in U11 RUNKEY PULL U30 UAS SD SATA NVME VDA RO K4 READER; do
    eval "[ -n \"\$$v\" ]" || fail "device-$v" "not found"
done
dmesg | grep -i -E "usb-storage|uas|sd [0-9]|error|fail" | tail -20 | sed 's/^/VMTEST note: /'


mkdir -p /tmp/loops /mnt/key /mnt/boot /mnt/usr /work
for i in $(seq 0 25); do
    dd if=/dev/zero of=/tmp/loops/$i.img bs=1k count=64 2>/dev/null
    losetup /dev/loop$i /tmp/loops/$i.img 2>/dev/null || losetup -f /tmp/loops/$i.img
done
# The system's own disks: /usr on the virtio disk, /boot on the USB 1.1 stick.
check mount-usr sh -c "mount /dev/$VDA /mnt/usr && mount --bind /mnt/usr /usr"
check mount-boot mount /dev/$U11 /boot
check mount-key sh -c "mount /dev/${RUNKEY}1 /mnt/key && echo hello > /mnt/key/hello.txt && sync"
grep -E " /(usr|boot|mnt/key) " /proc/mounts | sed 's/^/VMTEST note: mounted /'
cd /work

qkvorn-cli list --json > /tmp/list.json 2>/tmp/list.err
check list-exits qkvorn-cli list --json
check list-has-no-loop sh -c '! grep -q loop /tmp/list.json'
check list-has-every-drive sh -c "[ \$(grep -o '\"drive\"' /tmp/list.json | wc -l) = 12 ]"
check list-sd-card sh -c "grep -q '\"drive\": $(drive_of "$SD"),' /tmp/list.json"
check list-nvme sh -c "grep -q '\"drive\": $(drive_of "$NVME"),' /tmp/list.json"
check list-empty-reader-not-writable sh -c "echo '$(entry_of "$READER")' | grep -q '\"writable\": false'"
check list-read-only-not-writable sh -c "echo '$(entry_of "$RO")' | grep -q '\"writable\": false'"
check list-boot-disk-not-writable sh -c "echo '$(entry_of "$U11")' | grep -q '\"writable\": false'"
check list-usr-disk-not-writable sh -c "echo '$(entry_of "$VDA")' | grep -q '\"writable\": false'"
check list-usb3-fixed-is-removable sh -c "echo '$(entry_of "$U30")' | grep -q '\"removable\": true'"
check list-uas-is-removable sh -c "echo '$(entry_of "$UAS")' | grep -q '\"removable\": true'"
check list-sata-is-fixed sh -c "echo '$(entry_of "$SATA")' | grep -q '\"removable\": false'"
check info-sd-card qkvorn-cli info "$(drive_of "$SD")"
# The link line of `info`: xhci's UAS device and ehci's stick run on different links, the
# native card shows its own registers, the empty reader only its USB link.
link_of() { qkvorn-cli info "$(drive_of "$1")" 2>/dev/null | grep '^link: '; }
# Kept in files: the texts hold quotes.
for v in U11 RUNKEY U30 UAS SD READER; do
    eval "link_of \"\$$v\"" > /tmp/link.$v
    echo "VMTEST note: $v $(cat /tmp/link.$v)"
done
check link-uas-on-xhci grep -q 'Gbit/s (UAS)' /tmp/link.UAS
check link-key-on-ehci grep -q 'at 480 Mbit/s (bulk-only)' /tmp/link.RUNKEY
check link-usb11-on-uhci grep -q 'at 12 Mbit/s' /tmp/link.U11
check link-xhci-differs-from-ehci sh -c '! cmp -s /tmp/link.UAS /tmp/link.RUNKEY'
check link-sd-card-identity grep -q '^link: SD card .*(manufactured ' /tmp/link.SD
check link-reader-no-card grep -q 'card reader: the card' /tmp/link.READER
check list-link-after-old-keys grep -q \
    "{\"drive\": $(drive_of "$UAS"), [^{}]*, \"writable\": [a-z]*, \"link\": {\"text\": \"USB" /tmp/list.json
check list-link-sd-card sh -c "grep -q '\"card\": {\"type\": \"SD\"' /tmp/list.json"

# A refusal: non-zero exit, the message on stderr, and the medium untouched.
refused() { # NAME DISK TEXT ARGS...
    name=$1 disk=$2 text=$3; shift 3
    before=$(dd if=/dev/$disk bs=4096 count=64 2>/dev/null | md5sum)
    if qkvorn-cli run --device /dev/$disk "$@" --yes >/tmp/out 2>/tmp/err; then
        fail "$name" "run succeeded"
    elif ! grep -q "$text" /tmp/err; then
        fail "$name" "$(head -c 300 /tmp/err)"
    elif [ "$(dd if=/dev/$disk bs=4096 count=64 2>/dev/null | md5sum)" != "$before" ]; then
        fail "$name" "the medium changed"
    else
        ok "$name"
    fi
}
refused refuse-fixed-sata "$SATA" "QK Vorn supports only removable media devices." --write
refused refuse-boot-disk "$U11" "it holds /boot" --write
refused refuse-read-only "$RO" "can not write to this device" --write
refused refuse-4k-sectors "$K4" "4096-byte sectors" --write
check refuse-empty-reader sh -c "! qkvorn-cli run --device /dev/$READER >/dev/null 2>/tmp/err &&
    grep -q 'No media in device' /tmp/err"
check 4k-marker-kept sh -c "dd if=/dev/$K4 bs=4096 skip=256 count=1 2>/dev/null | grep -q VORNKEEP"

# The mounted stick: unmounted by the run, wiped, no file-system error in the kernel.
if qkvorn-cli run --device /dev/$RUNKEY --write --yes >/tmp/out 2>/tmp/err; then
    ok run-mounted-key
else
    fail run-mounted-key "$(tail -c 300 /tmp/err)"
fi
check run-unmounted-key sh -c "! grep -q ${RUNKEY}1 /proc/mounts"
check run-no-ext4-error sh -c "! dmesg | grep -q 'EXT4-fs error'"
check run-data-gone sh -c "! mount /dev/${RUNKEY}1 /mnt/key 2>/dev/null"
check run-wrote-results sh -c "[ -s temp.qkt ] && [ -s event.log ]"
check run-sd-card qkvorn-cli run --device /dev/$SD --write --yes

# A genuine stick keeps every sector it claims.
check capacity-genuine-stick sh -c "qkvorn-cli capacity --device /dev/$U30 --yes 2>/tmp/err |
    grep -q 'Real capacity: verified'"

# The extended read set on the USB 3 stick: every queued read passes and is stored.
check extended-usb3-stick sh -c "qkvorn-cli run --device /dev/$U30 --extended --yes >/tmp/out 2>/tmp/err &&
    grep -q 'Read RND 4KiB Q32 *passed' /tmp/err && grep -q QKXR4KQ32 temp.qkt"
# Queue depth reaches the NVMe disk: its in-flight count while Q32 runs, and Q32 IOPS
# against Q1.
iops() {
    qkvorn-cli bench --device /dev/$NVME --read --random --queue "$1" --seconds 3 --json \
        2>/dev/null | grep -o '"iops": [0-9.]*' | cut -d' ' -f2
}
qkvorn-cli bench --device /dev/$NVME --read --random --queue 32 --seconds 3 --json \
    >/tmp/q32.json 2>/dev/null &
bench=$!
deepest=0
while kill -0 $bench 2>/dev/null; do
    now=$(awk '{print $1}' /sys/block/$NVME/inflight)
    [ "${now:-0}" -gt "$deepest" ] && deepest=$now
    usleep 20000
done
q32=$(grep -o '"iops": [0-9.]*' /tmp/q32.json | cut -d' ' -f2)
q1=$(iops 1)
echo "VMTEST note: nvme random 4 KiB reads: Q1 ${q1:-?} IOPS, Q32 ${q32:-?} IOPS," \
    "at most $deepest in flight"
check extended-nvme-depth-reaches-disk [ "$deepest" -gt 8 ]
check extended-nvme-q32-above-q1 awk "BEGIN { exit !(${q32:-0} > 1.5 * ${q1:-1}) }"

echo "VMTEST insert-card"
for _ in $(seq 30); do [ "$(cat /sys/block/$READER/size)" != 0 ] && break; sleep 1; done
qkvorn-cli list --json > /tmp/list.json 2>/dev/null
check card-inserted sh -c "echo '$(entry_of "$READER")' | grep -q '\"writable\": true'"

# Hot-plug: the list that watch prints gains a stick plugged in and loses it again.
lines() { wc -l < /tmp/watch.out; }
drives_in() { echo "$1" | grep -o '"drive"' | wc -l; }
qkvorn-cli watch --json --timeout 240 > /tmp/watch.out 2>/tmp/watch.err &
watch=$!
for _ in $(seq 30); do [ "$(lines)" -ge 1 ] && break; sleep 1; done
BEFORE=$(head -1 /tmp/watch.out | plain_list)
echo "VMTEST plug"
HOT=
for _ in $(seq 60); do HOT=$(disk_of 38); [ -n "$HOT" ] && break; sleep 1; done
for _ in $(seq 30); do [ "$(lines)" -ge 2 ] && break; sleep 1; done
sleep 3
PLUGGED=$(tail -1 /tmp/watch.out | plain_list)
qkvorn-cli list --json > /tmp/list.json 2>/dev/null
HOTTEXT=$(entry_of "$HOT" | sed 's/.*"text": "\([^"]*\)".*/\1/')
echo "VMTEST note: hot-plugged ${HOT:-nothing}: $HOTTEXT"
check hotplug-watch-lists-stick sh -c "[ -n '$HOT' ] && [ -n '$HOTTEXT' ] &&
    echo '$PLUGGED' | grep -q -F '$HOTTEXT' &&
    [ $(drives_in "$PLUGGED") = $(($(drives_in "$BEFORE") + 1)) ]"
seen=$(lines)
echo "VMTEST unplug"
for _ in $(seq 60); do [ -n "$HOT" ] && [ -e "/sys/block/$HOT" ] || break; sleep 1; done
for _ in $(seq 30); do [ "$(lines)" -gt "$seen" ] && break; sleep 1; done
sleep 3
UNPLUGGED=$(tail -1 /tmp/watch.out | plain_list)
check hotplug-watch-drops-stick sh -c "[ $(lines) -gt $seen ] &&
    ! echo '$UNPLUGGED' | grep -q -F '$HOTTEXT' && [ '$UNPLUGGED' = '$BEFORE' ]"
kill -INT $watch
wait $watch
code=$?
check hotplug-watch-ends-on-sigint sh -c "[ $code = 130 ] && grep -q 'cancelled by SIGINT' /tmp/watch.err"
[ "$code" = 130 ] || sed 's/^/VMTEST note: watch: /' /tmp/watch.out /tmp/watch.err | head -20

# Pulled during the run: a failure within seconds, event.log written.
rm -f event.log
start=$(date +%s)
qkvorn-cli run --device /dev/$PULL --write --yes >/tmp/out 2>/tmp/err &
run=$!
sleep 4
echo "VMTEST pull"
for _ in $(seq 90); do kill -0 $run 2>/dev/null || break; sleep 1; done
if kill -0 $run 2>/dev/null; then
    fail pulled-medium "the run still goes on 90 s after the pull"
    kill -9 $run
elif wait $run; then
    fail pulled-medium "the run reported success"
else
    check pulled-medium-event-log test -s event.log
    ok "pulled-medium (ended after $(($(date +%s) - start)) s)"
fi
echo "VMTEST done"
poweroff -f
