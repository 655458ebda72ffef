"""The overlay as the shipped receiver serves it, in headless Chromium:
long titles stay inside the box, right-to-left text runs right to left,
each switch of the overlay's address, and the song folder's overlay.css,
taken by an open overlay without a reload.

    overlay_checks.py PORT SONG_FOLDER WORK_DIR [TITLE_SHOWN_FIRST]

Prints one line per failed check and "N passed, M failed"; exits 1 when a
check failed.
"""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..",
                                "tests", "support"))
from browser import Browser  # noqa: E402
from checks import check, plugin_report, summary  # noqa: E402

port, folder, work = int(sys.argv[1]), sys.argv[2], sys.argv[3]
base = "http://127.0.0.1:%d" % port


def report(artist, album, title):
    """The plug-in's request, in UTF-8 with the marker that says so."""
    plugin_report(port, artist, album, title, utf8=True)


def shows(page, title):
    """Waits until the page shows `title` and has laid it out."""
    return page.wait("document.getElementById('title').textContent === %s"
                     " && document.fonts.status === 'loaded'"
                     % json_string(title))


def json_string(text):
    import json
    return json.dumps(text)


BOX = "document.getElementById('now-playing').getBoundingClientRect()"
TITLE = "document.getElementById('title')"

with Browser(work) as browser:
    if len(sys.argv) > 4:
        last = browser.open(base + "/?overlay=1", 800, 400)
        check("the simulator's last song on the overlay", sys.argv[4],
              last.wait("document.getElementById('title').textContent"))
        last.close()
    long_title = "Ü" + "x" * 299
    report("Artist", "Album", long_title)
    overlay = browser.open(base + "/?overlay=1", 800, 400)
    shows(overlay, long_title)
    check("a 300-character title without spaces stays inside the box", True,
          overlay.evaluate(
              "(() => { const box = %s, title = %s.getBoundingClientRect();"
              " return title.right <= box.right + 0.5 && box.right <= "
              "innerWidth && title.left >= box.left; })()" % (BOX, TITLE)))
    check("... and is cut to two lines", True, overlay.evaluate(
        "(() => { const t = %s; const line = parseFloat(getComputedStyle(t)"
        ".lineHeight) || 36; return t.clientHeight <= 2 * line + 2 && "
        "t.scrollHeight > t.clientHeight; })()" % TITLE))
    check("the accent bar is drawn inside the box", "inset",
          overlay.evaluate("getComputedStyle(document.getElementById("
                           "'now-playing')).boxShadow.split(' ').pop()"))

    scrolling = browser.open(base + "/?overlay=1&scroll=1", 800, 400)
    shows(scrolling, long_title)
    check("scroll=1: one line that moves", ["scroll-line", True],
          scrolling.wait(
              "(() => { const t = %s; const line = parseFloat("
              "getComputedStyle(t).lineHeight) || 36; return "
              "t.classList.contains('moving') && [getComputedStyle(t)"
              ".animationName, t.clientHeight <= line + 2]; })()" % TITLE))

    arabic = "أغنية الليل"
    report("فيروز", "", arabic)
    shows(overlay, arabic)
    check("an Arabic title runs right to left", "rtl",
          overlay.evaluate("getComputedStyle(%s).direction" % TITLE))
    check("... from the right edge of its line", True, overlay.evaluate(
        "(() => { const t = %s, text = document.createRange();"
        " text.selectNodeContents(t); return t.getBoundingClientRect().right"
        " - text.getBoundingClientRect().right < 2; })()" % TITLE))

    background = ("getComputedStyle(document.getElementById('now-playing'))"
                  ".backgroundColor")
    for theme, expected in (("dark", "rgba(20, 24, 34, 0.85)"),
                            ("light", "rgba(248, 249, 252, 0.94)"),
                            ("clear", "rgba(0, 0, 0, 0)")):
        page = browser.open(base + "/?overlay=1&theme=" + theme, 800, 400)
        shows(page, arabic)
        check("theme=%s: the box's background" % theme, expected,
              page.evaluate(background))
        page.close()
    clear = browser.open(base + "/?overlay=1&theme=clear", 800, 400)
    shows(clear, arabic)
    check("theme=clear: the text has a shadow", True, clear.evaluate(
        "getComputedStyle(%s).textShadow !== 'none'" % TITLE))
    clear.close()

    right = browser.open(base + "/?overlay=1&align=right", 800, 400)
    shows(right, arabic)
    check("align=right: the box at the right edge", True, right.evaluate(
        "Math.abs(innerWidth - %s.right - 24) <= 1" % BOX))
    right.close()
    scrolling.close()

    fixed = browser.open(base + "/?overlay=1&width=600", 800, 400)
    widths = []
    for title in ("Short", "A somewhat longer title than the one before it"):
        report("Artist", "Album", title)
        shows(fixed, title)
        widths.append(fixed.evaluate("%s.width" % BOX))
    check("width=600: the box keeps its size from song to song", [600, 600],
          widths)
    fixed.close()

    display = ("(() => { const c = document.getElementById('cover');"
               " c.hidden = false; return getComputedStyle(c).display; })()")
    with_cover = browser.open(base + "/?overlay=1", 800, 400)
    without = browser.open(base + "/?overlay=1&cover=0", 800, 400)
    with_cover.wait("document.readyState === 'complete'")
    without.wait("document.readyState === 'complete'")
    check("cover=0: no cover even when there is one",
          ["block", "none"],
          [with_cover.evaluate(display), without.evaluate(display)])
    with_cover.close()
    without.close()

    color = "getComputedStyle(%s).color" % TITLE
    styled = browser.open(base + "/?overlay=1", 800, 400)
    shows(styled, "A somewhat longer title than the one before it")
    before = styled.evaluate(color)
    path = os.path.join(folder, "overlay.css")
    with open(path + ".tmp", "w") as style:
        style.write(".title { color: rgb(255, 0, 0); }\n")
    os.replace(path + ".tmp", path)
    check("overlay.css reaches an open overlay without a reload",
          [True, "rgb(255, 0, 0)"],
          [before != "rgb(255, 0, 0)",
           styled.wait("%s === 'rgb(255, 0, 0)' && %s" % (color, color))])
    check("... and a new one", "rgb(255, 0, 0)",
          browser.open(base + "/?overlay=1").wait(
              "%s === 'rgb(255, 0, 0)' && %s" % (color, color)))

summary()
