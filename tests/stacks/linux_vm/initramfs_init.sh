#!/bin/busybox sh
# The VM's first stage, from its initramfs: load the modules that reach the
# root file system (virtio and 9p), mount it read-only with a scratch layer
# over it, mount the host's folders at their own paths, and go on to the
# second stage in it. tools/linux-vm builds this initramfs.
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev

while read -r module; do
    insmod "/modules/$module"
done </modules.order

share_options=rw
for word in $(cat /proc/cmdline); do
    case $word in
    zorvex.shares=*) shares=${word#zorvex.shares=} ;;
    zorvex.share_cache=*) share_options=rw,cache=${word#zorvex.share_cache=} ;;
    esac
done

nine() { mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,"$3" "$1" "$2"; }
mkdir -p /lower /scratch /newroot
nine rootfs /lower ro
mount -t tmpfs -o mode=0755 scratch /scratch
mkdir -p /scratch/upper /scratch/work
mount -t overlay overlay -o lowerdir=/lower,upperdir=/scratch/upper,workdir=/scratch/work /newroot

index=0
old_ifs=$IFS
IFS=:
for share in $shares; do
    mkdir -p "/newroot$share"
    nine "share$index" "/newroot$share" "$share_options"
    index=$((index + 1))
done
IFS=$old_ifs

cp /stage2.sh /newroot/sbin/zorvex-stage2
umount /proc /sys /dev
exec switch_root /newroot /sbin/zorvex-stage2
