#!/usr/bin/python3
"""Loopback stand-ins for the services the receiver sends songs to.

One process, one port per service on 127.0.0.1 (and the same port on ::1
where it is free), every request logged as one JSON line: its time, service,
method, path with query, headers, body, the status answered and the mode.

  stand_ins.py --ports-file FILE --log FILE [--certs DIR] [--port NAME=N]...
               [--icecast-password P] [--shoutcast-password P] [--token T]

Services: musicbrainz, coverart, icecast, shoutcast1, shoutcast2,
listenbrainz, webhook, hang (takes connections, never answers), tls (the
webhook over TLS, certificate for "localhost" from a test CA), untrusted
(the webhook over TLS, self-signed) and control. With --certs the
certificates are made there by openssl: ca.pem, ca.der (the CA to trust),
server.pem, untrusted.pem. FILE gets one NAME=PORT line per service once
all of them listen (shell-sourceable).

The control port switches a service's mode, for one path or all of it:
  GET /mode?service=NAME[&path=/p]&mode=ok|down|401|503|429|slow[&seconds=N]
down reads the request and closes without an answer; 429 says
X-RateLimit-Reset-In: N; slow answers after N seconds. GET /modes lists them.
"""
import argparse
import base64
import datetime
import json
import os
import re
import signal
import socket
import ssl
import struct
import subprocess
import sys
import threading
import time
import urllib.parse
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

# artist, album -> release groups (MBID, score) and the image Cover Art has.
TABLE = [
    ("Daft Punk", "Discovery",
     [("b8aef8a5-0001-4a9b-9b3a-000000000001", 100),
      ("b8aef8a5-0001-4a9b-9b3a-0000000000ff", 55)], "jpeg"),
    ("Björk", "Homogenic", [("b8aef8a5-0002-4a9b-9b3a-000000000002", 100)],
     "png"),
    ('The "Quoted" Band', "Back\\Slash", [
        ("b8aef8a5-0003-4a9b-9b3a-000000000003", 95)], "jpeg"),
    ("Sigur Rós", "Takk", [("b8aef8a5-0004-4a9b-9b3a-000000000004", 70)],
     "jpeg"),
    ("Nobody", "Artless", [("b8aef8a5-0005-4a9b-9b3a-000000000005", 100)],
     None),
]
IMAGES = {mbid: kind for _, _, groups, kind in TABLE for mbid, _ in groups
          if kind}
JPEG = base64.b64decode(
    "/9j/4AAQSkZJRgABAQAAAQABAAD/2wBDAAYEBQYFBAYGBQYHBwYIChAKCgkJChQODwwQFxQY"
    "GBcUFhYaHSUfGhsjHBYWICwgIyYnKSopGR8tMC0oMCUoKSj/2wBDAQcHBwoIChMKChMoGhYa"
    "KCgoKCgoKCgoKCgoKCgoKCgoKCgoKCgoKCgoKCgoKCgoKCgoKCgoKCgoKCgoKCgoKCj/wAAR"
    "CAAEAAQDASIAAhEBAxEB/8QAFQABAQAAAAAAAAAAAAAAAAAAAAb/xAAUEAEAAAAAAAAAAAAA"
    "AAAAAAAA/8QAFQEBAQAAAAAAAAAAAAAAAAAABgf/xAAUEQEAAAAAAAAAAAAAAAAAAAAA/9oA"
    "DAMBAAIRAxEAPwCLAGlTf//Z")


def image(mbid):
    """A small real image of its kind, with the MBID in a comment."""
    note = mbid.encode()
    if IMAGES[mbid] == "jpeg":  # a COM segment right after SOI
        return JPEG[:2] + b"\xff\xfe" + struct.pack(">H", len(note) + 2) + \
            note + JPEG[2:]

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + \
            struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\x00" + b"\x20\x60\xc0" * 4 for _ in range(4))
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", 4, 4, 8, 2, 0, 0, 0))
            + chunk(b"tEXt", b"Comment\x00" + note)
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


class State:
    def __init__(self, args):
        self.args = args
        self.lock = threading.Lock()
        self.modes = {}  # (service, path or "") -> (mode, seconds)
        self.last_musicbrainz = None
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


def stamp(now):
    moment = datetime.datetime.fromtimestamp(now, datetime.timezone.utc)
    return moment.strftime("%Y-%m-%dT%H:%M:%S.") + \
        f"{moment.microsecond // 1000:03d}Z"


def basic(user, password):
    pair = f"{user}:{password}".encode()
    return "Basic " + base64.b64encode(pair).decode()


class StandIn(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    timeout = 30
    service = "?"
    state = None

    def log_message(self, *_):
        pass

    def do_any(self):
        arrived = time.time()
        url = urllib.parse.urlsplit(self.path)
        self.query = dict(urllib.parse.parse_qsl(
            url.query, keep_blank_values=True, errors="replace"))
        length = int(self.headers.get("Content-Length") or 0)
        self.body = self.rfile.read(length) if length else b""
        mode, seconds = self.state.mode(self.service, url.path)
        if mode == "slow":
            time.sleep(seconds or 20)
        if mode == "down":
            status, headers, body = None, {}, b""
            self.close_connection = True
        elif mode in ("401", "503", "429"):
            status, headers, body = int(mode), {}, b'{"error":"stand-in mode"}'
            if mode == "429":
                headers["X-RateLimit-Reset-In"] = str(int(seconds or 2))
            if mode == "401":
                headers["WWW-Authenticate"] = 'Basic realm="stand-in"'
        else:
            status, headers, body = self.serve(url.path, arrived)
        if status is not None:
            self.send_response(status)
            for name, value in headers.items():
                self.send_header(name, value)
            if status != 204:
                self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            if self.command != "HEAD" and status != 204:
                self.wfile.write(body)
        self.state.write({
            "time": stamp(arrived), "t": round(arrived, 3),
            "service": self.service, "method": self.command,
            "path": self.path, "query": self.query,
            "headers": {k.lower(): v for k, v in self.headers.items()},
            "body": self.body.decode("utf-8", "replace"),
            "status": status, "mode": mode})

    do_GET = do_POST = do_PUT = do_PATCH = do_DELETE = do_HEAD = do_any

    def authorized(self, expected):
        return self.headers.get("Authorization") == expected

    @staticmethod
    def text(status, body, kind="text/plain; charset=utf-8"):
        return status, {"Content-Type": kind}, body.encode()

    @staticmethod
    def json(status, value):
        return status, {"Content-Type": "application/json"}, \
            json.dumps(value).encode()


class MusicBrainz(StandIn):
    service = "musicbrainz"
    lucene = re.compile(r'artist:"((?:[^"\\]|\\.)*)" AND '
                        r'releasegroup:"((?:[^"\\]|\\.)*)"$')

    def serve(self, path, arrived):
        if self.state.musicbrainz_too_soon(arrived):
            return self.json(503, {"error": "Your requests are exceeding the "
                                            "allowable rate limit."})
        if not self.headers.get("User-Agent"):
            return self.json(403, {"error": "no User-Agent"})
        if path.rstrip("/") != "/ws/2/release-group":
            return self.json(404, {"error": "Not Found"})
        match = self.lucene.match(self.query.get("query", ""))
        if (not match or self.query.get("fmt") != "json"
                or self.query.get("limit") != "3"):
            return self.json(400, {"error": "bad query"})
        artist, album = (re.sub(r"\\(.)", r"\1", part).casefold().strip()
                         for part in match.groups())
        groups = []
        for name, title, found, _ in TABLE:
            if (name.casefold(), title.casefold()) == (artist, album):
                groups = [{"id": mbid, "type": "Album", "score": score,
                           "title": title,
                           "artist-credit": [{"name": name}]}
                          for mbid, score in found]
        return self.json(200, {"created": stamp(arrived), "count": len(groups),
                               "offset": 0, "release-groups": groups})


class CoverArt(StandIn):
    service = "coverart"

    def serve(self, path, arrived):
        parts = path.strip("/").split("/")
        if len(parts) == 3 and parts[0] == "release-group" and \
                parts[2] in ("front", "front-250", "front-500", "front-1200"):
            if parts[1] not in IMAGES:
                return self.text(404, "Not Found")
            host = self.headers.get("Host", "127.0.0.1")
            return 307, {"Location": f"http://{host}/images/{parts[1]}.jpg"}, b""
        if len(parts) == 2 and parts[0] == "images":
            mbid = parts[1].removesuffix(".jpg")
            if mbid in IMAGES:
                return 200, {"Content-Type": "image/" + IMAGES[mbid]}, \
                    image(mbid)
        return self.text(404, "Not Found")


class Icecast(StandIn):
    service = "icecast"

    def serve(self, path, arrived):
        args = self.state.args
        if not self.authorized(basic(args.icecast_user, args.icecast_password)):
            return 401, {"WWW-Authenticate": 'Basic realm="Icecast2 Server"'}, \
                b"You need to authenticate\r\n"
        if path != "/admin/metadata":
            return self.text(404, "Not Found")
        raw = dict(urllib.parse.parse_qsl(urllib.parse.urlsplit(
            self.path).query, keep_blank_values=True, encoding="latin-1"))
        try:
            raw.get("song", "").encode("latin-1").decode("utf-8")
        except UnicodeDecodeError:
            return self.text(400, "song is not UTF-8")
        query = self.query
        if query.get("mode") != "updinfo" or not query.get("mount", "") \
                .startswith("/") or "song" not in query:
            return self.text(400, "Missing parameter")
        if query.get("charset") != "UTF-8":
            return self.text(400, "charset must be UTF-8 here")
        return self.text(200, '<?xml version="1.0"?>\n<iceresponse><message>'
                              'Metadata update successful</message><return>1'
                              '</return></iceresponse>\n', "text/xml")


class ShoutcastOne(StandIn):
    service = "shoutcast1"

    def serve(self, path, arrived):
        if path != "/admin.cgi":
            return self.text(404, "Not Found")
        if self.query.get("pass") != self.state.args.shoutcast_password:
            return self.text(401, "Invalid password", "text/html")
        if self.query.get("mode") != "updinfo" or "song" not in self.query:
            return self.text(400, "Bad request", "text/html")
        return self.text(200, "<html><body>OK</body></html>", "text/html")


class ShoutcastTwo(StandIn):
    service = "shoutcast2"

    def serve(self, path, arrived):
        if path != "/admin.cgi":
            return self.text(404, "Not Found")
        if not self.authorized(basic("admin", self.state.args.shoutcast_password)):
            return 401, {"WWW-Authenticate": 'Basic realm="Shoutcast Server"'}, \
                b"Unauthorized"
        if not self.query.get("sid", "").isdigit() or \
                self.query.get("mode") != "updinfo" or "song" not in self.query:
            return self.text(400, "Bad request", "text/html")
        return self.text(200, "<html><body>OK</body></html>", "text/html")


def listens_problem(doc):
    """What is wrong with a submit-listens body, or None."""
    if not isinstance(doc, dict):
        return "not a JSON object"
    kind, payload = doc.get("listen_type"), doc.get("payload")
    if kind not in ("playing_now", "single", "import"):
        return "listen_type must be playing_now, single or import"
    if not isinstance(payload, list) or not payload or \
            (kind != "import" and len(payload) != 1):
        return "payload must be a list of one listen"
    for item in payload:
        meta = item.get("track_metadata") if isinstance(item, dict) else None
        if not isinstance(meta, dict):
            return "track_metadata missing"
        for key in ("artist_name", "track_name"):
            if not isinstance(meta.get(key), str) or not meta[key]:
                return f"{key} missing"
        if "release_name" in meta and not isinstance(meta["release_name"], str):
            return "release_name must be a string"
        stamped = isinstance(item.get("listened_at"), int)
        if kind == "playing_now" and "listened_at" in item:
            return "playing_now takes no listened_at"
        if kind != "playing_now" and not stamped:
            return "listened_at missing"
    return None


class ListenBrainz(StandIn):
    service = "listenbrainz"

    def serve(self, path, arrived):
        if path != "/1/submit-listens" or self.command != "POST":
            return self.json(404, {"code": 404, "error": "Not found"})
        if not self.authorized("Token " + self.state.args.token):
            return self.json(401, {"code": 401, "error": "Invalid authorization"})
        try:
            problem = listens_problem(json.loads(self.body))
        except ValueError:
            problem = "body is not JSON"
        if problem:
            return self.json(400, {"code": 400, "error": problem})
        return self.json(200, {"status": "ok"})


class Webhook(StandIn):
    service = "webhook"

    def serve(self, path, arrived):
        if self.body:
            try:
                json.loads(self.body)
            except ValueError:
                return self.text(400, "body is not JSON")
        return 204, {}, b""


class TlsWebhook(Webhook):
    service = "tls"


class UntrustedWebhook(Webhook):
    service = "untrusted"


class Control(StandIn):
    service = "control"

    def serve(self, path, arrived):
        if path == "/modes":
            with self.state.lock:
                listed = {f"{s}{p}": m for (s, p), m in self.state.modes.items()}
            return self.json(200, listed)
        mode = self.query.get("mode", "")
        if path != "/mode" or mode not in ("ok", "down", "401", "503", "429",
                                           "slow"):
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


def serve(state, handler, port, tls=None):
    """Listens on 127.0.0.1:PORT (0: any free one) and, where it can, the
    same port on ::1; returns the port."""
    handler = type(handler.__name__, (handler,), {"state": state})
    servers = [Server(("127.0.0.1", port), handler)]
    port = servers[0].server_address[1]
    try:
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
                "webhook": Webhook, "control": Control}
    ports = {name: serve(state, handler, fixed.get(name, 0))
             for name, handler in services.items()}
    ports["hang"] = hang(state, fixed.get("hang", 0))
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
