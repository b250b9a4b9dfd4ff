#!/usr/bin/env bash
# Runs a command on a private X display (Xvfb, display number chosen by the server) with the
# openbox window manager, then stops both. DPI=<n> sets the desktop's font DPI (Xft.dpi).
# Usage: tools/with-display.sh COMMAND [ARG...]
set -euo pipefail
work=$(mktemp -d)
cleanup() {
  [ -n "${wm_pid:-}" ] && kill "$wm_pid" 2>/dev/null || true
  [ -n "${x_pid:-}" ] && kill "$x_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
exec 5>"$work/display"
Xvfb -displayfd 5 -screen 0 1600x1000x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
x_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
exec 5>&-
export DISPLAY=":$(cat "$work/display")"
if [ -n "${DPI:-}" ]; then echo "Xft.dpi: $DPI" | xrdb -merge; fi
openbox >"$work/openbox.log" 2>&1 &
wm_pid=$!
for _ in $(seq 100); do wmctrl -m >/dev/null 2>&1 && break; sleep 0.05; done
set +e
"$@"
status=$?
exit $status
