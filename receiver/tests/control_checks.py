"""The control page as the shipped receiver serves it, in headless Chromium:
opened at the address the icon opened (the key in its fragment), it shows
the state, sends a test song to the files and the overlay but not the
history, clears the song; a page of another origin (evil.test, on another
loopback port) can neither read nor change anything through any address the
receiver answers on, and a peer that is not on this PC is refused.

    control_checks.py PORT SONG_FOLDER WINDOWS_FOLDER WORK_DIR ADDRESS

ADDRESS is the control page's address as the icon opened it. Prints one line
per failed check and "N passed, M failed"; exits 1 when a check failed.
"""
import http.server
import json
import os
import socket
import sys
import threading
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..",
                                "tests", "support"))
from browser import Browser  # noqa: E402
from checks import check, summary  # noqa: E402

port, folder, windows_folder, work, address = (int(sys.argv[1]), sys.argv[2],
                                                sys.argv[3], sys.argv[4],
                                                sys.argv[5])
key = address.split("#key=", 1)[1]
base = "http://127.0.0.1:%d" % port


def raw(host, head, body=b""):
    """The status of one request to the receiver at `host`."""
    with socket.create_connection((host, port), 5) as connection:
        connection.sendall(head.encode() + b"\r\n\r\n" + body)
        answer = b""
        while b"\r\n" not in answer:
            chunk = connection.recv(4096)
            if not chunk:
                break
            answer += chunk
    return int(answer.split(b" ", 2)[1]) if answer else 0


def report(title):
    raw("127.0.0.1", "GET /set_current_song.php?artist=Artist&album=&title=%s"
        " HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: Winamp Tunebeacon\r\n"
        "Connection: close" % title)


def state():
    request = urllib.request.Request(base + "/control/api/state",
                                     headers={"X-Trackwire-Key": key})
    with urllib.request.urlopen(request, timeout=5) as answer:
        return json.load(answer)


def file_text(name, expected, seconds=5):
    """The song file's text once it is `expected`, or what it is then."""
    end = time.monotonic() + seconds
    while True:
        try:
            with open(os.path.join(folder, name), encoding="utf-8") as f:
                text = f.read()
        except OSError:
            text = None
        if text == expected or time.monotonic() > end:
            return text
        time.sleep(0.1)


def own_ipv4():
    """This machine's first IPv4 address that is not loopback, if any."""
    for probe in ("192.0.2.1", "10.255.255.255"):
        try:
            with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
                s.connect((probe, 9))
                found = s.getsockname()[0]
            if not found.startswith("127."):
                return found
        except OSError:
            pass
    return None


def text(page, element_id):
    return page.evaluate("document.getElementById(%s).textContent"
                         % json.dumps(element_id))


class AttackPage(http.server.SimpleHTTPRequestHandler):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, directory=os.path.dirname(__file__), **kwargs)

    def log_message(self, *args):
        pass


evil = http.server.ThreadingHTTPServer(("127.0.0.1", 0), AttackPage)
threading.Thread(target=evil.serve_forever, daemon=True).start()
ip = own_ipv4()

rules = "MAP evil.test 127.0.0.1, MAP studio-pc 127.0.0.1"
with Browser(work, ["--host-resolver-rules=" + rules]) as browser:
    browser.command("Browser.grantPermissions", {
        "origin": base, "permissions": ["clipboardReadWrite",
                                        "clipboardSanitizedWrite"]})
    page = browser.open(address, 1280, 1000)
    page.wait("document.getElementById('history-list').children.length > 0")
    check("the fragment is gone from the address bar", base + "/control",
          page.evaluate("location.href"))
    check("what it listens on", "0.0.0.0:%d (every address of this PC)" % port,
          text(page, "listen"))
    last = text(page, "last-report")
    check("the last report, when, and from where", [True, True],
          [last.startswith("Artist - Before the page, "),
           last.endswith(", from 127.0.0.1")])
    problems = page.wait(
        "(() => { const items = [...document.querySelectorAll("
        "'#problem-list li')].map((item) => item.textContent);"
        " return items.length === 2 && items; })()") or []
    check("open problems: a settings line, a service that fails",
          [True, True],
          [problems[0].startswith("trackwire_receiver.ini, line 2, [history]: "
                                  "lines is a number from 0 to 500"),
           problems[1].startswith("webhook down cannot be reached: ")]
          if len(problems) == 2 else problems)
    check("each service and how it fares", True, text(
        page, "service-list").startswith("webhook down: failing since "))
    check("each text file's full path",
          [windows_folder + "\\" + name for name in
           ("now_playing.txt", "artist.txt", "album.txt", "title.txt",
            "now_playing.json")],
          page.evaluate("[...document.querySelectorAll('#file-list code')]"
                        ".map((code) => code.textContent)"))

    # The overlay's switches: its address and the preview follow them.
    page.evaluate("""(() => {
        const form = document.getElementById('switches');
        form.theme.value = 'light';
        form.width.value = '640';
        form.cover.checked = false;
        form.dispatchEvent(new Event('input'));
        document.querySelector('input[value=checkered]').click(); })()""")
    overlay = base + "/?overlay=1&theme=light&width=640&cover=0"
    check("the overlay's address for the switches chosen", overlay,
          text(page, "overlay-address"))
    frame = "document.getElementById('overlay-preview').contentDocument"
    check("the preview is the real overlay with those switches", True,
          page.wait("%s.body.matches('.overlay.theme-light.fixed-width."
                    "no-cover')" % frame))
    check("over a checkered backdrop", "preview backdrop-checkered",
          page.evaluate("document.getElementById('preview-box').className"))
    page.evaluate("document.querySelector('[data-copy=overlay-address]')"
                  ".click()")
    check("Copy puts the address on the clipboard", overlay,
          page.wait("document.querySelector('[data-copy=overlay-address]')"
                    ".textContent === 'Copied' && navigator.clipboard"
                    ".readText()"))

    # A test song reaches the files and the overlay, not the history.
    page.evaluate("document.querySelector('#test-song button').click()")
    check("a test song: now_playing.txt", "Les Étoiles - Café",
          file_text("now_playing.txt", "Les Étoiles - Café"))
    check("a test song: the overlay", "Café", page.wait(
        "%s.getElementById('title').textContent === 'Café' && 'Café'" % frame))
    time.sleep(0.5)
    with urllib.request.urlopen(base + "/history.json", timeout=5) as answer:
        history = json.load(answer)
    check("a test song: not in the history", ["Before the page"],
          [song["title"] for song in history])
    with open(os.path.join(folder, "history.json"), encoding="utf-8") as f:
        check("a test song: not in history.json", False, "Café" in f.read())
    check("a test song is no report", "Before the page",
          state()["last_report"]["title"])

    page.evaluate("document.getElementById('clear-song').click()")
    check("Clear the song: now_playing.txt", "", file_text("now_playing.txt", ""))
    check("Clear the song: the state", True,
          page.wait("document.getElementById('now').textContent"
                    ".endsWith('(idle: cleared)')"))
    page.close()

    # Another origin, through every address the receiver answers on.
    report("Before%20the%20attack")
    file_text("now_playing.txt", "Artist - Before the attack")
    targets = [base, "http://localhost:%d" % port, "http://studio-pc:%d" % port]
    if ip:
        targets.append("http://%s:%d" % (ip, port))
    else:
        print("this machine has no IPv4 address but loopback: the control "
              "page through one is not tried")
    attack = browser.open("http://evil.test:%d/control_attack.html?targets=%s"
                          % (evil.server_address[1], ",".join(targets)))
    attack.wait("window.done === true", 30)
    seen = attack.evaluate("window.results")
    for target in targets:
        check("another origin through %s" % target, {
            "fetch": "blocked",
            "fetch with a guessed key": "blocked",
            "no-cors fetch": "opaque",
            "post with a guessed key": "blocked",
            "no-cors post": "opaque",
            "no-cors clear": "opaque",
            "img": "error",
            "script": "error"}, (seen or {}).get(target))
    # Each frame of /control, as its own target: what it holds.
    framed = []
    for target in browser.command("Target.getTargets",
                                  {"filter": [{}]})["targetInfos"]:
        if target["type"] != "iframe" or not target["url"].endswith("/control"):
            continue
        session = browser.command("Target.attachToTarget", {
            "targetId": target["targetId"], "flatten": True})["sessionId"]
        framed.append(browser.command("Runtime.evaluate", {
            "expression": "!!document.getElementById('switches')",
            "returnByValue": True}, session)["result"]["value"])
    check("another origin cannot frame /control", [False] * len(targets),
          framed)
    attack.close()
    check("after the attack: now_playing.txt", "Artist - Before the attack",
          file_text("now_playing.txt", "Artist - Before the attack"))
    after = state()
    check("after the attack: not idle, no song of its own",
          [False, "Before the attack"],
          [after["idle"], after["song"]["title"]])

    # The host check stays, and only this PC gets the page.
    check("another name for this PC's address is refused", 403,
          raw("127.0.0.1", "GET /control HTTP/1.1\r\nHost: evil.test:%d" % port))
    if ip:
        check("a peer not on this PC: no page, no call", [403, 403], [
            raw(ip, "GET /control HTTP/1.1\r\nHost: %s:%d" % (ip, port)),
            raw(ip, "GET /control/api/state HTTP/1.1\r\nHost: %s:%d\r\n"
                "X-Trackwire-Key: %s" % (ip, port, key))])

evil.shutdown()
summary()
