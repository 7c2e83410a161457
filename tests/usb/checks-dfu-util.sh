# dfu-util, an independent DFU host, against vqzsim-gadget serving a three-setting device like the
# demo's: what it lists, what it writes and reads back, our multi-target DFU files, leaving DFU
# mode, and the faults of the simulation file.

du_dir="$scratch/dfu-util"
du_addr=(0x08000000 0x90000000 0x90100000)
du_size=(41060 20480 10247)   # the first spans three sectors, the last ends mid-sector

# du_device DIR [DEVICE-LINES [SECTIONS]]: the three-setting device with its stores in DIR, fast
# timing; more [device] keys and more sections from the arguments.
du_device() {
  mkdir -p "$1"
  cat >"$1/device.ini" <<INI
[device]
transfer_size = 2048
${2:-}

[alt0]
name  = @Velmarquist /0x08000000/04*016Kg,01*064Kg,07*128Kg

[alt1]
name  = @Data /0x90000000/08*016Kg

[alt2]
name  = @Voice /0x90100000/04*016Kg

[timing]
erase_ms_per_sector  = 5
program_ms_per_block = 1
${3:-}
INI
  echo "$1/device.ini"
}

# du_image N TAG: an image of random bytes for setting N, one per tag.
du_image() {
  local file="$du_dir/img$1-$2.bin"
  [ -f "$file" ] || head -c "${du_size[$1]}" /dev/urandom >"$file"
  echo "$file"
}

# du_store_holds DIR N IMAGE: setting N's store starts with IMAGE (images go to a region's start).
du_store_holds() { cmp -n "$(stat -c %s "$3")" "$3" "$1/alt$2.bin"; }

# dfu-util on the gadget "du" for at most a minute, its output in the log and in $du_dir/last.log.
du() { du_on du "$@"; }
du_on() {
  local gadget=$1
  shift
  timeout 60 dfu-util -p "$(gadget_usb_path "$gadget")" "$@" 2>&1 | tee "$du_dir/last.log"
  return "${PIPESTATUS[0]}"
}
du_said() { grep -q -- "$1" "$du_dir/last.log"; }

du_lsusb() {
  local text
  text=$(timeout 30 lsusb -v -d 1209:5a01 2>&1) || return 1
  echo "$text"
  for n in 0 1 2; do grep -qE "bAlternateSetting +$n\$" <<<"$text" || return 1; done
  grep -qF 'iInterface              4 @Velmarquist /0x08000000/04*016Kg,01*064Kg,07*128Kg' <<<"$text" &&
    grep -qF 'iInterface              5 @Data /0x90000000/08*016Kg' <<<"$text" &&
    grep -qF 'iInterface              6 @Voice /0x90100000/04*016Kg' <<<"$text" &&
    [ "$(grep -cE 'bInterfaceClass +254' <<<"$text")" -eq 3 ] &&
    grep -qE 'bcdDFUVersion +1\.1a' <<<"$text" && grep -qE 'wTransferSize +2048 bytes' <<<"$text"
}

du_list() {
  du -l || return 1
  du_said 'ver=0200, devnum=.*alt=0, name="@Velmarquist /0x08000000/04\*016Kg,01\*064Kg,07\*128Kg"' &&
    du_said 'alt=1, name="@Data /0x90000000/08\*016Kg"' &&
    du_said 'alt=2, name="@Voice /0x90100000/04\*016Kg"' &&
    du_said '\[1209:5a01\]'
}

# du_write_read DIR N SEED: -D an image into setting N at its address, -U it back: both equal.
du_write_read() {
  local image back="$du_dir/back$2.bin"
  image=$(du_image "$2" "$3")
  rm -f "$back"
  du -a "$2" -s "${du_addr[$2]}" -D "$image" || return 1
  du_store_holds "$1" "$2" "$image" || return 1
  du -a "$2" -s "${du_addr[$2]}:${du_size[$2]}" -U "$back" || return 1
  cmp "$image" "$back"
}

# du_dfu_file DIR: one file made by vqzdfu pack with a target per setting; dfu-util -a N -D
# writes the target of setting N, and each lands in its setting.
du_dfu_file() {
  local n images=()
  for n in 0 1 2; do images[n]=$(du_image "$n" 2); done
  "$vqzdfu" pack -o "$du_dir/all.dfu" --target "0:Velmarquist" "${du_addr[0]}:${images[0]}" \
    --target "1:Data" "${du_addr[1]}:${images[1]}" --target "2:Voice" "${du_addr[2]}:${images[2]}" || return 1
  for n in 0 1 2; do du -a "$n" -D "$du_dir/all.dfu" || return 1; done
  for n in 0 1 2; do du_store_holds "$1" "$n" "${images[n]}" || return 1; done
}

# du_leave DIR: -s ADDR:leave ends dfu-util normally; the device (not manifestation tolerant)
# then answers nothing until a bus reset, and afterwards reads the image back.
du_leave() {
  local image back="$du_dir/back-leave.bin"
  image=$(du_image 0 3)
  du -a 0 -s "${du_addr[0]}:leave" -D "$image" || return 1
  du_store_holds "$1" 0 "$image" || return 1
  rm -f "$back"
  if du -a 0 -s "${du_addr[0]}:16" -U "$back"; then
    echo "the device answered before a bus reset"
    return 1
  fi
  usbreset 1209:5a01 || return 1
  wait_until 10 gadget_seen du || return 1
  rm -f "$back"
  du -a 0 -s "${du_addr[0]}:${du_size[0]}" -U "$back" && cmp "$image" "$back"
}

# du_fault NAME FAULT-LINES MESSAGE: with the fault armed, dfu-util fails saying MESSAGE; the next
# dfu-util run writes the exact image.
du_fault() {
  local dir="$du_dir/fault-$1" image
  image=$(du_image 0 "fault-$1")
  gadget_start du "$(du_device "$dir" "" "[fault]
$2")" || return 1
  if du -a 0 -s "${du_addr[0]}" -D "$image"; then
    echo "dfu-util did not notice the fault"
    gadget_stop du
    return 1
  fi
  du_said "$3" || { echo "dfu-util did not say: $3"; gadget_stop du; return 1; }
  # The unplugged device comes back by itself a second later.
  wait_until 10 gadget_seen du &&
    du -a 0 -s "${du_addr[0]}" -D "$image" && du_store_holds "$dir" 0 "$image" && gadget_stop du
}

# du_refused EXPECTED ARGS... [--as-nobody]: vqzsim-gadget exits 2 saying EXPECTED and leaves no
# gadget behind.
du_refused() {
  local expected=$1 said rc
  shift
  local as=()
  [ "${*: -1}" = --as-nobody ] && as=(setpriv --reuid=65534 --regid=65534 --clear-groups) && set -- "${@:1:$#-1}"
  said=$("${as[@]}" "$gadget_bin" --name refused "$@" 2>&1)
  rc=$?
  echo "exit $rc: $said"
  [ "$rc" -eq 2 ] && grep -qF -- "$expected" <<<"$said" && [ ! -e /sys/kernel/config/usb_gadget/refused ]
}

du_refusals() {
  local dir="$du_dir/refused"
  mkdir -p "$dir"
  printf '[device]\nvendor_id = 0x1209\ncolour = blue\n' >"$dir/unknown.ini"
  printf '[alt0]\nname = @A /0x08000000/04*016Kg\n[alt1]\nname = @B /0x08008000/04*016Kg\n' >"$dir/overlap.ini"
  # Missing pieces: configfs unmounted, FunctionFS unloaded (the kernel cannot load it by itself
  # here), no root.
  umount /sys/kernel/config
  du_refused "configfs is not mounted at /sys/kernel/config" --config "$(du_device "$dir")"
  local unmounted=$?
  mount -t configfs none /sys/kernel/config || return 1
  [ "$unmounted" -eq 0 ] || return 1
  rmmod usb_f_fs || return 1
  du_refused "FunctionFS is not available" --config "$(du_device "$dir")"
  local unloaded=$?
  kmod_load usb_f_fs || return 1
  [ "$unloaded" -eq 0 ] || return 1
  mkdir -p "$du_dir/nobody" && chmod 777 "$du_dir/nobody"  # its stores are created as nobody
  du_refused "Permission denied (run as root)" --config "$(du_device "$du_dir/nobody")" --as-nobody || return 1
  du_refused "$dir/unknown.ini:3:" --config "$dir/unknown.ini" &&
    du_refused "overlap at 0x08008000" --config "$dir/overlap.ini" &&
    du_refused "no USB device controller named dummy_udc.7" --config "$(du_device "$dir")" --udc dummy_udc.7 ||
    return 1
  gadget_start du "$(du_device "$du_dir/busy")" dummy_udc.0 || return 1
  local ok=0
  du_refused "dummy_udc.0 is in use" --config "$(du_device "$dir")" --udc dummy_udc.0 || ok=1
  gadget_stop du && return "$ok"
}

# Two gadgets at once, one per controller, each written through its own bus path.
du_two_gadgets() {
  local a="$du_dir/two-a" b="$du_dir/two-b" image_a image_b
  image_a=$(du_image 1 two-a)
  image_b=$(du_image 1 two-b)
  gadget_start du "$(du_device "$a")" dummy_udc.0 || return 1
  gadget_start du2 "$(du_device "$b")" dummy_udc.1 || { gadget_stop du; return 1; }
  local ok=0
  du_on du -a 1 -s "${du_addr[1]}" -D "$image_a" && du_on du2 -a 1 -s "${du_addr[1]}" -D "$image_b" &&
    du_store_holds "$a" 1 "$image_a" && du_store_holds "$b" 1 "$image_b" || ok=1
  gadget_stop du2 && gadget_stop du && return "$ok"
}

# present = 0 with plug_after_ms: the host sees the device no sooner than that after the start.
du_plug_later() {
  local start=${EPOCHREALTIME/./} waited
  gadget_start du "$(du_device "$du_dir/later" "$(printf 'present = 0\nplug_after_ms = 1500')")" || return 1
  wait_until 10 gadget_seen du
  waited=$(( (${EPOCHREALTIME/./} - start) / 1000 ))
  echo "seen after $waited ms"
  local ok=0
  [ "$waited" -ge 1500 ] && grep -q '^ready dummy_udc.0$' "$scratch/du.out" || ok=1
  gadget_stop du && return "$ok"
}

checks_dfu_util() {
  mkdir -p "$du_dir"
  local dir="$du_dir/plain"
  check "gadget: serves the three-setting device" gadget_start du "$(du_device "$dir")"
  check "lsusb -v: three DFU settings with their names, DFU 1.1a, transfer size" du_lsusb
  check "dfu-util -l: the device and its three settings" du_list
  for n in 0 1 2; do
    check "dfu-util -D then -U: setting $n holds the image and reads it back" du_write_read "$dir" "$n" 1
  done
  check "dfu-util -a N -D of a vqzdfu pack file: each target lands in its setting" du_dfu_file "$dir"
  check "dfu-util -s ADDR:leave: ends normally, the device waits for a bus reset" du_leave "$dir"
  check "gadget: SIGTERM removes the gadget and exits 0" gadget_stop du
  check "fault status = 3: dfu-util fails, the next run writes the image" \
    du_fault status "$(printf 'phase = write\nstatus = 3')" "status(3) = Device is unable to write memory"
  check "fault stall = 1: dfu-util fails, the next run writes the image" \
    du_fault stall "$(printf 'phase = write\nstall = 1')" "status(15) = Device stalled an unexpected request"
  check "fault unplug = 1: dfu-util fails, the next run writes the image" \
    du_fault unplug "$(printf 'phase = write\nunplug = 1')" "Error during download get_status"
  check "gadget: refuses missing configfs, FunctionFS or root, a bad file, overlapping settings, a missing or busy controller" \
    du_refusals
  check "gadget: two at once on two controllers" du_two_gadgets
  check "gadget: present = 0, plug_after_ms = 1500 binds later" du_plug_later
}
