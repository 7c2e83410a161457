# Helpers of the bench's guest checks: PASS/FAIL reporting, bounded waits, and vqzsim-gadget
# instances started and stopped by name. Sourced by guest.sh; everything runs as root in the VM.

results=/run/out/results        # the PASS:/FAIL: lines the host prints
scratch=/tmp/usb                # simulation files, stores, images
gadget_bin="$vqz_build/tools/vqzsim-gadget"
vqzdfu="$vqz_build/tools/vqzdfu"
failures=0
declare -A gadget_pid gadget_udc
mkdir -p "$scratch"

kmod_load() { modprobe -d "$vqz_kernel" -S "$vqz_version" "$@"; }

# check NAME CMD...: runs CMD, its output into the guest log, and reports NAME.
check() {
  local name=$1 start=${EPOCHREALTIME/./} verdict=PASS
  shift
  echo "---- $name"
  "$@" || verdict=FAIL
  [ "$verdict" = PASS ] || failures=$((failures + 1))
  echo "$verdict: $name" | tee -a "$results"
  echo "($(( (${EPOCHREALTIME/./} - start) / 1000 )) ms; ${SECONDS} s since the guest started)"
}

# wait_until SECONDS CMD...: true as soon as CMD is, false once SECONDS have passed.
wait_until() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# The host side of a UDC: dummy_udc.N is wired to dummy_hcd.N, whose root hub has one port.
udc_usb_path() {
  local bus
  bus=$(ls -d /sys/devices/platform/dummy_hcd."${1#dummy_udc.}"/usb* 2>/dev/null | head -n 1)
  [ -n "$bus" ] && echo "${bus##*/usb}-1"
}

# gadget_usb_path NAME: the device's bus path as `dfu-util -p` and sysfs name it (BUS-PORT).
gadget_usb_path() { udc_usb_path "${gadget_udc[$1]}"; }

# True once the host has configured the gadget's device.
gadget_seen() {
  local path
  path=$(gadget_usb_path "$1") || return 1
  [ -n "$(cat "/sys/bus/usb/devices/$path/bConfigurationValue" 2>/dev/null)" ]
}

gadget_gone() { ! gadget_seen "$1"; }

# gadget_start NAME CONFIG [UDC]: serves CONFIG as gadget NAME on UDC (default dummy_udc.0) and
# waits until vqzsim-gadget is bound and the host has configured the device (unless the file
# says present = 0). Its output: $scratch/NAME.out and NAME.err.
gadget_start() {
  local name=$1 config=$2 udc=${3:-dummy_udc.0}
  gadget_udc[$name]=$udc
  "$gadget_bin" --config "$config" --name "$name" --udc "$udc" >"$scratch/$name.out" 2>"$scratch/$name.err" &
  gadget_pid[$name]=$!
  if grep -qE '^present *= *0' "$config"; then return 0; fi
  if ! wait_until 10 grep -q "^ready $udc\$" "$scratch/$name.out"; then
    echo "gadget $name: not ready within 10 s"
    cat "$scratch/$name.err"
    return 1
  fi
  wait_until 10 gadget_seen "$name" || { echo "gadget $name: the host did not see it within 10 s"; return 1; }
}

# gadget_stop NAME: SIGTERM, and true when it ended with 0 within 5 s having removed its gadget,
# and the host has let go of the device (so the next gadget on that controller is not mistaken
# for this one).
gadget_stop() {
  local name=$1 pid=${gadget_pid[$1]} rc
  kill -TERM "$pid" 2>/dev/null
  if ! wait_until 5 bash -c "! kill -0 $pid 2>/dev/null"; then
    echo "gadget $name: still running 5 s after SIGTERM"
    kill -KILL "$pid"
  fi
  wait "$pid"
  rc=$?
  [ -s "$scratch/$name.err" ] && sed "s/^/gadget $name: /" "$scratch/$name.err"
  unset "gadget_pid[$name]"
  wait_until 5 gadget_gone "$name" || echo "gadget $name: the host still sees it 5 s after its end"
  [ "$rc" -eq 0 ] && [ ! -e "/sys/kernel/config/usb_gadget/$name" ] && gadget_gone "$name"
}

# same FILE_A FILE_B: byte for byte, or the first difference in the log.
same() { cmp "$1" "$2"; }
