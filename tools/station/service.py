#!/usr/bin/env python3
"""The local station's service: the radio-hosting service's two resources over HTTPS on loopback.

  GET /time                                  the station clock, a JSON string such as
                                             "2026-12-11 10:00:00+01:00"
  GET /station/ormelund-radio/current_song   the song on air, a JSON object with every member
  GET /station/<other id>/current_song       a JSON error object, status 404

The clock starts at the moment the stream source starts (--epoch) and runs --time-scale times
faster than real time. The song on air follows the playlist in a loop: song i is on air from its
offset in the loop to offset + length, so at scale 1 the service names what the stream plays.
--song-lengths replaces the playlist's lengths in this timeline (the audio keeps its own); --lead
names each song that many seconds before it is heard.

A second, plain-HTTP listener on --control-port serves the control resources and the same two
resources without faults (the target of the "redirect-http" fault):

  GET|POST /_control                          state: faults, counts, clock, song, timeline
  GET|POST /_control?fault=NAME               this fault on its resources, all else normal
  GET|POST /_control?fault=NAME&only=time|song   this fault on one resource, the other unchanged
  GET|POST /_control?reset_counts=1           zero the request counts
  GET      /_counts                           request counts per path
"""

import argparse
import json
import math
import select
import signal
import socket
import socketserver
import ssl
import struct
import sys
import threading
import time
from collections import Counter
from datetime import datetime, timedelta, timezone
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit

ZONE = timezone(timedelta(hours=1))
ZONE_TEXT = "+01:00"
STATION_ID = "ormelund-radio"
BOTH = ("time", "song")

# Each fault and the resources it changes unless the switch names one ("only=").
FAULTS = {
    "normal": BOTH,
    "down": (),  # the HTTPS port closes, connections are refused; any other switch reopens it
    "hang": BOTH,  # the request is read and never answered
    "slow": BOTH,  # the body is sent one byte a second
    "reset": BOTH,  # the connection is reset halfway through the body
    "big": BOTH,  # a valid answer padded to 5 MiB, sent chunked
    "empty": BOTH,  # status 200 with an empty body
    "redirect-loop": BOTH,  # 302 to the same address, for ever
    "redirect-http": BOTH,  # 302 to the same path over plain HTTP (the control port)
    "error500": BOTH,  # an HTML page with status 500
    "json-array": BOTH,  # the normal answer inside a JSON array
    "json-string": ("song",),  # a JSON string in place of the song object
    "nulls": ("song",),  # every member of the song null
    "wrong-types": ("song",),  # members of the wrong JSON types
    "invalid-utf8": ("song",),  # the title holds bytes that are not UTF-8
    "huge-title": ("song",),  # a title of 100,000 characters
    "mixed-case": ("song",),  # member names in other letter cases (Title, ALBUM)
    "bad-ends-at": ("song",),  # ends_at is not a timestamp, started_at is
    "clock-t": ("time",),  # "2026-12-11T10:00:00+01:00"
    "clock-before-1970": ("time",),  # "1969-12-31 23:59:58+01:00"
    "clock-garbage": ("time",),  # a JSON string that is no timestamp
    "clock-bare": ("time",),  # the 19 characters of the timestamp, no quotes, no zone
}
BIG_SIZE = 5 * 1024 * 1024
HUGE_TITLE_LENGTH = 100_000


def log(text):
    now = time.time()
    stamp = time.strftime("%H:%M:%S", time.localtime(now)) + f".{int(now % 1 * 1000):03d}"
    print(f"{stamp} {text}", file=sys.stderr, flush=True)


def format_time(seconds):
    """A service timestamp of the station's zone for whole seconds since 1970 (UTC)."""
    return datetime.fromtimestamp(seconds, ZONE).strftime("%Y-%m-%d %H:%M:%S") + ZONE_TEXT


def parse_time(text):
    """Seconds since 1970 (UTC) of "YYYY-MM-DD hh:mm:ss" read in the station's zone."""
    moment = datetime.strptime(text[:19], "%Y-%m-%d %H:%M:%S").replace(tzinfo=ZONE)
    return int(moment.timestamp())


class Timeline:
    """The station clock and the playlist in time, in whole seconds of the station clock."""

    def __init__(self, songs, epoch, time_scale, lengths, clock_start, lead):
        self.songs = songs
        self.epoch = epoch
        self.time_scale = time_scale
        self.lengths = [lengths[i % len(lengths)] if lengths else int(song["length"])
                        for i, song in enumerate(songs)]
        self.offsets = [sum(self.lengths[:i]) for i in range(len(songs))]
        self.total = sum(self.lengths)
        self.start = parse_time(clock_start) if clock_start else int(epoch)
        self.lead = lead

    def clock(self):
        elapsed = max(0.0, (time.time() - self.epoch) * self.time_scale)
        return self.start + math.floor(elapsed)

    def song_at(self, clock):
        """(index, started_at, ends_at) of the song on air at the clock value."""
        loops, position = divmod(clock - self.start + self.lead, self.total)
        index = max(i for i, offset in enumerate(self.offsets) if offset <= position)
        started = self.start + loops * self.total + self.offsets[index] - self.lead
        return index, started, started + self.lengths[index]

    def describe(self):
        return {"epoch": self.epoch, "clock_start": format_time(self.start),
                "time_scale": self.time_scale, "lengths": self.lengths, "lead": self.lead}


class Station:
    """What the listeners share: timeline, playlist, faults and request counts."""

    def __init__(self, timeline, api_port, control_port):
        self.timeline = timeline
        self.api_port = api_port
        self.control_port = control_port
        self.lock = threading.Lock()
        self.faults = {"time": "normal", "song": "normal"}
        self.down = False
        self.counts = Counter()
        self.stopping = threading.Event()

    def song_record(self, clock):
        index, started, ends = self.timeline.song_at(clock)
        song = self.songs[index]
        artist = song["artist"]
        base = f"https://localhost:{self.api_port}"
        return {
            "id": song["id"],
            "type": "song",
            "title": song["title"],
            "album": song["album"],
            "length": self.timeline.lengths[index],
            "genre": song["genre"],
            "releaseyear": song["releaseyear"],
            "created_at": song["created_at"],
            "artist": {
                "name": artist["name"],
                "laut_id": artist["laut_id"],
                "url": f"{base}/artists/{artist['slug']}",
                "laut_url": f"{base}/artist/{artist['slug']}",
                "image": f"{base}/images/{artist['slug']}.jpg",
                "thumb": f"{base}/images/{artist['slug']}-thumb.jpg",
            },
            "started_at": format_time(started),
            "ends_at": format_time(ends),
        }

    @property
    def songs(self):
        return self.timeline.songs

    def state(self):
        clock = self.timeline.clock()
        with self.lock:
            return {"faults": dict(self.faults), "down": self.down, "counts": dict(self.counts),
                    "clock": format_time(clock), "current_song": self.song_record(clock),
                    "timeline": self.timeline.describe(), "known_faults": sorted(FAULTS)}


def to_json(value):
    return json.dumps(value, ensure_ascii=False).encode("utf-8")


def answer_body(station, resource, fault, clock):
    """(status, content type, body bytes) of a resource under a fault that shapes the content."""
    if resource == "time":
        normal = json.dumps(format_time(clock)).encode()
        shaped = {
            "clock-t": lambda: json.dumps(format_time(clock).replace(" ", "T")).encode(),
            "clock-before-1970": lambda: b'"1969-12-31 23:59:58+01:00"',
            "clock-garbage": lambda: b'"half past the cuckoo"',
            "clock-bare": lambda: format_time(clock)[:19].encode(),
        }
    else:
        record = station.song_record(clock)
        normal = to_json(record)
        shaped = {
            "json-string": lambda: to_json(f"{record['artist']['name']} - {record['title']}"),
            "nulls": lambda: to_json({name: None for name in record}),
            "wrong-types": lambda: to_json(wrong_types(record)),
            "invalid-utf8": lambda: to_json(dict(record, title="@TITLE@")).replace(
                b"@TITLE@", b"Fj\xe4ril \xff\xfe i f\xc3"),
            "huge-title": lambda: to_json(dict(record, title=huge_title())),
            "mixed-case": lambda: to_json(mixed_case(record)),
            "bad-ends-at": lambda: to_json(dict(record, ends_at="when it is over")),
        }
    if fault in shaped:
        return 200, "application/json; charset=utf-8", shaped[fault]()
    if fault == "json-array":
        return 200, "application/json; charset=utf-8", b"[" + normal + b"]"
    if fault == "empty":
        return 200, "application/json; charset=utf-8", b""
    if fault == "error500":
        return 500, "text/html; charset=utf-8", (
            b"<!DOCTYPE html><html><head><title>500 Internal Server Error</title></head>"
            b"<body><h1>Internal Server Error</h1><p>The station is having a bad day.</p>"
            b"</body></html>\n")
    if fault == "big":
        if resource == "time":
            return 200, "application/json; charset=utf-8", normal.ljust(BIG_SIZE, b" ")
        padded = to_json(dict(record, padding="@PAD@"))
        fill = b"x" * (BIG_SIZE - len(padded) + len(b"@PAD@"))
        return 200, "application/json; charset=utf-8", padded.replace(b"@PAD@", fill)
    return 200, "application/json; charset=utf-8", normal


def wrong_types(record):
    return dict(record, id=str(record["id"]), title=4711, album=[record["album"]],
                length=str(record["length"]), genre={"name": record["genre"]},
                releaseyear=True, artist=record["artist"]["name"],
                started_at=1765443600, ends_at=False)


def huge_title():
    return ("Ørnen flyger över Ormelund " * (HUGE_TITLE_LENGTH // 20))[:HUGE_TITLE_LENGTH]


def mixed_case(record):
    names = {"id": "ID", "type": "Type", "title": "Title", "album": "ALBUM", "length": "Length",
             "genre": "GENRE", "releaseyear": "ReleaseYear", "created_at": "Created_At",
             "artist": "Artist", "started_at": "Started_At", "ends_at": "ENDS_AT",
             "name": "Name", "laut_id": "Laut_Id", "url": "URL", "laut_url": "Laut_URL",
             "image": "Image", "thumb": "THUMB"}
    return {names[key]: mixed_case(value) if isinstance(value, dict) else value
            for key, value in record.items()}


class ResetConnection(Exception):
    """The answer ended the connection with a reset; nothing more is written."""


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "OrmelundLocalStation/1.0"
    timeout = 30

    def log_message(self, format, *args):
        pass  # each answer logs one line of its own

    def do_GET(self):
        self.respond()

    def do_POST(self):
        self.respond()

    def respond(self):
        station = self.server.station
        url = urlsplit(self.path)
        path = url.path
        if self.server.control and path in ("/_control", "/_counts"):
            return self.control(station, path, parse_qs(url.query))
        if self.command != "GET":
            return self.send_json(405, {"error": "method not allowed"})
        resource = None
        if path == "/time":
            resource = "time"
        elif path.startswith("/station/") and path.endswith("/current_song"):
            resource = "song"
        key = path if not self.server.control else "http:" + path
        with station.lock:
            station.counts[key] += 1
            fault = station.faults[resource] if resource and not self.server.control else "normal"
        self.fault = fault
        if resource is None:
            return self.send_json(404, {"error": "Not found", "status": 404})
        if fault == "hang":
            return self.hang()
        if fault == "redirect-loop":
            return self.redirect(self.path)
        if fault == "redirect-http":
            host = (self.headers.get("Host") or "localhost").rsplit(":", 1)[0] or "localhost"
            return self.redirect(f"http://{host}:{station.control_port}{self.path}")
        station_id = path[len("/station/"):-len("/current_song")]
        if resource == "song" and station_id != STATION_ID and fault == "normal":
            return self.send_json(404, {"error": "Station not found", "status": 404,
                                        "station": station_id})
        status, content_type, body = answer_body(station, resource, fault,
                                                 station.timeline.clock())
        if fault == "big":
            return self.send_chunked(status, content_type, body)
        self.send_head(status, content_type, len(body))
        if fault == "slow":
            for i in range(len(body)):
                self.wfile.write(body[i:i + 1])
                self.wfile.flush()
                if i + 1 < len(body) and station.stopping.wait(1.0):
                    return
        elif fault == "reset":
            self.wfile.write(body[:len(body) // 2])
            self.wfile.flush()
            # Give the client time to read the first half, or the reset may discard it unread.
            station.stopping.wait(0.5)
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                       struct.pack("ii", 1, 0))
            self.connection.close()
            raise ResetConnection()
        else:
            self.wfile.write(body)

    def control(self, station, path, query):
        if path == "/_counts":
            with station.lock:
                return self.send_json(200, dict(station.counts))
        if "reset_counts" in query:
            with station.lock:
                station.counts.clear()
        if "fault" in query:
            name = query["fault"][0]
            only = query.get("only", [None])[0]
            if name not in FAULTS or only not in (None, "time", "song"):
                return self.send_json(400, {"error": f"unknown fault {name!r} or only={only!r}",
                                            "known_faults": sorted(FAULTS)})
            if not self.server.switch_fault(name, only):
                return self.send_json(409, {"error": "the service port could not be opened"})
        self.send_json(200, station.state())

    def hang(self):
        # Keep the connection open without a word until the client gives up or the service stops.
        while not self.server.station.stopping.is_set():
            readable, _, _ = select.select([self.connection], [], [], 0.5)
            if readable:
                try:
                    if not self.connection.recv(1024):
                        return
                except (OSError, ssl.SSLError):
                    return

    def redirect(self, location):
        body = b"Moved\n"
        self.send_response(302)
        self.send_header("Location", location)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)
        self.logged(302)

    def send_json(self, status, value):
        body = to_json(value)
        self.send_head(status, "application/json; charset=utf-8", len(body))
        self.wfile.write(body)

    def send_head(self, status, content_type, length):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(length))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.flush()
        self.logged(status)

    def send_chunked(self, status, content_type, body):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Transfer-Encoding", "chunked")
        self.send_header("Connection", "close")
        self.end_headers()
        self.logged(status)
        for start in range(0, len(body), 65536):
            chunk = body[start:start + 65536]
            self.wfile.write(b"%x\r\n%s\r\n" % (len(chunk), chunk))
        self.wfile.write(b"0\r\n\r\n")

    def logged(self, status):
        self.close_connection = True
        scheme = "http" if self.server.control else "https"
        log(f"{scheme} {self.command} {self.path} {status} fault={getattr(self, 'fault', '-')}")

    def finish(self):
        try:
            super().finish()
        except OSError:
            pass


class Listener(ThreadingHTTPServer):
    """One listening socket; the HTTPS ones do the TLS handshake in the request's own thread, so
    a client that never completes it holds up nobody else."""

    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, family, station, tls, control, switch_fault):
        self.address_family = family
        self.station = station
        self.tls = tls
        self.control = control
        self.switch_fault = switch_fault
        super().__init__(address, Handler)

    def server_bind(self):
        if self.address_family == socket.AF_INET6:
            self.socket.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 1)
        socketserver.TCPServer.server_bind(self)
        self.server_name = "localhost"
        self.server_port = self.server_address[1]

    def finish_request(self, request, client_address):
        if self.tls:
            request.settimeout(10)
            try:
                request = self.tls.wrap_socket(request, server_side=True)
            except ssl.SSLEOFError:
                return  # a probe that only checked the port is open
            except (OSError, ssl.SSLError) as error:
                log(f"tls handshake failed: {error}")
                return
            request.settimeout(None)
        try:
            self.RequestHandlerClass(request, client_address, self)
        except ResetConnection:
            pass
        finally:
            try:
                request.close()
            except OSError:
                pass

    def handle_error(self, request, client_address):
        log(f"connection error: {sys.exc_info()[1]!r}")


def open_listeners(port, **kwargs):
    """Listeners on 127.0.0.1 and, where the machine has it, ::1; each serves in a thread."""
    listeners = [Listener(("127.0.0.1", port), socket.AF_INET, **kwargs)]
    if socket.has_ipv6:
        try:
            listeners.append(Listener(("::1", port), socket.AF_INET6, **kwargs))
        except OSError as error:
            log(f"no listener on [::1]:{port}: {error}")
    for listener in listeners:
        threading.Thread(target=listener.serve_forever, args=(0.2,), daemon=True).start()
    return listeners


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--playlist", required=True)
    parser.add_argument("--cert", required=True, help="server certificate chain (PEM)")
    parser.add_argument("--key", required=True, help="server private key (PEM)")
    parser.add_argument("--port", type=int, default=8443)
    parser.add_argument("--control-port", type=int, default=8444)
    parser.add_argument("--epoch", type=float, default=None,
                        help="moment the stream source started (seconds since 1970); now")
    parser.add_argument("--time-scale", type=float, default=1.0)
    parser.add_argument("--song-lengths", default="",
                        help="comma-separated seconds replacing the playlist's lengths, cycled")
    parser.add_argument("--clock-start", default="",
                        help='clock at the epoch, "YYYY-MM-DD hh:mm:ss" in +01:00; the real time')
    parser.add_argument("--lead", type=int, default=0)
    parser.add_argument("--check", action="store_true", help="only check the settings")
    args = parser.parse_args()
    if args.time_scale <= 0:
        parser.error("--time-scale must be positive")
    try:
        lengths = [int(n) for n in args.song_lengths.split(",") if n.strip()]
    except ValueError:
        lengths = [0]
    if any(n <= 0 for n in lengths):
        parser.error("--song-lengths must be whole seconds above 0, separated by commas")

    with open(args.playlist, encoding="utf-8") as file:
        songs = json.load(file)["songs"]
    epoch = args.epoch if args.epoch is not None else time.time()
    try:
        timeline = Timeline(songs, epoch, args.time_scale, lengths, args.clock_start, args.lead)
    except ValueError:
        parser.error(f"--clock-start {args.clock_start!r} is not YYYY-MM-DD hh:mm:ss")
    if args.check:
        return
    station = Station(timeline, args.port, args.control_port)

    tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    tls.load_cert_chain(args.cert, args.key)
    service = {"listeners": []}
    switching = threading.Lock()

    def switch_fault(name, only):
        """Applies a fault switch; opens or closes the HTTPS port for "down" and "normal"."""
        with switching:
            down = name == "down"
            if down and service["listeners"]:
                for listener in service["listeners"]:
                    listener.shutdown()
                    listener.server_close()
                service["listeners"] = []
            if not down and not service["listeners"]:
                try:
                    service["listeners"] = open_listeners(args.port, station=station, tls=tls,
                                                          control=False,
                                                          switch_fault=switch_fault)
                except OSError as error:
                    log(f"cannot listen on port {args.port}: {error}")
                    return False
            with station.lock:
                station.down = down
                if not only:
                    station.faults = {"time": "normal", "song": "normal"}
                for resource in ((only,) if only else FAULTS[name]):
                    station.faults[resource] = name
            log(f"fault {name}{' only ' + only if only else ''}: {station.faults} down={down}")
            return True

    switch_fault("normal", None)
    if not service["listeners"]:
        sys.exit(1)
    open_listeners(args.control_port, station=station, tls=None, control=True,
                   switch_fault=switch_fault)

    def stop(signum, frame):
        station.stopping.set()

    for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(signum, stop)
    log(f"service on https://localhost:{args.port}, control on http://127.0.0.1:"
        f"{args.control_port}, clock starts {format_time(timeline.start)} x{args.time_scale}")
    station.stopping.wait()
    log("service stopped")


if __name__ == "__main__":
    main()
