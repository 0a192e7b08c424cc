"""Forward proxy stand-in on the testbed's fourth port (port base + 3).

It asks for Basic credentials with 407 (Proxy-Authenticate: Basic) while
the option proxy_user is set and a request lacks the matching
Proxy-Authorization; the option proxy_always_407 makes it refuse every
request, so that a retry meets a second 407. Without proxy_user it lets
everything through. Options (POST /_testbed/option):
  proxy_user, proxy_pass   the credentials it accepts (UTF-8 or Shift-JIS)
  proxy_always_407         true: answer 407 whatever comes
  proxy_realm              the realm it names (default "KEVO Testbed Proxy")

Admitted requests go only to this testbed, never anywhere else:
  "GET http://localhost:<base>/..." (also 127.0.0.1) is passed to the HTTP
  listener, the reply streamed back as it comes (a cut-off reply stays cut);
  "CONNECT localhost:<base+1>" (or <base+2>, the impostor) opens a tunnel
  to that HTTPS listener.
Any other target gets 403; a plain "GET /path" (not a proxy request) 400.

Every request the proxy receives is recorded before the credentials are
checked, under the control channel's paths "proxy:<target as sent>" and
"proxy:*" (the latest of any target), e.g.
  GET /_testbed/last?path=proxy:http://localhost:20080/reception/verinfo/kevosoft.ver
  GET /_testbed/last?path=proxy:localhost:20081          (a CONNECT)
and its 407 answers are counted under "proxy:407".
"""
import base64
import http.client
import http.server
import select
import socket
import urllib.parse

import kevo_testbed
from kevo_testbed import STATE

DEFAULT_REALM = "KEVO Testbed Proxy"
LOCAL_HOSTS = ("localhost", "127.0.0.1")
# Headers that belong to one hop and are not passed on.
HOP_HEADERS = {
    "connection", "keep-alive", "proxy-authorization", "proxy-authenticate",
    "proxy-connection", "te", "trailers", "transfer-encoding", "upgrade",
}
TUNNEL_IDLE_SECONDS = 120


def _count(key):
    with STATE.lock:
        STATE.counts[key] = STATE.counts.get(key, 0) + 1


def _credentials_match(header, user, password):
    if not header:
        return False
    scheme, _, encoded = header.strip().partition(" ")
    if scheme.lower() != "basic":
        return False
    try:
        given = base64.b64decode(encoded.strip(), validate=True)
    except ValueError:
        return False
    wanted = "%s:%s" % (user, password)
    for encoding in ("utf-8", "cp932"):
        try:
            if given == wanted.encode(encoding):
                return True
        except UnicodeEncodeError:
            pass
    return False


class ProxyHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "KEVOTestbedProxy/1.0"
    port_base = 0  # set per server by make_proxy_server

    def log_message(self, fmt, *args):
        pass

    # ---- helpers ---------------------------------------------------------
    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def record(self, body):
        request = kevo_testbed.Request(self.command, self.path, list(self.headers.items()), body, "proxy")
        key = "proxy:" + self.path
        with STATE.lock:
            STATE.last[key] = request
            STATE.last["proxy:*"] = request
            STATE.counts[key] = STATE.counts.get(key, 0) + 1
            STATE.counts["proxy:*"] = STATE.counts.get("proxy:*", 0) + 1

    def reply(self, status, body, headers=None):
        self.send_response(status)
        for key, value in (headers or {}).items():
            self.send_header(key, value)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def authorised(self):
        if STATE.option("proxy_always_407"):
            return False
        user = STATE.option("proxy_user")
        if user is None:
            return True
        password = STATE.option("proxy_pass", "") or ""
        return _credentials_match(self.headers.get("Proxy-Authorization"), user, password)

    def refuse(self):
        _count("proxy:407")
        realm = STATE.option("proxy_realm", DEFAULT_REALM) or DEFAULT_REALM
        self.reply(407, b"<html><body><h1>407 Proxy Authentication Required</h1></body></html>",
                   {"Proxy-Authenticate": 'Basic realm="%s"' % realm})

    # ---- plain requests ----------------------------------------------------
    def handle_any(self):
        body = self.read_body()
        self.record(body)
        target = urllib.parse.urlsplit(self.path)
        if not target.scheme:
            return self.reply(400, b"<html><body>not a proxy request</body></html>")
        if not self.authorised():
            return self.refuse()
        if (target.scheme != "http" or target.hostname not in LOCAL_HOSTS
                or (target.port or 80) != self.port_base):
            return self.reply(403, b"<html><body>the testbed proxy forwards only to the testbed</body></html>")
        self.forward(target, body)

    do_GET = do_POST = do_PUT = do_HEAD = do_DELETE = handle_any

    def forward(self, target, body):
        path = (target.path or "/") + ("?" + target.query if target.query else "")
        upstream = http.client.HTTPConnection("127.0.0.1", self.port_base, timeout=60)
        try:
            upstream.putrequest(self.command, path, skip_host=True, skip_accept_encoding=True)
            for key, value in self.headers.items():
                if key.lower() not in HOP_HEADERS:
                    upstream.putheader(key, value)
            upstream.endheaders(body if body else None)
            response = upstream.getresponse()
        except OSError:
            upstream.close()
            return self.reply(502, b"<html><body>testbed unreachable</body></html>")
        try:
            self.relay_response(response)
        finally:
            upstream.close()

    def relay_response(self, response):
        self.send_response(response.status, response.reason)
        for key, value in response.getheaders():
            if key.lower() not in HOP_HEADERS and key.lower() not in ("server", "date"):
                self.send_header(key, value)
        self.end_headers()
        announced = response.getheader("Content-Length")
        sent = 0
        try:
            while self.command != "HEAD":
                chunk = response.read(8192)
                if not chunk:
                    break
                self.wfile.write(chunk)
                sent += len(chunk)
        except (OSError, http.client.HTTPException):
            pass
        # A reply without a length, or cut off upstream, ends with the connection.
        if announced is None or sent < int(announced):
            if self.command != "HEAD":
                self.close_connection = True

    # ---- tunnels -------------------------------------------------------------
    def do_CONNECT(self):
        self.record(b"")
        if not self.authorised():
            return self.refuse()
        host, _, port = self.path.rpartition(":")
        allowed = (str(self.port_base + 1), str(self.port_base + 2))
        if host not in LOCAL_HOSTS or port not in allowed:
            return self.reply(403, b"<html><body>the testbed proxy tunnels only to the testbed</body></html>")
        try:
            upstream = socket.create_connection(("127.0.0.1", int(port)), timeout=10)
        except OSError:
            return self.reply(502, b"<html><body>testbed unreachable</body></html>")
        self.send_response(200, "Connection established")
        self.end_headers()
        self.wfile.flush()
        self.close_connection = True
        client = self.connection
        try:
            ends = [client, upstream]
            while True:
                readable, _, _ = select.select(ends, [], [], TUNNEL_IDLE_SECONDS)
                if not readable:
                    break
                done = False
                for source in readable:
                    data = source.recv(65536)
                    if not data:
                        done = True
                        break
                    (upstream if source is client else client).sendall(data)
                if done:
                    break
        except OSError:
            pass
        finally:
            upstream.close()


def make_proxy_server(port):
    handler = type("ProxyHandler_%d" % port, (ProxyHandler,), {"port_base": port - 3})
    return kevo_testbed.ThreadingServer(("127.0.0.1", port), handler)
