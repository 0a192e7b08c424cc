"""Hostile replies for any content path, and the "elsewhere" host.

POST /_testbed/option {"name": "hostile", "value": {"path": P, "mode": M, ...}}
makes every request whose target (path with query) starts with P get the
reply of mode M, whatever route or handler the path has; the value null
ends it. Modes and their settings:
  "close_mid_body"  status, headers announcing "length" bytes (default the
                    body plus 1000), the first "cut" bytes of "body"
                    (default half of it), then the connection is closed
  "stall"           "headers" true: status and headers announcing the
                    body, then silence; false: silence before any byte.
                    The connection is closed after "seconds" (default 30)
  "megabytes"       status, a body of "size" bytes (default 8 MiB) of
                    "0123456789ABCDEF", sent as long as the client reads
  "nul"             "body" with a NUL byte inserted at "at" (default 0)
  "proxy_auth"      407 with a Basic Proxy-Authenticate challenge, every time
  "redirect"        "status" (default 302) with Location: the same target on
                    the elsewhere listener (or "location")
"status" (default 200), "body" (text, default "20091224063012") and
"body_b64" (exact bytes) apply to every mode that sends a body.
GET /_hostile/report gives the last hostile reply as JSON: mode, target,
bytes sent, and whether the client stayed to the end ("complete").

The elsewhere listener (port base + 4, plain HTTP) stands for another host.
It answers every request with "elsewhere.status" (default 200) and
"elsewhere.body" (default "20991231235959", a clock a client must not take)
and records it under the control channel's paths "elsewhere:<target>" and
"elsewhere:*" (last and count), so a test can prove it was never contacted.
"""
import base64
import http.server
import json
import time

import kevo_testbed
from kevo_testbed import STATE

REPORT_PATH = "/_hostile/report"
REPORT_OPTION = "hostile._report"
DEFAULT_BODY = b"20091224063012"
PATTERN = b"0123456789ABCDEF" * 4096


def _settings():
    wanted = STATE.option("hostile")
    return wanted if isinstance(wanted, dict) else None


def _body(wanted):
    if "body_b64" in wanted:
        return base64.b64decode(wanted["body_b64"])
    if "body" in wanted:
        return str(wanted["body"]).encode("latin-1")
    return DEFAULT_BODY


def _report(**fields):
    with STATE.lock:
        STATE.options[REPORT_OPTION] = fields


_head = kevo_testbed.send_head
_close = kevo_testbed.close_connection


def _elsewhere_base(handler):
    return "http://127.0.0.1:%d" % (handler.server.server_address[1] - {
        "http": 0, "https": 1, "impostor": 2, "expired": 5, "wrongname": 6}.get(handler.listener, 0) + 4)


def intercept(request, handler):
    wanted = _settings()
    if wanted is None or not request.target.startswith(wanted.get("path", "\0")):
        return False
    if request.target.startswith("/_"):  # the testbed's own reports stay reachable
        return False
    mode = wanted.get("mode")
    status = int(wanted.get("status", 200))
    body = _body(wanted)
    report = {"mode": mode, "target": request.target, "sent": 0, "complete": False}
    _report(**report)
    if mode == "proxy_auth":
        report.update(sent=0, complete=True)
        _report(**report)
        return 407, {"Proxy-Authenticate": 'Basic realm="KEVO Testbed Origin"'}, b"proxy authentication required"
    if mode == "redirect":
        location = wanted.get("location") or _elsewhere_base(handler) + request.target
        report.update(complete=True, location=location)
        _report(**report)
        return int(wanted.get("status", 302)), {"Location": location}, b""
    if mode == "nul":
        at = int(wanted.get("at", 0))
        payload = body[:at] + b"\x00" + body[at:]
        report.update(sent=len(payload), complete=True)
        _report(**report)
        return status, {}, payload
    try:
        if mode == "close_mid_body":
            length = int(wanted.get("length", len(body) + 1000))
            cut = int(wanted.get("cut", len(body) // 2))
            _head(handler, status, length)
            handler.wfile.write(body[:cut])
            report["sent"] = cut
        elif mode == "stall":
            seconds = float(wanted.get("seconds", 30))
            if wanted.get("headers", True):
                _head(handler, status, len(body))
            deadline = time.monotonic() + seconds
            while time.monotonic() < deadline:
                time.sleep(0.1)
        elif mode == "megabytes":
            size = int(wanted.get("size", 8 << 20))
            _head(handler, status, size)
            sent = 0
            while sent < size:
                piece = PATTERN[:min(len(PATTERN), size - sent)]
                handler.wfile.write(piece)
                sent += len(piece)
                report["sent"] = sent
            handler.wfile.flush()
            report["complete"] = True
        else:
            return 500, {}, ("unknown hostile mode %r" % mode).encode()
    except OSError:
        pass  # the client went away
    _report(**report)
    _close(handler)
    return None


def report(request, handler):
    found = STATE.option(REPORT_OPTION)
    if found is None:
        return 404, {"Content-Type": "text/plain"}, b"none"
    return 200, {"Content-Type": "application/json"}, json.dumps(found).encode()


class ElsewhereHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "KEVOElsewhere/1.0"

    def log_message(self, fmt, *args):
        pass

    def handle_any(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length > 0 else b""
        request = kevo_testbed.Request(self.command, self.path, list(self.headers.items()), body, "elsewhere")
        with STATE.lock:
            for key in ("elsewhere:" + self.path, "elsewhere:*"):
                STATE.last[key] = request
                STATE.counts[key] = STATE.counts.get(key, 0) + 1
        payload = str(STATE.option("elsewhere.body", "20991231235959")).encode("latin-1")
        self.send_response(int(STATE.option("elsewhere.status", 200)))
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(payload)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(payload)

    do_GET = do_POST = do_PUT = do_HEAD = handle_any


def make_elsewhere_server(port):
    return kevo_testbed.ThreadingServer(("127.0.0.1", port), ElsewhereHandler)


kevo_testbed.INTERCEPTORS.append(intercept)
kevo_testbed.register(REPORT_PATH, report)
