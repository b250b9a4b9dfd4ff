#!/usr/bin/env bash
# End-to-end: the window is dragged by its title strip with the real pointer, then a real press
# on the drawn close button ends the program with exit code 0 before the button is released,
# having written preferences.json with the new position; the next start opens the window there.
# Usage: bash test_close_button.sh <program> <source dir> <build dir>
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh" "$@"

e2e_program_start || e2e_fail "the program opens its window"
check "without preferences the window opens at 0, 0" [ "$(e2e_window_position)" = "0 0" ]

# Drag: press on the title label (row 10), move in steps, release.
read -r x y < <(e2e_window_position)
dx=137
dy=93
e2e_button_down=1
xdotool mousemove "$((x + 300))" "$((y + 10))" mousedown 1
sleep 0.3
xdotool mousemove "$((x + 300 + dx / 2))" "$((y + 10 + dy / 2))"
sleep 0.2
xdotool mousemove "$((x + 300 + dx))" "$((y + 10 + dy))"
sleep 0.3
xdotool mouseup 1
e2e_button_down=""
moved_to="$((x + dx)) $((y + dy))"
for _ in $(seq 30); do
  [ "$(e2e_window_position)" = "$moved_to" ] && break
  sleep 0.1
done
check "dragging the title strip moves the window by the pointer's way ($(e2e_window_position))" \
  [ "$(e2e_window_position)" = "$moved_to" ]
read -r x y < <(e2e_window_position)

# A press on the close button, without a release.
e2e_button_down=1
xdotool mousemove "$((x + 684 + 23))" "$((y + 12))" mousedown 1
e2e_wait_exit 10
ended=$?
xdotool mouseup 1
e2e_button_down=""
check "a press on the close button ends the program before the release" [ "$ended" -eq 0 ]
check "the exit code is 0 (got ${e2e_program_status:-none})" [ "${e2e_program_status:-}" = 0 ]

folder=$XDG_CONFIG_HOME/qmr/Ormelund-Radio/
printf '%s\r\n' '{' '  "WindowW"    : 730,' "  \"WindowX\"    : $x," "  \"WindowY\"    : $y," \
  "  \"Preferences\": \"$folder\"," '  "MainStation": "ormelund-radio",' '  "WindowH"    : 195' \
  >"$e2e_work/expected.json"
printf '}' >>"$e2e_work/expected.json"
check "preferences.json holds the new position, byte for byte in the file's format" \
  cmp "$e2e_work/expected.json" "${folder}preferences.json"

# The next start opens where the window was left.
e2e_program_start || e2e_fail "the program opens its window again"
check "the next start opens the window at the saved position ($(e2e_window_position))" \
  [ "$(e2e_window_position)" = "$x $y" ]
e2e_note "moved to $x, $y"
