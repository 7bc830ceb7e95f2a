#!/bin/bash
# The VM's second stage, PID 1 in its Debian root file system: the kernel
# file systems, udev, dummy_hcd and the gadget functions, then the command
# tools/linux-vm was given, with the scenario's chips plugged in by
# zorvex_gadget. Its output and exit code go to the run folder the host
# shares; then the VM powers off.
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs -o mode=1777 tmpfs /dev/shm
mount -t tmpfs -o mode=0755 tmpfs /run
# /tmp stays the scratch layer's: the host's folders may be mounted in it.
hostname zorvex-vm
ip link set lo up

for word in $(cat /proc/cmdline); do
    case $word in
    zorvex.run=*) run=${word#zorvex.run=} ;;
    esac
done

finish() {
    echo "$1" >"$run/exit_code"
    sync
    echo o >/proc/sysrq-trigger
    sleep 10
}

# Linux's own driver for the chip, or hid-generic with a hidraw node.
ZORVEX_VM_DRIVER=$(cat "$run/driver")
export ZORVEX_VM_DRIVER
if [ "$ZORVEX_VM_DRIVER" = hid-generic ]; then
    printf 'blacklist hid_mcp2221\ninstall hid_mcp2221 /bin/false\n' >/etc/modprobe.d/zorvex.conf
fi
# The package's udev rule and group, as the package installs them.
addgroup --system zorvex >/dev/null
cp "$(cat "$run/tree")/packaging/linux/70-zorvex-mcp2221a.rules" /etc/udev/rules.d/

/lib/systemd/systemd-udevd --daemon
udevadm trigger --action=add
udevadm settle --timeout=30
modprobe dummy_hcd num=4 || finish 125
modprobe libcomposite && modprobe usb_f_acm && modprobe usb_f_hid || finish 125
mount -t configfs configfs /sys/kernel/config || finish 125
# The drivers the devices will meet, loaded now: loaded by udev for the
# first device instead, hid_mcp2221 would hold udev's queue through that
# device's probe.
modprobe cdc_acm && modprobe usbhid && modprobe hid_generic || finish 125
if [ "$ZORVEX_VM_DRIVER" = mcp2221 ]; then
    modprobe hid_mcp2221 || finish 125
fi
udevadm settle --timeout=30

mapfile -d '' -t command <"$run/command"
cd "$(cat "$run/cwd")" || finish 125
set -a
# shellcheck disable=SC1091
. "$run/environment"
set +a
"$(cat "$run/gadget")" "$(cat "$run/scenario")" -- "${command[@]}" >"$run/stdout" 2>"$run/stderr"
finish $?
