#!/usr/bin/env bash
# End-to-end: the program plays the local station. Sound comes out of the sound server (the null
# sink's monitor records more than silence over the first seconds), Icecast counts the program as
# a listener of "/192kbps/;" and logs its request, and the program asks the station's service
# for the clock and the current song over HTTPS. The web engine reports playing even without a
# sound device; only the recording proves sound.
# Usage: bash test_sound.sh <program> <source dir> <build dir>
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh" "$@"

e2e_station_start || e2e_fail "the station starts"
curl -s -X POST "$e2e_control/_control?reset_counts=1" >/dev/null
e2e_record_start "$e2e_work/sound.raw"
e2e_program_start || e2e_fail "the program opens its window"

# Listeners of the mount, polled while the recording runs.
listeners() {
  curl -s --max-time 2 http://127.0.0.1:8000/status-json.xsl | python3 -c '
import json, sys
source = json.load(sys.stdin)["icestats"].get("source", {})
sources = source if isinstance(source, list) else [source]
print(max((s.get("listeners", 0) for s in sources
           if s.get("listenurl", "").endswith("/192kbps/;")), default=0))' 2>/dev/null || echo 0
}
most_listeners=0
for _ in $(seq 10); do
  now=$(listeners)
  [ "$now" -gt "$most_listeners" ] && most_listeners=$now
  sleep 0.5
done
e2e_record_stop

rms=$(e2e_rms "$e2e_work/sound.raw")
e2e_note "RMS $rms"
check "the sound server played sound (RMS $rms, silence is 0)" \
  python3 -c 'import sys; sys.exit(not float(sys.argv[1] or 0) > 0.02)' "$rms"
check "Icecast counted the program as a listener of /192kbps/; (most: $most_listeners)" \
  [ "$most_listeners" -ge 1 ]
counts=$(curl -s "$e2e_control/_counts")
check "the program read the service's clock every tick and the current song ($counts)" \
  python3 -c '
import json, sys
counts = json.loads(sys.argv[1])
sys.exit(not (counts.get("/time", 0) >= 4 and
              counts.get("/station/ormelund-radio/current_song", 0) >= 1))' "$counts"

# Icecast writes a listener's line when it leaves.
e2e_program_stop
logged() {
  grep -qE '"GET /192kbps/; HTTP/1\.[01]" 200 [1-9][0-9]* ' "$e2e_station/icecast/log/access.log"
}
for _ in $(seq 30); do
  logged && break
  sleep 0.1
done
check "Icecast's access log holds the program's request for the stream" logged
