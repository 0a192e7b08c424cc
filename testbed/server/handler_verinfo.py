"""The version file the service publishes: GET /reception/verinfo/kevosoft.ver.

A test chooses the reply through options (POST /_testbed/option):
  verinfo_status   HTTP status (default 200)
  verinfo_body     body text, sent as UTF-8 (default "1.0.0.0\\r\\n");
  verinfo_body_b64 or the exact bytes, base64 (wins over verinfo_body)
  verinfo_headers  further reply headers, {name: value}
  verinfo_mode     how the reply is delivered:
     "normal"    status, headers, body
     "truncate"  headers announcing verinfo_length bytes (default: the body
                 plus 1000), then the first verinfo_cut bytes of the body
                 (default: all of it), then the connection is closed
     "endless"   headers announcing 1 GiB, the body, then dots for as long
                 as the client reads (at most verinfo_seconds, default 30)
     "stall"     headers announcing the body, then silence for
                 verinfo_seconds before the connection is closed
     "drop"      the connection is closed without any reply
A fixed route (POST /_testbed/route) for the path wins over all of this.
"""
import base64
import time

import kevo_testbed

PATH = "/reception/verinfo/kevosoft.ver"
DEFAULT_BODY = b"1.0.0.0\r\n"


def _body():
    encoded = kevo_testbed.STATE.option("verinfo_body_b64")
    if encoded is not None:
        return base64.b64decode(encoded)
    text = kevo_testbed.STATE.option("verinfo_body")
    if text is not None:
        return str(text).encode("utf-8")
    return DEFAULT_BODY


_head = kevo_testbed.send_head
_close = kevo_testbed.close_connection


def verinfo(request, handler):
    option = kevo_testbed.STATE.option
    status = int(option("verinfo_status", 200))
    headers = option("verinfo_headers", {}) or {}
    body = _body()
    mode = option("verinfo_mode", "normal") or "normal"
    seconds = float(option("verinfo_seconds", 30))
    if mode == "normal":
        return status, headers, body
    if mode == "drop":
        _close(handler)
        return None
    try:
        if mode == "truncate":
            length = int(option("verinfo_length", len(body) + 1000))
            cut = int(option("verinfo_cut", len(body)))
            _head(handler, status, length, headers)
            handler.wfile.write(body[:cut])
        elif mode == "endless":
            _head(handler, status, 1 << 30, headers)
            handler.wfile.write(body)
            deadline = time.monotonic() + seconds
            chunk = b"." * 4096
            while time.monotonic() < deadline:
                handler.wfile.write(chunk)
                handler.wfile.flush()
        elif mode == "stall":
            _head(handler, status, len(body), headers)
            time.sleep(seconds)
            handler.wfile.write(body)
        else:
            return 500, {}, ("unknown verinfo_mode %r" % mode).encode()
    except OSError:
        pass  # the client went away, which is what these modes are for
    _close(handler)
    return None


kevo_testbed.register(PATH, verinfo)
