#!/usr/bin/env python3
"""Checks of the local test server itself, run natively: python3 test_server.py"""

import http.client
import os
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "halvex_server.py")
CERTS = os.path.join(HERE, "..", "certs.sh")

TAMRICK = "/fenwa/FenwaTamrick.zip"
BVMFC = "/BVMFC.zip"
HALVEX64 = "/fenwa/FenwaHalvex64.exe"
REPORT = "/payment/product.install?customerName=Fenwa&productName=Corvina&guid=ABC"


def wait_for(condition, seconds=5.0):
    end = time.time() + seconds
    while not condition():
        if time.time() > end:
            raise AssertionError("timed out")
        time.sleep(0.05)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class ServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        base = cls.tmp.name
        cls.root = os.path.join(base, "root")
        cls.state = os.path.join(base, "state")
        cls.certs = os.path.join(base, "certs")
        os.makedirs(os.path.join(cls.root, "fenwa"))
        cls.files = {
            TAMRICK: os.urandom(200 * 1024),
            BVMFC: os.urandom(50 * 1024),
            HALVEX64: os.urandom(10 * 1024),
        }
        for path, data in cls.files.items():
            with open(os.path.join(cls.root, path.lstrip("/")), "wb") as f:
                f.write(data)
        cls.other = os.path.join(base, "other.bin")
        with open(cls.other, "wb") as f:
            f.write(b"not the payload")
        subprocess.run(["bash", CERTS, cls.certs], check=True, stdout=subprocess.DEVNULL)
        cls.http_port, cls.https_port = free_port(), free_port()
        cls.pidfile = os.path.join(base, "server.pid")
        cls.proc = subprocess.Popen(
            [sys.executable, SERVER, "--root", cls.root, "--state", cls.state,
             "--http-port", str(cls.http_port), "--https-port", str(cls.https_port),
             "--cert", os.path.join(cls.certs, "server.pem"),
             "--key", os.path.join(cls.certs, "server.key"), "--pidfile", cls.pidfile],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        if cls.proc.stdout.readline().strip() != "ready":
            raise RuntimeError("server did not start")

    @classmethod
    def tearDownClass(cls):
        cls.proc.send_signal(signal.SIGTERM)
        cls.proc.wait(10)
        cls.proc.stdout.close()
        cls.tmp.cleanup()

    def setUp(self):
        for name in ("control", "requests.log"):
            try:
                os.remove(os.path.join(self.state, name))
            except FileNotFoundError:
                pass

    def control(self, text):
        path = os.path.join(self.state, "control")
        with open(path + ".new", "w") as f:
            f.write(text)
        os.replace(path + ".new", path)

    def get(self, path, scheme="http"):
        """(status, headers, body) or the exception the client met."""
        if scheme == "https":
            ctx = ssl.create_default_context(cafile=os.path.join(self.certs, "ca.pem"))
            conn = http.client.HTTPSConnection("localhost", self.https_port, context=ctx, timeout=10)
        else:
            conn = http.client.HTTPConnection("127.0.0.1", self.http_port, timeout=10)
        try:
            conn.request("GET", path)
            resp = conn.getresponse()
            return resp.status, resp, resp.read()
        finally:
            conn.close()

    def requests(self):
        with open(os.path.join(self.state, "requests.log")) as f:
            return f.read().splitlines()

    def test_serves_the_four_paths_and_records_each_request(self):
        for scheme, path, body in [
            ("http", TAMRICK, self.files[TAMRICK]),
            ("http", BVMFC, self.files[BVMFC]),
            ("http", HALVEX64, self.files[HALVEX64]),
            ("https", REPORT, None),
        ]:
            with self.subTest(path=path):
                status, resp, data = self.get(path, scheme)
                self.assertEqual(status, 200)
                self.assertEqual(int(resp.getheader("Content-Length")), len(data))
                if body is not None:
                    self.assertEqual(data, body)
                else:
                    self.assertTrue(data)
        self.assertEqual(self.get("/fenwa/other.zip")[0], 404)
        self.assertEqual(self.requests(), [
            "http GET " + TAMRICK, "http GET " + BVMFC, "http GET " + HALVEX64,
            "https GET " + REPORT, "http GET /fenwa/other.zip"])

    def test_directives(self):
        size = len(self.files[TAMRICK])
        rows = [
            # name, control text, check(result, elapsed)
            ("status answers that status", "status=404\n",
             lambda r, t: self.assertEqual((r[0], b"404" in r[2]), (404, True))),
            ("nolength sends the whole body without a length", "nolength=1\n",
             lambda r, t: self.assertEqual((r[1].getheader("Content-Length"), r[2]),
                                           (None, self.files[TAMRICK]))),
            ("stall waits before answering", "stall=0.6\n",
             lambda r, t: self.assertEqual((r[0], t >= 0.6), (200, True))),
            ("serve sends the given file", "serve=%s\n" % self.other,
             lambda r, t: self.assertEqual(r[2], b"not the payload")),
            ("rate throttles the body", "rate=%d\n" % (size * 2),
             lambda r, t: self.assertEqual((r[2] == self.files[TAMRICK], t >= 0.45), (True, True))),
            ("a scoped directive leaves other paths alone", "path=/BVMFC.zip\nstatus=500\n",
             lambda r, t: self.assertEqual(r[0], 200)),
            ("a scoped directive overrides a global one", "status=500\npath=%s\nstatus=403\n" % TAMRICK,
             lambda r, t: self.assertEqual(r[0], 403)),
        ]
        for name, text, check in rows:
            with self.subTest(name):
                self.control(text)
                start = time.monotonic()
                result = self.get(TAMRICK)
                check(result, time.monotonic() - start)

    def test_cut_announces_the_length_but_sends_less(self):
        self.control("cut=1000\n")
        conn = http.client.HTTPConnection("127.0.0.1", self.http_port, timeout=10)
        conn.request("GET", TAMRICK)
        resp = conn.getresponse()
        self.assertEqual(int(resp.getheader("Content-Length")), len(self.files[TAMRICK]))
        with self.assertRaises(http.client.IncompleteRead) as ctx:
            resp.read()
        self.assertEqual(ctx.exception.partial, self.files[TAMRICK][:1000])
        conn.close()

    def test_fail_counts_down_then_serves(self):
        for mode, expect in [("failmode=status:503\n", 503), ("", 500), ("failmode=drop\n", "drop")]:
            with self.subTest(mode=mode or "default"):
                self.control("# two bad answers\npath=%s\nfail=2\n%s" % (BVMFC, mode))
                for _ in range(2):
                    if expect == "drop":
                        with self.assertRaises((http.client.RemoteDisconnected, ConnectionError)):
                            self.get(BVMFC)
                    else:
                        status, _, body = self.get(BVMFC)
                        self.assertEqual(status, expect)
                        self.assertIn(b"<html>", body)
                    # Other paths are not counted.
                    self.assertEqual(self.get(TAMRICK)[0], 200)
                self.assertEqual(self.get(BVMFC)[2], self.files[BVMFC])
                with open(os.path.join(self.state, "control")) as f:
                    self.assertIn("fail=0", f.read().splitlines())

    def test_control_is_read_on_every_request(self):
        self.control("status=500\n")
        self.assertEqual(self.get(TAMRICK)[0], 500)
        os.remove(os.path.join(self.state, "control"))
        self.assertEqual(self.get(TAMRICK)[0], 200)

    def test_refuse_closes_the_http_port_until_the_file_goes(self):
        refuse = os.path.join(self.state, "refuse")
        refusing = os.path.join(self.state, "refusing")
        open(refuse, "w").close()
        try:
            wait_for(lambda: os.path.exists(refusing))
            with self.assertRaises(ConnectionRefusedError):
                self.get(TAMRICK)
        finally:
            os.remove(refuse)
        wait_for(lambda: not os.path.exists(refusing))
        self.assertEqual(200, self.get(TAMRICK)[0])

    def test_parallel_downloads_do_not_wait_for_a_stalled_one(self):
        self.control("path=%s\nstall=2\n" % TAMRICK)
        slow = threading.Thread(target=self.get, args=(TAMRICK,))
        slow.start()
        time.sleep(0.2)
        start = time.monotonic()
        self.assertEqual(self.get(BVMFC)[0], 200)
        self.assertLess(time.monotonic() - start, 1.5)
        slow.join()


class LifecycleTest(unittest.TestCase):
    def test_sigterm_ends_cleanly_and_removes_the_pidfile(self):
        with tempfile.TemporaryDirectory() as base:
            pidfile = os.path.join(base, "pid")
            proc = subprocess.Popen(
                [sys.executable, SERVER, "--root", base, "--state", base,
                 "--http-port", str(free_port()), "--pidfile", pidfile],
                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
            self.assertEqual(proc.stdout.readline().strip(), "ready")
            with open(pidfile) as f:
                self.assertEqual(int(f.read()), proc.pid)
            self.assertTrue(os.path.exists(os.path.join(base, "ready")))
            proc.send_signal(signal.SIGTERM)
            self.assertEqual(proc.wait(10), 0)
            proc.stdout.close()
            self.assertFalse(os.path.exists(pidfile))
            self.assertFalse(os.path.exists(os.path.join(base, "ready")))


if __name__ == "__main__":
    unittest.main()
