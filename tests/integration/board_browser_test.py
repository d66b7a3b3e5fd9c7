#!/usr/bin/python3
"""The station's live board in a real browser: Debian's Chromium, headless, driven through chromedriver,
against zrvlink provision --board with two simulated devices that answer slowly. Linux only.

Usage: board_browser_test.py ZRVLINK ZRVLINK_SIM ARTIFACTS_DIR
Saves board-idle.png, board-busy.png and board-stopped.png (1920 x 1080) in ARTIFACTS_DIR."""

import os
import re
import signal
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

# Generous bound for "it happened at all" on a busy machine; every wait ends as soon as its condition holds.
EVENTUALLY_S = 60

TEMPLATE = "BaudRate=57600\r\nSubnetMask=255.255.255.0\r\nGateway=192.168.7.1\r\n"
UNITS = "Unit,IPAddress\r\nS-1,192.168.7.21\r\nS-2,192.168.7.22\r\nS-3,192.168.7.23\r\n"

# What the page shows of one tile and of the whole, read in one script.
READ_PAGE = """
const tile = (port) => {
  const t = [...document.querySelectorAll('.tile')].find((e) => e.dataset.port === port);
  return t ? { stage: t.dataset.stage, percent: Number(t.querySelector('.progress').dataset.percent),
               text: t.innerText } : null;
};
return { connection: document.body.dataset.connection, a: tile(arguments[0]), b: tile(arguments[1]),
         failed: Number(document.getElementById('plan-failed')?.dataset.count),
         held: [...document.querySelectorAll('#held li')].map((e) => e.dataset.unit + ': ' + e.innerText),
         banner: document.getElementById('banner').innerText, sameLoad: window.sameLoad === true };
"""


class Failure(Exception):
    pass


def wait_for(what, holds, shown=None):
    """The first true value of holds(), looked at every 50 ms; a Failure naming `what`, with what
    shown() gives then, after EVENTUALLY_S."""
    end = time.monotonic() + EVENTUALLY_S
    while not (value := holds()):
        if time.monotonic() > end:
            raise Failure("never happened: %s%s" % (what, "\n%s" % shown() if shown else ""))
        time.sleep(0.05)
    return value


class Bench:
    """The station, its simulators and the browser of one run, all ended at its end."""

    def __init__(self, zrvlink, sim, work):
        self.zrvlink, self.sim, self.work = zrvlink, sim, work
        self.processes = []
        self.station = None
        self.browser = None

    def start_sim(self, link, *options):
        self.processes.append(subprocess.Popen([self.sim, "--link", link, *options], stdout=subprocess.DEVNULL,
                                               stderr=subprocess.DEVNULL))
        wait_for("simulator at " + link, lambda: os.path.exists(link))
        return self.processes[-1]

    def start_station(self, board, *more):
        out = os.path.join(self.work, "station-%d.out" % len(self.processes))
        with open(out, "wb") as sink:
            self.station = subprocess.Popen(
                [self.zrvlink, "provision", "--template", self.path("base.dat"), "--plan", self.path("units.csv"),
                 "--record", self.path("record.csv"), "--port", self.path("ttyA"), "--port", self.path("ttyB"),
                 "--board", board, *more], stdout=sink, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        self.processes.append(self.station)
        text = lambda: open(out, encoding="utf-8", errors="replace").read()
        found = wait_for("the station's board line", lambda: re.search(r"^board: (http://\S+) ", text(), re.M))
        return found.group(1), text

    def open_browser(self):
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for flag in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--user-data-dir=" + self.path("profile"), "--window-size=1920,1080"]:
            options.add_argument(flag)
        service = Service(os.path.join(os.path.dirname(os.path.abspath(__file__)), "chromedriver-alone.sh"),
                          log_path=self.path("chromedriver.log"))
        self.browser = webdriver.Chrome(service=service, options=options)
        # The page as a 1920 x 1080 screen shows it, whatever the window's frame takes.
        self.browser.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                                     {"width": 1920, "height": 1080, "deviceScaleFactor": 1, "mobile": False})
        return self.browser

    def path(self, name):
        return os.path.join(self.work, name)

    def close(self):
        if self.browser is not None:
            self.browser.quit()
        for process in self.processes:
            process.kill()
            process.wait()


def run(zrvlink, sim, artifacts):
    with tempfile.TemporaryDirectory(prefix="zrv-board-") as work:
        bench = Bench(zrvlink, sim, work)
        try:
            check_board(bench, artifacts)
        except Exception:
            # What the stations said, for whatever went wrong.
            for name in sorted(os.listdir(work)):
                if name.startswith("station-"):
                    print("---- %s:\n%s" % (name, open(os.path.join(work, name), errors="replace").read()))
            raise
        finally:
            bench.close()


def check_board(bench, artifacts):
    for name, text in (("base.dat", TEMPLATE), ("units.csv", UNITS)):
        with open(bench.path(name), "w", newline="") as f:
            f.write(text)
    a, b = bench.path("ttyA"), bench.path("ttyB")
    url, said = bench.start_station("127.0.0.1:0")
    browser = bench.open_browser()
    browser.get(url)
    page = lambda: browser.execute_script(READ_PAGE, a, b)
    wait_for("an idle board: both ports ask for a device",
             lambda: page()["connection"] == "live" and page()["a"] and page()["b"]
             and "CONNECT A DEVICE" in page()["a"]["text"] and page()["b"]["stage"] == "none")
    browser.save_screenshot(os.path.join(artifacts, "board-idle.png"))
    browser.execute_script("window.sameLoad = true")
    resources = browser.execute_script("return performance.getEntriesByType('resource').map((e) => e.name)")
    if any(not name.startswith(url) for name in resources):
        raise Failure("the page fetched from elsewhere: %s" % resources)

    # Device A answers every line after 25 ms: its read, write and check take seconds. Device B hangs up
    # at its 150th line, in the middle of its write (99 lines read it).
    bench.start_sim(a, "--delay", "25")
    unplugged = bench.start_sim(b, "--delay", "10", "--close-after", "150")

    # A's bar moves while the page stays the same page.
    seen = set()

    def bar_moved():
        now = page()
        tile = now["a"]
        if not now["sameLoad"]:
            raise Failure("the page was loaded again")
        if tile["stage"] in ("reading", "writing", "verifying") and tile["percent"] > 0:
            seen.add((tile["stage"], tile["percent"]))
        if tile["stage"] == "done" and len(seen) < 2:
            raise Failure("device A was done before its bar was seen to move: %s" % sorted(seen))
        return len({percent for stage, percent in seen if stage == tile["stage"]}) >= 2
    wait_for("A's progress bar moving", bar_moved)

    wait_for("B failed in its write, its unit waiting for the next device",
             lambda: (now := page())["b"]["stage"] == "failed" and "waits for the next device" in now["b"]["text"]
             and "CONNECT A DEVICE" in now["b"]["text"].upper() and now["failed"] == 1)
    browser.save_screenshot(os.path.join(artifacts, "board-busy.png"))

    # The next device on B gets the unit that failed, and its "save" is answered badly: the unit is held.
    unplugged.wait(EVENTUALLY_S)
    wait_for("B's link gone", lambda: not os.path.exists(b))
    bench.start_sim(b, "--delay", "5", "--save-reply", "ERROR")

    wait_for("the held unit with its instruction", lambda: (now := page())["b"]["stage"] == "held" and any(
        line.startswith("S-2: ") and "--redo S-2" in line and "--skip S-2" in line and b in line
        for line in now["held"]))

    # A held unit stops the station once A is through.
    if bench.station.wait(EVENTUALLY_S) != 31:
        raise Failure("the station ended with %d:\n%s" % (bench.station.returncode, said()))
    wait_for("the page saying that the station has stopped",
             lambda: page()["connection"] == "stopped" and "The station has stopped" in page()["banner"],
             lambda: "%s\n%s" % (page(), said()))
    browser.save_screenshot(os.path.join(artifacts, "board-stopped.png"))

    # The newest event's time of day, shown on the page's clock from its full time, is the station's own
    # here, where both clocks are one.
    newest = browser.execute_script(
        "const t = document.querySelector('#events li time');"
        "return [t.textContent, t.dateTime, state.Events[state.Events.length - 1]];")
    if newest[0] != newest[2]["Time"] or newest[1] != newest[2]["At"]:
        raise Failure("the newest event shows %r (%r) for %r" % (newest[0], newest[1], newest[2]))

    # The same board address again: the page follows the new station by itself, without a reload.
    port = url.rsplit(":", 1)[1].rstrip("/")
    bench.start_station("127.0.0.1:" + port, "--skip", "S-2")
    wait_for("the page following the station that started again",
             lambda: page()["connection"] == "live" and page()["sameLoad"] and page()["held"] == [])
    bench.station.send_signal(signal.SIGINT)
    if bench.station.wait(EVENTUALLY_S) != 30:
        raise Failure("the second station ended with %d" % bench.station.returncode)
    wait_for("the page saying again that the station has stopped", lambda: page()["connection"] == "stopped",
             lambda: "%s\n%s" % (page(), said()))


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    os.makedirs(sys.argv[3], exist_ok=True)
    try:
        run(*sys.argv[1:4])
    except Failure as failure:
        print("board in a browser: FAILED: %s" % failure)
        return 1
    print("board in a browser: idle, a moving bar, an unplugged write, a held unit, stopped, followed again")
    return 0


if __name__ == "__main__":
    sys.exit(main())
