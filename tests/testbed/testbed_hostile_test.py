#!/usr/bin/env python3
"""The testbed's hostile replies seen from the wire: each mode puts on the
wire what it promises, wins over routes and handlers, and the elsewhere host
records whoever reaches it; the expired and wrong-name listeners present
certificates of the trusted CA that a client refuses.
Usage: testbed_hostile_test.py PORT-BASE (the server already running)."""
import http.client
import json
import ssl
import time
import unittest
import urllib.request

from testbed_client import BASE, control, count, raw_exchange

TIME = "/reception/servlet/kevo.AccRvRq.servlet.getTime"
ACCEPT = "/reception/servlet/kevo.AccRvRq.servlet.AcceptApply?Request=PostRevokeApply"
VER = "/reception/verinfo/kevosoft.ver"


def hostile(**settings):
    control("option", {"name": "hostile", "value": settings})


def report():
    with urllib.request.urlopen("http://127.0.0.1:%d/_hostile/report" % BASE, timeout=10) as reply:
        return json.loads(reply.read())


def exchange(target, method="POST", port=None, limit=1 << 24, timeout=10):
    """Raw request; every byte the server sends until it closes (or limit)."""
    text = ("%s %s HTTP/1.1\r\nHost: localhost\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"
            % (method, target)).encode()
    return raw_exchange(port or BASE, text, limit=limit, timeout=timeout)


class HostileModeTest(unittest.TestCase):
    def setUp(self):
        control("reset", {})

    def test_close_mid_body_announces_more_than_it_sends(self):
        hostile(path=TIME, mode="close_mid_body", body="20091224063012", cut=6)
        head, _, body = exchange(TIME).partition(b"\r\n\r\n")
        self.assertTrue(head.startswith(b"HTTP/1.1 200"), head)
        self.assertIn(b"Content-Length: 1014", head)
        self.assertEqual(b"200912", body)

    def test_stall_with_and_without_headers(self):
        for headers in (True, False):
            hostile(path=VER, mode="stall", seconds=2, headers=headers, body="2.0.0.0")
            started = time.monotonic()
            reply = exchange(VER, method="GET", timeout=10)
            self.assertGreaterEqual(time.monotonic() - started, 1.8)
            if headers:
                head, _, body = reply.partition(b"\r\n\r\n")
                self.assertIn(b"Content-Length: 7", head)
                self.assertEqual(b"", body)
            else:
                self.assertEqual(b"", reply)

    def test_megabytes_are_sent_while_the_client_reads(self):
        hostile(path=ACCEPT, mode="megabytes", size=8 << 20, status=605)
        head, _, body = exchange(ACCEPT).partition(b"\r\n\r\n")
        self.assertTrue(head.startswith(b"HTTP/1.1 605"), head)
        self.assertEqual(8 << 20, len(body))
        self.assertEqual(b"0123456789ABCDEF", body[-16:])
        self.assertTrue(report()["complete"])
        # A client that goes away early stops it.
        exchange(ACCEPT, limit=100000)
        for _ in range(100):
            seen = report()
            if seen["sent"] < (8 << 20) and not seen["complete"]:
                break
            time.sleep(0.1)
        self.assertFalse(seen["complete"], seen)

    def test_nul_byte_inside_the_body(self):
        hostile(path=TIME, mode="nul", body="20091224063012", at=8)
        self.assertEqual(b"20091224\x00063012", exchange(TIME).partition(b"\r\n\r\n")[2])

    def test_proxy_auth_forever(self):
        hostile(path=VER, mode="proxy_auth")
        for _ in range(3):
            head = exchange(VER, method="GET").partition(b"\r\n\r\n")[0]
            self.assertTrue(head.startswith(b"HTTP/1.1 407"), head)
            self.assertIn(b'Proxy-Authenticate: Basic realm="KEVO Testbed Origin"', head)

    def test_redirect_points_elsewhere_and_elsewhere_records_visits(self):
        hostile(path="/reception/", mode="redirect", status=302)
        head = exchange(ACCEPT).partition(b"\r\n\r\n")[0]
        self.assertTrue(head.startswith(b"HTTP/1.1 302"), head)
        location = "http://127.0.0.1:%d%s" % (BASE + 4, ACCEPT)
        self.assertIn(("Location: " + location).encode(), head)
        self.assertEqual(0, count("elsewhere:*"))
        # A client that follows gets the other host's clock, and is seen there.
        reply = exchange(ACCEPT, port=BASE + 4).partition(b"\r\n\r\n")
        self.assertEqual(b"20991231235959", reply[2])
        self.assertEqual(1, count("elsewhere:" + ACCEPT))
        self.assertEqual(1, count("elsewhere:*"))
        self.assertEqual(1, count(ACCEPT))  # the elsewhere visit is not the counter's

    def test_hostile_reply_wins_over_routes_and_ends_with_null(self):
        control("route", {"path": TIME, "status": 200, "body": "20000101000000"})
        hostile(path=TIME, mode="nul")
        self.assertEqual(b"\x0020091224063012", exchange(TIME).partition(b"\r\n\r\n")[2])
        control("option", {"name": "hostile", "value": None})
        self.assertEqual(b"20000101000000", exchange(TIME).partition(b"\r\n\r\n")[2])
        # Other paths are not touched.
        hostile(path=TIME, mode="proxy_auth")
        self.assertTrue(exchange(VER, method="GET").startswith(b"HTTP/1.1 200"))


class CertificateTest(unittest.TestCase):
    def fetch(self, port):
        context = ssl.create_default_context()  # trusts the test CA through the host store
        connection = http.client.HTTPSConnection("localhost", port, context=context, timeout=10)
        try:
            connection.request("GET", VER)
            return connection.getresponse().status
        finally:
            connection.close()

    def test_trusted_listener_verifies(self):
        self.assertEqual(200, self.fetch(BASE + 1))

    def test_expired_and_wrong_name_are_refused(self):
        for port, reason in ((BASE + 5, "expired"), (BASE + 6, "mismatch")):
            with self.assertRaises(ssl.SSLCertVerificationError) as caught:
                self.fetch(port)
            self.assertIn(reason, str(caught.exception))


if __name__ == "__main__":
    unittest.main(verbosity=2)
