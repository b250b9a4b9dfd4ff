#!/usr/bin/env python3
"""A TCP relay on loopback that can freeze the connections it carries, as a network that drops
everything without closing anything would.

Usage: freeze_relay.py TARGET_PORT STATE_FOLDER WATCH_PID

It listens on a free port of 127.0.0.1 and forwards every connection to TARGET_PORT there. It
writes its port to STATE_FOLDER/port and its pid to STATE_FOLDER/pid, and the first line of what
each client sends (an HTTP request line) as a line of STATE_FOLDER/requests. On SIGUSR1 the connections
open at that moment freeze: nothing more passes in either direction, and they stay open. Later
connections are forwarded normally. It ends when WATCH_PID ends, or on SIGTERM.
"""

import os
import signal
import socket
import sys
import threading
import time

target_port = int(sys.argv[1])
folder = sys.argv[2]
watch_pid = int(sys.argv[3])

lock = threading.Lock()
open_connections = []  # the state of each connection not frozen yet
frozen_connections = []  # kept, so that their sockets are never closed


def log_request(data):
    line = data.split(b"\r\n", 1)[0].decode("latin-1")
    with lock, open(os.path.join(folder, "requests"), "a") as f:
        f.write(line + "\n")


def pump(source, sink, state, log_first=False):
    try:
        while True:
            data = source.recv(65536)
            if log_first and data:
                log_request(data)
                log_first = False
            if not data or state["frozen"]:
                break
            sink.sendall(data)
    except OSError:
        pass
    if state["frozen"]:
        return  # both sockets stay open and silent
    for s in (source, sink):
        try:
            s.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def serve(client):
    try:
        upstream = socket.create_connection(("127.0.0.1", target_port))
    except OSError:
        client.close()
        return
    state = {"frozen": False, "sockets": (client, upstream)}
    with lock:
        open_connections.append(state)
    threading.Thread(target=pump, args=(client, upstream, state, True), daemon=True).start()
    threading.Thread(target=pump, args=(upstream, client, state), daemon=True).start()


def freeze(*_):
    with lock:
        for state in open_connections:
            state["frozen"] = True
        frozen_connections.extend(open_connections)
        open_connections.clear()


def main():
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    signal.signal(signal.SIGUSR1, freeze)
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))

    def watch():
        while True:
            try:
                os.kill(watch_pid, 0)
            except OSError:
                os._exit(0)
            time.sleep(1)

    threading.Thread(target=watch, daemon=True).start()
    for name, value in (("pid", os.getpid()), ("port", listener.getsockname()[1])):
        with open(os.path.join(folder, name + ".tmp"), "w") as f:
            f.write(str(value))
        os.rename(os.path.join(folder, name + ".tmp"), os.path.join(folder, name))
    while True:
        client, _ = listener.accept()
        serve(client)


main()
