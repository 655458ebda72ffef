#!/usr/bin/python3
"""Questions about a stand_ins.py log, for the test scripts.

  stand_in_log.py LOG count FILTER         how many requests FILTER holds for
  stand_in_log.py LOG show FILTER VALUE    VALUE of each such request, a line
                                           each (a tuple's items joined by |)

FILTER and VALUE are Python expressions over r (the logged entry), q (its
query), h (its headers, by lower-case name) and j (its body as JSON, or None).
"""
import base64  # noqa: F401 (for expressions)
import json
import sys


def entries(path):
    with open(path, encoding="utf-8") as log:
        for line in log:
            if not line.strip():
                continue
            r = json.loads(line)
            try:
                j = json.loads(r.get("body") or "null")
            except ValueError:
                j = None
            yield {"r": r, "q": r.get("query") or {},
                   "h": r.get("headers") or {}, "j": j, "json": json,
                   "base64": base64}


def value(expression, names):
    try:
        found = eval(expression, {}, names)
    except Exception as problem:  # a missing field is an answer too
        return f"({type(problem).__name__}: {problem})"
    if isinstance(found, tuple):
        return "|".join(str(item) for item in found)
    return str(found)


def main():
    path, command, where = sys.argv[1:4]
    matching = [names for names in entries(path)
                if value(where, names) == "True"]
    if command == "count":
        print(len(matching))
    else:
        for names in matching:
            print(value(sys.argv[4], names))


if __name__ == "__main__":
    main()
