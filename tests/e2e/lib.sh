# shellcheck shell=bash
# shellcheck disable=SC2034  # the variables set here are read by the tests
# Helpers shared by the end-to-end tests of the real program (tests/e2e/test_*.sh that run it).
# A test sources this file with its own arguments, as ctest gives them:
#   source "$(dirname "$0")/lib.sh" "$@"        # <program> <source dir> <build dir>
#
# The first time, the test script is started again inside new network, PID and mount
# namespaces. The program's ports are fixed (8443 for the service, 8000 for the stream), and
# other developers' stations run on this machine: in a namespace of its own the test has a
# loopback of its own, where its station owns those ports and nothing else can be reached. The X
# display and the sound server of tools/test-env.sh are reached through their socket files. A
# session bus runs inside too (the web engine asks it for the accessibility bus, whose helpers
# then stay inside). When the test ends, the kernel ends whatever is still left in the namespace.
#
# Afterwards the test has: check, e2e_fail, e2e_station_start, e2e_program_start,
# e2e_program_stop, e2e_wait_exit, e2e_window_position, e2e_shot, e2e_rgb, e2e_record_start,
# e2e_record_stop, e2e_rms, e2e_render_text, and e2e_note for its summary line. Its EXIT trap
# stops every process it started (also when a check failed or the test was interrupted) and
# prints one line: "e2e NAME: N checks passed, M failed".

if [ -z "${E2E_ISOLATED:-}" ]; then
  PATH=$PATH:/usr/sbin:/sbin # ip
  if [ -z "${DISPLAY:-}" ] || [ -z "${PULSE_SERVER:-}" ]; then
    echo "$(basename "$0"): needs a display and a sound server: run it inside tools/test-env.sh" >&2
    exit 1
  fi
  if [ "$(id -u)" != 0 ]; then
    echo "$(basename "$0"): needs root, to run in a network namespace of its own" >&2
    exit 1
  fi
  for tool in unshare ip dbus-run-session; do
    command -v "$tool" >/dev/null || {
      echo "$(basename "$0"): $tool is missing (tools/install-deps.sh installs it)" >&2
      exit 1
    }
  done
  export E2E_ISOLATED=1
  # The first process of the namespace only waits: when it ends, everything inside ends. What
  # the bus daemon and the services it starts print goes to /dev/null; the test's own output
  # passes by fds 3 and 4.
  # shellcheck disable=SC2016  # expanded by the inner shells
  exec unshare --net --pid --mount-proc --fork --kill-child -- bash -c '
    ip link set lo up || exit 1
    dbus-run-session -- bash -c "exec 1>&4 2>&3 3>&- 4>&-; exec bash \"\$@\"" test "$@" \
      3>&2 4>&1 >/dev/null 2>&1 &
    wait $!' e2e-namespace "$0" "$@"
fi

set -uo pipefail

e2e_name=$(basename "$0" .sh)
e2e_name=${e2e_name#test_}
e2e_program=$(realpath "${1:?usage: $0 PROGRAM SOURCE_DIR BUILD_DIR}")
e2e_src=$(cd "${2:?usage: $0 PROGRAM SOURCE_DIR BUILD_DIR}" && pwd)
e2e_build=$(cd "${3:?usage: $0 PROGRAM SOURCE_DIR BUILD_DIR}" && pwd)
e2e_work=$(mktemp -d "${TMPDIR:-/tmp}/e2e-$e2e_name.XXXXXX")
chmod 755 "$e2e_work" # Icecast runs as icecast2 below it
export XDG_CONFIG_HOME=$e2e_work/config
mkdir -p "$XDG_CONFIG_HOME"

e2e_program_pid=""
e2e_program_status=""
e2e_program_started=""
e2e_window=""
e2e_station=""
e2e_recorder_pid=""
e2e_button_down=""
e2e_passed=0
e2e_failed=0
e2e_notes=()

check() { # check DESCRIPTION COMMAND...: runs the command, counts and reports the outcome
  local what=$1
  shift
  if "$@"; then
    e2e_passed=$((e2e_passed + 1))
  else
    e2e_failed=$((e2e_failed + 1))
    echo "FAIL: $what" >&2
  fi
}

e2e_fail() { # e2e_fail DESCRIPTION: a failed precondition; the test cannot go on
  check "$1" false
  exit 1
}

e2e_note() { e2e_notes+=("$*"); } # a fact for the summary line

stop_process() { # stop_process PID: TERM, a moment's grace, then KILL; waits for it
  local pid=$1
  kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq 30); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
}

sanitizer_quiet() {
  ! grep -qE 'ERROR: (Address|Leak)Sanitizer|runtime error:' "$e2e_work/program.log"
}

e2e_finish() {
  trap '' TERM INT HUP
  [ -n "$e2e_recorder_pid" ] && stop_process "$e2e_recorder_pid"
  [ -n "$e2e_button_down" ] && xdotool mouseup 1 2>/dev/null
  e2e_program_stop
  [ -n "$e2e_station" ] &&
    bash "$e2e_src/tools/station/station.sh" stop "$e2e_station" >/dev/null 2>&1
  [ -n "$e2e_program_started" ] &&
    check "the program reported no sanitizer error" sanitizer_quiet
  local keep=$e2e_build/e2e-failures/$e2e_name
  rm -rf "$keep"
  if [ "$e2e_failed" -gt 0 ]; then
    # What is needed to see why: the program's output, the station's logs, the screenshots.
    mkdir -p "$keep"
    cp -a "$e2e_work"/*.png "$e2e_work"/*.log "$keep/" 2>/dev/null
    [ -d "$e2e_work/station/logs" ] && cp -a "$e2e_work/station/logs" "$keep/station-logs"
    [ -d "$e2e_work/station/icecast/log" ] &&
      cp -a "$e2e_work/station/icecast/log" "$keep/icecast-logs"
    if [ -s "$e2e_work/program.log" ]; then
      echo "--- last lines of the program's output" >&2
      tail -n 20 "$e2e_work/program.log" >&2
    fi
    echo "--- screenshots and logs kept in $keep" >&2
  fi
  rm -rf "$e2e_work"
  local summary="e2e $e2e_name: $e2e_passed checks passed, $e2e_failed failed"
  [ ${#e2e_notes[@]} -gt 0 ] && summary+=" (${e2e_notes[*]})"
  echo "$summary"
  [ "$e2e_failed" -eq 0 ] && [ "$e2e_passed" -gt 0 ]
}
trap 'e2e_finish; exit $?' EXIT
trap 'exit 143' TERM INT HUP

# --- the local station -----------------------------------------------------------------------

# [NAME=VALUE...] e2e_station_start: starts the station (settings in the environment, as in
# tools/station/README.md) on its usual ports on this namespace's loopback, in a state folder of
# the test's own.
# The program trusts <build dir>/station/ca.pem (compiled in), so the station serves a
# certificate of that authority: it is taken from there, or made now and left there for the
# program and the next tests, like the station's audio.
e2e_station_start() {
  local state=$e2e_work/station shared=$e2e_build/station
  mkdir -p "$state" "$shared"
  if [ -s "$shared/ca.pem" ] && [ -s "$shared/tls/server.pem" ] &&
    [ -s "$shared/tls/server.key" ]; then
    cp -a "$shared/ca.pem" "$shared/tls" "$state/"
  fi
  [ -s "$shared/audio/loop.mp3" ] && cp -a "$shared/audio" "$state/"
  e2e_station=$state
  if ! STATION_WATCH_PID=$$ bash "$e2e_src/tools/station/station.sh" start "$state" \
    >"$e2e_work/station-start.log" 2>&1; then
    cat "$e2e_work/station-start.log" >&2
    return 1
  fi
  cmp -s "$state/ca.pem" "$shared/ca.pem" || cp -a "$state/ca.pem" "$state/tls" "$shared/"
  cmp -s "$state/audio/stamp" "$shared/audio/stamp" 2>/dev/null || cp -a "$state/audio" "$shared/"
}

e2e_control=http://127.0.0.1:8444 # the station's control port in the namespace

# --- the program -----------------------------------------------------------------------------

# e2e_program_start: starts the program with the test's own configuration folder and waits for
# its window (id in e2e_window). The pointer is moved out of the way first, so that no caption
# button shows its pointer-over colours.
e2e_program_start() {
  local size
  size=$(xdotool getdisplaygeometry) || return 1
  xdotool mousemove "$((${size% *} - 1))" "$((${size#* } - 1))"
  "$e2e_program" >>"$e2e_work/program.log" 2>&1 &
  e2e_program_pid=$!
  e2e_program_started=1
  e2e_program_status=""
  e2e_window=""
  for _ in $(seq 300); do # the sanitizer build starts slowly
    e2e_window=$(xdotool search --all --onlyvisible --pid "$e2e_program_pid" \
      --class Ormelund-Radio 2>/dev/null | head -n 1)
    [ -n "$e2e_window" ] && return 0
    kill -0 "$e2e_program_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "the program's window did not appear" >&2
  return 1
}

e2e_program_stop() {
  [ -n "$e2e_program_pid" ] && stop_process "$e2e_program_pid"
  e2e_program_pid=""
}

# e2e_wait_exit SECONDS: true when the program ends within that time; its exit status is then
# in e2e_program_status.
e2e_wait_exit() {
  local tenths=$(($1 * 10))
  for _ in $(seq "$tenths"); do
    kill -0 "$e2e_program_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$e2e_program_pid" 2>/dev/null && return 1
  wait "$e2e_program_pid"
  e2e_program_status=$?
  e2e_program_pid=""
}

e2e_window_position() { # "X Y" of the program's window on the screen
  xdotool getwindowgeometry --shell "$e2e_window" | sed -n 's/^[XY]=//p' | paste -sd ' '
}

# --- pictures --------------------------------------------------------------------------------

e2e_shot() { import -window "$e2e_window" "$1"; } # e2e_shot FILE.png: the window's picture

e2e_rgb() { convert "$1" -depth 8 "rgb:$2"; } # e2e_rgb IMAGE FILE: raw 8-bit RGB, row by row

# The faces the program asks for, in its order; fontconfig picks the first one installed.
e2e_faces="Segoe UI,Open Sans,Noto Sans,DejaVu Sans,sans-serif"

# e2e_render_text TEXT PIXELS WIDTH HEIGHT FILE.png: TEXT as the program draws it, in its face
# at that pixel size and its text colour (124, 134, 160) on black, the text cell's top-left
# corner at 0,0, on a black picture of WIDTH x HEIGHT.
e2e_render_text() {
  local out=$5
  pango-view -q --backend=cairo --margin=0 --background='#000000' --foreground='#7c86a0' \
    --font="$e2e_faces ${2}px" --text="$1" -o "$out.cell.png" || return 1
  convert "$out.cell.png" -background black -extent "${3}x${4}" "$out"
  rm -f "$out.cell.png"
}

# --- sound -----------------------------------------------------------------------------------

e2e_record_start() { # e2e_record_start FILE: records what the null sink plays, raw s16le stereo
  parec -d test_sink.monitor --latency-msec=20 --format=s16le --rate=44100 --channels=2 --raw \
    >"$1" 2>>"$e2e_work/parec.log" &
  e2e_recorder_pid=$!
}

e2e_record_stop() {
  [ -n "$e2e_recorder_pid" ] && stop_process "$e2e_recorder_pid"
  e2e_recorder_pid=""
}

e2e_rms() { # e2e_rms FILE: RMS amplitude (0 to 1) of a recording
  sox -t raw -r 44100 -e signed -b 16 -c 2 "$1" -n stat 2>&1 | sed -n 's/^RMS *amplitude: *//p'
}
