#!/usr/bin/env python3
"""Reads the published results site as a visitor's browser renders it.

Starts chromedriver with headless Chromium, loads the index from the web server,
reads the results table from the DOM, clicks the maximum-write header and reads the
order again. Prints one line per check ("ok NAME" or "FAIL NAME: why") and exits 1
when any failed. WebDriver is spoken with the standard library only.

Usage: site_check.py URL --rows N --names NAME... [--screenshot FILE.png]
"""
import argparse
import base64
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

# A new profile, no sandbox (the stage runs as root) and no traffic of Chromium's own:
# this machine's network is closed, and those connections would only be refused.
CHROMIUM_ARGS = [
    "--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--window-size=1400,900",
]

# The rendered table: its header keys and, per row, its data-name and cell texts.
READ_TABLE = """
const table = document.getElementById('results');
if (!table) return null;
const keys = [...table.querySelectorAll('thead th')].map(th => th.dataset.key || '');
const rows = [...table.querySelectorAll('tbody tr')].map(tr => ({
    name: tr.dataset.name || '',
    cells: [...tr.querySelectorAll('td')].map(td => td.textContent.trim())}));
return {keys, rows};
"""


class Driver:
    def __init__(self, port):
        self.base = f"http://127.0.0.1:{port}"
        self.session = None

    def call(self, method, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(self.base + path, data=data, method=method,
                                         headers={"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(request, timeout=60) as answer:
                return json.load(answer)["value"]
        except urllib.error.HTTPError as error:
            raise RuntimeError(f"{method} {path}: {error.read().decode(errors='replace')[:300]}")

    def start(self, profile):
        options = {"binary": shutil.which("chromium") or "/usr/bin/chromium",
                   "args": CHROMIUM_ARGS + [f"--user-data-dir={profile}"]}
        value = self.call("POST", "/session", {"capabilities": {"alwaysMatch": {
            "browserName": "chrome", "goog:chromeOptions": options}}})
        self.session = value["sessionId"]

    def s(self, path, body=None, method="POST"):
        return self.call(method, f"/session/{self.session}{path}", body)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(port, process):
    for _ in range(100):
        if process.poll() is not None:
            raise RuntimeError("chromedriver ended at start")
        try:
            socket.create_connection(("127.0.0.1", port), timeout=0.2).close()
            return
        except OSError:
            time.sleep(0.1)
    raise RuntimeError("chromedriver did not listen")


def number(text):
    """The figure a cell shows (its first number), or None for an empty cell."""
    match = re.search(r"-?\d+(?:[.,]\d+)?", text.replace(",", ""))
    return float(match.group()) if match else None


class Checks:
    failed = 0

    def check(self, name, good, why=""):
        print(f"ok   {name}" if good else f"FAIL {name}: {why}")
        self.failed += 0 if good else 1


def check_site(driver, args, checks):
    driver.s("/url", {"url": args.url})
    table = driver.s("/execute/sync", {"script": READ_TABLE, "args": []})
    checks.check("the index has a results table", table is not None, "no #results")
    if table is None:
        return
    rows = table["rows"]
    checks.check(f"the table shows {args.rows} rows", len(rows) == args.rows, f"{len(rows)} rows")
    text = " ".join(" ".join(row["cells"]) for row in rows)
    for name in args.names:
        checks.check(f"the table lists {name}", name in text, text[:300])
    keys = table["keys"]
    checks.check("the table has a maximum-write column", "maxwrite" in keys, str(keys))
    if "maxwrite" not in keys:
        return
    column = keys.index("maxwrite")
    header = driver.s("/element", {"using": "css selector",
                                   "value": "#results thead th[data-key='maxwrite']"})
    orders = []
    for _ in range(2):  # one click sorts, the second turns the order round
        # The reference's one key is the W3C element identifier.
        driver.s(f"/element/{next(iter(header.values()))}/click", {})
        after = driver.s("/execute/sync", {"script": READ_TABLE, "args": []})["rows"]
        orders.append([number(row["cells"][column]) for row in after])
    figures = [v for v in orders[0] if v is not None]
    checks.check("the maximum write figures are numbers", len(figures) == args.rows, str(orders[0]))
    ascending, descending = sorted(figures), sorted(figures, reverse=True)
    checks.check("a click sorts by maximum write", figures in (ascending, descending), str(figures))
    checks.check("a second click turns the order round", orders[1] == orders[0][::-1],
                 f"{orders[0]} then {orders[1]}")
    checks.check("the sort kept every row", sorted(map(str, orders[0])) == sorted(
        map(str, orders[1])), "rows changed")
    check_markup(driver, args, checks)
    if args.screenshot:
        with open(args.screenshot, "wb") as png:
            png.write(base64.b64decode(driver.s("/screenshot", method="GET")))
    check_compare(driver, args, checks)


# Text from an upload shows as text: a device named like markup adds no element and
# runs nothing.
NO_MARKUP = """
return {title: document.title,
        foreign: document.querySelectorAll('#results tbody img, #results tbody script').length};
"""


def check_markup(driver, args, checks):
    if not args.markup:
        return
    page = driver.s("/execute/sync", {"script": NO_MARKUP, "args": []})
    text = " ".join(" ".join(row["cells"]) for row in driver.s(
        "/execute/sync", {"script": READ_TABLE, "args": []})["rows"])
    checks.check("a device named like markup shows as text", args.markup in text, text[:300])
    checks.check("a device named like markup adds no element", page["foreign"] == 0, str(page))
    checks.check("a device named like markup runs nothing", page["title"] != "owned", str(page))


# The compare page as the visitor reaches it: every row ticked, then the Compare link.
TICK_ALL = """
const boxes = [...document.querySelectorAll('#results tbody input[type=checkbox]')];
boxes.forEach(box => box.click());
return boxes.length;
"""
READ_COMPARE = """
const heads = [...document.querySelectorAll('#figures th a')].map(a => a.textContent);
const fills = [...new Set([...document.querySelectorAll('#charts svg rect')]
    .map(r => (r.getAttribute('fill') || '').toUpperCase()).filter(f => f && f !== 'NONE'))];
return {heads, fills, charts: document.querySelectorAll('#charts svg').length};
"""


def check_compare(driver, args, checks):
    ticked = driver.s("/execute/sync", {"script": TICK_ALL, "args": []})
    link = driver.s("/element", {"using": "css selector", "value": "#compare"})
    driver.s(f"/element/{next(iter(link.values()))}/click", {})
    shown = None
    for _ in range(50):  # the page fetches each result's data before it draws
        shown = driver.s("/execute/sync", {"script": READ_COMPARE, "args": []})
        if shown["charts"] >= 2 and len(shown["heads"]) == ticked:
            break
        time.sleep(0.2)
    checks.check(f"the compare page shows the {ticked} chosen results",
                 ticked == args.rows and len(shown["heads"]) == ticked, str(shown))
    checks.check("the compare page draws read and write charts", shown["charts"] >= 2, str(shown))
    # Red and blue: the chart window's colours of its first two results.
    checks.check("each result has its window colour", {"#FF0000", "#0000FF"} <= set(
        shown["fills"]), str(shown["fills"]))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("url")
    parser.add_argument("--rows", type=int, required=True)
    parser.add_argument("--names", nargs="*", default=[])
    parser.add_argument("--screenshot")
    parser.add_argument("--markup", help="text of a device named like markup")
    args = parser.parse_args()
    checks = Checks()
    port = free_port()
    profile = tempfile.mkdtemp(prefix="vorn-chromium-")
    process = subprocess.Popen(["chromedriver", f"--port={port}"], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    driver = Driver(port)
    try:
        wait_for(port, process)
        driver.start(profile)
        check_site(driver, args, checks)
    except (RuntimeError, OSError, KeyError, TypeError) as error:
        checks.check("the browser read the site", False, str(error))
    finally:
        if driver.session:
            try:
                driver.s("", method="DELETE")
            except (RuntimeError, OSError):
                pass
        process.terminate()
        process.wait(timeout=20)
        shutil.rmtree(profile, ignore_errors=True)
    return 1 if checks.failed else 0


if __name__ == "__main__":
    os.umask(0o022)
    sys.exit(main())
