"""What the Python check scripts of the receiver's Wine tests share: the
checks' tally and the plug-in's request."""
import socket
import sys
import urllib.parse

results = {"passed": 0, "failed": 0}


def check(name, expected, actual):
    """One check: counted, and printed when it failed."""
    if expected == actual:
        results["passed"] += 1
    else:
        results["failed"] += 1
        print("FAILED %s\n  expected: %r\n  actual:   %r" % (name, expected,
                                                             actual))


def summary():
    """Prints "N passed, M failed" and ends: 1 when a check failed."""
    print("%d passed, %d failed" % (results["passed"], results["failed"]))
    sys.exit(1 if results["failed"] else 0)


def plugin_report(port, artist, album, title, utf8=False):
    """The plug-in's request to the receiver on `port`; with `utf8`, the
    marker that says its values are UTF-8."""
    query = "&".join("%s=%s" % (name, urllib.parse.quote(value, safe=""))
                     for name, value in (("artist", artist), ("album", album),
                                         ("title", title)))
    if utf8:
        query = "charset=utf-8&" + query
    with socket.create_connection(("127.0.0.1", port), 5) as connection:
        connection.sendall(("GET /set_current_song.php?%s HTTP/1.1\r\n"
                            "Host: 127.0.0.1\r\nUser-Agent: Winamp Tunebeacon"
                            "\r\n\r\n" % query).encode())
        connection.recv(1024)
