#!/usr/bin/env bash
# Runs a command inside a private, complete desktop test environment and stops all of it when
# the command ends, fails, or this script is interrupted:
#   - a session D-Bus of its own (dbus-run-session);
#   - HOME, XDG_RUNTIME_DIR, XDG_CONFIG_HOME, XDG_CACHE_HOME and XDG_DATA_HOME in a new
#     temporary folder, so the command never sees or changes the user's files;
#   - an X display: Xvfb on a display number it picks itself (-displayfd), with the openbox
#     window manager; DPI=<n> sets the desktop's font DPI (Xft.dpi), SCREEN=WxHxD the screen;
#   - a PulseAudio server whose default sink is a null sink "test_sink" (record what is played
#     from "test_sink.monitor"); PULSE_SERVER points at its socket in the temporary folder.
# NO_AT_BRIDGE=1 keeps GTK from starting the accessibility bus.
# Usage: tools/test-env.sh COMMAND [ARG...]; the exit status is the command's.
# shellcheck disable=SC2317  # the functions below are called from traps
set -uo pipefail

if [ "${1:-}" != --inside ]; then
  [ $# -gt 0 ] || { sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
  # Outside: a folder for everything, and the bus session around the inner part of this script.
  work=$(mktemp -d "${TMPDIR:-/tmp}/test-env.XXXXXX")
  # A signal here is passed to the inner part, which stops everything; dbus-run-session then
  # ends its bus. (dbus-run-session itself must not be signalled: it would leave its bus behind.)
  forward() { [ -s "$work/inner.pid" ] && kill -TERM "$(cat "$work/inner.pid")" 2>/dev/null; }
  trap forward TERM INT HUP
  setpriv --pdeathsig TERM dbus-run-session -- \
    setpriv --pdeathsig TERM bash "$0" --inside "$work" "$@" <&0 &
  session=$!
  while true; do
    wait "$session"
    status=$?
    kill -0 "$session" 2>/dev/null || break # else the wait was cut short by a signal
  done
  rm -rf "$work"
  exit "$status"
fi

shift
work=$1
shift
echo $$ >"$work/inner.pid"
# dbus-run-session's bus daemon: if dbus-run-session is killed, stopping it falls to us.
bus_parent=$PPID
bus_pid=""
for stat in /proc/[0-9]*/stat; do
  { read -r pid comm _ ppid _ <"$stat"; } 2>/dev/null || continue
  [ "$comm" = "(dbus-daemon)" ] && [ "$ppid" = "$bus_parent" ] && bus_pid=$pid
done

stop() { # stop PID...: TERM, a moment's grace, then KILL
  local pid
  for pid in "$@"; do kill -TERM "$pid" 2>/dev/null; done
  for _ in $(seq 30); do
    kill -0 "$@" 2>/dev/null || return 0
    sleep 0.1
  done
  for pid in "$@"; do kill -KILL "$pid" 2>/dev/null; done
}

alive() { # alive PID: the process exists and is not a zombie
  local state
  read -r _ _ state _ <"/proc/$1/stat" 2>/dev/null && [ "$state" != Z ]
}

cleanup() {
  trap '' TERM INT HUP
  [ -n "${command_pid:-}" ] && stop "$command_pid"
  [ -n "${wm_pid:-}" ] && stop "$wm_pid"
  [ -n "${pulse_pid:-}" ] && stop "$pulse_pid"
  [ -n "${x_pid:-}" ] && stop "$x_pid"
  if [ -n "$bus_pid" ] && ! alive "$bus_parent" &&
    [ "$(cat "/proc/$bus_pid/comm" 2>/dev/null)" = dbus-daemon ]; then
    stop "$bus_pid"
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM INT HUP

fail() {
  echo "test-env: $*" >&2
  for log in "$work"/*.log; do
    [ -s "$log" ] && { echo "--- $log" >&2; tail -n 5 "$log" >&2; }
  done
  exit 1
}

export HOME=$work/home
export XDG_RUNTIME_DIR=$work/runtime
export XDG_CONFIG_HOME=$HOME/.config XDG_CACHE_HOME=$HOME/.cache XDG_DATA_HOME=$HOME/.local/share
export NO_AT_BRIDGE=1
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# The X server writes the display number it chose to fd 5.
exec 5>"$work/display"
setpriv --pdeathsig TERM Xvfb -displayfd 5 -screen 0 "${SCREEN:-1600x1000x24}" -nolisten tcp \
  -noreset </dev/null >"$work/xvfb.log" 2>&1 &
x_pid=$!
exec 5>&-
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  kill -0 "$x_pid" 2>/dev/null || fail "Xvfb did not start"
  sleep 0.05
done
[ -s "$work/display" ] || fail "Xvfb gave no display number"
DISPLAY=":$(tr -dc 0-9 <"$work/display")"
export DISPLAY
if [ -n "${DPI:-}" ]; then
  [[ $DPI =~ ^[0-9]+$ ]] || fail "DPI must be a whole number"
  echo "Xft.dpi: $DPI" | xrdb -merge || fail "xrdb could not set the DPI"
fi
setpriv --pdeathsig TERM openbox </dev/null >"$work/openbox.log" 2>&1 &
wm_pid=$!
for _ in $(seq 100); do
  wmctrl -m >/dev/null 2>&1 && break
  sleep 0.05
done
wmctrl -m >/dev/null 2>&1 || fail "openbox did not start"

mkdir -p "$work/pulse"
cat >"$work/pulse/sink.pa" <<EOF
load-module module-native-protocol-unix socket=$work/pulse/native auth-anonymous=1
load-module module-null-sink sink_name=test_sink
set-default-sink test_sink
EOF
export PULSE_SERVER=unix:$work/pulse/native
setpriv --pdeathsig TERM pulseaudio -n -F "$work/pulse/sink.pa" --daemonize=no \
  --exit-idle-time=-1 --use-pid-file=no --disallow-exit </dev/null >"$work/pulse.log" 2>&1 &
pulse_pid=$!
for _ in $(seq 100); do
  pactl info >/dev/null 2>&1 && break
  kill -0 "$pulse_pid" 2>/dev/null || fail "PulseAudio did not start"
  sleep 0.05
done
pactl info >/dev/null 2>&1 || fail "PulseAudio does not answer"

# In the background so that a signal stops it at once, with this script's standard input.
"$@" <&0 &
command_pid=$!
wait "$command_pid"
status=$?
command_pid=""
exit "$status"
