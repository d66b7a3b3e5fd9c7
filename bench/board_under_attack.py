#!/usr/bin/python3
"""Clients that attack the station's live board, as one on the same PC or network could: prints the
station's resident memory and a device's time to done while each attack runs, and whether a fresh
GET /status.json is answered meanwhile. A figure, never a verdict.

Usage: board_under_attack.py ZRVLINK ZRVLINK_SIM [UNITS]   (default 3 units per attack)
Attacks, one after another, each while UNITS devices are set up in turn on one port (each a new simulated
device that answers every line after 2 ms):
  - one connection sending a 300 MB header line without a line end;
  - one connection sending 3,000,000 short header lines;
  - 30 connections sending one header line every half second;
  - 1,100 connections that send nothing (more than the station's 1,024 descriptors could hold).
Every attack stops by itself: at most its bytes, at most ATTACK_LIMIT_S seconds, loopback only. The
unit's time is the record's Seconds of its "done" row: from the device's arrival to its unit written and
verified; a unit that is not done within UNIT_LIMIT_S counts as not done."""

import os
import re
import resource
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

TEMPLATE = "BaudRate=57600\r\nSubnetMask=255.255.255.0\r\nGateway=192.168.7.1\r\n"
ATTACK_LIMIT_S = 60
UNIT_LIMIT_S = 30
FRESH_LIMIT_S = 8


def rss_kib(pid, field="VmRSS"):
    try:
        for line in open("/proc/%d/status" % pid):
            if line.startswith(field + ":"):
                return int(line.split()[1])
    except OSError:
        pass
    return 0


class MemoryWatch:
    """The station's largest resident size while it runs, looked at every 50 ms."""

    def __init__(self, pid):
        self.pid, self.most, self.stop = pid, 0, threading.Event()
        self.thread = threading.Thread(target=self.run)
        self.thread.start()

    def run(self):
        while not self.stop.wait(0.05):
            self.most = max(self.most, rss_kib(self.pid))

    def end(self):
        self.stop.set()
        self.thread.join()
        return self.most


class Attack:
    """Runs `body(stop)` on a thread until it returns or `stop` is set."""

    def __init__(self, body):
        self.stop = threading.Event()
        self.thread = threading.Thread(target=body, args=(self.stop,))
        self.sockets = []

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *_):
        self.stop.set()
        self.thread.join()


def connect(port, timeout=5.0):
    client = socket.create_connection(("127.0.0.1", port), timeout=timeout)
    client.settimeout(5)
    return client


def send_until(client, chunks, stop, deadline):
    try:
        for chunk in chunks:
            if stop.is_set() or time.monotonic() > deadline:
                return
            client.sendall(chunk)
    except OSError:
        pass  # the board closed it


def long_line(port):
    def body(stop):
        client = connect(port)
        block = b"a" * (1 << 20)
        chunks = [b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Long: "] + [block] * 300
        send_until(client, chunks, stop, time.monotonic() + ATTACK_LIMIT_S)
        stop.wait(2)  # a moment for the memory to show what is held, then the client goes
        client.close()
    return body


def many_headers(port):
    def body(stop):
        client = connect(port)
        block = b"X-A: b\r\n" * 100000
        chunks = [b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n"] + [block] * 30
        send_until(client, chunks, stop, time.monotonic() + ATTACK_LIMIT_S)
        client.close()
    return body


def slow_clients(port, count=30):
    def body(stop):
        clients = []
        for _ in range(count):
            try:
                client = connect(port)
                client.sendall(b"GET / HTTP/1.1\r\n")
                clients.append(client)
            except OSError:
                pass
        end = time.monotonic() + ATTACK_LIMIT_S
        while not stop.wait(0.5) and time.monotonic() < end:
            for client in list(clients):
                try:
                    client.sendall(b"X-Slow: 1\r\n")
                except OSError:
                    clients.remove(client)  # closed by the board; a new one takes its place
                    try:
                        fresh = connect(port)
                        fresh.sendall(b"GET / HTTP/1.1\r\n")
                        clients.append(fresh)
                    except OSError:
                        pass
        for client in clients:
            client.close()
    return body


def idle_clients(port, count=1100):
    def body(stop):
        clients = []
        end = time.monotonic() + ATTACK_LIMIT_S
        while not stop.is_set() and time.monotonic() < end:
            # Whatever the board closed is opened again, so that `count` stay open from the client's side.
            clients = [c for c in clients if not closed(c)]
            for _ in range(count - len(clients)):
                if stop.is_set():
                    break
                try:
                    clients.append(connect(port, 0.2))
                except OSError:
                    pass  # the board's queue is full: tried again next round
            stop.wait(0.2)
        for client in clients:
            client.close()
    return body


def closed(client):
    client.setblocking(False)
    try:
        return client.recv(1, socket.MSG_PEEK) == b""
    except BlockingIOError:
        return False
    except OSError:
        return True
    finally:
        client.setblocking(True)


def fresh_status(port):
    """Seconds until a fresh GET /status.json is answered; None when it is not within FRESH_LIMIT_S."""
    started = time.monotonic()
    try:
        urllib.request.urlopen("http://127.0.0.1:%d/status.json" % port, timeout=FRESH_LIMIT_S).read()
        return time.monotonic() - started
    except OSError:
        return None


def done_seconds(record):
    rows = [line.split(",") for line in open(record, encoding="utf-8-sig").read().splitlines()[1:]]
    return [float(row[9]) for row in rows if len(row) > 9 and row[5] == "done"]


def failed_rows(record):
    rows = [line.split(",") for line in open(record, encoding="utf-8-sig").read().splitlines()[1:]]
    return sum(1 for row in rows if len(row) > 9 and row[5] == "failed")


def set_up(zrvlink_sim, work, units):
    """`units` devices in turn on the one port; the seconds of each that was done in time."""
    record = os.path.join(work, "record.csv")
    seconds = []
    for _ in range(units):
        before = len(done_seconds(record))
        sim = subprocess.Popen([zrvlink_sim, "--link", os.path.join(work, "tty"), "--delay", "2"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        end = time.monotonic() + UNIT_LIMIT_S
        while len(done_seconds(record)) == before and time.monotonic() < end:
            time.sleep(0.05)
        done = done_seconds(record)
        if len(done) > before:
            seconds.append(done[-1])
        sim.send_signal(signal.SIGTERM)
        sim.wait()
        time.sleep(1.2)  # two looks of the station: the device is gone before the next comes
    return seconds


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    zrvlink, zrvlink_sim = sys.argv[1], sys.argv[2]
    units = int(sys.argv[3]) if len(sys.argv) == 4 else 3
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 8192), hard))
    attacks = [("one 300 MB header line", long_line), ("3,000,000 short header lines", many_headers),
               ("30 clients, a header line every 0.5 s", slow_clients), ("1,100 idle connections", idle_clients)]
    with tempfile.TemporaryDirectory(prefix="zrv-bench-attack-") as work:
        with open(os.path.join(work, "base.dat"), "w", newline="") as f:
            f.write(TEMPLATE)
        out = os.path.join(work, "station.out")
        total = units * (len(attacks) + 1) + 4
        with open(out, "wb") as sink:
            # The station gets the descriptor limit of a login shell, as it would on a factory PC.
            station = subprocess.Popen(
                [zrvlink, "provision", "--template", os.path.join(work, "base.dat"), "--ip-range",
                 "192.168.7.21-192.168.7.%d" % (21 + total), "--record", os.path.join(work, "record.csv"),
                 "--port", os.path.join(work, "tty"), "--board", "127.0.0.1:0"], stdout=sink,
                stderr=subprocess.STDOUT, preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (1024, hard)))
        rows = []
        try:
            board = lambda: re.search(r"^board: http://127.0.0.1:(\d+)/", open(out).read(), re.M)
            end = time.monotonic() + 30
            while not board() and station.poll() is None and time.monotonic() < end:
                time.sleep(0.05)
            if not board():
                sys.exit("board_under_attack: no board:\n" + open(out).read())
            port = int(board().group(1))
            watch = MemoryWatch(station.pid)
            seconds = set_up(zrvlink_sim, work, units)
            rows.append(("no attack", watch.end(), rss_kib(station.pid), seconds, fresh_status(port), 0))
            for label, attack in attacks:
                failed = failed_rows(os.path.join(work, "record.csv"))
                watch = MemoryWatch(station.pid)
                with Attack(attack(port)):
                    time.sleep(2.0)  # the attack under way before the first device comes
                    fresh = fresh_status(port)
                    seconds = set_up(zrvlink_sim, work, units)
                most = watch.end()
                time.sleep(1.0)
                rows.append((label, most, rss_kib(station.pid), seconds, fresh,
                             failed_rows(os.path.join(work, "record.csv")) - failed))
        finally:
            station.send_signal(signal.SIGINT)
            try:
                station.wait(30)
            except subprocess.TimeoutExpired:
                station.kill()
        print("the live board under attack (%s), %d units per attack, one port" % (zrvlink, units))
        print("%-38s %9s %9s %12s %6s %7s %14s" % ("attack", "RSS most", "RSS after", "unit done, s", "done",
                                                 "failed", "fresh status"))
        for label, most, after, seconds, fresh, failed in rows:
            mean = "%.2f" % statistics.mean(seconds) if seconds else "-"
            answer = "%.2f s" % fresh if fresh is not None else "none in %d s" % FRESH_LIMIT_S
            print("%-38s %6.1f MB %6.1f MB %12s %3d/%-2d %7d %14s" % (
                label, most / 1024.0, after / 1024.0, mean, len(seconds), units, failed, answer))


if __name__ == "__main__":
    main()
