"""Headless Chromium driven over its DevTools pipe, for the pages' tests.

    with Browser(work_dir) as browser:
        page = browser.open("http://127.0.0.1:8080/?overlay=1")
        page.wait("document.readyState === 'complete'")
        width = page.evaluate("document.body.clientWidth")

Commands go to Chromium's fd 3 and answers come from its fd 4, one JSON
message each, ended by a NUL byte (--remote-debugging-pipe): no port, no
WebSocket, nothing but the standard library.
"""
import json
import os
import shutil
import subprocess
import time


class BrowserError(Exception):
    pass


class Page:
    """A tab. Chromium holds at most six connections to one host, and a page
    that follows a stream keeps one: close a page when done with it."""

    def __init__(self, browser, target, session):
        self._browser = browser
        self._target = target
        self._session = session

    @property
    def session(self):
        """Its DevTools session, for Browser.command."""
        return self._session

    def close(self):
        self._browser.command("Target.closeTarget",
                              {"targetId": self._target})

    def evaluate(self, expression):
        """The value of a JavaScript expression; promises are awaited."""
        answer = self._browser.command(
            "Runtime.evaluate",
            {"expression": expression, "returnByValue": True,
             "awaitPromise": True},
            self._session)
        if "exceptionDetails" in answer:
            details = answer["exceptionDetails"]
            text = details.get("exception", {}).get("description") or \
                details.get("text", "")
            raise BrowserError("%s: %s" % (expression, text))
        return answer.get("result", {}).get("value")

    def wait(self, expression, seconds=15):
        """Waits until the expression is truthy; returns its last value."""
        end = time.monotonic() + seconds
        value = None
        while time.monotonic() < end:
            try:
                value = self.evaluate(expression)
            except BrowserError:
                value = None
            if value:
                return value
            time.sleep(0.1)
        return value

    def navigate(self, url):
        self._browser.command("Page.navigate", {"url": url}, self._session)


class Browser:
    def __init__(self, work_dir, flags=()):
        self._profile = os.path.join(work_dir, "chromium-profile")
        shutil.rmtree(self._profile, ignore_errors=True)
        commands_read, self._commands = os.pipe()
        self._answers, answers_write = os.pipe()

        # In the child, after pass_fds has kept 3 and 4: copies first, so
        # that neither end lands on the other's number.
        def pipes():
            commands, answers = os.dup(commands_read), os.dup(answers_write)
            os.dup2(commands, 3)
            os.dup2(answers, 4)
            os.setsid()

        self._process = subprocess.Popen(
            ["chromium", "--headless", "--no-sandbox", "--disable-gpu",
             "--remote-debugging-pipe", "--no-first-run", "--lang=en-US",
             "--disable-background-networking", "--disable-component-update",
             "--disable-sync", "--user-data-dir=" + self._profile,
             "--window-size=1280,720", *flags, "about:blank"],
            pass_fds=(3, 4), preexec_fn=pipes,
            stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(work_dir, "chromium.log"), "ab"))
        os.close(commands_read)
        os.close(answers_write)
        self._buffer = b""
        self._next_id = 0

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        if self._process.poll() is None:
            try:
                os.killpg(self._process.pid, 9)
            except ProcessLookupError:
                pass
        self._process.wait()
        for fd in (self._commands, self._answers):
            try:
                os.close(fd)
            except OSError:
                pass

    def command(self, method, params=None, session=None, seconds=30):
        self._next_id += 1
        message = {"id": self._next_id, "method": method,
                   "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self._commands, json.dumps(message).encode() + b"\0")
        end = time.monotonic() + seconds
        while True:
            while b"\0" not in self._buffer:
                if time.monotonic() > end:
                    raise BrowserError("no answer to " + method)
                chunk = os.read(self._answers, 1 << 16)
                if not chunk:
                    raise BrowserError("Chromium ended")
                self._buffer += chunk
            raw, self._buffer = self._buffer.split(b"\0", 1)
            answer = json.loads(raw)
            if answer.get("id") != self._next_id:
                continue  # an event
            if "error" in answer:
                raise BrowserError("%s: %s" % (method, answer["error"]))
            return answer.get("result", {})

    def open(self, url, width=1280, height=720):
        """A new tab at `url`, with a viewport of its own."""
        target = self.command("Target.createTarget",
                              {"url": "about:blank"})["targetId"]
        session = self.command("Target.attachToTarget",
                               {"targetId": target, "flatten": True})["sessionId"]
        self.command("Emulation.setDeviceMetricsOverride",
                     {"width": width, "height": height,
                      "deviceScaleFactor": 1, "mobile": False}, session)
        page = Page(self, target, session)
        page.navigate(url)
        return page
