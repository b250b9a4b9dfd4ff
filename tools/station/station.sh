#!/usr/bin/env bash
# The local station on loopback: Icecast with the stream "/192kbps/;" fed by ffmpeg, and the
# station's service over HTTPS with its clock and current song. Everything it makes and runs
# lives in one state folder (configs, certificates, audio, logs, pids).
#
# Usage: tools/station/station.sh [--dir STATE] COMMAND [ARGS]
#   start [STATE]          start in the background; returns once the stream is live
#   run [STATE]            run in the foreground until Ctrl-C
#   stop [STATE]           stop everything the station started
#   status [STATE]         show what runs (exit status 0 running, 3 stopped)
#   stream-stop [STATE]    stop the stream source (ffmpeg): the mount goes away
#   stream-start [STATE]   start it again, at the point the station's timeline has reached
#   fault NAME [time|song] switch a service fault on ("normal" switches all off)
#   counts [reset]         service requests per path (reset: zero them)
#
# The state folder is STATE, else $STATION_DIR, else build/station of the repository; the HTTPS
# client trusts STATE/ca.pem. Settings for start and run, as environment variables:
#   STATION_API_PORT=8443      the service's HTTPS port (https://localhost:PORT)
#   STATION_CONTROL_PORT=      the service's plain-HTTP control port; default API port + 1
#   STATION_STREAM_PORT=8000   Icecast's port (http://127.0.0.1:PORT/192kbps/;)
#   TIME_SCALE=1               the service's clock and song timeline run this many times faster
#                              than real time; the audio stays real-time, so at any other scale
#                              what is heard no longer matches the song the service names
#   SONG_LENGTHS=              comma-separated seconds replacing the songs' lengths in the
#                              service's timeline (cycled over the songs); the audio keeps its own
#   STATION_CLOCK_START=       the clock at the start, "YYYY-MM-DD hh:mm:ss" (zone +01:00);
#                              default the real time in zone +01:00
#   STREAM_LEAD=0              the service names each song this many seconds before it is heard
#   STATION_WATCH_PID=         the station stops when this process ends; default the caller of
#                              "start" (the parent of "run"); 0 keeps it running until "stop"
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
MOUNT='/192kbps/;'

die() {
  echo "station: $*" >&2
  exit 1
}

usage() {
  sed -n '5,14p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

# True when PID is alive and its command line contains TEXT: the pid files are only trusted
# for processes that are still the ones this state folder started.
owned() {
  local pid=$1 text=$2
  [ -n "$pid" ] && [ -r "/proc/$pid/cmdline" ] || return 1
  tr '\0' ' ' <"/proc/$pid/cmdline" | grep -qF -- "$text"
}

read_pid() { [ -r "$state/run/$1.pid" ] && head -c 20 "$state/run/$1.pid" | tr -dc 0-9 || true; }

supervisor_running() { owned "$(read_pid supervisor)" "supervisor.py --state $state "; }

load_ports() {
  [ -r "$state/run/ports" ] || die "no station has run in $state"
  # shellcheck source=/dev/null
  . "$state/run/ports"
}

port_busy() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

mount_live() {
  curl -s --max-time 2 "http://127.0.0.1:$STREAM_PORT/status-json.xsl" 2>/dev/null |
    grep -qF "$MOUNT\""
}

# A local certificate authority and a server certificate for localhost, 127.0.0.1 and ::1.
ensure_tls() {
  [ -s "$state/ca.pem" ] && [ -s "$state/tls/server.pem" ] && [ -s "$state/tls/server.key" ] &&
    return 0
  echo "station: making a test certificate authority in $state/ca.pem"
  mkdir -p "$state/tls"
  chmod 700 "$state/tls"
  local ec=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
  openssl req -x509 "${ec[@]}" -keyout "$state/tls/ca.key" -out "$state/ca.pem" -days 3650 \
    -subj "/CN=Ormelund local station test authority" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    2>/dev/null
  openssl req -new "${ec[@]}" -keyout "$state/tls/server.key" -out "$state/tls/server.csr" \
    -subj "/CN=localhost" 2>/dev/null
  printf '%s\n' "subjectAltName=DNS:localhost,IP:127.0.0.1,IP:::1" \
    "basicConstraints=critical,CA:FALSE" "keyUsage=critical,digitalSignature" \
    "extendedKeyUsage=serverAuth" "subjectKeyIdentifier=hash" \
    "authorityKeyIdentifier=keyid" >"$state/tls/server.ext"
  openssl x509 -req -in "$state/tls/server.csr" -CA "$state/ca.pem" -CAkey "$state/tls/ca.key" \
    -set_serial "0x$(openssl rand -hex 16)" -days 825 -extfile "$state/tls/server.ext" \
    -out "$state/tls/server.pem" 2>/dev/null
  rm -f "$state/tls/server.csr" "$state/tls/server.ext"
  openssl verify -CAfile "$state/ca.pem" "$state/tls/server.pem" >/dev/null ||
    die "the new server certificate does not verify"
}

# The loop of the playlist's songs, made again whenever the playlist or its recipe changes.
ensure_audio() {
  local stamp
  stamp=$(cat "$here/playlist.json" "$here/make-audio.sh" | sha256sum | cut -d' ' -f1)
  [ -s "$state/audio/loop.mp3" ] && [ "$(cat "$state/audio/stamp" 2>/dev/null)" = "$stamp" ] &&
    return 0
  echo "station: making the station's audio in $state/audio"
  mkdir -p "$state/audio"
  rm -f "$state/audio/stamp"
  "$here/make-audio.sh" "$here/playlist.json" "$state/audio/loop.mp3"
  echo "$stamp" >"$state/audio/stamp"
}

# Icecast's own configuration, on loopback only; it drops root rights to icecast2 at start.
write_icecast_config() {
  mkdir -p "$state/icecast/log"
  chmod 755 "$state" "$state/icecast"
  chown icecast2:icecast "$state/icecast/log"
  for secret in source-password admin-password; do
    [ -s "$state/icecast/$secret" ] || (umask 077 && openssl rand -hex 12 >"$state/icecast/$secret")
  done
  if ! setpriv --reuid icecast2 --regid icecast --clear-groups test -w "$state/icecast/log"; then
    die "user icecast2 cannot write to $state/icecast/log: every folder above it must be" \
      "searchable by others (chmod o+x)"
  fi
  local v6=""
  if [ -e /proc/net/if_inet6 ] && grep -q '^0\{31\}1 ' /proc/net/if_inet6; then
    v6="<listen-socket><port>$STREAM_PORT</port><bind-address>::1</bind-address></listen-socket>"
  fi
  (
    umask 077
    cat >"$state/icecast/icecast.xml" <<EOF
<icecast>
  <location>Ormelund (local test station)</location>
  <admin>station@localhost</admin>
  <hostname>127.0.0.1</hostname>
  <limits>
    <clients>100</clients>
    <sources>2</sources>
    <queue-size>524288</queue-size>
    <client-timeout>30</client-timeout>
    <header-timeout>15</header-timeout>
    <source-timeout>10</source-timeout>
    <burst-size>65535</burst-size>
  </limits>
  <authentication>
    <source-password>$(cat "$state/icecast/source-password")</source-password>
    <admin-user>admin</admin-user>
    <admin-password>$(cat "$state/icecast/admin-password")</admin-password>
  </authentication>
  <listen-socket><port>$STREAM_PORT</port><bind-address>127.0.0.1</bind-address></listen-socket>
  $v6
  <fileserve>1</fileserve>
  <paths>
    <basedir>/usr/share/icecast2</basedir>
    <logdir>$state/icecast/log</logdir>
    <webroot>/usr/share/icecast2/web</webroot>
    <adminroot>/usr/share/icecast2/admin</adminroot>
  </paths>
  <logging>
    <accesslog>access.log</accesslog>
    <errorlog>error.log</errorlog>
    <loglevel>3</loglevel>
    <logsize>10000</logsize>
  </logging>
  <security>
    <chroot>0</chroot>
    <changeowner><user>icecast2</user><group>icecast</group></changeowner>
  </security>
</icecast>
EOF
  )
}

# Everything "start" and "run" share: settings checked, state folder made, ports free.
prepare() {
  for tool in icecast2 ffmpeg sox soxi lame openssl curl python3 setpriv; do
    command -v "$tool" >/dev/null || die "$tool is missing (tools/install-deps.sh installs it)"
  done
  id icecast2 >/dev/null 2>&1 || die "there is no user icecast2 (package icecast2 makes it)"
  API_PORT=${STATION_API_PORT:-8443}
  CONTROL_PORT=${STATION_CONTROL_PORT:-$((API_PORT + 1))}
  STREAM_PORT=${STATION_STREAM_PORT:-8000}
  for port in "$API_PORT" "$CONTROL_PORT" "$STREAM_PORT"; do
    [[ $port =~ ^[0-9]+$ ]] && [ "$port" -gt 0 ] && [ "$port" -lt 65536 ] || die "bad port '$port'"
  done
  [ "$API_PORT" != "$CONTROL_PORT" ] && [ "$API_PORT" != "$STREAM_PORT" ] &&
    [ "$CONTROL_PORT" != "$STREAM_PORT" ] || die "the three ports must differ"
  supervisor_running && die "a station already runs in $state (stop it first)"
  for port in "$API_PORT" "$CONTROL_PORT" "$STREAM_PORT"; do
    port_busy "$port" && die "port $port on 127.0.0.1 is in use (another station?)"
  done
  service_options=(--time-scale "${TIME_SCALE:-1}" --lead "${STREAM_LEAD:-0}")
  [ -n "${SONG_LENGTHS:-}" ] && service_options+=(--song-lengths "$SONG_LENGTHS")
  [ -n "${STATION_CLOCK_START:-}" ] && service_options+=(--clock-start "$STATION_CLOCK_START")
  # Let the service judge the settings before anything starts.
  python3 "$here/service.py" --playlist "$here/playlist.json" --cert - --key - --check \
    "${service_options[@]}" || die "bad settings"

  mkdir -p "$state/logs" "$state/run"
  rm -f "$state/run/"*.pid "$state/run/ready" "$state/run/stream"
  ensure_tls
  ensure_audio
  write_icecast_config
  printf 'API_PORT=%s\nCONTROL_PORT=%s\nSTREAM_PORT=%s\n' "$API_PORT" "$CONTROL_PORT" \
    "$STREAM_PORT" >"$state/run/ports"
  supervisor_command=(python3 "$here/supervisor.py" --state "$state"
    --playlist "$here/playlist.json" --api-port "$API_PORT" --control-port "$CONTROL_PORT"
    --stream-port "$STREAM_PORT")
}

describe() {
  cat <<EOF
station: running in $state
  service  https://localhost:$API_PORT/time  (trust $state/ca.pem)
           https://localhost:$API_PORT/station/ormelund-radio/current_song
  stream   http://127.0.0.1:$STREAM_PORT$MOUNT
  control  http://127.0.0.1:$CONTROL_PORT/_control  (station.sh fault NAME, station.sh counts)
  logs     $state/logs
EOF
}

command_start() {
  prepare
  local watch=${STATION_WATCH_PID:-$PPID}
  setsid "${supervisor_command[@]}" --watch-pid "$watch" -- "${service_options[@]}" \
    </dev/null >>"$state/logs/supervisor.log" 2>&1 &
  local pid=$!
  echo "$pid" >"$state/run/supervisor.pid"
  for _ in $(seq 600); do
    [ -e "$state/run/ready" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -e "$state/run/ready" ]; then
    echo "station: the station did not start; the end of $state/logs/supervisor.log:" >&2
    tail -n 15 "$state/logs/supervisor.log" >&2
    command_stop >/dev/null 2>&1 || true
    exit 1
  fi
  describe
}

command_run() {
  prepare
  echo $$ >"$state/run/supervisor.pid"
  exec "${supervisor_command[@]}" --watch-pid "${STATION_WATCH_PID:-$PPID}" -- \
    "${service_options[@]}"
}

command_stop() {
  local pid
  pid=$(read_pid supervisor)
  if supervisor_running; then
    kill -TERM "$pid"
    for _ in $(seq 150); do
      supervisor_running || break
      sleep 0.1
    done
    supervisor_running && kill -KILL "$pid" 2>/dev/null || true
  fi
  # Whatever the supervisor could not stop (it was killed, say) is stopped here.
  [ -r "$state/run/ports" ] && load_ports
  local -A marks=([service]="$state/tls/server.pem" [icecast]="$state/icecast/icecast.xml"
    [ffmpeg]="127.0.0.1:${STREAM_PORT:-none}$MOUNT")
  for name in ffmpeg service icecast; do
    pid=$(read_pid "$name")
    if owned "$pid" "${marks[$name]}"; then
      echo "station: stopping a left-over $name ($pid)"
      kill -TERM "$pid" 2>/dev/null || true
      for _ in $(seq 50); do
        owned "$pid" "${marks[$name]}" || break
        sleep 0.1
      done
      owned "$pid" "${marks[$name]}" && kill -KILL "$pid" 2>/dev/null || true
    fi
    rm -f "$state/run/$name.pid"
  done
  rm -f "$state/run/supervisor.pid" "$state/run/ready" "$state/run/stream"
  echo "station: stopped ($state)"
}

command_status() {
  if ! supervisor_running || [ ! -e "$state/run/ready" ]; then
    echo "station: not running ($state)"
    exit 3
  fi
  load_ports
  describe
  local stream=off
  mount_live && stream=on
  echo "  stream source $(cat "$state/run/stream" 2>/dev/null || echo unknown), mount live: $stream"
  for name in supervisor icecast ffmpeg service; do
    echo "  $name pid $(read_pid "$name")"
  done
  echo "  service: $(curl -s --max-time 3 "http://127.0.0.1:$CONTROL_PORT/_control" |
    python3 -c 'import json, sys; s = json.load(sys.stdin)
print("clock", s["clock"], "faults", s["faults"], "down" if s["down"] else "up")')"
}

command_stream() {
  supervisor_running || die "no station runs in $state"
  load_ports
  local want=$1
  kill "-$([ "$want" = on ] && echo USR2 || echo USR1)" "$(read_pid supervisor)"
  for _ in $(seq 150); do
    if [ "$want" = on ]; then mount_live && break; else mount_live || break; fi
    sleep 0.1
  done
  if [ "$want" = on ]; then mount_live || die "the stream did not come back"; else
    mount_live && die "the stream did not stop"
  fi
  echo "station: stream $want"
}

control() {
  supervisor_running || die "no station runs in $state"
  load_ports
  curl -sS --fail-with-body --max-time 10 -X POST "http://127.0.0.1:$CONTROL_PORT$1"
  echo
}

state=""
args=()
while [ $# -gt 0 ]; do
  case $1 in
    --dir) state=${2:?--dir needs a folder}; shift 2 ;;
    --dir=*) state=${1#--dir=}; shift ;;
    -h | --help) usage ;;
    *) args+=("$1"); shift ;;
  esac
done
[ ${#args[@]} -gt 0 ] || usage
command=${args[0]}
case $command in
  start | run | stop | status | stream-stop | stream-start)
    [ ${#args[@]} -le 2 ] || usage
    [ ${#args[@]} -eq 2 ] && state=${args[1]} ;;
  fault) [ ${#args[@]} -ge 2 ] && [ ${#args[@]} -le 3 ] || usage ;;
  counts)
    [ ${#args[@]} -eq 1 ] || { [ ${#args[@]} -eq 2 ] && [ "${args[1]}" = reset ]; } || usage ;;
  *) usage ;;
esac
state=$(realpath -m "${state:-${STATION_DIR:-$repo/build/station}}")

case $command in
  start) command_start ;;
  run) command_run ;;
  stop) command_stop ;;
  status) command_status ;;
  stream-stop) command_stream off ;;
  stream-start) command_stream on ;;
  fault) control "/_control?fault=${args[1]}${args[2]:+&only=${args[2]}}" ;;
  counts) control "$([ -n "${args[1]:-}" ] && echo "/_control?reset_counts=1" || echo /_counts)" ;;
esac
