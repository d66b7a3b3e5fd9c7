#!/usr/bin/python3
"""The board of a station that runs under Wine, read from Linux: /status.json until its device is done,
the page, a method that is refused, and the page in Linux's Chromium (board-wine.png in ARTIFACTS_DIR).

Usage: board_from_linux.py URL ARTIFACTS_DIR"""

import json
import os
import sys
import tempfile
import urllib.error
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "integration"))
from board_browser_test import Bench, Failure, wait_for  # noqa: E402


def fetch(url, method="GET"):
    try:
        with urllib.request.urlopen(urllib.request.Request(url, method=method), timeout=10) as answer:
            return answer.status, answer.read().decode("utf-8")
    except urllib.error.HTTPError as refused:
        return refused.code, ""


def main():
    url, artifacts = sys.argv[1], sys.argv[2]
    os.makedirs(artifacts, exist_ok=True)
    status = lambda: json.loads(fetch(url + "status.json")[1])
    try:
        wait_for("the device done, by /status.json",
                 lambda: status()["Plan"]["Done"] == 1 and status()["Ports"][0]["Stage"] == "done",
                 lambda: status())
        code, page = fetch(url)
        if code != 200 or "<title>ZRV-Link station</title>" not in page:
            raise Failure("the page: %d %s" % (code, page[:200]))
        if fetch(url + "status.json", "POST")[0] != 405:
            raise Failure("a POST was not refused")
        with tempfile.TemporaryDirectory(prefix="zrv-board-wine-") as work:
            bench = Bench(None, None, work)
            try:
                browser = bench.open_browser()
                browser.get(url)
                wait_for("the tile done in the browser", lambda: browser.execute_script(
                    "const t = document.querySelector('.tile'); return t && t.dataset.stage === 'done'"))
                browser.save_screenshot(os.path.join(artifacts, "board-wine.png"))
            finally:
                bench.close()
    except Failure as failure:
        print("board from Linux: FAILED: %s" % failure)
        return 1
    print("board from Linux: status, page, refused POST and the page in Chromium")
    return 0


if __name__ == "__main__":
    sys.exit(main())
