"""The services' answers, one request handler class each, for stand_ins.py."""
import base64
import datetime
import hashlib
import json
import re
import struct
import time
import urllib.parse
import zlib
from http.server import BaseHTTPRequestHandler


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
    ("Air", "Moon Safari", [("b8aef8a5-0006-4a9b-9b3a-000000000006", 100)],
     "jpeg"),
    ("Massive Attack", "Mezzanine",
     [("b8aef8a5-0007-4a9b-9b3a-000000000007", 100)], "png"),
    ("Portishead", "Dummy", [("b8aef8a5-0008-4a9b-9b3a-000000000008", 100)],
     "jpeg"),
]
# Recordings by artist and title: (score, length in ms or None) each.
RECORDINGS = {
    ("Lyric Band", "Synced Song"): [(100, 32400), (100, 999000)],
    ("Lyric Band", "Plain Song"): [(95, 180000)],
    ("Lyric Band", "Instrumental Song"): [(100, 150000)],
    ("Lyric Band", "Search Song"): [(80, 200000), (100, None)],
}
# LRCLIB's tracks: artist, title, album, duration (s), synced, plain,
# instrumental.
LRC = ("[ar:Lyric Band]\n[ti:Synced Song]\n[offset:+0]\n"
       "[00:03.00]First line\n[00:05.00][00:09.00]Second line, twice\n"
       "[00:07.00]Third line\n")
TRACKS = [
    ("Lyric Band", "Synced Song", "Songs", 32, LRC, "First line\n...", False),
    ("Lyric Band", "Plain Song", "Songs", 180, None,
     "Plain words\nover two lines", False),
    ("Lyric Band", "Instrumental Song", "Songs", 150, None, None, True),
    ("Lyric Band", "Search Song", "Other Album", 200,
     "[00:04.00]Found by search\n", "Found by search", False),
    ("Someone Else", "Search Song", "Songs", 200, "[00:01.00]Wrong one\n",
     None, False),
]
MODES = ("ok", "down", "401", "503", "429", "slow", "redirect", "junk", "huge",
         "error9", "error11")
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
        elif mode == "redirect":
            status, body = 307, b""
            headers = {"Location": f"http://127.0.0.2:{self.state.elsewhere}"
                                   f"{self.path}"}
        elif mode == "junk":
            status, headers = 200, {"Content-Type": "text/html"}
            body = b"<html><body>Down for maintenance</body></html>"
        elif mode == "huge":
            status, headers = 200, {"Content-Type": "image/jpeg"}
            body = JPEG[:2] + bytes(8 * 1024 * 1024 + 100 * 1024)
        elif mode in ("401", "503", "429"):
            status, headers, body = int(mode), {}, b'{"error":"stand-in mode"}'
            if mode == "429":
                headers["X-RateLimit-Reset-In"] = str(int(seconds or 2))
            if mode == "401":
                headers["WWW-Authenticate"] = 'Basic realm="stand-in"'
        else:
            status, headers, body = self.serve(url.path, arrived)
        if status is not None:
            try:
                self.send_response(status)
                for name, value in headers.items():
                    self.send_header(name, value)
                if status != 204:
                    self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                if self.command != "HEAD" and status != 204:
                    self.wfile.write(body)
            except OSError:  # the client let go before the end
                self.close_connection = True
        self.state.write({
            "time": stamp(arrived), "t": round(arrived, 3),
            "service": self.service, "method": self.command,
            "path": self.path, "query": self.query,
            "headers": self.header_fields(),
            "body": self.body.decode("utf-8", "replace"),
            "status": status, "mode": mode})

    def header_fields(self):
        """The request's headers by lower-case name, repeats joined by ", "."""
        fields = {}
        for name, value in self.headers.items():
            name = name.lower()
            fields[name] = fields[name] + ", " + value if name in fields else value
        return fields

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


def lucene_phrase(text):
    return re.sub(r"\\(.)", r"\1", text).casefold().strip()


class MusicBrainz(StandIn):
    service = "musicbrainz"
    lucene = re.compile(r'artist:"((?:[^"\\]|\\.)*)" AND '
                        r'releasegroup:"((?:[^"\\]|\\.)*)"$')
    phrase = r'"((?:[^"\\]|\\.)*)"'
    recording = re.compile(rf'artist:{phrase} AND recording:{phrase}'
                           rf'(?: AND release:{phrase})?$')

    def serve(self, path, arrived):
        if self.state.musicbrainz_too_soon(arrived):
            return self.json(503, {"error": "Your requests are exceeding the "
                                            "allowable rate limit."})
        if not self.headers.get("User-Agent"):
            return self.json(403, {"error": "no User-Agent"})
        if path.rstrip("/") == "/ws/2/recording":
            return self.recordings(arrived)
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

    def recordings(self, arrived):
        match = self.recording.match(self.query.get("query", ""))
        if (not match or self.query.get("fmt") != "json"
                or self.query.get("limit") != "5"):
            return self.json(400, {"error": "bad query"})
        artist, title = (lucene_phrase(part) for part in match.groups()[:2])
        found = []
        for (name, song), scores in RECORDINGS.items():
            if (name.casefold(), song.casefold()) == (artist, title):
                for score, length in scores:
                    item = {"id": "b8aef8a5-0100-4a9b-9b3a-000000000100",
                            "score": score, "title": song}
                    if length is not None:
                        item["length"] = length
                    found.append(item)
        return self.json(200, {"created": stamp(arrived), "count": len(found),
                               "offset": 0, "recordings": found})


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
    if len(payload) > 1000:  # ListenBrainz's own limits
        return "Too many listens. You may not submit more than 1000 at once."
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
        if len(json.dumps(item).encode()) > 10240:
            return "JSON document is too large."
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
        if len(self.body) > 10240000:
            problem = "Payload too large."
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


def track(number, entry):
    artist, title, album, duration, synced, plain, instrumental = entry
    return {"id": number, "trackName": title, "artistName": artist,
            "albumName": album, "duration": float(duration),
            "instrumental": instrumental, "plainLyrics": plain,
            "syncedLyrics": synced}


class Lrclib(StandIn):
    """/api/get matches the artist, title and album exactly and the duration
    within 2 s; /api/search the artist and title in any case."""
    service = "lrclib"

    def serve(self, path, arrived):
        q = self.query
        if path == "/api/get":
            if not q.get("artist_name") or not q.get("track_name"):
                return self.json(400, {"code": 400, "name": "BadRequest"})
            for number, entry in enumerate(TRACKS, 1):
                artist, title, album, duration = entry[:4]
                if (artist, title) == (q["artist_name"], q["track_name"]) and \
                        q.get("album_name", album) == album and \
                        abs(float(q.get("duration", duration)) - duration) <= 2:
                    return self.json(200, track(number, entry))
            return self.json(404, {"code": 404, "name": "TrackNotFound",
                                   "message": "Failed to find specified track"})
        if path == "/api/search":
            wanted = (q.get("artist_name", "").casefold(),
                      q.get("track_name", "").casefold())
            return self.json(200, [
                track(number, entry) for number, entry in enumerate(TRACKS, 1)
                if entry[1].casefold() == wanted[1]])
        return self.json(404, {"code": 404, "name": "NotFound"})


class Elsewhere(StandIn):
    """Where redirects point: another host, so nothing secret may come."""
    service = "elsewhere"

    def serve(self, path, arrived):
        return self.text(200, "ok\n")


class LastFm(StandIn):
    """Scrobbling 2.0 as Last.fm documents it, with the key "test-key" and
    the secret "test-secret": the signature checked, the desktop
    authentication (a token is allowed by a GET of /api/auth/), playing now
    and scrobbles of at most 50. Modes error9 and error11 answer those
    errors. The parameters are logged as the query."""
    service = "lastfm"
    tokens = {}  # token -> allowed
    session = "stand-in-session-0123456789abcdef"

    def error(self, code, status=403):
        return self.json(status, {"error": code, "message": f"stand-in {code}"})

    def serve(self, path, arrived):
        if path == "/api/auth/":
            if self.query.get("api_key") == "test-key" and \
                    self.query.get("token") in self.tokens:
                self.tokens[self.query["token"]] = True
                return self.text(200, "<p>Allowed</p>", "text/html")
            return self.text(400, "no such token", "text/html")
        if path != "/2.0/":
            return self.text(404, "Not Found")
        if self.command == "POST":
            if not self.headers.get("Content-Type", "").startswith(
                    "application/x-www-form-urlencoded"):
                return self.error(6, 400)
            self.query = dict(urllib.parse.parse_qsl(
                self.body.decode("utf-8"), keep_blank_values=True))
        params = self.query
        signed = "".join(name + value for name, value in sorted(params.items())
                         if name not in ("format", "callback", "api_sig"))
        signature = hashlib.md5((signed + "test-secret").encode()).hexdigest()
        if params.get("api_key") != "test-key":
            return self.error(10)
        if params.get("api_sig") != signature or params.get("format") != "json":
            return self.error(13, 401)
        mode = self.state.mode(self.service, "")[0]
        if mode == "error11":
            return self.error(11, 503)
        method = params.get("method")
        if method == "auth.getToken":
            token = f"token{len(self.tokens)}"
            self.tokens[token] = False
            return self.json(200, {"token": token})
        if method == "auth.getSession":
            if not self.tokens.get(params.get("token")):
                return self.error(14)
            return self.json(200, {"session": {"name": "stand-in",
                                               "key": self.session,
                                               "subscriber": 0}})
        if self.command != "POST":
            return self.error(3, 400)
        if mode == "error9" or params.get("sk") != self.session:
            return self.error(9)
        if method == "track.updateNowPlaying" and params.get("artist") and \
                params.get("track"):
            return self.json(200, {"nowplaying": {"track": {"#text": params["track"]}}})
        if method == "track.scrobble":
            count = sum(1 for name in params if name.startswith("timestamp["))
            if not 1 <= count <= 50 or any(
                    not params.get(f"{field}[{i}]") for i in range(count)
                    for field in ("artist", "track", "timestamp")):
                return self.error(6, 400)
            return self.json(200, {"scrobbles": {"@attr": {
                "accepted": count, "ignored": 0}}})
        return self.error(6, 400)
