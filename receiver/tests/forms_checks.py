"""The control page's settings forms as the shipped receiver serves them, in
headless Chromium, opened as the icon opens the page (the key in the
address's fragment): a template changed in its form reaches the file with
every other byte kept and now_playing.txt follows; a file added; a bad value
shows its problem beside its field and is not saved; a secret typed in is
sealed in the file and never comes back to the page; a file edited on disk
meanwhile refuses the save.

    forms_checks.py CONTROL_ADDRESS SONG_FOLDER WORK_DIR

Prints one line per failed check and "N passed, M failed"; exits 1 when a
check failed.
"""
import json
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..",
                                "tests", "support"))
from browser import Browser  # noqa: E402
from checks import check, summary  # noqa: E402

address, folder, work = sys.argv[1], sys.argv[2], sys.argv[3]
settings_file = os.path.join(folder, "trackwire_receiver.ini")


def file_bytes(name):
    try:
        with open(os.path.join(folder, name), "rb") as f:
            return f.read()
    except OSError:
        return None


def wait_for_file(name, expected, seconds=10):
    end = time.monotonic() + seconds
    while time.monotonic() < end and file_bytes(name) != expected:
        time.sleep(0.1)
    return file_bytes(name)


def field(section, key):
    return ("document.querySelector('#settings [data-section=%s]"
            "[data-key=%s]')" % (json.dumps(section), json.dumps(key)))


def type_into(page, section, key, text):
    page.evaluate("(() => { const f = %s; f.value = %s; f.dispatchEvent("
                  "new Event('input')); })()" % (field(section, key),
                                                 json.dumps(text)))


def status(page):
    return page.evaluate(
        "document.getElementById('settings-status').textContent")


def save(page, until):
    page.evaluate("document.getElementById('settings-status').textContent"
                  " = ''; document.getElementById('settings-save').click()")
    return page.wait("(() => { const s = document.getElementById("
                     "'settings-status').textContent; return s.includes(%s)"
                     " && s; })()" % json.dumps(until))


with Browser(work) as browser:
    page = browser.open(address, 1280, 900)
    page.wait(field("file now_playing.txt", "template"))
    # Every answer the page gets, as text, from here on.
    page.evaluate("""(() => { window.answers = []; const fetched = fetch;
      window.fetch = async (...call) => { const response = await fetched(...call);
        window.answers.push(await response.clone().text()); return response; }; })()""")
    check("the page as the icon opens it: the key leaves the address bar",
          "", page.evaluate("location.hash"))
    check("the form shows the file's template", "{artist} - {title}",
          page.evaluate(field("file now_playing.txt", "template") + ".value"))

    before = file_bytes("trackwire_receiver.ini")
    type_into(page, "file now_playing.txt", "template", "{TITLE} by {artist}")
    preview = ("document.querySelector('#settings [data-section=\"file "
               "now_playing.txt\"] .settings-preview').textContent")
    check("the preview follows the template on the current song",
          "SONG TITLE by Artist",
          page.wait("%s === 'SONG TITLE by Artist' && %s" % (preview, preview)))
    save(page, "Saved")
    check("the file holds the new template, every other byte as it was",
          before.replace(b"template = {artist} - {title}",
                         b"template = {TITLE} by {artist}"),
          file_bytes("trackwire_receiver.ini"))
    check("now_playing.txt follows the save", b"SONG TITLE by Artist",
          wait_for_file("now_playing.txt", b"SONG TITLE by Artist"))

    page.evaluate("(() => { const g = document.querySelector("
                  "'[data-adds=file]').parentNode; g.querySelector('input')"
                  ".value = 'title.txt'; g.querySelector('button').click();"
                  " })()")
    page.wait(field("file title.txt", "template"))
    type_into(page, "file title.txt", "template", "{title}")
    save(page, "Saved")
    check("a file added in the form is written", b"Song Title",
          wait_for_file("title.txt", b"Song Title"))

    saved = file_bytes("trackwire_receiver.ini")
    type_into(page, "history", "lines", "lots")
    problem = ("document.querySelector('#settings [data-section=history] "
               "[data-key=lines] .settings-problem')")
    check("a bad value's problem shows beside its field",
          True,
          bool(page.wait("%s && %s.textContent.includes("
                         "'[history]: lines is a number from 0 to 500, not "
                         "\"lots\"')" % (problem, problem))))
    check("... and is not saved", "not saved",
          (save(page, "not saved") or "")[:9])
    check("... the file as it was", saved, file_bytes("trackwire_receiver.ini"))
    type_into(page, "history", "lines", "10")

    secret = "s3cret-pass-" + str(os.getpid())
    page.evaluate("(() => { const w = %s.parentNode; const box = "
                  "w.querySelector('.settings-change input'); box.checked = "
                  "true; box.dispatchEvent(new Event('change')); })()"
                  % field("icecast", "password"))
    type_into(page, "icecast", "password", secret)
    save(page, "Saved")
    written = (file_bytes("trackwire_receiver.ini") or b"").decode("utf-8")
    check("a secret typed in is sealed in the file",
          [True, False],
          ["\r\npassword = dpapi:" in written, secret in written])
    check("... and shows as set", "set", page.evaluate(
        "%s.parentNode.querySelector('.settings-secret').textContent"
        % field("icecast", "password")))
    page.evaluate("document.getElementById('settings-reload').click()")
    time.sleep(1)
    answers = page.evaluate("window.answers")
    check("no answer to the page holds the secret, in clear or sealed",
          [True, False, False],
          [len(answers) >= 4, any(secret in a for a in answers),
           any("dpapi:" in a for a in answers)])

    with open(settings_file, "ab") as f:
        f.write(b"; edited in Notepad meanwhile\r\n")
    edited = file_bytes("trackwire_receiver.ini")
    type_into(page, "idle", "minutes", "5")
    check("a save after the file changed on disk is refused",
          "the file changed on disk; reload",
          save(page, "the file changed on disk"))
    check("... with a reload button", False, page.evaluate(
        "document.getElementById('settings-reload').hidden"))
    check("... and the file as it was edited", edited,
          file_bytes("trackwire_receiver.ini"))

summary()
