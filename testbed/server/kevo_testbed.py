#!/usr/bin/env python3
"""Testbed stand-in for the service's server, on 127.0.0.1 only.

One shared state serves several listeners: plain HTTP (which also carries
the control channel under /_testbed/), HTTPS with a certificate of the
trusted test CA, HTTPS with an untrusted (impostor) certificate, and a
forward proxy.

Control channel (plain HTTP port):
  POST /_testbed/reset                 forget routes, options and requests
  POST /_testbed/route   JSON {"path", "status", "body" | "body_b64",
                               "headers": {..}, "method"}
                       a fixed answer for that path (query included)
  POST /_testbed/option  JSON {"name", "value"}  a setting of a handler
  GET  /_testbed/last?path=P           JSON of the last request to P
  GET  /_testbed/count?path=P          number of requests to P
Content paths without a fixed answer go to the handler registered for them
(see handlers.py); others get 404. The handlers' own options are listed in
their modules: handler_verinfo.py (the version file and its failure modes),
handler_proxy.py (credentials, 407, the "proxy:<target>" paths of last and
count), handler_hostile.py (hostile replies for any path, which win over
routes and handlers, and the "elsewhere" host a redirect points to).

Listeners beyond the first four, when their certificates are given:
+4 plain HTTP "elsewhere" (another host as far as a client can tell),
+5 HTTPS with an expired certificate of the trusted CA, +6 HTTPS with a
certificate of the trusted CA for another name. Always: +7 a dropping port,
which takes no connection and answers no attempt (a firewall that drops).
+8 HTTPS with a certificate of the trusted CA whose CRL distribution point
and OCSP responder are unreachable (+9, where nothing listens), so that a
client checking revocation cannot learn the certificate's state.

scripts/testbed-start and scripts/testbed-stop run it in the background;
in the Windows build tree the CTest fixture "testbed" does (testbed/).
"""
import argparse
import base64
import http.server
import json
import os
import socket
import socketserver
import ssl
import sys
import threading
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
# Run as a script this module is __main__; the handlers import it by name and
# must see this very module (its STATE and HANDLERS), not a second copy.
sys.modules.setdefault("kevo_testbed", sys.modules[__name__])


class State:
    def __init__(self):
        self.lock = threading.Lock()
        self.reset()

    def reset(self):
        self.routes = {}
        self.options = {}
        self.last = {}
        self.counts = {}

    def option(self, name, default=None):
        with self.lock:
            return self.options.get(name, default)


STATE = State()
# path -> function(request) returning (status, headers dict, body bytes)
HANDLERS = {}
# functions(request, handler) tried before routes and handlers: a result
# other than False means the request was answered (None: by the function).
INTERCEPTORS = []


def register(path, function):
    HANDLERS[path] = function


def send_head(handler, status, length, headers=None):
    """Status line and headers of a reply a handler writes itself; length
    None leaves Content-Length out."""
    handler.send_response(status)
    headers = dict(headers or {})
    headers.setdefault("Content-Type", "text/plain")
    for key, value in headers.items():
        handler.send_header(key, value)
    if length is not None:
        handler.send_header("Content-Length", str(length))
    handler.end_headers()
    handler.wfile.flush()


def close_connection(handler):
    """Ends the connection at once, whatever the reply announced."""
    handler.close_connection = True
    try:
        handler.wfile.flush()
        handler.connection.shutdown(socket.SHUT_RDWR)
    except OSError:
        pass


class Request:
    def __init__(self, method, target, headers, body, listener):
        self.method = method
        self.target = target          # path with query, as sent
        self.headers = headers        # list of (name, value) in order
        self.body = body
        self.listener = listener      # "http", "https", "impostor"

    def header(self, name):
        for key, value in self.headers:
            if key.lower() == name.lower():
                return value
        return None

    def as_json(self):
        return {
            "method": self.method,
            "target": self.target,
            "headers": [[k, v] for k, v in self.headers],
            "body_b64": base64.b64encode(self.body).decode("ascii"),
            "listener": self.listener,
        }


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "KEVOTestbed/1.0"
    listener = "http"

    def log_message(self, fmt, *args):  # quiet; the tests read state instead
        pass

    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def send(self, status, body=b"", headers=None):
        self.send_response(status)
        headers = dict(headers or {})
        headers.setdefault("Content-Type", "text/plain")
        for key, value in headers.items():
            self.send_header(key, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def handle_any(self):
        body = self.read_body()
        target = self.path
        if target.startswith("/_testbed/") and self.listener == "http":
            return self.control(target, body)
        request = Request(self.command, target, list(self.headers.items()), body, self.listener)
        with STATE.lock:
            STATE.last[target] = request
            STATE.counts[target] = STATE.counts.get(target, 0) + 1
            route = STATE.routes.get(target)
        for intercept in INTERCEPTORS:
            result = intercept(request, self)
            if result is not False:
                if result is not None:
                    status, headers, payload = result
                    self.send(status, payload, headers)
                return None
        if route is not None:
            return self.send(route["status"], route["body"], route["headers"])
        function = HANDLERS.get(target.split("?")[0]) or HANDLERS.get(target)
        if function is None:
            return self.send(404, b"<html><body>404 Not Found</body></html>", {"Content-Type": "text/html"})
        result = function(request, self)
        if result is not None:
            status, headers, payload = result
            self.send(status, payload, headers)

    do_GET = do_POST = do_PUT = do_HEAD = handle_any

    def control(self, target, body):
        parsed = urllib.parse.urlsplit(target)
        query = urllib.parse.parse_qs(parsed.query)
        action = parsed.path[len("/_testbed/"):]
        if action == "reset":
            with STATE.lock:
                STATE.reset()
            return self.send(200, b"ok")
        if action == "route":
            wanted = json.loads(body or b"{}")
            payload = base64.b64decode(wanted["body_b64"]) if "body_b64" in wanted else wanted.get("body", "").encode("latin-1")
            with STATE.lock:
                STATE.routes[wanted["path"]] = {
                    "status": int(wanted.get("status", 200)),
                    "body": payload,
                    "headers": wanted.get("headers", {}),
                }
            return self.send(200, b"ok")
        if action == "option":
            wanted = json.loads(body or b"{}")
            with STATE.lock:
                STATE.options[wanted["name"]] = wanted.get("value")
            return self.send(200, b"ok")
        if action == "last":
            path = query.get("path", [""])[0]
            with STATE.lock:
                request = STATE.last.get(path)
            if request is None:
                return self.send(404, b"none")
            return self.send(200, json.dumps(request.as_json()).encode(), {"Content-Type": "application/json"})
        if action == "count":
            path = query.get("path", [""])[0]
            with STATE.lock:
                count = STATE.counts.get(path, 0)
            return self.send(200, str(count).encode())
        return self.send(404, b"unknown control")


class ThreadingServer(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def make_server(port, listener, certfile=None, keyfile=None, handler_base=Handler):
    handler = type("Handler_" + listener, (handler_base,), {"listener": listener})
    server = ThreadingServer(("127.0.0.1", port), handler)
    if certfile:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(certfile, keyfile)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    return server


def start_dropping_port(port):
    """A listener whose accept queue is kept full and never taken from: the
    system then drops every further connection attempt without a reply. The
    sockets are returned so that they live as long as the server."""
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(0)
    fillers = []
    for _ in range(3):
        filler = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        filler.setblocking(False)
        filler.connect_ex(("127.0.0.1", port))
        fillers.append(filler)
    return [listener] + fillers


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--port-base", type=int, default=18080)
    parser.add_argument("--cert", help="server certificate (PEM) issued by the trusted test CA")
    parser.add_argument("--key", help="its private key")
    parser.add_argument("--impostor-cert", help="self-signed certificate for the impostor listener")
    parser.add_argument("--impostor-key")
    parser.add_argument("--expired-cert", help="certificate of the trusted CA whose validity has ended")
    parser.add_argument("--expired-key")
    parser.add_argument("--wrongname-cert", help="certificate of the trusted CA for another host name")
    parser.add_argument("--wrongname-key")
    parser.add_argument("--revocation-cert", help="certificate of the trusted CA with unreachable revocation servers")
    parser.add_argument("--revocation-key")
    parser.add_argument("--pidfile")
    args = parser.parse_args()

    import handlers  # registers the content handlers


    servers = [make_server(args.port_base, "http")]
    if args.cert:
        servers.append(make_server(args.port_base + 1, "https", args.cert, args.key))
    if args.impostor_cert:
        servers.append(make_server(args.port_base + 2, "impostor", args.impostor_cert, args.impostor_key))
    proxy = getattr(handlers, "make_proxy_server", None)
    if proxy is not None:
        servers.append(proxy(args.port_base + 3))
    elsewhere = getattr(handlers, "make_elsewhere_server", None)
    if elsewhere is not None:
        servers.append(elsewhere(args.port_base + 4))
    if args.expired_cert:
        servers.append(make_server(args.port_base + 5, "expired", args.expired_cert, args.expired_key))
    if args.wrongname_cert:
        servers.append(make_server(args.port_base + 6, "wrongname", args.wrongname_cert, args.wrongname_key))
    dropping = start_dropping_port(args.port_base + 7)  # noqa: F841 (kept open)
    if args.revocation_cert:
        servers.append(make_server(args.port_base + 8, "revocation", args.revocation_cert, args.revocation_key))
    if args.pidfile:
        with open(args.pidfile, "w") as f:
            f.write(str(os.getpid()))
    threads = [threading.Thread(target=s.serve_forever, daemon=True) for s in servers[1:]]
    for t in threads:
        t.start()
    servers[0].serve_forever()


if __name__ == "__main__":
    main()
