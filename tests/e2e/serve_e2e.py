#!/usr/bin/env python3
"""noxadmin.exe serve under Wine, reached from Linux over HTTP: the page and
its safety rules, edits and refusals, the export, a busy port, Ctrl-C.

    NOX_WINEPREFIX=PREFIX serve_e2e.py BUILD_DIR

BUILD_DIR is the mingw64 build (bin/noxadmin.exe); the tables live in a
folder of the build tree, which the prefix reaches as C:\\nox-build.
"""
import http.client
import os
import queue
import re
import shutil
import signal
import subprocess
import sys
import threading
import unittest
import urllib.parse

BUILD = os.path.abspath(sys.argv.pop(1))
REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
RUN = os.path.join(REPO, "tests", "wine", "run")
NOXADMIN = os.path.join(BUILD, "bin", "noxadmin.exe")
TABLES = os.path.join(BUILD, "serve-e2e-tables")


def noxadmin(*args):
    return subprocess.run([RUN, NOXADMIN, "--dir", TABLES, *args], capture_output=True,
                          stdin=subprocess.DEVNULL, timeout=60)


def first_line(stream, seconds):
    lines = queue.Queue()
    threading.Thread(target=lambda: lines.put(stream.readline()), daemon=True).start()
    return lines.get(timeout=seconds)


class ServeUnderWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(TABLES, ignore_errors=True)
        os.makedirs(TABLES)
        cls.server = subprocess.Popen([RUN, NOXADMIN, "--dir", TABLES, "serve", "--port", "0"],
                                      stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                      stdin=subprocess.DEVNULL)
        url = first_line(cls.server.stdout, 30).decode().strip()
        match = re.fullmatch(r"http://127\.0\.0\.1:(\d+)(/[0-9a-f]{32}/)", url)
        assert match, "no address printed: %r" % url
        cls.port, cls.base = int(match.group(1)), match.group(2)

    @classmethod
    def tearDownClass(cls):
        if cls.server.poll() is None:
            cls.server.kill()
            cls.server.wait()
        shutil.rmtree(TABLES, ignore_errors=True)

    def request(self, method, path, body=None, host=None, content_type=None):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=30)
        headers = {"Host": host or "127.0.0.1:%d" % self.port}
        if content_type:
            headers["Content-Type"] = content_type
        connection.request(method, path, body=body, headers=headers)
        response = connection.getresponse()
        data = response.read()
        connection.close()
        return response, data

    def post(self, route, **fields):
        return self.request("POST", self.base + route, urllib.parse.urlencode(fields).encode(),
                            content_type="application/x-www-form-urlencoded")

    def test_1_page_and_safety(self):
        cases = [  # path, Host, status
            (self.base, None, 200),
            (self.base + "api/state", "localhost:%d" % self.port, 200),
            ("/", None, 403),
            ("/api/state", None, 403),
            (self.base + "api/state", "attacker.example:%d" % self.port, 403),
        ]
        for path, host, status in cases:
            response, _ = self.request("GET", path, host=host)
            self.assertEqual(response.status, status, (path, host))
            policy = response.getheader("Content-Security-Policy") or ""
            self.assertIn("script-src 'self'", policy)
            self.assertNotIn("unsafe", policy)

    def test_2_edits_and_refusals(self):
        cases = [  # fields, status, field of the refusal
            ({"name": "Zo\u00eb", "level": "Education High", "minutes": "30"}, 200, None),
            ({"name": "bob", "minutes": "abc"}, 422, "minutes"),
            ({"name": "check\u2713"}, 422, "name"),
        ]
        for fields, status, field in cases:
            response, data = self.post("api/user/add", **fields)
            self.assertEqual(response.status, status, data)
            if field:
                self.assertIn(('"field":"%s"' % field).encode(), data)
        shown = noxadmin("user", "show", "Zo\u00eb").stdout
        self.assertIn(b"Education High", shown)
        self.assertIn(b"30 per day", shown)
        _, user = self.request("GET", self.base + "api/user?name=Zo%C3%AB")
        self.assertIn('"name":"Zo\u00eb"'.encode(), user)

    def test_3_export_is_the_command_lines(self):
        response, data = self.request("GET", self.base + "api/export")
        self.assertEqual(response.status, 200)
        self.assertEqual(response.getheader("Content-Disposition"), 'attachment; filename="users.csv"')
        self.assertEqual(data, noxadmin("export").stdout)

    def test_4_busy_port(self):
        busy = subprocess.run([RUN, NOXADMIN, "--dir", TABLES, "serve", "--port", str(self.port)],
                              capture_output=True, stdin=subprocess.DEVNULL, timeout=30)
        self.assertEqual(busy.returncode, 1)
        self.assertIn(b"127.0.0.1:%d" % self.port, busy.stderr)

    def test_5_ctrl_c_ends_the_server(self):
        self.server.send_signal(signal.SIGINT)
        self.assertEqual(self.server.wait(timeout=5), 0)
        self.assertIn(b"server stopped", self.server.stderr.read())


if __name__ == "__main__":
    unittest.main(verbosity=2)
