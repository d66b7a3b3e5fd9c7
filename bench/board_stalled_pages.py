#!/usr/bin/python3
"""Pages that never read, against the station's live board: prints how long the station's units take
with no page and with every stream a board allows held by a page that asked for it and never reads
(its receive window as small as the system allows, renewed every second so that the board always has
them), and how long the station then takes to end. A figure, never a verdict.

Usage: board_stalled_pages.py ZRVLINK ZRVLINK_SIM [UNITS]   (default 10 units each way)
One port; each unit a new simulated device that answers every line after 2 ms. The unit's time is the
record's Seconds of its "done" row: from the device's arrival to its unit written and verified."""

import json
import os
import re
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

STREAMS = 16  # BOARD_MAX_STREAMS
TEMPLATE = "BaudRate=57600\r\nSubnetMask=255.255.255.0\r\nGateway=192.168.7.1\r\n"


def wait_for(what, holds, timeout=60):
    end = time.monotonic() + timeout
    while not holds():
        if time.monotonic() > end:
            sys.exit("board_stalled_pages: never happened: " + what)
        time.sleep(0.01)


class StalledPages:
    """STREAMS pages that asked for /events and never read, renewed every second until stopped."""

    def __init__(self, port):
        self.port = port
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self.run)

    def open_one(self):
        page = socket.socket()
        page.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1)
        page.connect(("127.0.0.1", self.port))
        page.sendall(b"GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
        return page

    def run(self):
        pages = []
        while not self.stop.is_set():
            for page in pages:
                page.close()
            try:
                pages = [self.open_one() for _ in range(STREAMS)]
            except ConnectionRefusedError:
                break  # the station has ended
            self.stop.wait(1.0)
        for page in pages:
            page.close()


def done_seconds(record):
    rows = [line.split(",") for line in open(record, encoding="utf-8-sig").read().splitlines()[1:]]
    return [float(row[9]) for row in rows if len(row) > 9 and row[5] == "done"]


def set_up(zrvlink_sim, work, port, units, done_before):
    """`units` devices in turn on the one port, each until its unit is done and the station has seen it
    go (a device in place of another between two looks would be the same device)."""
    link = os.path.join(work, "tty")
    status = "http://127.0.0.1:%d/status.json" % port
    attached = lambda: json.load(urllib.request.urlopen(status, timeout=10))["Ports"][0]["Device"]
    for i in range(units):
        sim = subprocess.Popen([zrvlink_sim, "--link", link, "--delay", "2"], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
        wait_for("unit done", lambda: len(done_seconds(os.path.join(work, "record.csv"))) > done_before + i)
        sim.send_signal(signal.SIGTERM)
        sim.wait()
        wait_for("device gone", lambda: not attached())


def figures(label, seconds):
    print("%-48s %6.2f %6.2f %6.2f" % (label, statistics.mean(seconds), min(seconds), max(seconds)))


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    zrvlink, zrvlink_sim = sys.argv[1], sys.argv[2]
    units = int(sys.argv[3]) if len(sys.argv) == 4 else 10
    with tempfile.TemporaryDirectory(prefix="zrv-bench-board-") as work:
        with open(os.path.join(work, "base.dat"), "w", newline="") as f:
            f.write(TEMPLATE)
        out = os.path.join(work, "station.out")
        with open(out, "wb") as sink:
            station = subprocess.Popen(
                [zrvlink, "provision", "--template", os.path.join(work, "base.dat"), "--ip-range",
                 "192.168.7.21-192.168.7.%d" % (21 + 2 * units), "--record", os.path.join(work, "record.csv"),
                 "--port", os.path.join(work, "tty"), "--board", "127.0.0.1:0"], stdout=sink,
                stderr=subprocess.STDOUT)
        try:
            board = lambda: re.search(r"^board: http://127.0.0.1:(\d+)/", open(out).read(), re.M)
            wait_for("the board", lambda: board() or station.poll() is not None)
            if station.poll() is not None:
                sys.exit("board_stalled_pages: the station ended:\n" + open(out).read())
            port = int(board().group(1))
            set_up(zrvlink_sim, work, port, units, 0)
            pages = StalledPages(port)
            pages.thread.start()
            set_up(zrvlink_sim, work, port, units, units)
            started = time.monotonic()
            # One unit is left, so that the station is still there.
            station.send_signal(signal.SIGINT)
            station.wait(60)
            ended = time.monotonic() - started
            pages.stop.set()
            pages.thread.join()
        finally:
            if station.poll() is None:
                station.kill()
        seconds = done_seconds(os.path.join(work, "record.csv"))
        print("the live board and pages that never read (%s), %d units each way" % (zrvlink, units))
        print("%-48s %6s %6s %6s" % ("unit from arrival to done, s", "mean", "least", "most"))
        figures("no page", seconds[:units])
        figures("%d pages that never read, renewed every second" % STREAMS, seconds[units:])
        print("station's end after Ctrl-C with those pages: %.2f s (a stalled page is dropped after 2 s)" % ended)


if __name__ == "__main__":
    main()
