#!/usr/bin/env python3
"""Sends controllers what changed, as it changes.

Follows the site editor's change feed (GET /api/changes, a long poll), hands each changed
controller's pending messages to a program that transmits them, and marks them sent under the
ETag they were read with, so that a change made meanwhile is sent next time and not lost.

    export SSMSG_TOKEN=...   # ssmsg user token NAME --config site.db (an editor's)
    python3 transmitter.py --url http://127.0.0.1:8080 --state last-change -- ./send

The program after "--" runs once per message, with the controller's interface and node as its
arguments and the message on its standard input; it exits 0 once the controller has the message.
Without one, the messages are printed. The state file keeps the last change handled, so that a
transmitter started again goes on where it stopped; without one (the first time), every
controller is brought up to date first. --once stops when nothing is left to send.
"""

import argparse
import json
import os
import subprocess
import sys
import time
import urllib.error
import urllib.parse
import urllib.request

WAIT = 30  # seconds a poll waits for a change


class Feed:
    def __init__(self, url, token):
        self.url = url.rstrip("/")
        self.token = token

    def call(self, method, path, headers=None, timeout=WAIT + 15):
        request = urllib.request.Request(self.url + path, method=method)
        request.add_header("Authorization", "Bearer " + self.token)
        for name, value in (headers or {}).items():
            request.add_header(name, value)
        try:
            with urllib.request.urlopen(request, timeout=timeout) as answer:
                body = answer.read()
                return answer.status, answer.headers, json.loads(body) if body else None
        except urllib.error.HTTPError as error:
            return error.code, error.headers, None

    def changes(self, after, wait):
        query = "wait=%d" % wait if after is None else "after=%d&wait=%d" % (after, wait)
        status, _, page = self.call("GET", "/api/changes?" + query)
        if status != 200:
            raise RuntimeError("GET /api/changes answered %d" % status)
        return page


def transmit(feed, interface, node, program):
    """Sends the controller its pending messages and marks them sent: False if it must wait."""
    path = "/api/controllers/%d/%d" % (interface, node)
    status, headers, pending = feed.call("GET", path + "/pending")
    if status == 404:
        return True  # removed since
    if status != 200:
        raise RuntimeError("GET %s/pending answered %d" % (path, status))
    for message in pending["messages"]:
        if program:
            sent = subprocess.run(program + [str(interface), str(node)], input=message.encode())
            if sent.returncode != 0:
                print("%d.%d: %s failed; its messages stay pending" % (interface, node, program[0]),
                      file=sys.stderr)
                return False
        else:
            print("%d.%d %s" % (interface, node, message))
    if not pending["messages"]:
        return True
    status, _, _ = feed.call("POST", path + "/sent", {"If-Match": headers["ETag"]})
    if status == 412:
        # Changed while it was sent: the change's own event brings the rest.
        return True
    if status != 204:
        raise RuntimeError("POST %s/sent answered %d" % (path, status))
    print("%d.%d: %d messages sent" % (interface, node, len(pending["messages"])), file=sys.stderr)
    return True


def save(state, last):
    temporary = state + ".new"
    with open(temporary, "w") as out:
        out.write("%d\n" % last)
        out.flush()
        os.fsync(out.fileno())
    os.replace(temporary, state)


def run(feed, state, program, once):
    last = None
    if state and os.path.exists(state):
        with open(state) as kept:
            last = int(kept.read())
    if last is None:
        # The feed's position before the sweep: what changes during it comes again.
        last = feed.changes(None, 0)["last"]
        status, _, controllers = feed.call("GET", "/api/controllers")
        if status != 200:
            raise RuntimeError("GET /api/controllers answered %d" % status)
        for controller in controllers:
            if not transmit(feed, controller["Interface"], controller["Node"], program):
                return 1
        if state:
            save(state, last)
    while True:
        page = feed.changes(last, 0 if once else WAIT)
        waiting = []
        for change in page["changes"]:
            address = (change["interface"], change["node"])
            if change["pending"] and address not in waiting:
                waiting.append(address)
        for interface, node in waiting:
            if not transmit(feed, interface, node, program):
                return 1
        last = page["last"]
        if state:
            save(state, last)
        if once and not page["changes"]:
            return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--url", default="http://127.0.0.1:8080", help="the site editor's address")
    parser.add_argument("--state", help="the file that keeps the last change handled")
    parser.add_argument("--once", action="store_true", help="stop when nothing is left to send")
    parser.add_argument("program", nargs="*", help="the program that transmits one message")
    options = parser.parse_args()
    token = os.environ.get("SSMSG_TOKEN")
    if not token:
        parser.error("set SSMSG_TOKEN to an API token of an editor")
    feed = Feed(options.url, token)
    while True:
        try:
            return run(feed, options.state, options.program, options.once)
        except (OSError, RuntimeError, ValueError) as error:
            print("transmitter: %s" % error, file=sys.stderr)
            if options.once:
                return 2
            time.sleep(5)


if __name__ == "__main__":
    sys.exit(main())
