"""Two `ssmsg serve` processes on one site of a PostgreSQL database behave as one: a login made
through one serves the other and ends on both; behind nginx they are one server, whose change
feed passes the proxy at once and which goes on when one of them dies; and when 40 clients make
25 read-modify-writes each of 5 shared controllers through both, and one is killed with SIGKILL
half way, every change that was answered 200 is in the final state and the audit log, each after
the one it was made from. Run under pg_virtualenv (tests/postgres.sh), with SSMSG_TOOL the tool
to test."""

import http.client
import json
import os
import random
import re
import signal
import socket
import subprocess
import tempfile
import threading
import time
import unittest

TOOL = os.environ["SSMSG_TOOL"]
NGINX = "/usr/sbin/nginx"
CLIENTS, CHANGES, CONTROLLERS = 40, 25, 5


def run(*arguments, stdin=None):
    return subprocess.run([TOOL, *arguments], check=True, capture_output=True,
                          input=stdin).stdout.decode()


class Server:
    def __init__(self, work, name, site):
        self.log = os.path.join(work, name + ".log")
        with open(self.log, "wb") as log:
            self.process = subprocess.Popen(
                [TOOL, "serve", "--config", site, "--listen", "127.0.0.1:0"],
                stdout=subprocess.DEVNULL, stderr=log)
        deadline = time.monotonic() + 60
        while not (found := re.search(r"http://127\.0\.0\.1:(\d+)", self.text())):
            assert self.process.poll() is None, self.text()
            assert time.monotonic() < deadline, "the server did not say where it serves"
            time.sleep(0.05)
        self.port = int(found.group(1))

    def text(self):
        with open(self.log, encoding="utf-8", errors="replace") as log:
            return log.read()


def call(port, method, path, headers=None, body=None):
    """(status, headers, body) of one request on a connection of its own."""
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    try:
        connection.request(method, path, body=body, headers=headers or {})
        answer = connection.getresponse()
        return answer.status, dict(answer.getheaders()), answer.read()
    finally:
        connection.close()


class TwoServers(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="ssmsg-processes-")
        site_uri = "postgresql:///?site=" + self._testMethodName
        site = os.path.join(self.work, "site.json")
        with open(site, "w") as f:
            json.dump({"Controllers": [{"Interface": 1, "Node": k, "Name": "start"}
                                       for k in range(CONTROLLERS)]}, f)
        run("migrate", "postgresql:///")
        run("convert", site, site_uri)
        # A user's name is the database's: a name per test.
        self.user = self._testMethodName[:64]
        run("user", "add", self.user, "--role", "admin", "--config", site_uri,
            stdin=f"{self.user} password 1\n".encode())
        self.token = run("user", "token", self.user, "--config", site_uri).strip()
        self.servers = [Server(self.work, "a", site_uri), Server(self.work, "b", site_uri)]

    def tearDown(self):
        for server in self.servers:
            if server.process.poll() is None:
                server.process.send_signal(signal.SIGTERM)
                self.assertEqual(server.process.wait(30), 0, server.text())

    def auth(self, headers=None):
        return {"Authorization": "Bearer " + self.token, **(headers or {})}

    def test_a_login_serves_both_and_ends_on_both(self):
        a, b = (server.port for server in self.servers)
        status, headers, body = call(a, "POST", "/api/session",
                                     {"Content-Type": "application/json"},
                                     json.dumps({"name": self.user,
                                                 "password": self.user + " password 1"}))
        self.assertEqual(status, 200, body)
        cookie = headers["Set-Cookie"].split(";")[0]
        csrf = json.loads(body)["csrf"]
        for port in (a, b):
            self.assertEqual(call(port, "GET", "/api/controllers", {"Cookie": cookie})[0], 200)
        status, _, body = call(b, "DELETE", "/api/session",
                               {"Cookie": cookie, "X-CSRF-Token": csrf})
        self.assertIn(status, (200, 204), body)
        for port in (a, b):
            self.assertEqual(call(port, "GET", "/api/controllers", {"Cookie": cookie})[0], 401)

    def test_changes_through_both_lose_nothing_when_one_is_killed(self):
        acknowledged = []  # (controller, name) answered 200
        lock = threading.Lock()
        killed = threading.Event()
        failures = []

        def client(k):
            randomness = random.Random(k)
            for j in range(CHANGES):
                node = (k + j) % CONTROLLERS
                path = f"/api/controllers/1/{node}"
                name = f"c{k}-{j}"
                for _ in range(500):
                    alive = [s for s in self.servers if not (killed.is_set() and s is self.servers[1])]
                    port = randomness.choice(alive).port
                    try:
                        status, headers, _ = call(port, "GET", path, self.auth())
                        if status != 200:
                            continue
                        status, _, body = call(port, "PATCH", path, self.auth({
                            "If-Match": headers["ETag"],
                            "Content-Type": "application/merge-patch+json"}),
                            json.dumps({"Name": name}))
                    except (OSError, http.client.HTTPException):
                        continue  # the killed server: its answer, if any, is lost
                    if status == 200:
                        with lock:
                            acknowledged.append((node, name))
                        break
                    if status not in (412, 503):
                        failures.append((status, body))
                        return
                else:
                    failures.append(("gave up", path))
                    return

        threads = [threading.Thread(target=client, args=(k,)) for k in range(CLIENTS)]
        for thread in threads:
            thread.start()
        while len(acknowledged) < CLIENTS * CHANGES // 2 and any(t.is_alive() for t in threads):
            time.sleep(0.01)
        self.servers[1].process.send_signal(signal.SIGKILL)
        self.servers[1].process.wait(30)
        killed.set()
        for thread in threads:
            thread.join()
        self.assertEqual(failures, [])
        self.assertEqual(len(acknowledged), CLIENTS * CHANGES)

        # The audit log, through the one left: each change after the one it was made from.
        port = self.servers[0].port
        entries, after = [], 0
        while after is not None:
            status, _, body = call(port, "GET", f"/api/audit?after={after}", self.auth())
            self.assertEqual(status, 200, body)
            page = json.loads(body)
            entries += page["entries"]
            after = page["next"]
        last = {node: "start" for node in range(CONTROLLERS)}
        logged = set()
        for entry in entries:
            if entry["controller"] is None:
                continue
            node = entry["controller"]["Node"]
            self.assertEqual(entry["before"]["Name"], last[node], entry["id"])
            last[node] = entry["after"]["Name"]
            logged.add((node, last[node]))
        self.assertTrue(set(acknowledged) <= logged, set(acknowledged) - logged)
        for node in range(CONTROLLERS):
            status, _, body = call(port, "GET", f"/api/controllers/1/{node}", self.auth())
            self.assertEqual(json.loads(body)["Name"], last[node])

    @unittest.skipUnless(os.path.exists(NGINX), "no nginx: scripts/install-deps installs nginx-light")
    def test_behind_a_reverse_proxy_the_servers_are_one(self):
        a, b = self.servers
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        config = os.path.join(self.work, "nginx.conf")
        with open(config, "w") as f:
            f.write(NGINX_CONFIG.format(work=self.work, port=port, a=a.port, b=b.port,
                                        user="user root;" if os.getuid() == 0 else ""))
        proxy = subprocess.Popen([NGINX, "-p", self.work, "-c", config, "-e",
                                  os.path.join(self.work, "nginx-error.log")],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            deadline = time.monotonic() + 20
            while True:
                try:
                    socket.create_connection(("127.0.0.1", port), 1).close()
                    break
                except OSError:
                    self.assertIsNone(proxy.poll(), "nginx stopped")
                    self.assertLess(time.monotonic(), deadline, "nginx did not listen")
                    time.sleep(0.05)
            # A login through the proxy serves every request after it, whichever server answers.
            status, headers, body = call(port, "POST", "/api/session",
                                         {"Content-Type": "application/json"},
                                         json.dumps({"name": self.user,
                                                     "password": self.user + " password 1"}))
            self.assertEqual(status, 200, body)
            cookie = {"Cookie": headers["Set-Cookie"].split(";")[0]}
            for _ in range(10):
                self.assertEqual(call(port, "GET", "/api/controllers", cookie)[0], 200)
            for server in (a, b):
                self.assertIn("/api/controllers", server.text())
            # The change feed's events pass the proxy at once: a change made on one server reaches
            # a subscriber through the proxy, whichever server it was sent to.
            stream = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
            stream.request("GET", "/api/changes/stream", headers=cookie)
            answer = stream.getresponse()
            self.assertEqual(answer.status, 200)
            status, headers, _ = call(b.port, "GET", "/api/controllers/1/3", self.auth())
            status, _, body = call(b.port, "PATCH", "/api/controllers/1/3", self.auth({
                "If-Match": headers["ETag"], "Content-Type": "application/merge-patch+json"}),
                json.dumps({"Name": "through b"}))
            self.assertEqual(status, 200, body)
            while b'"kind":"changed","interface":1,"node":3' not in (line := answer.readline()):
                self.assertTrue(line, "the stream ended")
            stream.close()
            # With one server gone, the proxy sends every read to the other.
            a.process.send_signal(signal.SIGKILL)
            a.process.wait(30)
            for _ in range(10):
                self.assertEqual(call(port, "GET", "/api/controllers/1/3", cookie)[0], 200)
        finally:
            proxy.terminate()
            proxy.wait(30)


# Two servers behind nginx, as the README shows it, in the test's folder.
NGINX_CONFIG = """{user}
worker_processes 1;
daemon off;
pid {work}/nginx.pid;
events {{ worker_connections 64; }}
http {{
  access_log off;
  client_body_temp_path {work}/nginx-body;
  proxy_temp_path {work}/nginx-proxy;
  fastcgi_temp_path {work}/nginx-fastcgi;
  uwsgi_temp_path {work}/nginx-uwsgi;
  scgi_temp_path {work}/nginx-scgi;
  upstream ssmsg {{
    server 127.0.0.1:{a};
    server 127.0.0.1:{b};
  }}
  server {{
    listen 127.0.0.1:{port};
    location / {{
      proxy_pass http://ssmsg;
      proxy_set_header Host $host;
      proxy_http_version 1.1;
      proxy_set_header Connection "";
      proxy_read_timeout 90s;
    }}
  }}
}}
"""


if __name__ == "__main__":
    unittest.main(verbosity=2)
