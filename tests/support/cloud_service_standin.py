#!/usr/bin/env python3
"""A stand-in for the Quonvera cloud service, for tests and local trials.

Serves plain HTTP on 127.0.0.1 only. Start it with

    python3 cloud_service_standin.py [--port N]        (N = 0 or absent: a free port)

and it prints one line, "listening on http://127.0.0.1:PORT", then serves until it is
terminated (or until the process that started it exits). Point the application at it with
QUONVERA_SERVICE_URL=http://127.0.0.1:PORT. C++ tests use it through
tests/support/CloudServiceStandIn.h, which starts it on a free port and speaks the control
requests below.

Every request outside /_standin/ is recorded and answered from the script of its path.
Without a script:
  POST /api/transcribe -> 200 {"text": "Hello from the stand-in."}
  POST /api/enhance    -> 200 {"text": <the prompt's text after its last "Transcription:\\n">}
  anything else        -> 404 {"error": "not found"}

Control (JSON in and out):
  POST /_standin/script    {"path": "/api/transcribe",
                            "responses": [RESPONSE, ...],   answered in order, one per request,
                            "then": RESPONSE}               answered once the list is used up
                                                            (absent: the built-in answer)
      RESPONSE = {"status": 503, "body": "text", "headers": {"Name": "value"},
                  "delay": 0.5, "drop": false}
        all members optional (status 200, empty body, no extra headers, no delay);
        "json": VALUE instead of "body" sends VALUE as JSON with Content-Type application/json;
        "delay" waits that many seconds before answering; "drop": true closes the connection
        without any answer.
  GET  /_standin/requests  -> [{"method", "path", "headers": [[name, value], ...],
                               "body_base64"}, ...]   every recorded request, oldest first
  POST /_standin/reset     forgets all scripts and recorded requests
"""

import argparse
import base64
import http.server
import json
import os
import sys
import threading
import time

DEFAULT_TRANSCRIPT = "Hello from the stand-in."

lock = threading.Lock()
scripts = {}  # path -> {"responses": [...], "then": RESPONSE or None}
recorded = []


def built_in_answer(path, body):
    if path == "/api/transcribe":
        return {"json": {"text": DEFAULT_TRANSCRIPT}}
    if path == "/api/enhance":
        try:
            prompt = json.loads(body.decode("utf-8"))["prompt"]
            return {"json": {"text": prompt.rsplit("Transcription:\n", 1)[-1]}}
        except (ValueError, KeyError, TypeError):
            return {"status": 400, "json": {"error": "bad request"}}
    return {"status": 404, "json": {"error": "not found"}}


def next_answer(path, body):
    with lock:
        script = scripts.get(path)
        if script is not None:
            if script["responses"]:
                return script["responses"].pop(0)
            if script.get("then") is not None:
                return script["then"]
    return built_in_answer(path, body)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, format, *args):
        pass

    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def send(self, status, body=b"", headers=None, content_type=None):
        self.send_response(status)
        if content_type:
            self.send_header("Content-Type", content_type)
        for name, value in (headers or {}).items():
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def control(self, body):
        global recorded
        if self.command == "GET" and self.path == "/_standin/requests":
            with lock:
                listing = list(recorded)
            self.send(200, json.dumps(listing).encode(), content_type="application/json")
        elif self.command == "POST" and self.path == "/_standin/script":
            spec = json.loads(body.decode("utf-8"))
            with lock:
                scripts[spec["path"]] = {"responses": list(spec.get("responses", [])), "then": spec.get("then")}
            self.send(204)
        elif self.command == "POST" and self.path == "/_standin/reset":
            with lock:
                scripts.clear()
                recorded = []
            self.send(204)
        else:
            self.send(404, b"unknown control request")

    def handle_any(self):
        body = self.read_body()
        if self.path.startswith("/_standin/"):
            self.control(body)
            return
        with lock:
            recorded.append({
                "method": self.command,
                "path": self.path,
                "headers": [[name, value] for name, value in self.headers.items()],
                "body_base64": base64.b64encode(body).decode("ascii"),
            })
        answer = next_answer(self.path, body)
        if answer.get("delay"):
            time.sleep(float(answer["delay"]))
        if answer.get("drop"):
            self.close_connection = True
            return
        if "json" in answer:
            payload, content_type = json.dumps(answer["json"]).encode("utf-8"), "application/json"
        else:
            payload, content_type = answer.get("body", "").encode("utf-8"), None
        try:
            self.send(int(answer.get("status", 200)), payload, answer.get("headers"), content_type)
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True

    do_GET = do_POST = do_PUT = do_DELETE = do_PATCH = handle_any


def exit_with_parent(parent):
    while os.getppid() == parent:
        time.sleep(0.5)
    os._exit(0)


def main():
    parser = argparse.ArgumentParser(description="Stand-in for the Quonvera cloud service")
    parser.add_argument("--port", type=int, default=0)
    options = parser.parse_args()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", options.port), Handler)
    server.daemon_threads = True
    threading.Thread(target=exit_with_parent, args=(os.getppid(),), daemon=True).start()
    print(f"listening on http://127.0.0.1:{server.server_address[1]}", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
