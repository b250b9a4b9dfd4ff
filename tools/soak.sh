#!/usr/bin/env bash
# Soak test: the player's real start-up, window, panels and song tracker (bench/soak_driver)
# against the local station at a high time scale with short songs, for TICKS poll ticks back to
# back (default 20,000) inside a private test environment (tools/test-env.sh). Resident memory is
# sampled every 1,000 ticks; the run fails when it grows after the warm-up, or when fewer than 200
# songs were taken over. Takes a few minutes; not part of the test command.
#
# Usage: tools/soak.sh [TICKS]
# Settings: SOAK_TIME_SCALE (default 500), SOAK_SONG_LENGTHS (default 5), SOAK_MAX_GROWTH_KIB
# (KiB per 1,000 ticks, default 64). The log is build/soak.log; the station's state (its audio is
# made once) stays in build/soak-station.
set -euo pipefail
cd "$(dirname "$0")/.."
ticks=${1:-20000}
[[ $ticks =~ ^[0-9]+$ ]] || { sed -n '8p' "$0" | sed 's/^# //' >&2; exit 2; }

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target soak_driver >/dev/null

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])'
}
api_port=$(free_port)
control_port=$(free_port)
stream_port=$(free_port)
state=$PWD/build/soak-station
mkdir -p "$state"
stop_station() { tools/station/station.sh stop "$state" >/dev/null 2>&1 || true; }
trap stop_station EXIT
STATION_API_PORT=$api_port STATION_CONTROL_PORT=$control_port STATION_STREAM_PORT=$stream_port \
  STATION_WATCH_PID=$$ TIME_SCALE=${SOAK_TIME_SCALE:-500} SONG_LENGTHS=${SOAK_SONG_LENGTHS:-5} \
  tools/station/station.sh start "$state" >/dev/null

echo "soak: $ticks ticks against the local station (time scale ${SOAK_TIME_SCALE:-500}," \
  "songs of ${SOAK_SONG_LENGTHS:-5} s)"
tools/test-env.sh build/bench/soak_driver "$ticks" "localhost:$api_port" "$state/ca.pem" \
  "${SOAK_MAX_GROWTH_KIB:-64}" 200 2>&1 | tee build/soak.log
