#!/usr/bin/env bash
# End-to-end test of tools/test-env.sh: inside it a command finds its own X display with a
# window manager and the asked DPI, a sound server whose null sink records what is played, a
# session bus and private home folders; afterwards, whether the command ended, failed, or the
# script was interrupted or killed, nothing of the environment is left.
# Usage: bash test_test_env.sh <program> <source dir> <build dir>   (the program is not used)
set -uo pipefail

src=$(cd "${2:?usage: test_test_env.sh PROGRAM SOURCE_DIR BUILD_DIR}" && pwd)
env_script=$src/tools/test-env.sh
out=$(mktemp -d "${TMPDIR:-/tmp}/test-env-test.XXXXXX")

passed=0
failed=0
check() { # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $what" >&2
  fi
}
finish() {
  rm -rf "$out"
  echo "test-env self-test: $passed checks passed, $failed failed"
  [ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
}
trap 'finish; exit $?' EXIT

fact() { sed -n "s/^$1=//p" "$out/facts"; }

# Processes of an environment: its programs inherit its private folders in their environment.
environment_left() {
  local dir=$1 environ
  for environ in /proc/[0-9]*/environ; do
    [ "$environ" = "/proc/$$/environ" ] && continue
    if { tr '\0' '\n' <"$environ"; } 2>/dev/null | grep -qxF "XDG_RUNTIME_DIR=$dir/runtime"; then
      echo "left running: ${environ//[^0-9]/} $(tr '\0' ' ' <"${environ%environ}cmdline")" >&2
      return 0
    fi
  done
  return 1
}
bus_answers() {
  dbus-send --bus="$1" --print-reply --dest=org.freedesktop.DBus / \
    org.freedesktop.DBus.ListNames >/dev/null 2>&1
}
all_gone() { # all_gone WORK_DIR DISPLAY BUS_ADDRESS: waits a little for the environment to end
  for _ in $(seq 50); do
    if [ ! -e "$1" ] && ! environment_left "$1" 2>/dev/null &&
      [ ! -e "/tmp/.X11-unix/X${2#:}" ] && ! bus_answers "$3"; then
      return 0
    fi
    sleep 0.1
  done
  [ -e "$1" ] && echo "$1 still exists" >&2
  [ -e "/tmp/.X11-unix/X${2#:}" ] && echo "display $2 still exists" >&2
  bus_answers "$3" && echo "the bus $3 still answers" >&2
  environment_left "$1"
  return 1
}

# --- inside: what the command finds ----------------------------------------------------------
probe='
set -u
echo "work=$(dirname "$HOME")"
echo "display=$DISPLAY"
echo "bus=$DBUS_SESSION_BUS_ADDRESS"
echo "dpi=$(xrdb -query | sed -n "s/^Xft.dpi:\s*//p")"
echo "wm=$(wmctrl -m | sed -n "s/^Name: //p")"
echo "screen=$(xdpyinfo | sed -n "s/^ *dimensions: *\([0-9x]*\) pixels.*/\1/p")"
echo "sink=$(pactl info | sed -n "s/^Default Sink: //p")"
echo "runtime_mode=$(stat -c %a "$XDG_RUNTIME_DIR")"
echo "config=$XDG_CONFIG_HOME"
echo "pulse=$PULSE_SERVER"
bus_ok=no
dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
  org.freedesktop.DBus.ListNames >/dev/null && bus_ok=yes
echo "bus_ok=$bus_ok"
# Sound: a tone played into the default sink comes back from its monitor.
sox -n -r 44100 -c 2 "$HOME/tone.wav" synth 1 sine 440 vol 0.5
parec -d test_sink.monitor --latency-msec=20 --format=s16le --rate=44100 --channels=2 --raw \
  >"$HOME/rec.raw" &
recorder=$!
sleep 0.3
paplay "$HOME/tone.wav"
sleep 0.3
kill $recorder
wait $recorder 2>/dev/null
echo "rms=$(sox -t raw -r 44100 -e signed -b 16 -c 2 "$HOME/rec.raw" -n stat 2>&1 |
  sed -n "s/^RMS *amplitude: *//p")"
exit 5
'
DPI=120 SCREEN=1280x800x24 bash "$env_script" bash -c "$probe" >"$out/facts" 2>"$out/stderr"
status=$?
check "the command's exit status comes back" [ "$status" = 5 ]
check "a display of its own" grep -qE '^display=:[0-9]+$' "$out/facts"
check "DPI sets Xft.dpi" [ "$(fact dpi)" = 120 ]
check "SCREEN sets the screen size" [ "$(fact screen)" = 1280x800 ]
check "openbox manages the windows" [ "$(fact wm)" = Openbox ]
check "the null sink is the default sink" [ "$(fact sink)" = test_sink ]
check "sound played is recorded from the sink's monitor" python3 -c '
import sys; sys.exit(not float(sys.argv[1] or 0) > 0.1)' "$(fact rms)"
check "a session bus answers" [ "$(fact bus_ok)" = yes ]
work=$(fact work)
private_folders() {
  [ -n "$work" ] && [ "$work/home" != "${HOME:-}" ] && [ "$(fact runtime_mode)" = 700 ] &&
    [ "$(fact config)" = "$work/home/.config" ] && [ "$(fact pulse)" = "unix:$work/pulse/native" ]
}
check "home, runtime and config folders are private" private_folders
check "nothing is left after the command ends" all_gone "$work" "$(fact display)" "$(fact bus)"

# --- interrupted and killed ------------------------------------------------------------------
waiting='echo "work=$(dirname "$HOME")"; echo "display=$DISPLAY"
echo "bus=$DBUS_SESSION_BUS_ADDRESS"; echo ready; exec sleep 300'
for signal in TERM KILL; do
  bash "$env_script" bash -c "$waiting" >"$out/facts" 2>"$out/stderr" &
  pid=$!
  for _ in $(seq 100); do
    grep -q ready "$out/facts" && break
    sleep 0.1
  done
  kill "-$signal" "$pid"
  wait "$pid" 2>/dev/null
  check "SIG$signal to test-env.sh ends its command" [ $? -ne 0 ]
  check "nothing is left after SIG$signal" all_gone "$(fact work)" "$(fact display)" "$(fact bus)"
done
