#!/usr/bin/python3
"""Reference ZANDOR web site for tests and the demo: serves the pages of a folder over plain HTTP on
loopback. "/" is index.html; any other path is the file of that name. A file NAME.status beside a
page holds the HTTP status to answer with instead of 200 (the page itself is then sent as the body).
Every request line is appended to requests.log in the folder."""

import argparse
import http.server
import os
import sys


def make_handler(root):
    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            with open(os.path.join(root, "requests.log"), "a") as log:
                log.write(self.path + "\n")
            name = self.path.split("?", 1)[0].lstrip("/") or "index.html"
            page = os.path.join(root, name)
            if "/" in name or "\\" in name or name.startswith(".") or not os.path.isfile(page):
                self.answer(404, b"not found")
                return
            status = 200
            status_file = page + ".status"
            if os.path.isfile(status_file):
                with open(status_file) as f:
                    status = int(f.read().strip())
            with open(page, "rb") as f:
                self.answer(status, f.read())

        def answer(self, status, body):
            self.send_response(status)
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    return Handler


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--root", required=True)
    parser.add_argument("--ready-file", help="written once the site listens")
    args = parser.parse_args()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), make_handler(args.root))
    if args.ready_file:
        with open(args.ready_file, "w") as f:
            f.write(str(args.port))
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
