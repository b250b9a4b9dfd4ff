#!/usr/bin/env bash
# End-to-end test of the stream coming back by itself: the real program plays the local station's
# stream while what reaches the PulseAudio null sink is recorded and measured every quarter of a
# second with sox. Checked: the stream source stopped for 5 s and for 30 s, then back: sound
# returns within 10 s of the stream being live again, at the volume it had; a listener's pause
# (a click on the engine's pause button) before a cut stays a pause, and their play brings the
# sound back; the web engine's process killed: sound returns within 10 s, at the same volume.
# The station and the program run in a private network namespace, so that the program's fixed
# addresses (localhost:8000, localhost:8443) never meet another developer's station; X and
# PulseAudio are reached through their socket files.
# Usage: bash test_stream_healing.sh <program> <source dir> <build dir>, inside tools/test-env.sh
# (it needs DISPLAY and PULSE_SERVER with the null sink test_sink); root for the namespace.
set -uo pipefail

if [ "${1:-}" != --inside ]; then
  [ $# -eq 3 ] || {
    echo "usage: test_stream_healing.sh PROGRAM SOURCE_DIR BUILD_DIR" >&2
    exit 2
  }
  if [ -z "${DISPLAY:-}" ] || [ -z "${PULSE_SERVER:-}" ]; then
    echo "test_stream_healing: no DISPLAY or PULSE_SERVER; run it under tools/test-env.sh" >&2
    exit 1
  fi
  # A bus on an abstract socket cannot be reached from another network namespace: the inner part
  # then gets a bus of its own.
  bus=()
  case ${DBUS_SESSION_BUS_ADDRESS:-abstract=} in *abstract=*) bus=(dbus-run-session --) ;; esac
  exec unshare --net --fork "${bus[@]}" bash "$0" --inside "$@"
fi
shift
program=$(realpath "$1")
src=$(cd "$2" && pwd)
build=$(cd "$3" && pwd)
station=$src/tools/station/station.sh

ip link set lo up || {
  echo "test_stream_healing: cannot bring up loopback in the new network namespace" >&2
  exit 1
}

work=$(mktemp -d "${TMPDIR:-/tmp}/stream-healing.XXXXXX")
chmod 755 "$work" # Icecast runs as icecast2 and writes its logs below it
state=$work/station
export XDG_CONFIG_HOME=$work/config # the program's data folder
mkdir -p "$XDG_CONFIG_HOME"

passed=0
failed=0
check() { # check DESCRIPTION COMMAND...: runs the command, counts and reports the outcome
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
    echo "ok: $what"
  else
    failed=$((failed + 1))
    echo "FAIL: $what" >&2
  fi
}

program_pid=""
recorder_pid=""
finish() {
  [ -n "$program_pid" ] && kill -TERM "$program_pid" 2>/dev/null && wait "$program_pid" 2>/dev/null
  [ -n "$recorder_pid" ] && kill -TERM "$recorder_pid" 2>/dev/null && wait "$recorder_pid" 2>/dev/null
  bash "$station" stop "$state" >/dev/null 2>&1
  if [ "$failed" -gt 0 ]; then
    for log in "$work/program.log" "$state"/logs/*; do
      [ -s "$log" ] && { echo "--- last lines of $log" >&2; tail -n 8 "$log" >&2; }
    done
  fi
  rm -rf "$work"
  echo "stream healing: $passed checks passed, $failed failed"
  [ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
}
trap 'finish; exit $?' EXIT

# --- the station, with its audio from an earlier run when there is one ------------------------
# With the certificates of the build's own station (when it has one), the program, which trusts
# <build>/station/ca.pem, reads the service too, as it would in use.
if [ -s "$build/station/ca.pem" ] && [ -s "$build/station/tls/server.key" ]; then
  mkdir -p "$state/tls"
  cp "$build/station/ca.pem" "$state/"
  cp "$build/station/tls/server.pem" "$build/station/tls/server.key" "$state/tls/"
fi
cache=$build/test-cache/station-audio
if [ -s "$cache/loop.mp3" ]; then
  mkdir -p "$state/audio"
  cp "$cache/stamp" "$cache/loop.mp3" "$state/audio/" # the stamp first: a newer sound is remade
fi
if ! STATION_WATCH_PID=$$ bash "$station" start "$state" >"$work/station.out" 2>&1; then
  cat "$work/station.out" >&2
  check "the station starts" false
  exit
fi
# Kept for the next run unless the cache has the same; whole files by renames, the stamp last.
if ! cmp -s "$state/audio/stamp" "$cache/stamp" && mkdir -p "$cache"; then
  for name in loop.mp3 stamp; do
    cp "$state/audio/$name" "$cache/$name.$$" && mv "$cache/$name.$$" "$cache/$name"
  done
fi

# --- the recording: 44.1 kHz, 16-bit stereo, so a second is 176400 bytes ----------------------
recording=$work/sink.raw
parec -d test_sink.monitor --latency-msec=20 --format=s16le --rate=44100 --channels=2 --raw \
  >"$recording" &
recorder_pid=$!
Second=176400
Chunk=$((Second / 4))
Silence=0.0005 # RMS below this is silence; the station's quietest quarter second is far above

recorded() { # bytes recorded so far, whole frames
  local size
  size=$(stat -c %s "$recording")
  echo $((size / 4 * 4))
}

rms() { # rms FROM LENGTH: RMS amplitude of that stretch of the recording (bytes)
  tail -c +$(($1 + 1)) "$recording" | head -c "$2" |
    sox -t raw -r 44100 -e signed -b 16 -c 2 - -n stat 2>&1 | awk '/^RMS +amplitude/ { print $3 }'
}

loud() { awk -v level="$1" -v floor="$Silence" 'BEGIN { exit !(level > floor) }'; }

# wait_for LOUD|QUIET FROM SECONDS: waits for the first quarter second recorded after byte FROM
# that is sound (or silence), for at most SECONDS of recording after FROM; prints the byte where
# that quarter ends.
wait_for() {
  local want=$1 position=$2 limit=$(($2 + $3 * Second)) level
  while [ "$position" -lt "$limit" ]; do
    if [ "$(recorded)" -ge $((position + Chunk)) ]; then
      level=$(rms "$position" "$Chunk")
      position=$((position + Chunk))
      if { [ "$want" = LOUD ] && loud "$level"; } || { [ "$want" = QUIET ] && ! loud "$level"; }; then
        echo "$position"
        return 0
      fi
    else
      sleep 0.1
    fi
  done
  return 1
}

goes_quiet() { wait_for QUIET "$(recorded)" "$1" >/dev/null; } # within SECONDS from now

seconds_between() { awk -v a="$1" -v b="$2" -v s="$Second" 'BEGIN { printf "%.2f", (b - a) / s }'; }

# sound_back WHAT FROM: sound must come back within 10 s of recording after byte FROM, after at
# least a quarter second of silence.
sound_back() {
  local what=$1 from=$2 quiet loud_at
  if quiet=$(wait_for QUIET "$from" 10) && loud_at=$(wait_for LOUD "$quiet" 10) &&
    [ "$loud_at" -le $((from + 10 * Second)) ]; then
    echo "  sound back $(seconds_between "$from" "$loud_at") s after $what"
    check "sound back within 10 s after $what" true
  else
    check "sound back within 10 s after $what" false
  fi
}

silent_for() { # silent_for SECONDS: everything recorded over the next SECONDS is silence
  local start length level
  start=$(recorded)
  sleep "$1"
  length=$(($(recorded) - start))
  level=$(rms "$start" "$length")
  echo "  level over ${1} s: $level"
  [ "$length" -ge $(($1 * Second * 9 / 10)) ] && ! loud "$level"
}

volume() { # the volume of the program's sound stream as the sound server applies it
  pactl list sink-inputs | awk '/^[[:space:]]*Volume:/ { print $3; exit }'
}

# outage SECONDS: stops the stream source for that long; the sound must stop, and come back within
# 10 s of the stream being live again at the volume it had before.
outage() {
  local seconds=$1 before stopped
  before=$(volume)
  stopped=$(date +%s%N)
  bash "$station" stream-stop "$state" >/dev/null || check "stream-stop works" false
  check "sound stops during a $seconds s outage" goes_quiet "$seconds"
  sleep "$(awk -v t0="$stopped" -v now="$(date +%s%N)" -v s="$seconds" \
    'BEGIN { d = s - (now - t0) / 1e9; print (d > 0 ? d : 0) }')"
  bash "$station" stream-start "$state" >/dev/null || check "stream-start works" false
  sound_back "a $seconds s outage" "$(recorded)"
  check "the volume is unchanged after a $seconds s outage ($before)" [ "$(volume)" = "$before" ]
}

# --- the program -----------------------------------------------------------------------------
"$program" >"$work/program.log" 2>&1 &
program_pid=$!
if first=$(wait_for LOUD 0 20); then
  echo "  first sound $(seconds_between 0 "$first") s into the recording"
  check "the program plays the stream" true
else
  check "the program plays the stream" false
  exit
fi
sleep 2
start_volume=$(volume)
# 0.5 of the sound server's full volume, on its cubic scale: 65536 * 0.5^(1/3).
check "the stream plays at half volume (sink input $start_volume)" [ "$start_volume" = 52016 ]

outage 5
sleep 2
outage 30
sleep 2

# --- a listener's pause before a cut ---------------------------------------------------------
window=$(xdotool search --name '^Ormelund-Radioormelund-radio$' | head -n 1)
# The engine's play/pause button: the left end of the player's control bar (the web view starts
# at 170, 154 in the window; 96 DPI).
press_play_pause() { xdotool mousemove --window "$window" 197 172 click 1; }
press_play_pause
check "the listener's pause silences the player" goes_quiet 3
bash "$station" stream-stop "$state" >/dev/null
sleep 5
bash "$station" stream-start "$state" >/dev/null
check "after the stream is back, the pause holds" silent_for 12
from=$(recorded)
press_play_pause
sound_back "the listener's play" "$from"
sleep 2

# --- the web engine's process killed ---------------------------------------------------------
engines() { ps -o pid= -o comm= --ppid "$program_pid" | awk '$2 ~ /^WebKitWebProces/ { print $1 }'; }
engine=$(engines)
check "the program has one web engine process" [ "$(echo "$engine" | wc -w)" = 1 ]
from=$(recorded)
kill -KILL "$engine"
sound_back "the web engine's process was killed" "$from"
new_engine() { [ -n "$(engines)" ] && [ "$(engines)" != "$engine" ]; }
check "a new web engine process took the dead one's place" new_engine
check "the volume is unchanged after the engine's restart" [ "$(volume)" = "$start_volume" ]
check "the program still runs" kill -0 "$program_pid"
