#!/bin/bash
# The bench's VM after the initramfs: the host's root read-only, the results share at /run/out.
# Loads the USB gadget stack (two dummy controllers: dummy_udc.0 and dummy_udc.1), then runs, for
# each tests/usb/checks-NAME.sh, its function MODE_NAME (checks_dfu_util, bench_vqzdfu, ...), and
# powers off. Variables from the kernel command line: vqz_root, vqz_mode, vqz_kernel, vqz_version,
# vqz_build.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
export HOME=/tmp LANG=C.UTF-8
mount -t tmpfs tmp /tmp
mount -t tmpfs run /run
mkdir -p /run/out
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 out /run/out
ln -sfn /proc/self/fd /dev/fd

finish() {
  echo "$1" >/run/out/rc
  sync
  busybox poweroff -f
}

exec >/run/out/guest.log 2>&1
source "$vqz_root/tests/usb/lib.sh"

echo "guest: kernel $(uname -r), mode $vqz_mode"
if ! kmod_load dummy_hcd num=2 || ! kmod_load libcomposite || ! kmod_load usb_f_fs ||
   ! mount -t configfs none /sys/kernel/config; then
  echo "FAIL: loading the USB gadget modules" | tee -a "$results"
  finish 1
fi

for file in "$vqz_root"/tests/usb/checks-*.sh; do
  name=$(basename "$file" .sh)
  name=${name#checks-}
  source "$file"
  suite="${vqz_mode}_${name//-/_}"
  if declare -F "$suite" >/dev/null; then
    echo "==== $suite"
    "$suite"
  fi
done
finish "$failures"
