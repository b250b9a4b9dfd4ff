#!/usr/bin/env bash
# End-to-end: a close request from the window manager (what a taskbar's or a window list's
# "close" sends) is ignored: the program keeps running, its window stays shown and no
# preferences are written; only its own close button ends it.
# Usage: bash test_close_request.sh <program> <source dir> <build dir>
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh" "$@"

e2e_program_start || e2e_fail "the program opens its window"
viewable() { xwininfo -id "$e2e_window" 2>/dev/null | grep -q 'Map State: IsViewable'; }
check "the window is shown" viewable

for attempt in 1 2; do
  check "close request $attempt reaches the window manager" wmctrl -i -c "$e2e_window"
  sleep 1
done
check "after two close requests the program still runs" kill -0 "$e2e_program_pid"
check "  ... and its window is still shown" viewable
check "  ... and no preferences were written" \
  [ ! -e "$XDG_CONFIG_HOME/qmr/Ormelund-Radio/preferences.json" ]

# The window still answers the pointer: its own close button ends the program.
read -r x y < <(e2e_window_position)
e2e_button_down=1
xdotool mousemove "$((x + 684 + 23))" "$((y + 12))" mousedown 1
e2e_wait_exit 10
ended=$?
xdotool mouseup 1
e2e_button_down=""
check "the close button still ends the program, with exit code 0" \
  [ "$ended:${e2e_program_status:-}" = 0:0 ]
