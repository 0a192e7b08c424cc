"""The control channel and raw exchanges of the testbed server, for its
Python tests. The port base is the first command-line argument (taken off
sys.argv so that unittest does not see it)."""
import json
import socket
import sys
import urllib.parse
import urllib.request

BASE = int(sys.argv.pop(1)) if len(sys.argv) > 1 else 18080


def control(action, payload=None):
    data = json.dumps(payload).encode() if payload is not None else None
    request = urllib.request.Request("http://127.0.0.1:%d/_testbed/%s" % (BASE, action), data=data,
                                     method="POST" if data is not None else "GET")
    with urllib.request.urlopen(request, timeout=10) as reply:
        return reply.read()


def option(name, value):
    control("option", {"name": name, "value": value})


def count(path):
    return int(control("count?path=" + urllib.parse.quote(path, safe="")))


def raw_exchange(port, text, limit=1 << 20, timeout=10):
    """Sends raw request bytes and returns every byte the server sends until
    it closes (or limit bytes)."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall(text)
        out = b""
        while len(out) < limit:
            chunk = s.recv(65536)
            if not chunk:
                break
            out += chunk
        return out
