#!/usr/bin/env bash
# End-to-end test of the stream coming back by itself: the real program plays the local station's
# stream while what reaches the PulseAudio null sink is recorded and measured every quarter of a
# second with sox. Checked: the stream source stopped for 5 s and for 30 s, then back: sound
# returns within 10 s of the stream being live again, at the volume it had; a listener's pause
# (a click on the engine's pause button) before a cut stays a pause, and their play brings the
# sound back; the web engine's process killed: sound returns within 10 s, at the same volume.
# Usage: bash test_stream_healing.sh <program> <source dir> <build dir>, inside tools/test-env.sh
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh" "$@"

station() { bash "$e2e_src/tools/station/station.sh" "$1" "$e2e_station" >/dev/null; }

e2e_station_start || e2e_fail "the station starts"

# --- the recording: 44.1 kHz, 16-bit stereo, so a second is 176400 bytes ----------------------
recording=$e2e_work/sink.raw
e2e_record_start "$recording"
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
      if { [ "$want" = LOUD ] && loud "$level"; } ||
        { [ "$want" = QUIET ] && ! loud "$level"; }; then
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
    e2e_note "[$what: $(seconds_between "$from" "$loud_at") s]"
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
  station stream-stop || check "stream-stop works" false
  check "sound stops during a $seconds s outage" goes_quiet "$seconds"
  sleep "$(awk -v t0="$stopped" -v now="$(date +%s%N)" -v s="$seconds" \
    'BEGIN { d = s - (now - t0) / 1e9; print (d > 0 ? d : 0) }')"
  station stream-start || check "stream-start works" false
  sound_back "a $seconds s outage" "$(recorded)"
  check "the volume is unchanged after a $seconds s outage ($before)" [ "$(volume)" = "$before" ]
}

# --- the program -----------------------------------------------------------------------------
e2e_program_start || e2e_fail "the program opens its window"
wait_for LOUD 0 20 >/dev/null || e2e_fail "the program plays the stream"
sleep 2
start_volume=$(volume)
# 0.5 of the sound server's full volume, on its cubic scale: 65536 * 0.5^(1/3).
check "the stream plays at half volume (sink input $start_volume)" [ "$start_volume" = 52016 ]

outage 5
sleep 2
outage 30
sleep 2

# --- a listener's pause before a cut ---------------------------------------------------------
# The engine's play/pause button: the left end of the player's control bar (the web view starts
# at 170, 154 in the window; 96 DPI).
press_play_pause() { xdotool mousemove --window "$e2e_window" 197 172 click 1; }
press_play_pause
check "the listener's pause silences the player" goes_quiet 3
station stream-stop
sleep 5
station stream-start
check "after the stream is back, the pause holds" silent_for 12
from=$(recorded)
press_play_pause
sound_back "the listener's play" "$from"
sleep 2

# --- the web engine's process killed ---------------------------------------------------------
engines() { # the program's web engine processes
  ps -o pid= -o comm= --ppid "$e2e_program_pid" | awk '$2 ~ /^WebKitWebProces/ { print $1 }'
}
engine=$(engines)
check "the program has one web engine process" [ "$(echo "$engine" | wc -w)" = 1 ]
from=$(recorded)
kill -KILL "$engine"
sound_back "the web engine's process was killed" "$from"
new_engine() { [ -n "$(engines)" ] && [ "$(engines)" != "$engine" ]; }
check "a new web engine process took the dead one's place" new_engine
check "the volume is unchanged after the engine's restart" [ "$(volume)" = "$start_volume" ]
check "the program still runs" kill -0 "$e2e_program_pid"
