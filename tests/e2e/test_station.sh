#!/usr/bin/env bash
# End-to-end test of the local station (tools/station): starts it in a temporary state folder on
# free loopback ports with a fast clock, checks the service's answers, its fault switches and the
# Icecast stream with curl, stops it and makes sure nothing it started is left running; then
# checks that the station also stops when its parent dies and when its supervisor is killed.
# Usage: bash test_station.sh <program> <source dir> <build dir>   (the program is not used)
set -uo pipefail

src=$(cd "${2:?usage: test_station.sh PROGRAM SOURCE_DIR BUILD_DIR}" && pwd)
station=$src/tools/station/station.sh
playlist=$src/tools/station/playlist.json
state=$(mktemp -d "${TMPDIR:-/tmp}/station-test.XXXXXX")
chmod 755 "$state" # Icecast runs as icecast2 and writes its logs below it
export STATION_DIR=$state

passed=0
failed=0
check() { # check DESCRIPTION COMMAND...: runs the command, counts and reports the outcome
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
  bash "$station" stop >/dev/null 2>&1
  if [ "$failed" -gt 0 ] && [ -d "$state/logs" ]; then
    for log in "$state"/logs/*; do
      echo "--- last lines of $log" >&2
      tail -n 8 "$log" >&2
    done
  fi
  rm -rf "$state"
  echo "station self-test: $passed checks passed, $failed failed"
  [ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
}
trap 'finish; exit $?' EXIT

# Three free ports on 127.0.0.1, so that the test runs beside other stations on the machine.
read -r api_port control_port stream_port < <(python3 -c '
import socket
sockets = [socket.socket() for _ in range(3)]
for s in sockets:
    s.bind(("127.0.0.1", 0))
print(*(s.getsockname()[1] for s in sockets))')
export STATION_API_PORT=${STATION_API_PORT:-$api_port}
export STATION_CONTROL_PORT=${STATION_CONTROL_PORT:-$control_port}
export STATION_STREAM_PORT=${STATION_STREAM_PORT:-$stream_port}
api=https://localhost:$STATION_API_PORT
song_path=/station/ormelund-radio/current_song
mount="http://127.0.0.1:$STATION_STREAM_PORT/192kbps/;"
scale=20

# fetch URL [CURL OPTION...]: body in $body_file; "curl-status http-code" on stdout.
body_file=$state/body
fetch() {
  local url=$1
  shift
  local code
  code=$(curl -s --cacert "$state/ca.pem" --max-time 5 -o "$body_file" -w '%{http_code}' "$@" \
    "$url")
  echo "$? $code"
}
body() { cat "$body_file"; }

# Whatever this state folder started: processes naming it or the stream's port, open ports.
leftovers() {
  local dir pid found=1
  for dir in /proc/[0-9]*; do
    pid=${dir#/proc/}
    [ "$pid" = $$ ] && continue
    if { tr '\0' ' ' <"/proc/$pid/cmdline"; } 2>/dev/null |
      grep -qF -e "$state" -e "127.0.0.1:$STATION_STREAM_PORT/192kbps"; then
      echo "left running: $pid $(tr '\0' ' ' <"/proc/$pid/cmdline")" >&2
      found=0
    fi
  done
  for port in "$STATION_API_PORT" "$STATION_CONTROL_PORT" "$STATION_STREAM_PORT"; do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "port $port still open" >&2
      found=0
    fi
  done
  return $found
}
nothing_left() { ! leftovers; }
wait_until_nothing_left() {
  for _ in $(seq 50); do
    leftovers 2>/dev/null || return 0
    sleep 0.2
  done
  nothing_left
}

# --- start -----------------------------------------------------------------------------------
if ! TIME_SCALE=$scale STATION_CLOCK_START="2026-12-11 10:00:00" STATION_WATCH_PID=$$ \
  bash "$station" start >"$state/start.out" 2>&1; then
  cat "$state/start.out" >&2
  check "the station starts" false
  exit
fi
check "status reports a running station" bash "$station" status >/dev/null

# --- the clock and the current song ----------------------------------------------------------
check "/time answers 200" [ "$(fetch "$api/time")" = "0 200" ]
check "/time is a JSON string: timestamp and zone +01:00" python3 -c '
import json, re, sys
text = json.load(open(sys.argv[1]))
sys.exit(not re.fullmatch(r"2026-12-11 10:\d\d:\d\d\+01:00", text))' "$body_file"
check "the certificate is valid for 127.0.0.1 too" \
  [ "$(fetch "https://127.0.0.1:$STATION_API_PORT/time")" = "0 200" ]

check "/current_song answers 200" [ "$(fetch "$api$song_path")" = "0 200" ]
check "/current_song has every member, of the right types" python3 -c '
import json, sys
song = json.load(open(sys.argv[1], encoding="utf-8"))
members = {"id": int, "type": str, "title": str, "album": str, "length": int, "genre": str,
           "releaseyear": int, "created_at": str, "artist": dict, "started_at": str, "ends_at": str}
artist = {"name": str, "laut_id": int, "url": str, "laut_url": str, "image": str, "thumb": str}
ok = list(song) == list(members) and list(song["artist"]) == list(artist)
ok = ok and all(isinstance(song[k], t) for k, t in members.items())
ok = ok and all(isinstance(song["artist"][k], t) for k, t in artist.items())
sys.exit(not (ok and song["type"] == "song"))' "$body_file"

# Poll clock and song until four songs have been on air; the fast clock makes that a few
# seconds. Each sample: clock before, song, clock after. The song must be the one that the
# playlist puts on air at one of the two clock readings, counted from the clock's start.
samples=$state/samples
: >"$samples"
for _ in $(seq 100); do
  fetch "$api/time" >/dev/null && before=$(body)
  fetch "$api$song_path" >/dev/null && song=$(body)
  fetch "$api/time" >/dev/null && after=$(body)
  printf '%s\t%s\t%s\n' "$before" "$song" "$after" >>"$samples"
  [ "$(cut -f2 "$samples" | sort -u | wc -l)" -ge 5 ] && break
  sleep 0.2
done
check "the current song follows the playlist in step with the clock" python3 -c '
import json, sys
from datetime import datetime, timedelta
songs = json.load(open(sys.argv[2], encoding="utf-8"))["songs"]
when = lambda text: datetime.strptime(text[:19], "%Y-%m-%d %H:%M:%S")
text = lambda moment: moment.strftime("%Y-%m-%d %H:%M:%S+01:00")
start, total = when(sys.argv[3]), sum(song["length"] for song in songs)

def on_air(clock):
    position = int((clock - start).total_seconds()) % total
    began = clock - timedelta(seconds=position)
    for song in songs:
        if position < song["length"]:
            break
        position -= song["length"]
        began += timedelta(seconds=song["length"])
    return (song["title"], song["album"], song["artist"]["name"], song["length"], text(began),
            text(began + timedelta(seconds=song["length"])))

titles = set()
for line in open(sys.argv[1], encoding="utf-8"):
    before, song, after = (json.loads(part) for part in line.rstrip("\n").split("\t"))
    got = (song["title"], song["album"], song["artist"]["name"], song["length"],
           song["started_at"], song["ends_at"])
    if got not in (on_air(when(before)), on_air(when(after))):
        sys.exit(f"at {before}..{after} the service named {got}, the playlist has "
                 f"{on_air(when(before))}")
    titles.add(song["title"])
sys.exit(len(titles) < 4 and f"only {len(titles)} songs seen")
' "$samples" "$playlist" "2026-12-11 10:00:00"

check "another station's current song is 404" \
  [ "$(fetch "$api/station/other-radio/current_song")" = "0 404" ]
check "the 404 answer is a JSON error object" python3 -c '
import json, sys
sys.exit("error" not in json.load(open(sys.argv[1])))' "$body_file"
check "an unknown path is 404" [ "$(fetch "$api/no/such/path")" = "0 404" ]

# --- the station's audio ---------------------------------------------------------------------
expected_length=$(python3 -c 'import json, sys
print(sum(s["length"] for s in json.load(open(sys.argv[1], encoding="utf-8"))["songs"]))' \
  "$playlist")
audio=$(ffprobe -v error -of default=noprint_wrappers=1 \
  -show_entries stream=codec_name,sample_rate,channels,bit_rate:format=duration \
  "$state/audio/loop.mp3")
audio_is() { grep -qx "$1" <<<"$audio"; }
check "the loop is MP3" audio_is codec_name=mp3
check "the loop is 44.1 kHz" audio_is sample_rate=44100
check "the loop is stereo" audio_is channels=2
check "the loop is 192 kbit/s" audio_is bit_rate=192000
check "the loop lasts as long as the playlist ($expected_length s)" python3 -c '
import sys
duration = float(next(l for l in sys.argv[1].splitlines() if l.startswith("duration="))[9:])
sys.exit(abs(duration - float(sys.argv[2])) > 0.1)' "$audio" "$expected_length"

# --- fault switches --------------------------------------------------------------------------
# fault NAME: switch it on (all else normal) through the station script.
fault() { bash "$station" fault "$@" >/dev/null; }
matches() { grep -qaE -- "$1" "$body_file"; }
size_at_least() { [ "$(stat -c %s "$body_file")" -ge "$1" ]; }
not_utf8() { ! iconv -f UTF-8 -t UTF-8 "$body_file" >/dev/null 2>&1; }
# name | path | curl status and HTTP code | check of the body
while IFS='|' read -r name path outcome body_check; do
  fault "$name"
  got=$(fetch "$api$path" --max-time 2)
  check "fault $name: $path gives '$outcome' (got '$got')" [ "$got" = "$outcome" ]
  [ -z "$body_check" ] ||
    check "fault $name: body passes '$body_check'" "${body_check%% *}" "${body_check#* }"
done <<EOF
clock-t|/time|0 200|matches ^"2026-12-11T
clock-before-1970|/time|0 200|matches ^"1969-
clock-garbage|/time|0 200|matches ^"[a-z ]+"$
json-array|$song_path|0 200|matches ^\[\{"id"
json-string|$song_path|0 200|matches ^"[^"]+ - [^"]+"$
nulls|$song_path|0 200|matches "artist": null
error500|/time|0 500|matches <html>
redirect-http|$song_path|0 302|
invalid-utf8|$song_path|0 200|not_utf8
huge-title|$song_path|0 200|size_at_least 100000
big|/time|0 200|size_at_least 5242880
reset|$song_path|56 200|
hang|/time|28 000|
down|/time|7 000|
normal|/time|0 200|matches ^"2026-12-11 1
EOF
fault nulls
check "a song fault leaves the clock normal" [ "$(fetch "$api/time")" = "0 200" ]
check "  ... so the clock answers a timestamp" matches '^"2026-12-11 1'
fault redirect-http
fetch "$api$song_path" -L >/dev/null
check "redirect-http leads to the same song over plain HTTP" matches '"title": "'
fault normal

curl -s -X POST "http://127.0.0.1:$STATION_CONTROL_PORT/_control?reset_counts=1" >/dev/null
for _ in 1 2 3; do fetch "$api/time" >/dev/null; done
fetch "$api$song_path" >/dev/null
check "request counts per path" python3 -c '
import json, sys, urllib.request
counts = json.load(urllib.request.urlopen(f"http://127.0.0.1:{sys.argv[1]}/_counts"))
sys.exit(counts != {"/time": 3, "/station/ormelund-radio/current_song": 1})' "$STATION_CONTROL_PORT"

# --- the stream --------------------------------------------------------------------------------
stream_ok() { # the mount answers audio/mpeg with MP3 frames of 44.1 kHz stereo
  rm -f "$state/stream.mp3" "$state/stream.head"
  curl -s --max-time 3 -D "$state/stream.head" -o "$state/stream.mp3" "$mount"
  grep -qi '^Content-Type: audio/mpeg' "$state/stream.head" &&
    [ "$(stat -c %s "$state/stream.mp3")" -ge 48000 ] &&
    [ "$(ffprobe -v error -show_entries stream=codec_name,sample_rate,channels -of csv=p=0 \
      "$state/stream.mp3")" = "mp3,44100,2" ]
}
mount_gone() { [ "$(curl -s -o /dev/null --max-time 3 -w '%{http_code}' "$mount")" = 404 ]; }
check "the mount serves MP3 audio as audio/mpeg" stream_ok
check "stream-stop succeeds" bash "$station" stream-stop >/dev/null
check "after stream-stop the mount is gone" mount_gone
check "the service still answers during the outage" [ "$(fetch "$api/time")" = "0 200" ]
check "stream-start succeeds" bash "$station" stream-start >/dev/null
check "after stream-start the mount serves audio again" stream_ok

# --- stopping --------------------------------------------------------------------------------
check "stop succeeds" bash "$station" stop >/dev/null
check "status reports a stopped station" [ "$(bash "$station" status >/dev/null; echo $?)" = 3 ]
check "nothing is left running after stop" nothing_left

sleep 600 &
parent=$!
if STATION_WATCH_PID=$parent bash "$station" start >/dev/null 2>&1; then
  kill "$parent"
  check "the station stops when its parent ends" wait_until_nothing_left
else
  check "the station starts again" false
fi

if bash "$station" start >/dev/null 2>&1; then
  kill -KILL "$(cat "$state/run/supervisor.pid")"
  check "the station's processes end when their supervisor is killed" wait_until_nothing_left
else
  check "the station starts a third time" false
fi
