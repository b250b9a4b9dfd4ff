#!/usr/bin/env bash
# Installs what is missing, builds the player, starts the local station (state in
# build/station) and runs the player against it.
#   - With a display: the player runs until the user closes it with its close button.
#   - Without one: the player runs on a private X display with a window manager and a null sound
#     sink (tools/test-env.sh) for a few seconds, long enough to read the song and see the time
#     left count down; a screenshot of its window goes to build/screenshot.png.
# Either way the station is stopped when the player has ended (and stops by itself if this
# script is killed).
# Usage: tools/run.sh          (JOBS=<n> sets the build's parallel jobs)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=9

bash tools/install-deps.sh
cmake -S . -B build
cmake --build build -j"${JOBS:-$(nproc)}"

station_started=""
stop_station() {
  if [ -n "$station_started" ]; then bash tools/station/station.sh stop; fi
}
trap stop_station EXIT
trap 'exit 130' INT TERM HUP
# The station stops by itself when this script ends (it watches the process that started it).
bash tools/station/station.sh start
station_started=1

if [ -n "${DISPLAY:-}" ]; then
  echo "run: the player is running; its close button (top right) ends it and the station"
  status=0
  ./build/ormelund-radio || status=$?
  exit "$status"
fi

shot=$root/build/screenshot.png
log=$root/build/player.log
rm -f "$shot"
echo "run: no display: running the player on a private one for $seconds seconds"
# shellcheck disable=SC2016  # expanded by the inner shell
if ! tools/test-env.sh bash -c '
  shot=$1 log=$2 seconds=$3
  ./build/ormelund-radio >"$log" 2>&1 &
  player=$!
  window=""
  for _ in $(seq 200); do
    window=$(xdotool search --all --onlyvisible --pid "$player" --class Ormelund-Radio |
      head -n 1)
    [ -n "$window" ] && break
    kill -0 "$player" 2>/dev/null || break
    sleep 0.1
  done
  status=1
  if [ -z "$window" ]; then
    echo "run: the player did not open its window (its output: $log)" >&2
  else
    sleep "$seconds"
    import -window "$window" "$shot" && status=0
  fi
  kill "$player" 2>/dev/null
  wait "$player" 2>/dev/null
  exit "$status"' run "$shot" "$log" "$seconds"; then
  echo "run: no screenshot was taken" >&2
  exit 1
fi
echo "run: screenshot of the player after $seconds seconds: $shot"
