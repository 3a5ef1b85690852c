#!/usr/bin/env python3
"""Local distribution and report server for tests and the demo.

Serves HTTP and HTTPS at once, records every request in STATE/requests.log
and misbehaves as STATE/control says (read again on every request).

Control file: one `key=value` per line, `#` starts a comment. Directives
before any `path=` line apply to every path; a `path=/x` line starts a
section whose directives apply only to that path (query ignored) and
override the global ones for it.

  fail=N              fail the next N matching requests (counted down in the file)
  failmode=status:500 how a failed request fails: any status with an HTML page
  failmode=drop       ... or close the connection before answering
  status=404          answer this status always
  stall=SECONDS       wait this long before answering
  nolength=1          send no Content-Length; closing the connection ends the body
  cut=BYTES           announce the whole length but send only BYTES, then close
  serve=/abs/path     send this file instead of the normal one
  rate=BYTES_PER_SEC  throttle the body

While the file STATE/refuse exists the HTTP port is closed, so connections
are refused as with no server at all; STATE/refusing says it is closed.

Write the control file atomically (write a temporary file, then rename), as
the server rewrites it the same way when it counts `fail` down.
"""

import argparse
import email.utils
import http.server
import os
import signal
import socket
import ssl
import sys
import threading
import time

CHUNK = 16 * 1024

# URL path -> file below --root; the report path answers generated text.
FILES = {
    "/fenwa/FenwaTamrick.zip": ("fenwa/FenwaTamrick.zip", "application/zip"),
    "/BVMFC.zip": ("BVMFC.zip", "application/zip"),
    "/fenwa/FenwaHalvex64.exe": ("fenwa/FenwaHalvex64.exe", "application/octet-stream"),
}
REPORT_PATH = "/payment/product.install"
REPORT_BODY = b"Installation recorded.\r\n"

KNOWN = {"fail", "failmode", "status", "stall", "nolength", "cut", "serve", "rate"}


class Control:
    """Reads the control file and counts `fail` down, under one lock."""

    def __init__(self, state_dir):
        self.path = os.path.join(state_dir, "control")
        self.lock = threading.Lock()

    def _read_lines(self):
        try:
            with open(self.path, "r", encoding="utf-8") as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    @staticmethod
    def _parse(lines, req_path):
        """Directives for req_path: {key: (value, line index)}."""
        common, scoped = {}, {}
        section = None
        for i, raw in enumerate(lines):
            line = raw.strip()
            if not line or line.startswith("#") or "=" not in line:
                continue
            key, value = (s.strip() for s in line.split("=", 1))
            if key == "path":
                section = value.split("?", 1)[0]
            elif key not in KNOWN:
                sys.stderr.write("control: unknown directive %r ignored\n" % key)
            elif section is None:
                common[key] = (value, i)
            elif section == req_path:
                scoped[key] = (value, i)
        common.update(scoped)
        return common

    def take(self, req_path):
        """Returns (directives, failed) for one request."""
        with self.lock:
            lines = self._read_lines()
            directives = self._parse(lines, req_path)
            failed = False
            if "fail" in directives:
                value, index = directives["fail"]
                try:
                    left = int(value)
                except ValueError:
                    left = 0
                if left > 0:
                    failed = True
                    lines[index] = "fail=%d" % (left - 1)
                    self._write_lines(lines)
            return {k: v[0] for k, v in directives.items()}, failed

    def _write_lines(self, lines):
        tmp = "%s.tmp%d" % (self.path, os.getpid())
        with open(tmp, "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")
        os.replace(tmp, self.path)


class RequestLog:
    def __init__(self, state_dir):
        self.path = os.path.join(state_dir, "requests.log")
        self.lock = threading.Lock()

    def record(self, scheme, method, target):
        # Opened per line so that a test may delete or truncate the file between runs.
        with self.lock:
            with open(self.path, "a", encoding="utf-8") as f:
                f.write("%s %s %s\n" % (scheme, method, target))
                f.flush()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    server_version = "HalvexTestServer/1.0"
    timeout = 60

    def do_GET(self):
        self.answer(send_body=True)

    def do_HEAD(self):
        self.answer(send_body=False)

    def do_other(self):
        self.server.app.log.record(self.server.scheme, self.command, self.path)
        self.send_page(405)

    do_POST = do_PUT = do_DELETE = do_OPTIONS = do_PATCH = do_other

    def log_message(self, fmt, *args):
        sys.stderr.write("%s %s - %s\n" % (self.server.scheme, self.address_string(), fmt % args))

    def answer(self, send_body):
        app = self.server.app
        app.log.record(self.server.scheme, self.command, self.path)
        path = self.path.split("?", 1)[0]
        directives, failed = app.control.take(path)

        stall = number(directives.get("stall"), float, 0.0)
        if stall > 0:
            time.sleep(stall)

        if failed:
            mode = directives.get("failmode", "status:500")
            if mode == "drop":
                self.drop()
                return
            self.send_page(number(mode.partition(":")[2], int, 500))
            return

        status = number(directives.get("status"), int, 200)
        if status != 200:
            self.send_page(status)
            return

        body_file, content_type = self.resolve(path, directives.get("serve"))
        if body_file is None and path != REPORT_PATH:
            self.send_page(404)
            return

        if body_file is None:
            size = len(REPORT_BODY)
            content_type = "text/plain"
            mtime = None
        else:
            try:
                f = open(body_file, "rb")
            except OSError:
                self.send_page(404)
                return
            st = os.fstat(f.fileno())
            size = st.st_size
            mtime = st.st_mtime

        try:
            self.send_response(200)
            self.send_header("Content-Type", content_type)
            if directives.get("nolength", "0") in ("", "0"):
                self.send_header("Content-Length", str(size))
            if mtime is not None:
                self.send_header("Last-Modified", email.utils.formatdate(mtime, usegmt=True))
            self.send_header("Connection", "close")
            self.end_headers()
            if not send_body:
                return
            limit = size
            if "cut" in directives:
                limit = min(size, max(0, number(directives["cut"], int, size)))
            rate = number(directives.get("rate"), float, 0.0)
            if body_file is None:
                self.send_bytes(REPORT_BODY[:limit], rate)
            else:
                self.send_file(f, limit, rate)
        finally:
            if body_file is not None:
                f.close()
        self.close_connection = True

    def resolve(self, path, serve):
        if serve:
            return serve, FILES.get(path, (None, "application/octet-stream"))[1]
        if path in FILES:
            rel, content_type = FILES[path]
            return os.path.join(self.server.app.root, rel), content_type
        return None, None

    def send_bytes(self, data, rate):
        self.send_paced(lambda offset, n: data[offset:offset + n], len(data), rate)

    def send_file(self, f, limit, rate):
        self.send_paced(lambda offset, n: f.read(n), limit, rate)

    def send_paced(self, read, limit, rate):
        # With a rate, each piece waits until its last byte is due, so that
        # even a small body takes size / rate seconds.
        piece_size = CHUNK if rate <= 0 else int(max(1024, min(CHUNK, rate / 10)))
        sent = 0
        start = time.monotonic()
        while sent < limit:
            want = min(piece_size, limit - sent)
            if rate > 0:
                delay = start + (sent + want) / rate - time.monotonic()
                if delay > 0:
                    time.sleep(delay)
            piece = read(sent, want)
            if not piece:
                break
            self.wfile.write(piece)
            sent += len(piece)

    def send_page(self, status):
        try:
            reason = http.HTTPStatus(status).phrase
        except ValueError:
            reason = "Error"
        body = ("<html><head><title>%d %s</title></head><body><h1>%d %s</h1></body></html>\r\n"
                % (status, reason, status, reason)).encode("ascii")
        self.send_response(status, reason)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)
        self.close_connection = True

    def drop(self):
        self.close_connection = True
        try:
            self.connection.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass

    def handle(self):
        try:
            super().handle()
        except (ConnectionError, ssl.SSLError, socket.timeout, OSError) as e:
            sys.stderr.write("%s connection ended: %s\n" % (self.server.scheme, e))


def number(text, kind, default):
    if text is None:
        return default
    try:
        return kind(text)
    except ValueError:
        return default


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, address, app, scheme, context=None):
        self.app = app
        self.scheme = scheme
        self.context = context
        super().__init__(address, Handler)

    def finish_request(self, request, client_address):
        if self.context is None:
            return super().finish_request(request, client_address)
        # The handshake runs on the request's own thread so that a slow or
        # refusing client cannot hold up the accept loop.
        request.settimeout(Handler.timeout)
        try:
            tls = self.context.wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError) as e:
            sys.stderr.write("https handshake failed: %s\n" % e)
            return
        try:
            super().finish_request(tls, client_address)
        finally:
            try:
                tls.close()
            except OSError:
                pass


class App:
    def __init__(self, root, state):
        self.root = root
        self.control = Control(state)
        self.log = RequestLog(state)


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--root", required=True, help="folder holding fenwa/FenwaTamrick.zip, BVMFC.zip, fenwa/FenwaHalvex64.exe")
    p.add_argument("--state", required=True, help="folder for requests.log, control, ready")
    p.add_argument("--http-port", type=int, default=18080)
    p.add_argument("--https-port", type=int, default=18443)
    p.add_argument("--cert", help="server certificate (PEM); no HTTPS without it")
    p.add_argument("--key", help="server key (PEM)")
    p.add_argument("--pidfile")
    args = p.parse_args()

    os.makedirs(args.state, exist_ok=True)
    ready = os.path.join(args.state, "ready")
    try:
        os.remove(ready)
    except FileNotFoundError:
        pass

    app = App(os.path.abspath(args.root), args.state)
    servers = [Server(("127.0.0.1", args.http_port), app, "http")]
    if args.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)
        servers.append(Server(("127.0.0.1", args.https_port), app, "https", context))

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())

    if args.pidfile:
        with open(args.pidfile, "w") as f:
            f.write("%d\n" % os.getpid())
    threads = [threading.Thread(target=s.serve_forever, daemon=True) for s in servers]
    for t in threads:
        t.start()
    with open(ready, "w") as f:
        f.write("%d\n" % os.getpid())
    print("ready", flush=True)

    refuse = os.path.join(args.state, "refuse")
    refusing = os.path.join(args.state, "refusing")
    while not stop.wait(0.1):
        closed = servers[0] is None
        if os.path.exists(refuse) and not closed:
            servers[0].shutdown()
            servers[0].server_close()
            servers[0] = None
            open(refusing, "w").close()
        elif not os.path.exists(refuse) and closed:
            servers[0] = Server(("127.0.0.1", args.http_port), app, "http")
            threading.Thread(target=servers[0].serve_forever, daemon=True).start()
            os.remove(refusing)
    servers = [s for s in servers if s is not None]
    for s in servers:
        s.shutdown()
        s.server_close()
    for path in (ready, args.pidfile):
        if path:
            try:
                os.remove(path)
            except FileNotFoundError:
                pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
