# vqzdfu as the host over the real stack, against vqzsim-gadget serving the three-setting device:
# list, flash of three files, read; two gadgets flashed at once with --all, one of them faulty;
# the fault matrix (an error status, a stall and an unplug, in the erase and in the write phase),
# each followed by a clean flash. The bench mode measures vqzdfu against dfu-util.

vq_dir="$scratch/vqzdfu"
vq_addr=(0x08000000 0x90000000 0x90100000)
vq_size=(40000 20480 10247)  # the first spans three sectors, the last ends mid-sector
vq_names=("@Velmarquist /0x08000000/04*016Kg,01*064Kg,07*128Kg" "@Data /0x90000000/08*016Kg"
          "@Voice /0x90100000/04*016Kg")

# vq_device DIR [EXTRA-INI]: the three-setting device with its stores in DIR.
vq_device() {
  mkdir -p "$1"
  cat >"$1/device.ini" <<INI
[device]
transfer_size = 2048

[alt0]
name  = ${vq_names[0]}

[alt1]
name  = ${vq_names[1]}

[alt2]
name  = ${vq_names[2]}

[timing]
erase_ms_per_sector  = ${vq_erase_ms:-5}
program_ms_per_block = ${vq_program_ms:-1}
${2:-}
INI
  echo "$1/device.ini"
}

# The three images and their DFU files, made once.
vq_images() {
  mkdir -p "$vq_dir"
  local n
  for n in 0 1 2; do
    [ -f "$vq_dir/img$n.bin" ] && continue
    head -c "${vq_size[$n]}" /dev/urandom >"$vq_dir/img$n.bin"
    "$vqzdfu" pack -o "$vq_dir/img$n.dfu" --target "$n" "${vq_addr[$n]}:$vq_dir/img$n.bin" || return 1
  done
}

# vq_holds DIR N: setting N's store starts with image N.
vq_holds() {
  cmp -n "$(stat -c %s "$vq_dir/img$2.bin")" "$vq_dir/img$2.bin" "$1/alt${3:-$2}.bin" ||
    { echo "$1/alt${3:-$2}.bin does not hold img$2.bin"; return 1; }
}
vq_holds_all() { vq_holds "$1" 0 && vq_holds "$1" 1 && vq_holds "$1" 2; }

# vqzdfu with its standard output in $vq_dir/out.txt, standard error in err.txt, both in the log.
vq() {
  local rc=0
  "$vqzdfu" "$@" >"$vq_dir/out.txt" 2>"$vq_dir/err.txt" || rc=$?
  cat "$vq_dir/out.txt" "$vq_dir/err.txt"
  echo "(vqzdfu exit $rc)"
  return "$rc"
}
vq_said() { grep -qF -- "$1" "$vq_dir/out.txt" || { echo "'$1' not in the output"; return 1; }; }

vq_list() {
  vq list || return 1
  [ "$(grep -c '^[^ ]' "$vq_dir/out.txt")" -eq 1 ] || { echo "not exactly one device"; return 1; }
  vq_said "1209:5A01, bcdDevice 0x0200" && vq_said "DFU version 0x011A" &&
    vq_said "transfer size 2048" && vq_said "alt 0: \"${vq_names[0]}\"" &&
    vq_said "alt 1: \"${vq_names[1]}\"" && vq_said "alt 2: \"${vq_names[2]}\""
}

vq_flash_three() {
  vq flash "$vq_dir/img0.dfu" "$vq_dir/img1.dfu" "$vq_dir/img2.dfu" || return 1
  vq_said ": ok: 3 image(s), 70727 bytes written and verified" && vq_holds_all "$1"
}

vq_read() {
  rm -f "$vq_dir/back.bin"
  vq read --alt 0 --address 0x08000000 --length "${vq_size[0]}" -o "$vq_dir/back.bin" || return 1
  cmp "$vq_dir/back.bin" "$vq_dir/img0.bin"
}

# vq_all_one_faulty DIR_A DIR_B: --all over gadgets a and b, b failing in its write phase.
vq_all_one_faulty() {
  local rc=0
  vq flash "$vq_dir/img0.dfu" --all || rc=$?
  [ "$rc" -eq 1 ] || { echo "exit $rc, expected 1"; return 1; }
  [ "$(grep -c ': ok: 1 image(s)' "$vq_dir/out.txt")" -eq 1 ] &&
    [ "$(grep -c ': failed: write of ' "$vq_dir/out.txt")" -eq 1 ] &&
    vq_said "errWRITE" && vq_holds "$1" 0
}

vq_all_clean() {
  vq flash "$vq_dir/img0.dfu" --all || return 1
  [ "$(grep -c ': ok: 1 image(s)' "$vq_dir/out.txt")" -eq 2 ] && vq_holds "$1" 0 && vq_holds "$2" 0
}

# vq_fails PHASE WORDS...: the last flash failed (exit 1) in PHASE with every one of WORDS.
vq_fails() {
  local phase=$1 rc=0 word
  shift
  vq flash "$vq_dir/img0.dfu" || rc=$?
  [ "$rc" -eq 1 ] || { echo "exit $rc, expected 1"; return 1; }
  vq_said ": failed: $phase of " || return 1
  for word in "$@"; do vq_said "$word" || return 1; done
}

vq_flash_main() { vq flash "$vq_dir/img0.dfu" && vq_holds "$1" 0; }

# One fault of the matrix: PHASE ACTION-LINE WORDS...
vq_fault() {
  local phase=$1 action=$2 dir="$vq_dir/fault-$1-${2%% *}" total status
  shift 2
  # The image's share of the work: three sectors to erase, 20 blocks to write.
  total=$([ "$phase" = erase ] && echo 3 || echo 20)
  rm -rf "$dir"
  gadget_start vqf "$(vq_device "$dir" "[fault]
phase = $phase
alt = 0
at_percent = 50
total = $total
$action")" || return 1
  vq_fails "$phase" "$@"
  status=$?
  if [ "$action" = "unplug = 1" ]; then
    # Unplugged, the gadget is off the bus: served again without the fault, same stores.
    gadget_stop vqf
    gadget_start vqf "$(vq_device "$dir")" || return 1
  fi
  vq_flash_main "$dir" || status=1
  gadget_stop vqf || status=1
  return "$status"
}

checks_vqzdfu() {
  check "vqzdfu: the images and their DFU files" vq_images || return
  local one="$vq_dir/one"
  check "gadget: serves the device for vqzdfu" gadget_start vq "$(vq_device "$one")" || return
  check "vqzdfu list: the device and its three settings" vq_list
  check "vqzdfu flash of three files: each store holds its image" vq_flash_three "$one"
  check "vqzdfu read: equals the store" vq_read
  check "gadget: ends" gadget_stop vq

  local a="$vq_dir/a" b="$vq_dir/b"
  if check "gadgets: two at once" gadget_start va "$(vq_device "$a")" dummy_udc.0 &&
    check "gadgets: the second, faulty" gadget_start vb "$(vq_device "$b" "[fault]
phase = write
alt = 0
at_percent = 50
total = 20
status = 3")" dummy_udc.1; then
    check "vqzdfu flash --all: the faulty device fails, the other is written" vq_all_one_faulty "$a"
    check "vqzdfu flash --all: both devices written" vq_all_clean "$a" "$b"
  fi
  gadget_stop va
  gadget_stop vb

  check "vqzdfu flash, errERASE in the erase phase, then a clean flash" vq_fault erase "status = 4" "errERASE" "cannot erase the sector at 0x08"
  check "vqzdfu flash, a stall in the erase phase, then a clean flash" vq_fault erase "stall = 1" "errSTALLEDPKT" "cannot erase the sector at 0x08"
  check "vqzdfu flash, an unplug in the erase phase, then a clean flash" vq_fault erase "unplug = 1" "cannot erase the sector at 0x08"
  check "vqzdfu flash, errWRITE in the write phase, then a clean flash" vq_fault write "status = 3" "errWRITE" "cannot write 0x08"
  check "vqzdfu flash, a stall in the write phase, then a clean flash" vq_fault write "stall = 1" "errSTALLEDPKT" "cannot write 0x08"
  check "vqzdfu flash, an unplug in the write phase, then a clean flash" vq_fault write "unplug = 1" "cannot write 0x08"
}

# vq_timed START-MARK WRITE-MARK CMD...: runs CMD and prints "ERASE WRITE TOTAL" in seconds: the
# erase phase from the first START-MARK in its output to the first WRITE-MARK, the write phase from
# there to the end, the total from start to exit. Its output goes to $vq_dir/timed.log.
vq_timed() {
  python3 - "$@" <<'PY'
import os, subprocess, sys, time
start_mark, write_mark, cmd = sys.argv[1].encode(), sys.argv[2].encode(), sys.argv[3:]
log = open(os.environ["vq_log"], "wb")
begin = time.monotonic()
p = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
seen, marks = b"", {}
while True:
    chunk = os.read(p.stdout.fileno(), 65536)
    if not chunk:
        break
    now = time.monotonic()
    log.write(chunk)
    seen = seen[-64:] + chunk
    for mark in (start_mark, write_mark):
        if mark not in marks and mark in seen:
            marks[mark] = now
end = time.monotonic()
if p.wait() != 0 or start_mark not in marks or write_mark not in marks:
    sys.exit(f"exit {p.returncode}, marks seen: {sorted(m.decode() for m in marks)}")
print(f"{marks[write_mark] - marks[start_mark]:.3f} {end - marks[write_mark]:.3f} {end - begin:.3f}")
PY
}

bench_vqzdfu() {
  mkdir -p "$vq_dir"
  export vq_log="$vq_dir/timed.log"
  # The whole of setting 0 (1 MiB, twelve sectors), at the simulated device's own default timing.
  local dir="$vq_dir/bench" image="$vq_dir/imgmib.bin" vq_erase_ms=20 vq_program_ms=2
  head -c $((1024 * 1024)) /dev/urandom >"$image"
  "$vqzdfu" pack -o "$vq_dir/mib.dfu" --target 0 "0x08000000:$image" || { check "bench: the image" false; return; }
  check "bench: gadget" gadget_start vqb "$(vq_device "$dir")" || return
  local path run tool times ours=() theirs=() rtt
  path=$(gadget_usb_path vqb)
  printf '%-4s %-9s %8s %8s %8s\n' run host erase_s write_s total_s | tee -a "$results"
  for run in 1 2 3; do
    for tool in vqzdfu dfu-util; do
      if [ "$tool" = vqzdfu ]; then
        times=$(vq_timed '"phase":"erase"' '"phase":"write"' "$vqzdfu" flash --no-verify --json "$vq_dir/mib.dfu")
      else
        times=$(vq_timed 'Erase' 'Download' stdbuf -o0 -e0 dfu-util -p "$path" -a 0 -s 0x08000000 -D "$image")
      fi || { cat "$vq_log"; check "bench: $tool run $run" false; continue; }
      # What the host printed, once per host, for the log.
      [ "$run" = 1 ] && tr '\r' '\n' <"$vq_log" | grep -v '^$' | sed -n '8,40p;$p'
      check "bench: $tool run $run leaves the image in the store" vq_holds "$dir" mib 0
      read -r erase write total <<<"$times"
      # dfu-util erases each page as its download reaches it: its output splits no phases.
      [ "$tool" = dfu-util ] && write=$(python3 -c "print(f'{$erase + $write:.3f}')") erase=-
      printf '%-4s %-9s %8s %8s %8s\n' "$run" "$tool" "$erase" "$write" "$total" | tee -a "$results"
      if [ "$tool" = vqzdfu ]; then ours+=("$erase $write $total"); else theirs+=("$erase $write $total"); fi
    done
  done
  rtt=$("$vqz_build/bench/vqz_round_trip" 3000) || { check "bench: GETSTATUS round trip" false; rtt=0; }
  gadget_stop vqb
  # The floor: the modelled busy time (12 erases, 512 blocks) and three control round trips for
  # each request our host needs (12 erases, one address, 512 blocks).
  python3 - "$rtt" "${ours[@]}" -- "${theirs[@]}" <<'PY' | tee -a "$results"
import sys
args = sys.argv[2:]
cut = args.index("--")
mean = lambda rows, i: sum(float(r.split()[i]) for r in rows) / len(rows) if rows else float("nan")
ours, theirs, rtt = args[:cut], args[cut + 1:], float(sys.argv[1]) / 1e6
busy = 12 * 0.020 + 512 * 0.002
floor = busy + 3 * rtt * (12 + 1 + 512)
o_total, t_total = mean(ours, 2), mean(theirs, 2)
o_work = mean(ours, 0) + mean(ours, 1)
print(f"mean total: vqzdfu {o_total:.3f} s, dfu-util {t_total:.3f} s; ratio ours/dfu-util {o_total / t_total:.2f} (target <= 0.80)")
print(f"GETSTATUS round trip {rtt * 1e6:.0f} us; modelled busy {busy:.3f} s; floor {floor:.3f} s; "
      f"vqzdfu erase+write {o_work:.3f} s = {o_work / floor:.2f} x floor, total {o_total / floor:.2f} x floor (target <= 1.10)")
PY
}
