#!/usr/bin/env bash
# The real program on a simulated device, watched as a person would: the status line and other
# window texts (WINEDEBUG +win), the message boxes (+msgbox), the debugger output (+debugstr) and
# a screenshot of the window. Cases: the device present, absent, plugged in while the program runs,
# a file3.dfu that the toolkit refuses, and a simulation file that is missing or does not parse.
#
# usage: device_program_test.sh VQZ_DOWNLOADER_EXE VQZDFU_EXE WORK_FOLDER
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
wine_run="$here/../scripts/wine-run"

# One display for the program and for xdotool and import.
if [ -z "${DISPLAY:-}" ]; then
  # Started from a number of its own, so that runs side by side do not race for one display.
  exec xvfb-run -a -n $((200 + $$ % 500)) -s "-screen 0 1280x1024x24" "$0" "$@"
fi

exe="$1"
vqzdfu="$2"
work="$3"
patience=30  # seconds for anything awaited
failures=0

fail() { printf 'FAIL [%s]: %s\n' "$case_name" "$*" >&2; failures=$((failures + 1)); }

# A text as Wine's traces print it: characters beyond ASCII as \xxxx.
traced() { python3 -c 'import sys; print("".join(c if ord(c) < 128 else "\\%04x" % ord(c) for c in sys.argv[1]))' "$1"; }
no_connection="$(traced 'Нет соединения по USB, проверьте USB-соединение !')"
connected="$(traced 'Velmarquist GPS подключен.')"
bad_file="$(traced 'Неверный файл прошивки')"

rm -rf "$work"
mkdir -p "$work/set"
# The firmware set, made by our own tool from plain bytes.
head -c 3000 /dev/zero | tr '\0' '\132' >"$work/set/main.bin"
head -c 1000 /dev/zero | tr '\0' '\133' >"$work/set/data.bin"
(cd "$work/set" &&
  "$wine_run" "$vqzdfu" pack -o prog.dfu --target 0:Main 0x08000000:main.bin &&
  "$wine_run" "$vqzdfu" pack -o Dunorfile.dfu --target 1:Data 0x08000000:data.bin &&
  "$wine_run" "$vqzdfu" pack -o file3.dfu --target 2:Extra 0x08000000:data.bin) >/dev/null

# A folder with the program, a lang.ini that leaves every text but the window title at its
# default, the firmware set and a simulation file holding $2. Other programs may share the
# display: the window title and the program's name (the caption of its boxes) are this case's own.
prepare() {
  case_name="$1"
  run="$work/$case_name"
  name="vqz-device-$case_name-$$"
  title="$name window"
  mkdir -p "$run"
  cp "$exe" "$run/$name.exe"
  printf '[title]\r\n101=%s\r\n' "$title" >"$run/lang.ini"
  cp "$work/set/"*.dfu "$run/"
  printf '%b' "$2" >"$run/device.ini"
  log="$run/wine.log"
}

# Starts the program in $run with the arguments given, its traces in $log.
start() {
  (cd "$run" && WINEDEBUG="+win,+msgbox,+debugstr" exec "$wine_run" "./$name.exe" "$@") \
    >/dev/null 2>"$log" &
  program=$!
}

# Waits until the log holds a line matching the fixed text $1.
await() {
  for _ in $(seq $((patience * 10))); do
    grep -qF -- "$1" "$log" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "never saw: $1"
  return 1
}

window() { xdotool search --name "^$1\$" 2>/dev/null | head -1; }

await_window() {
  for _ in $(seq $((patience * 10))); do
    local w
    w="$(window "$1")"
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.1
  done
  return 1
}

# The status line's texts in order, as the window showed them.
statuses() { grep -o 'set_window_text L"[^"]*"' "$log" | sed 's/^set_window_text L"\(.*\)"$/\1/' |
  grep -xF -e "$no_connection" -e "$connected" || true; }
debug_text() { grep -o 'OutputDebugStringA "[^"]*"' "$log" | sed 's/^OutputDebugStringA "\(.*\)"$/\1/' | tr -d '\n'; }
boxes() { grep -o 'MSGBOX_OnInit L"[^"]*"' "$log" | sed 's/^MSGBOX_OnInit L"\(.*\)"$/\1/' || true; }

# Sets $code to the program's exit code once it has ended, or to "none" (and kills it) when it
# does not end in time. Not in a subshell: only this shell can wait for its child.
await_exit() {
  for _ in $(seq $((patience * 10))); do
    kill -0 "$program" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$program" 2>/dev/null; then
    kill "$program" 2>/dev/null || true
    code=none
  else
    code=0
  fi
  wait "$program" || { [ "$code" = none ] || code=$?; }
}

# Takes a screenshot, ends the program with Escape and checks its exit code.
finish() {
  local w
  w="$(await_window "$title")" || { fail "no window to close"; kill "$program" 2>/dev/null; return; }
  timeout 20 import -window "$w" "$run/window.png" || fail "no screenshot"
  xdotool key --window "$w" Escape
  await_exit
  expect_equal "$code" 0 "exit code"
}

expect_equal() {
  [ "$1" = "$2" ] || fail "$3: expected [$2], saw [$1]"
}

# Debug output as traced: line feeds as \n, backslashes doubled.
identity='VID:1209\nPID:5A01\nBCD:0200\n\n'
unstruck='fault (erase, alt 0, at 50 %, status 3) never struck: the phase never began\n'

# ---- The device present at start: found, identified, files named, no box; its fault, never
# reached without an update, said when the program ends.
prepare present '[device]\npresent = 1\n[fault]\nphase = erase\nstatus = 3\n'
start --simulate=device.ini
await "$connected"
finish
expect_equal "$(statuses | tail -1)" "$connected" "status line"
expect_equal "$(debug_text)" "${identity}DFU:Z:${run//\//\\\\}"'\\prog.dfu\n'"$unstruck" "debug output"
expect_equal "$(boxes)" "" "message boxes"

# ---- No device: the status line says so, nothing else.
prepare absent '[device]\npresent = 0\n'
start --simulate=device.ini
await "$no_connection"
finish
expect_equal "$(statuses | tail -1)" "$no_connection" "status line"
expect_equal "$(debug_text)" "" "debug output"
expect_equal "$(boxes)" "" "message boxes"

# ---- Plugged in while the program runs: first no connection, then connected.
prepare plugged '[device]\npresent = 0\nplug_after_ms = 1500\n'
start --simulate=device.ini
await "$no_connection"
await "$connected"
finish
expect_equal "$(statuses | head -1)" "$no_connection" "first status line"
expect_equal "$(statuses | tail -1)" "$connected" "last status line"
expect_equal "$(boxes)" "" "message boxes"

# ---- A file3.dfu the toolkit refuses: the box, then the process ends with exit code 0.
prepare refused '[device]\npresent = 1\n'
echo "not a firmware file" >"$run/file3.dfu"
start --simulate=device.ini
if await "$bad_file"; then
  box="$(await_window "$name")" && xdotool key --window "$box" Return
  await_exit
  expect_equal "$code" 0 "exit code"
  expect_equal "$(boxes)" "$bad_file" "message boxes"
else
  kill "$program" 2>/dev/null || true
fi

# ---- A simulation file that is not there, or that does not parse: a box that says so, exit code 1.
for bad in "no-simulation-file:missing.ini" "bad-simulation-file:device.ini"; do
  prepare "${bad%%:*}" '[device]\nvendor_id = zebra\n'
  start --simulate="${bad#*:}"
  if await 'MSGBOX_OnInit L"Cannot simulate a device with'; then
    box="$(await_window "$name")" && xdotool key --window "$box" Return
    await_exit
    expect_equal "$code" 1 "exit code"
  else
    kill "$program" 2>/dev/null || true
  fi
done

[ "$failures" = 0 ] && echo "device program tests: all cases passed"
exit "$((failures > 0))"
