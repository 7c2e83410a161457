#!/usr/bin/env bash
# The USB bench: our simulated device served by vqzsim-gadget on a real Linux USB stack
# (dummy_hcd in a QEMU virtual machine running Debian's 6.12 kernel), judged by independent hosts.
#
#   bash scripts/usb-bench.sh [--bench]
#
# Installs what it lacks, fetches the kernel package into the build folder (once; never installed
# on this machine), builds the gadget and vqzdfu, boots the VM with this machine's root file system
# read-only as its own, runs tests/usb/guest.sh inside (the checks, or with --bench the timings),
# and prints what the guest reported: one PASS:/FAIL: line per check and "N passed, N failed".
# Exits 0 only when every check passed. A failure prints the guest's log.
#
# Folders: VQZ_USB_BENCH_DIR (default build/usb-bench), VQZ_RELEASE_BUILD (default build/release).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
work="${VQZ_USB_BENCH_DIR:-$root/build/usb-bench}"
release_build="${VQZ_RELEASE_BUILD:-$root/build/release}"
mode=checks
kernel_series=6.12
vm_seconds=420   # the whole guest run (both hosts' checks), boot to power-off, on a loaded machine

case "${1:-}" in
  "") ;;
  --bench) mode=bench ;;
  *) echo "usage: $0 [--bench]" >&2; exit 2 ;;
esac
step() { printf '==== %s\n' "$*"; }
fail() { printf 'usb-bench: %s\n' "$*" >&2; exit 1; }

bash "$root/scripts/setup.sh"

step "Building vqzsim-gadget and vqzdfu"
cmake --preset release -B "$release_build" >/dev/null
cmake --build "$release_build" -j2 --target vqzsim-gadget vqzdfu vqz_round_trip >/dev/null

# The kernel: Debian's linux-image-6.12-amd64 names the real package. Where this machine's apt
# does not offer it (no security suite configured), a private list points apt at that suite for
# this download only.
kernel="$work/kernel"
if [ ! -f "$kernel/ready" ]; then
  step "Fetching the $kernel_series kernel into $kernel"
  apt_opts=()
  if ! apt-cache show "linux-image-$kernel_series-amd64" >/dev/null 2>&1; then
    private="$work/apt"
    mkdir -p "$private/lists/partial" "$private/cache/archives/partial"
    echo "deb http://deb.debian.org/debian-security bookworm-security main" >"$private/sources.list"
    apt_opts=(-o Dir::Etc::sourcelist="$private/sources.list" -o Dir::Etc::sourceparts=-
              -o Dir::State::Lists="$private/lists" -o Dir::Cache="$private/cache")
    apt-get "${apt_opts[@]}" update -qq
  fi
  package=$(apt-cache "${apt_opts[@]}" depends "linux-image-$kernel_series-amd64" |
            sed -n 's/^ *Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -n 1)
  [ -n "$package" ] || fail "apt names no package behind linux-image-$kernel_series-amd64"
  rm -rf "$kernel" && mkdir -p "$kernel/deb"
  (cd "$kernel/deb" && apt-get "${apt_opts[@]}" download -qq "$package" 2>&1 | grep -v '^W: Download is performed unsandboxed' || true)
  deb=$(ls "$kernel"/deb/*.deb 2>/dev/null | head -n 1)
  [ -n "$deb" ] || fail "apt-get download $package fetched nothing"
  dpkg-deb -x "$deb" "$kernel/root"
  rm -rf "$kernel/deb"
  version=$(ls "$kernel/root/lib/modules" | head -n 1)
  depmod -b "$kernel/root" "$version"
  echo "$version" >"$kernel/ready"
fi
version=$(cat "$kernel/ready")
modules_root="$kernel/root"

# The initramfs: busybox, the modules that reach the 9p root, and tests/usb/initramfs-init.
initramfs="$work/initramfs.cpio.gz"
if [ ! -f "$initramfs" ] || [ "$root/tests/usb/initramfs-init" -nt "$initramfs" ] ||
   [ "${BASH_SOURCE[0]}" -nt "$initramfs" ]; then
  step "Making the initramfs"
  tree="$work/initramfs"
  rm -rf "$tree" && mkdir -p "$tree/bin" "$tree/modules" "$tree/proc" "$tree/sys" "$tree/dev" "$tree/newroot"
  cp /bin/busybox "$tree/bin/busybox"
  ln -s busybox "$tree/bin/sh"
  # busybox insmod may not read compressed modules: unpacked, in the order modprobe loads them.
  n=0
  declare -A taken=()
  while read -r verb path _; do
    [ "$verb" = insmod ] && [ -z "${taken[$path]:-}" ] || continue
    taken[$path]=1
    n=$((n + 1))
    xz -dc "$path" >"$tree/modules/$(printf '%02d' "$n")-$(basename "$path" .xz)"
  done < <(modprobe -d "$modules_root" -S "$version" --show-depends -a virtio_pci 9pnet_virtio 9p)
  cp "$root/tests/usb/initramfs-init" "$tree/init"
  chmod +x "$tree/init"
  (cd "$tree" && find . | cpio -o -H newc --quiet | gzip -1) >"$initramfs"
fi

out="$work/out"
rm -rf "$out" && mkdir -p "$out"
accel=(-accel tcg,thread=multi -cpu max)
if [ -d /sys/module/kvm_intel ] || [ -d /sys/module/kvm_amd ]; then accel=(-accel kvm -cpu host); fi

step "Booting the VM ($mode)"
start=$(date +%s)
set +e
timeout --kill-after=10 "$vm_seconds" qemu-system-x86_64 "${accel[@]}" -smp 2 -m 1024 \
  -kernel "$kernel/root/boot/vmlinuz-$version" -initrd "$initramfs" \
  -append "console=ttyS0 quiet panic=-1 vqz_root=$root vqz_mode=$mode vqz_kernel=$modules_root vqz_version=$version vqz_build=$release_build" \
  -fsdev local,id=rootfs,path=/,security_model=none,readonly=on,multidevs=remap -device virtio-9p-pci,fsdev=rootfs,mount_tag=rootfs \
  -fsdev local,id=out,path="$out",security_model=none -device virtio-9p-pci,fsdev=out,mount_tag=out \
  -no-reboot -nographic -serial stdio -monitor none -nodefaults </dev/null >"$work/console.log" 2>&1
qemu_rc=$?
set -e
seconds=$(($(date +%s) - start))

touch "$out/results"
cat "$out/results"
passed=$(grep -c '^PASS:' "$out/results" || true)
failed=$(grep -c '^FAIL:' "$out/results" || true)
rc=$(cat "$out/rc" 2>/dev/null || echo none)
if [ "$rc" = none ]; then
  echo "FAIL: the guest did not finish (QEMU exit $qemu_rc after ${seconds}s)"
  failed=$((failed + 1))
elif [ "$rc" != 0 ] && [ "$failed" -eq 0 ]; then
  echo "FAIL: the guest runner ended with $rc"
  failed=$((failed + 1))
fi
if [ "$failed" -gt 0 ]; then
  printf '\n---- guest log\n'
  cat "$out/guest.log" 2>/dev/null || true
  printf '\n---- console\n'
  tail -n 80 "$work/console.log"
fi
echo "$passed passed, $failed failed (VM ${seconds}s)"
[ "$failed" -eq 0 ]
