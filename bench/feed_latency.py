"""How long a change takes to reach the change feed's subscribers: one of the server it was made
through, and one of another server on the same database.

    feed_latency.py TOKEN CONTROLLER_URL PATCH0 PATCH1 STREAM_URL...

Makes 200 changes, one at a time (the PATCH bodies in turns, If-Match: *), through the server of
CONTROLLER_URL, with a subscriber on each STREAM_URL, and prints for each stream the 50th and 99th
percentile in ms from each change's answer to its event: "feed 1.2 3.4".
"""
import http.client
import sys
import threading
import time
import urllib.parse
import urllib.request

CHANGES = 200


def subscribe(url, token, events, ready):
    parts = urllib.parse.urlsplit(url)
    connection = http.client.HTTPConnection(parts.hostname, parts.port, timeout=60)
    connection.request("GET", parts.path, headers={"Authorization": "Bearer " + token})
    answer = connection.getresponse()
    ready.set()
    while len(events) < CHANGES:
        line = answer.readline()
        if not line:
            break
        if line.startswith(b"id: "):
            events.append(time.monotonic())


def main():
    token, url, first, second, *streams = sys.argv[1:]
    bodies = [open(first, "rb").read(), open(second, "rb").read()]
    received = [[] for _ in streams]
    threads = []
    for stream, events in zip(streams, received):
        ready = threading.Event()
        thread = threading.Thread(target=subscribe, args=(stream, token, events, ready))
        thread.start()
        ready.wait()
        threads.append(thread)
    time.sleep(0.5)
    answered = []
    for k in range(CHANGES):
        request = urllib.request.Request(url, data=bodies[k % 2], method="PATCH", headers={
            "Authorization": "Bearer " + token, "If-Match": "*",
            "Content-Type": "application/merge-patch+json"})
        with urllib.request.urlopen(request) as answer:
            answer.read()
        answered.append(time.monotonic())
        time.sleep(0.02)
    for thread in threads:
        thread.join(timeout=10)
    figures = []
    for events in received:
        if len(events) < CHANGES:
            print("feed: a subscriber got %d of %d events" % (len(events), CHANGES), file=sys.stderr)
            sys.exit(1)
        delays = sorted(max(0.0, event - done) * 1000 for event, done in zip(events, answered))
        figures.append("%.1f %.1f" % (delays[len(delays) // 2], delays[int(len(delays) * 0.99)]))
    print("feed " + " ".join(figures))


if __name__ == "__main__":
    main()
