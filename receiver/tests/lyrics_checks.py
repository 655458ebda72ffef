"""Song lengths and lyrics as the shipped receiver serves them, against the
stand-ins' MusicBrainz and LRCLIB, with [lyrics] offset = 0.5: each line of
synced lyrics in lyrics.txt and on /lyrics (headless Chromium) within 0.5 s
of its time, from the report's arrival less the plug-in's one-second check;
the length in now_playing.json, /history.json and history.json; the
overlay's progress bar; plain lyrics whole, an instrumental and a miss as
nothing; a song again from the caches.

    lyrics_checks.py PORT SONG_FOLDER WORK_DIR

Prints one line per failed check and "N passed, M failed"; exits 1 when a
check failed.
"""
import json
import os
import sys
import threading
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..",
                                "tests", "support"))
from browser import Browser  # noqa: E402
from checks import check, plugin_report, summary  # noqa: E402

port, folder, work = int(sys.argv[1]), sys.argv[2], sys.argv[3]
base = "http://127.0.0.1:%d" % port
OFFSET = 0.5
CHECK_DELAY = 1.0
WITHIN = 0.5


def report(title, album="Songs", artist="Lyric Band"):
    """The plug-in's request; returns when it was sent."""
    sent = time.time()
    plugin_report(port, artist, album, title)
    return sent


def get_json(path):
    with urllib.request.urlopen(base + path, timeout=5) as answer:
        return json.loads(answer.read())


def song_file(name):
    try:
        with open(os.path.join(folder, name), encoding="utf-8") as file:
            return json.load(file)
    except (OSError, ValueError):
        return None


def wait_for(test, seconds=10):
    end = time.time() + seconds
    while time.time() < end:
        value = test()
        if value:
            return value
        time.sleep(0.05)
    return test()


class FileWatch:
    """lyrics.txt's contents at each change, with when it was seen."""

    def __init__(self):
        self.seen = []
        self.stop = False
        threading.Thread(target=self.run, daemon=True).start()

    def run(self):
        path = os.path.join(folder, "lyrics.txt")
        while not self.stop:
            try:
                with open(path, encoding="utf-8") as file:
                    text = file.read()
            except OSError:
                text = None
            if text is not None and (not self.seen or self.seen[-1][1] != text):
                self.seen.append((time.time(), text))
            time.sleep(0.02)

    def after(self, start):
        return [(at, text) for at, text in self.seen if at >= start]

    def now(self):
        return self.seen[-1][1] if self.seen else None


# The page's #current and #next at each change, by the browser's clock
# (the same as this one's on this PC).
OBSERVER = """(() => {
  window.seen = [];
  const record = () => window.seen.push([Date.now() / 1000,
      document.getElementById('current').textContent,
      document.getElementById('next').textContent]);
  new MutationObserver(record).observe(document.getElementById('lyrics-box'),
      {childList: true, subtree: true, characterData: true});
  return true;
})()"""


def lines_on_time(name, seen, start, expected):
    """Each expected (time, text) first seen within WITHIN of its time."""
    late, off = [], []
    for due, text in expected:
        at = next((when for when, shown in seen
                   if shown == text and when >= due - 1.5), None)
        if at is not None:
            off.append(at - due)
        if at is None or abs(at - due) > WITHIN:
            late.append((text, round(due - start, 2),
                         None if at is None else round(at - start, 2)))
    print("%s: %s s from each line's time" % (
        name, " ".join("%+.3f" % value for value in off)))
    check(name, [], late)


files = FileWatch()
# Two tabs at once, neither of them slowed down as a tab in the background.
FLAGS = ("--disable-background-timer-throttling",
         "--disable-renderer-backgrounding",
         "--disable-backgrounding-occluded-windows")
with Browser(work, FLAGS) as browser:
    overlay = browser.open(base + "/?overlay=1&progress=1", 800, 400)
    overlay.wait("document.readyState === 'complete'")
    page = browser.open(base + "/lyrics", 800, 300)
    page.wait("document.readyState === 'complete'")
    page.evaluate(OBSERVER)

    # a) Synced lyrics by the length MusicBrainz gave (32.4 s: 32), each
    # line at report - 1 + 0.5 + its time; "[00:05.00][00:09.00]" twice.
    start = report("Synced Song")
    due = [(t - CHECK_DELAY + OFFSET, text) for t, text in (
        (3, "First line"), (5, "Second line, twice"), (7, "Third line"),
        (9, "Second line, twice"))]
    time.sleep(due[-1][0] + 1)
    lines_on_time("synced: lyrics.txt, each line on time", files.after(start),
                  start, [(start + d, text) for d, text in due])
    seen = [(when, current) for when, current, _ in page.evaluate("window.seen")]
    lines_on_time("synced: /lyrics, each line on time", seen, start,
                  [(start + d, text) for d, text in due])
    check("synced: /lyrics shows the next line under the current one",
          True, any(current == "First line" and following == "Second line, twice"
                    for _, current, following in page.evaluate("window.seen")))
    check("synced: lyrics.txt is empty before the first line", [],
          [text for at, text in files.after(start)
           if at < start + due[0][0] - WITHIN and text])
    check("the length: now_playing.json", 32,
          (song_file("now_playing.json") or {}).get("length"))
    check("the length: /history.json", [32, "Synced Song"],
          [get_json("/history.json")[0].get("length"),
           get_json("/history.json")[0].get("title")])
    check("the length: history.json", 32, wait_for(
        lambda: ((song_file("history.json") or [{}])[0]).get("length"), 5))
    fraction = overlay.evaluate(
        "(() => { const bar = document.getElementById('progress');"
        " if (bar.hidden) return -1;"
        " return document.getElementById('progress-fill')"
        ".getBoundingClientRect().width / bar.getBoundingClientRect().width;"
        " })()")
    expected = (time.time() - start + CHECK_DELAY) / 32
    check("progress=1: the bar at the song's time (%.3f of %.3f)"
          % (fraction, expected), True, abs(fraction - expected) < 0.06)
    time.sleep(max(0, start + 17 - time.time()))

    # b) Plain lyrics whole on the page, nothing in lyrics.txt; an
    # instrumental shows nothing.
    report("Plain Song")
    check("plain: /lyrics shows them whole", "Plain words\nover two lines",
          page.wait("document.getElementById('plain').textContent"))
    check("plain: no current line on the page, none in lyrics.txt",
          [True, ""], [page.evaluate("document.getElementById('current')"
                                     ".hidden"), files.now()])
    check("plain: the length", 180, wait_for(
        lambda: (song_file("now_playing.json") or {}).get("length")))
    time.sleep(2)
    report("Instrumental Song")
    check("instrumental: /lyrics shows nothing", [True, ""], page.wait(
        "document.getElementById('lyrics-box').classList.contains('empty')"
        " && document.getElementById('plain').textContent === '' && "
        "[true, document.getElementById('current').textContent]"))
    check("instrumental: lyrics.txt empty", "", files.now())
    time.sleep(2)

    # c) No length (no match of 90 with one): no "length" anywhere, no bar;
    # the lyrics from a search, on time all the same.
    start = report("Search Song")
    time.sleep(4 - CHECK_DELAY + OFFSET + 1)
    lines_on_time("search: lyrics.txt on time", files.after(start), start,
                  [(start + 4 - CHECK_DELAY + OFFSET, "Found by search")])
    check("no length: now_playing.json and /history.json have none",
          [False, False, "Search Song"],
          ["length" in (song_file("now_playing.json") or {"length": 0}),
           "length" in get_json("/history.json")[0],
           get_json("/history.json")[0].get("title")])
    check("no length: no progress bar", True,
          overlay.evaluate("document.getElementById('progress').hidden"))

    # d) Neither a length nor lyrics: nothing shown.
    report("Missing Song")
    time.sleep(2.5)
    check("a miss: nothing on the page, lyrics.txt empty", [True, ""],
          [page.evaluate("document.getElementById('lyrics-box')"
                         ".classList.contains('empty')"), files.now()])

    # e) The first song again: length and lyrics from the caches.
    start = report("Synced Song")
    time.sleep(due[0][0] + 1)
    lines_on_time("from the caches: the first line on time",
                  files.after(start), start, [(start + due[0][0], "First line")])
    check("from the caches: the length", 32,
          (song_file("now_playing.json") or {}).get("length"))
files.stop = True

summary()
