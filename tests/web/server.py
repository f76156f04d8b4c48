#!/usr/bin/env python3
"""A loopback web server for the web-fetching tests (standard library only).

Listens on 127.0.0.1 only, on the port given (0: any free one), and prints the port it got
as its first line of output. Serves the files of --root, plus routes that misbehave on
purpose:

  /robots.txt                  the --robots file, or --robots-status (404 when neither)
  /redirect/<code>/<n>         a chain of n redirects with status code, then a small page
  /redirect-loop               redirects to itself
  /redirect-to?code=C&to=URL   one redirect to any URL (another host, file:, ...);
                               &bytes=N gives it a body of N bytes
  /gzip/<file>, /deflate/<file>  a file of --root with that Content-Encoding
  /silent?seconds=S            accepts, then says nothing for S seconds
  /slow?seconds=S              sends the headers, then nothing for S seconds, then the body
  /trickle?bytes=N&interval=T  sends the body one byte every T seconds
  /status/<code>               that status with a small HTML body (?bytes=N: of N bytes)
  /huge?length=1               17 MiB of HTML, with Content-Length (without: until close)
  /binary.png                  a PNG (image/png)
  /typed?type=T                a small body sent with Content-Type T ("none": no header)
  /charset                     HTML with "Content-Type: text/html; charset=ISO-8859-1"
  /charset-differs             header charset windows-1252, the page's meta says utf-8

With --tls PEM (a certificate and its key, e.g. tests/web/self_signed.pem, made once with
openssl req -x509 for CN and IP 127.0.0.1) it speaks HTTPS instead; no client trusts that
certificate, which is the point. Each request is logged as one tab-separated line (method, path, User-Agent, the client's
port, the server's monotonic clock in seconds) to --log, or to stderr, before it is answered. The server stops when its standard
input closes or on SIGTERM.
"""
import argparse
import gzip
import http.server
import os
import signal
import ssl
import sys
import threading
import time
import urllib.parse
import zlib

HUGE_BYTES = 17 * 1024 * 1024
PNG = (b"\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR\x00\x00\x00\x01\x00\x00\x00\x01\x08\x06"
       b"\x00\x00\x00\x1f\x15\xc4\x89\x00\x00\x00\rIDATx\x9cc\x00\x01\x00\x00\x05\x00\x01"
       b"\r\n-\xb4\x00\x00\x00\x00IEND\xaeB`\x82")
PHRASES = {404: "Not Found", 500: "Internal Server Error", 403: "Forbidden", 410: "Gone",
           503: "Service Unavailable", 301: "Moved Permanently", 302: "Found",
           303: "See Other", 307: "Temporary Redirect", 308: "Permanent Redirect"}


class Handler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.1"  # keep-alive, so connection reuse can be seen

    def log_message(self, format, *args):  # the request log below replaces it
        pass

    def log_request_line(self):
        line = "%s\t%s\t%s\t%d\t%.3f\n" % (self.command, self.path,
                                          self.headers.get("User-Agent", ""), self.client_address[1],
                                          time.monotonic())
        with self.server.log_lock:
            self.server.log.write(line)
            self.server.log.flush()

    def send_body(self, status, body, content_type="text/html", extra=()):
        self.send_response(status, PHRASES.get(status))
        if content_type is not None:
            self.send_header("Content-Type", content_type)
        for name, value in extra:
            self.send_header(name, value)
        if status in (204, 304):
            body = b""  # these never carry a body; one would be read as the next response
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def redirect(self, status, location, size=None):
        body = b"<html><body>moved</body></html>" if size is None else b"m" * size
        self.send_body(status, body, extra=[("Location", location)])

    def sleep(self, seconds):
        # In small steps, so a stopping server does not wait for a long silence.
        end = time.monotonic() + seconds
        while time.monotonic() < end and not self.server.stopping.is_set():
            time.sleep(0.05)

    def do_GET(self):
        self.log_request_line()
        try:
            self.route()
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True

    def route(self):
        parts = urllib.parse.urlsplit(self.path)
        path = parts.path
        query = dict(urllib.parse.parse_qsl(parts.query))
        segments = path.strip("/").split("/")
        server = self.server

        if path == "/robots.txt":
            if server.robots is not None:
                self.send_body(200, server.robots, "text/plain")
            else:
                self.send_body(server.robots_status, b"no robots here", "text/plain")
        elif segments[0] == "redirect" and len(segments) == 3:
            code, count = int(segments[1]), int(segments[2])
            if count > 0:
                self.redirect(code, "/redirect/%d/%d" % (code, count - 1))
            else:
                self.send_body(200, b"<html><body><p>end of the chain</p></body></html>")
        elif path == "/redirect-loop":
            self.redirect(302, "/redirect-loop")
        elif path == "/redirect-to":
            size = int(query["bytes"]) if "bytes" in query else None
            self.redirect(int(query.get("code", "302")), query["to"], size)
        elif segments[0] in ("gzip", "deflate") and len(segments) == 2:
            with open(os.path.join(server.root, segments[1]), "rb") as source:
                plain = source.read()
            coded = gzip.compress(plain) if segments[0] == "gzip" else zlib.compress(plain)
            self.send_body(200, coded, "text/html", [("Content-Encoding", segments[0])])
        elif path == "/silent":
            self.sleep(float(query.get("seconds", "10")))
            self.close_connection = True
        elif path == "/slow":
            body = b"<html><body>late</body></html>"
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.flush()
            self.sleep(float(query.get("seconds", "10")))
            self.wfile.write(body)
        elif path == "/trickle":
            count, interval = int(query.get("bytes", "10")), float(query.get("interval", "0.2"))
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(count))
            self.end_headers()
            for _ in range(count):
                self.wfile.write(b"x")
                self.wfile.flush()
                self.sleep(interval)
        elif segments[0] == "status" and len(segments) == 2:
            code = int(segments[1])
            body = b"<html><body>status %d</body></html>" % code
            self.send_body(code, b"e" * int(query["bytes"]) if "bytes" in query else body)
        elif path == "/huge":
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            if query.get("length") == "1":
                self.send_header("Content-Length", str(HUGE_BYTES))
            else:
                self.send_header("Connection", "close")
                self.close_connection = True
            self.end_headers()
            chunk = b"<p>" + b"a" * 65529 + b"</p>"
            for _ in range(HUGE_BYTES // len(chunk)):
                self.wfile.write(chunk)
            self.wfile.write(b"a" * (HUGE_BYTES % len(chunk)))
        elif path == "/binary.png":
            self.send_body(200, PNG, "image/png")
        elif path == "/typed":
            content_type = query.get("type", "text/html")
            self.send_body(200, b"<html><body>typed</body></html>",
                           None if content_type == "none" else content_type)
        elif path == "/charset":
            self.send_body(200, "<html><body>caf\u00e9</body></html>".encode("latin-1"),
                           "text/html; charset=ISO-8859-1")
        elif path == "/charset-differs":
            page = '<html><head><meta charset="utf-8"></head><body>\u20ac</body></html>'
            self.send_body(200, page.encode("cp1252"), 'text/html; charset="windows-1252"')
        else:
            super().do_GET()

    def do_HEAD(self):
        self.do_GET()


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        # A client that gives up (a cancel, a size limit) is part of the tests, not a fault.
        if isinstance(sys.exc_info()[1], (BrokenPipeError, ConnectionResetError, ssl.SSLError)):
            return
        super().handle_error(request, client_address)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", required=True, help="folder of pages to serve")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--log", help="request log file (default: stderr)")
    parser.add_argument("--robots", help="file served as /robots.txt")
    parser.add_argument("--robots-status", type=int, default=404,
                        help="status of /robots.txt when there is no --robots file")
    parser.add_argument("--tls", help="PEM file with a certificate and its key: serve HTTPS")
    args = parser.parse_args()

    root = os.path.abspath(args.root)

    class RootHandler(Handler):
        def __init__(self, *handler_args, **handler_kwargs):
            super().__init__(*handler_args, directory=root, **handler_kwargs)

    server = Server(("127.0.0.1", args.port), RootHandler)
    if args.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.tls)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    server.root = root
    server.robots = open(args.robots, "rb").read() if args.robots else None
    server.robots_status = args.robots_status
    server.log = open(args.log, "a", encoding="utf-8") if args.log else sys.stderr
    server.log_lock = threading.Lock()
    server.stopping = threading.Event()

    def stop(*_):
        server.stopping.set()
        # shutdown() waits for serve_forever, so it cannot run on the serving thread.
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)

    def watch_stdin():
        while sys.stdin.buffer.read(4096):
            pass
        stop()

    threading.Thread(target=watch_stdin, daemon=True).start()
    print(server.server_address[1], flush=True)
    server.serve_forever(poll_interval=0.1)
    server.server_close()


if __name__ == "__main__":
    main()
