#!/usr/bin/python3
"""Loopback stand-ins for the services the receiver sends songs to.

One process, one port per service on 127.0.0.1 (and the same port on ::1
where it is free), every request logged as one JSON line: its time, service,
method, path with query, headers, body, the status answered and the mode.

  stand_ins.py --ports-file FILE --log FILE [--certs DIR] [--port NAME=N]...
               [--icecast-password P] [--shoutcast-password P] [--token T]

Services: musicbrainz (release groups and recordings), coverart, icecast,
shoutcast1, shoutcast2, listenbrainz, webhook, lrclib (synced, plain and
instrumental lyrics, and a miss), hang (takes connections, never answers), tls (the
webhook over TLS, certificate for "localhost" from a test CA), untrusted
(the webhook over TLS, self-signed), elsewhere (on 127.0.0.2: where
redirects point) and control. With --certs the
certificates are made there by openssl: ca.pem, ca.der (the CA to trust),
server.pem, untrusted.pem. FILE gets one NAME=PORT line per service once
all of them listen (shell-sourceable).

The control port switches a service's mode, for one path or all of it:
  GET /mode?service=NAME[&path=/p]&mode=MODE[&seconds=N]
MODE is ok, down, 401, 503, 429, slow, redirect, junk or huge: down reads
the request and closes without an answer; 429 says X-RateLimit-Reset-In: N;
slow answers after N seconds; redirect answers 307 to the same path and
query at elsewhere; junk answers 200 with a page that is no JSON; huge
answers 200 with a JPEG of 8.1 MB. GET /modes lists them.
"""
import argparse
import json
import os
import signal
import socket
import ssl
import subprocess
import sys
import threading
import time
from http.server import ThreadingHTTPServer

from stand_in_services import (MODES, CoverArt, Elsewhere, Icecast, LastFm,
                               ListenBrainz, Lrclib, MusicBrainz, ShoutcastOne,
                               ShoutcastTwo, StandIn, TlsWebhook,
                               UntrustedWebhook, Webhook, stamp)


class State:
    def __init__(self, args):
        self.args = args
        self.lock = threading.Lock()
        self.modes = {}  # (service, path or "") -> (mode, seconds)
        self.last_musicbrainz = None
        self.elsewhere = 0  # its port, once it listens
        self.log = open(args.log, "a", encoding="utf-8")

    def mode(self, service, path):
        with self.lock:
            return self.modes.get((service, path)) or \
                self.modes.get((service, ""), ("ok", 0))

    def write(self, entry):
        line = json.dumps(entry, ensure_ascii=False)
        with self.lock:
            self.log.write(line + "\n")
            self.log.flush()

    def musicbrainz_too_soon(self, now):
        with self.lock:
            soon = self.last_musicbrainz is not None and \
                now - self.last_musicbrainz < 1.0
            self.last_musicbrainz = now
            return soon


class Control(StandIn):
    service = "control"

    def serve(self, path, arrived):
        if path == "/modes":
            with self.state.lock:
                listed = {f"{s}{p}": m for (s, p), m in self.state.modes.items()}
            return self.json(200, listed)
        mode = self.query.get("mode", "")
        if path != "/mode" or mode not in MODES:
            return self.text(400, "GET /mode?service=S[&path=P]&mode=M[&seconds=N]")
        key = (self.query.get("service", ""), self.query.get("path", ""))
        with self.state.lock:
            self.state.modes[key] = (mode, float(self.query.get("seconds", 0)))
        return self.text(200, "ok\n")


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = False
    tls = None

    def finish_request(self, request, client_address):
        if self.tls:
            request.settimeout(10)
            try:
                request = self.tls.wrap_socket(request, server_side=True)
            except (ssl.SSLError, OSError) as problem:
                now = time.time()
                self.RequestHandlerClass.state.write({
                    "time": stamp(now), "t": round(now, 3),
                    "service": self.RequestHandlerClass.service,
                    "method": None, "tls_failure": str(problem)})
                return
        super().finish_request(request, client_address)


class Server6(Server):
    address_family = socket.AF_INET6


def hang(state, port):
    """Takes connections on PORT and never answers; returns the port."""
    listener = socket.create_server(("127.0.0.1", port))
    held = []

    def accept():
        while True:
            connection, _ = listener.accept()
            held.append(connection)
            now = time.time()
            state.write({"time": stamp(now), "t": round(now, 3),
                         "service": "hang", "method": None})
    threading.Thread(target=accept, daemon=True).start()
    return listener.getsockname()[1]


def openssl(*args, cwd):
    subprocess.run(["openssl", *args], cwd=cwd, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_certificates(folder):
    os.makedirs(folder, exist_ok=True)
    if os.path.exists(os.path.join(folder, "untrusted.pem")):
        return
    days, key = ["-days", "30"], ["-newkey", "rsa:2048", "-nodes"]
    openssl("req", "-x509", *key, *days, "-keyout", "ca.key", "-out", "ca.pem",
            "-subj", "/CN=trackwire test CA",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=folder)
    openssl("x509", "-in", "ca.pem", "-outform", "DER", "-out", "ca.der",
            cwd=folder)
    with open(os.path.join(folder, "server.ext"), "w") as ext:
        ext.write("subjectAltName=DNS:localhost,IP:127.0.0.1,IP:::1\n"
                  "basicConstraints=CA:FALSE\n"
                  "keyUsage=critical,digitalSignature,keyEncipherment\n"
                  "extendedKeyUsage=serverAuth\n")
    openssl("req", *key, "-keyout", "server.key", "-out", "server.csr",
            "-subj", "/CN=localhost", cwd=folder)
    openssl("x509", "-req", *days, "-in", "server.csr", "-CA", "ca.pem",
            "-CAkey", "ca.key", "-CAcreateserial", "-extfile", "server.ext",
            "-out", "server.pem", cwd=folder)
    openssl("req", "-x509", *key, *days, "-keyout", "untrusted.key",
            "-out", "untrusted.pem", "-subj", "/CN=localhost",
            "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1", cwd=folder)


def tls_context(folder, name):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(folder, name + ".pem"),
                            os.path.join(folder, name + ".key"))
    return context


def serve(state, handler, port, tls=None, host="127.0.0.1"):
    """Listens on HOST:PORT (0: any free one) and, for 127.0.0.1 where it
    can, the same port on ::1; returns the port."""
    handler = type(handler.__name__, (handler,), {"state": state})
    servers = [Server((host, port), handler)]
    port = servers[0].server_address[1]
    try:
        if host == "127.0.0.1":
            servers.append(Server6(("::1", port), handler))
    except OSError:
        pass
    for server in servers:
        server.tls = tls
        threading.Thread(target=server.serve_forever, daemon=True).start()
    return port


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--ports-file", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--certs")
    parser.add_argument("--port", action="append", default=[],
                        metavar="NAME=N")
    parser.add_argument("--icecast-user", default="source")
    parser.add_argument("--icecast-password", default="hackme")
    parser.add_argument("--shoutcast-password", default="changeme")
    parser.add_argument("--token", default="stand-in-token")
    args = parser.parse_args()
    fixed = {name: int(port) for name, port in
             (item.split("=", 1) for item in args.port)}
    state = State(args)
    services = {"musicbrainz": MusicBrainz, "coverart": CoverArt,
                "icecast": Icecast, "shoutcast1": ShoutcastOne,
                "shoutcast2": ShoutcastTwo, "listenbrainz": ListenBrainz,
                "webhook": Webhook, "lrclib": Lrclib, "lastfm": LastFm,
                "control": Control}
    ports = {name: serve(state, handler, fixed.get(name, 0))
             for name, handler in services.items()}
    ports["hang"] = hang(state, fixed.get("hang", 0))
    ports["elsewhere"] = state.elsewhere = serve(
        state, Elsewhere, fixed.get("elsewhere", 0), host="127.0.0.2")
    if args.certs:
        make_certificates(args.certs)
        ports["tls"] = serve(state, TlsWebhook, fixed.get("tls", 0),
                             tls_context(args.certs, "server"))
        ports["untrusted"] = serve(state, UntrustedWebhook,
                                   fixed.get("untrusted", 0),
                                   tls_context(args.certs, "untrusted"))
    with open(args.ports_file + ".new", "w") as out:
        out.writelines(f"{name}={port}\n" for name, port in ports.items())
    os.replace(args.ports_file + ".new", args.ports_file)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    signal.pause()


if __name__ == "__main__":
    main()
