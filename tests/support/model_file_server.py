#!/usr/bin/env python3
"""Serves the files of a folder over HTTP on 127.0.0.1 for the model download tests.

Supports "Range: bytes=N-" requests (206 with Content-Range), answers 404 for missing files, and
can cut the first response off after a number of body bytes, as a dropped connection would.
Writes the port it listens on to --port-file and one line per request to --log.
"""
import argparse
import os
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

parser = argparse.ArgumentParser()
parser.add_argument("--root", required=True)
parser.add_argument("--port-file", required=True)
parser.add_argument("--log", required=True)
parser.add_argument("--cut-after", type=int, default=-1, help="cut the first response after this many bytes")
args = parser.parse_args()

lock = threading.Lock()
cut_pending = [args.cut_after >= 0]


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *unused):
        pass

    def do_GET(self):
        range_header = self.headers.get("Range", "")
        with lock, open(args.log, "a") as log:
            log.write(f"GET {self.path} Range: {range_header}\n")
        path = os.path.join(args.root, os.path.basename(self.path))
        if not os.path.isfile(path):
            body = b"not found"
            self.send_response(404)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        with open(path, "rb") as f:
            data = f.read()
        start = 0
        if range_header.startswith("bytes="):
            start = int(range_header[len("bytes="):].split("-")[0])
            if start >= len(data):
                self.send_response(416)
                self.send_header("Content-Range", f"bytes */{len(data)}")
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            self.send_response(206)
            self.send_header("Content-Range", f"bytes {start}-{len(data) - 1}/{len(data)}")
        else:
            self.send_response(200)
        body = data[start:]
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        with lock:
            cut = cut_pending[0]
            cut_pending[0] = False
        if cut:
            self.wfile.write(body[: args.cut_after])
            self.wfile.flush()
            self.close_connection = True
            self.connection.shutdown(2)
            return
        self.wfile.write(body)


server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
with open(args.port_file + ".tmp", "w") as f:
    f.write(str(server.server_address[1]))
os.rename(args.port_file + ".tmp", args.port_file)
server.serve_forever()
