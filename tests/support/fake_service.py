#!/usr/bin/env python3
"""A scriptable stand-in for the radio-hosting service, for tests, on loopback only.

    fake_service.py --dir FOLDER

Makes a test certificate authority and a certificate for localhost / 127.0.0.1 / ::1 in FOLDER
(and a second, unrelated authority that trusts nothing here), then serves HTTPS on 127.0.0.1 and
plain HTTP on 127.0.0.1, each on a free port. Both serve the same routes and count requests.

The first line on standard output is a JSON object:
    {"https_port": N, "http_port": N, "ca": PATH, "other_ca": PATH}
After that the service reads one JSON command per line on standard input and answers each with
one JSON line on standard output:
    {"cmd": "set", "path": P, "status": 200, "body": "..." (or "body_hex"), "location": URL,
     "delay": SECONDS, "mode": "normal" | "hang" | "big", "size": BYTES}
        answers GET P like this from now on. "hang" reads the request and never answers; "big"
        sends the body padded with blanks to `size` bytes (default 5 MiB), chunked.
    {"cmd": "silent", "on": true}  the HTTPS port accepts connections but never starts TLS.
    {"cmd": "count", "path": P}    -> {"count": N, "user_agent": last User-Agent or null}
    {"cmd": "reset"}               forgets every route and count.
A path without a route answers 404 with a small HTML page. End of standard input (the test ended,
or died) stops the service.
"""

import argparse
import http.server
import json
import os
import secrets
import ssl
import subprocess
import sys
import threading
import urllib.parse

OPENSSL_CONFIG = """
[req]
distinguished_name = dn
prompt = no
[dn]
CN = unused
[ca_ext]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[server_ext]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost, IP:127.0.0.1, IP:::1
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
"""

EC_KEY = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]


def openssl(*args):
    subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE)


def make_certificates(folder):
    config = os.path.join(folder, "openssl.cnf")
    with open(config, "w") as f:
        f.write(OPENSSL_CONFIG)
    paths = {name: os.path.join(folder, name) for name in
             ("ca.pem", "ca.key", "other-ca.pem", "other-ca.key", "server.pem", "server.key",
              "server.csr")}
    for ca, key, name in (("ca.pem", "ca.key", "Ormelund test CA"),
                          ("other-ca.pem", "other-ca.key", "Unrelated test CA")):
        openssl("req", "-x509", "-config", config, "-extensions", "ca_ext", *EC_KEY,
                "-keyout", paths[key], "-out", paths[ca], "-days", "2", "-subj", "/CN=" + name)
    openssl("req", "-new", "-config", config, *EC_KEY, "-keyout", paths["server.key"],
            "-out", paths["server.csr"], "-subj", "/CN=localhost")
    openssl("x509", "-req", "-in", paths["server.csr"], "-CA", paths["ca.pem"],
            "-CAkey", paths["ca.key"], "-set_serial", "0x" + secrets.token_hex(8),
            "-days", "2", "-extfile", config, "-extensions", "server_ext",
            "-out", paths["server.pem"])
    return paths


class State:
    def __init__(self):
        self.lock = threading.Lock()
        self.routes = {}
        self.counts = {}
        self.user_agents = {}
        self.silent = False
        self.stopping = threading.Event()

    def record(self, path, user_agent):
        with self.lock:
            self.counts[path] = self.counts.get(path, 0) + 1
            self.user_agents[path] = user_agent
            return dict(self.routes.get(path, {}))


def body_of(route):
    if "body_hex" in route:
        return bytes.fromhex(route["body_hex"])
    return route.get("body", "").encode("utf-8")


STATE = State()
NOT_FOUND = {"status": 404, "body": "<html><body><h1>Not found</h1></body></html>"}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def setup(self):
        if self.server.tls is not None:
            if STATE.silent:
                # Accepted, but no TLS and no answer: the client waits for its handshake.
                STATE.stopping.wait(60)
                raise ConnectionAbortedError("silent")
            self.request = self.server.tls.wrap_socket(self.request, server_side=True)
        super().setup()

    def log_message(self, *args):
        pass

    def do_GET(self):
        path = urllib.parse.urlsplit(self.path).path
        route = STATE.record(path, self.headers.get("User-Agent")) or NOT_FOUND
        self.close_connection = True
        if route.get("delay"):
            STATE.stopping.wait(route["delay"])
        mode = route.get("mode", "normal")
        try:
            if mode == "hang":
                STATE.stopping.wait(60)
            elif mode == "big":
                self.send_chunked(body_of(route), route.get("size", 5 * 1024 * 1024))
            else:
                self.send_plain(route)
        except (OSError, ssl.SSLError):
            pass  # the client gave up, as it should for some of these routes

    def send_plain(self, route):
        body = body_of(route)
        self.send_response(route.get("status", 200))
        if "location" in route:
            self.send_header("Location", route["location"])
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)

    def send_chunked(self, body, size):
        """The body, then blanks up to `size` bytes, in chunks of no announced total length."""
        self.send_response(200)
        self.send_header("Transfer-Encoding", "chunked")
        self.send_header("Connection", "close")
        self.end_headers()
        data = body[:size] + b" " * max(0, size - len(body))
        for at in range(0, len(data), 65536):
            chunk = data[at:at + 65536]
            self.wfile.write(b"%x\r\n%s\r\n" % (len(chunk), chunk))
        self.wfile.write(b"0\r\n\r\n")


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, tls):
        self.tls = tls
        super().__init__(("127.0.0.1", 0), Handler)

    def handle_error(self, request, client_address):
        pass  # failed handshakes and aborted transfers are what the tests provoke


def command(line):
    message = json.loads(line)
    cmd = message.get("cmd")
    with STATE.lock:
        if cmd == "set":
            STATE.routes[message["path"]] = {k: v for k, v in message.items()
                                             if k not in ("cmd", "path")}
            return {"ok": True}
        if cmd == "silent":
            STATE.silent = bool(message.get("on"))
            return {"ok": True}
        if cmd == "count":
            return {"count": STATE.counts.get(message["path"], 0),
                    "user_agent": STATE.user_agents.get(message["path"])}
        if cmd == "reset":
            STATE.routes.clear()
            STATE.counts.clear()
            STATE.user_agents.clear()
            STATE.silent = False
            return {"ok": True}
    return {"error": "unknown command"}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    folder = parser.parse_args().dir
    os.makedirs(folder, exist_ok=True)
    paths = make_certificates(folder)

    tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    tls.load_cert_chain(paths["server.pem"], paths["server.key"])
    servers = [Server(tls), Server(None)]
    for server in servers:
        threading.Thread(target=server.serve_forever, daemon=True).start()

    print(json.dumps({"https_port": servers[0].server_address[1],
                      "http_port": servers[1].server_address[1],
                      "ca": paths["ca.pem"], "other_ca": paths["other-ca.pem"]}), flush=True)
    for line in sys.stdin:
        if line.strip():
            try:
                answer = command(line)
            except (ValueError, KeyError) as error:
                answer = {"error": str(error)}
            print(json.dumps(answer), flush=True)

    STATE.stopping.set()
    for server in servers:
        server.shutdown()
        server.server_close()


if __name__ == "__main__":
    main()
