#!/usr/bin/env python3
"""The testbed server seen from outside: the proxy forwards and tunnels only
to the testbed's own listeners, checks the credentials byte for byte, and
the version file's failure modes put on the wire what they promise.
Usage: testbed_server_test.py PORT-BASE (the server already running)."""
import base64
import http.client
import json
import socket
import ssl
import unittest

from testbed_client import BASE, control, count, option, raw_exchange

VER = "/reception/verinfo/kevosoft.ver"


def basic(user, password, encoding="utf-8"):
    return "Basic " + base64.b64encode(("%s:%s" % (user, password)).encode(encoding)).decode()


class ProxyTest(unittest.TestCase):
    def setUp(self):
        control("reset", {})
        option("proxy_user", "山田")
        option("proxy_pass", "pw:1")

    def proxy(self):
        return http.client.HTTPConnection("127.0.0.1", BASE + 3, timeout=10)

    def test_credentials_are_checked_exactly(self):
        url = "http://localhost:%d%s" % (BASE, VER)
        for header, status in ((None, 407), (basic("山田", "pw"), 407), ("Digest x", 407), ("Basic !!!", 407),
                               (basic("山田", "pw:1"), 200), (basic("山田", "pw:1", "cp932"), 200)):
            connection = self.proxy()
            connection.request("GET", url, headers={"Proxy-Authorization": header} if header else {})
            reply = connection.getresponse()
            body = reply.read()
            self.assertEqual(status, reply.status, header)
            if status == 407:
                self.assertEqual('Basic realm="KEVO Testbed Proxy"', reply.getheader("Proxy-Authenticate"))
            else:
                self.assertEqual(b"1.0.0.0\r\n", body)
        self.assertEqual(4, count("proxy:407"))
        self.assertEqual(6, count("proxy:" + url))
        self.assertEqual(2, count(VER))

    def test_forwards_and_tunnels_only_to_the_testbed(self):
        option("proxy_user", None)
        for target in ("http://example.com/", "http://localhost:%d/" % (BASE + 1), "http://10.0.0.1:%d/" % BASE,
                       "https://localhost:%d/" % BASE):
            connection = self.proxy()
            connection.request("GET", target)
            self.assertEqual(403, connection.getresponse().status, target)
        for target in ("example.com:443", "localhost:22", "localhost:%d" % BASE, "127.0.0.2:%d" % (BASE + 1)):
            reply = raw_exchange(BASE + 3, ("CONNECT %s HTTP/1.1\r\nHost: %s\r\n\r\n" % (target, target)).encode(),
                                 limit=12)
            self.assertTrue(reply.startswith(b"HTTP/1.1 403"), (target, reply))
        reply = raw_exchange(BASE + 3, b"GET /reception/verinfo/kevosoft.ver HTTP/1.0\r\n\r\n")
        self.assertTrue(reply.startswith(b"HTTP/1.1 400"), reply)
        self.assertEqual(0, count(VER))

    def test_post_body_and_headers_reach_the_server_without_proxy_headers(self):
        connection = self.proxy()
        connection.request("POST", "http://127.0.0.1:%d/anything?x=1" % BASE, body=b"\x00\x01body",
                           headers={"Proxy-Authorization": basic("山田", "pw:1"),
                                    "Content-Type": "application/octet-stream"})
        self.assertEqual(404, connection.getresponse().status)
        seen = json.loads(control("last?path=/anything?x=1"))
        self.assertEqual("POST", seen["method"])
        self.assertEqual(b"\x00\x01body", base64.b64decode(seen["body_b64"]))
        names = [name.lower() for name, _ in seen["headers"]]
        self.assertIn("content-type", names)
        self.assertNotIn("proxy-authorization", names)
        at_proxy = json.loads(control("last?path=proxy:*"))
        self.assertIn(["Proxy-Authorization", basic("山田", "pw:1")], at_proxy["headers"])

    def test_tunnel_reaches_the_trusted_listener(self):
        context = ssl.create_default_context()  # trusts the test CA through the host store
        connection = http.client.HTTPSConnection("localhost", BASE + 3, context=context, timeout=10)
        connection.set_tunnel("localhost", BASE + 1, headers={"Proxy-Authorization": basic("山田", "pw:1")})
        connection.request("GET", VER)
        reply = connection.getresponse()
        self.assertEqual((200, b"1.0.0.0\r\n"), (reply.status, reply.read()))
        self.assertEqual("https", json.loads(control("last?path=" + VER))["listener"])


class RevocationListenerTest(unittest.TestCase):
    def test_certificate_names_revocation_servers_that_nobody_answers(self):
        context = ssl.create_default_context()  # a certificate of the trusted test CA
        with context.wrap_socket(socket.create_connection(("127.0.0.1", BASE + 8), timeout=10),
                                 server_hostname="localhost") as tls:
            certificate = tls.getpeercert()
        where = "http://localhost:%d/" % (BASE + 9)
        self.assertTrue(certificate["crlDistributionPoints"][0].startswith(where), certificate)
        self.assertTrue(certificate["OCSP"][0].startswith(where), certificate)
        with self.assertRaises(ConnectionRefusedError):
            socket.create_connection(("127.0.0.1", BASE + 9), timeout=5)


class VersionFileTest(unittest.TestCase):
    def setUp(self):
        control("reset", {})

    def get(self, limit=1 << 20):
        return raw_exchange(BASE, ("GET %s HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n" % VER).encode(),
                            limit=limit)

    def test_status_body_and_exact_bytes(self):
        option("verinfo_status", 404)
        option("verinfo_body_b64", base64.b64encode(b"\x82\xa0\x00.1").decode())
        head, _, body = self.get().partition(b"\r\n\r\n")
        self.assertTrue(head.startswith(b"HTTP/1.1 404"), head)
        self.assertIn(b"Content-Length: 5", head)
        self.assertEqual(b"\x82\xa0\x00.1", body)

    def test_truncate_announces_more_than_it_sends(self):
        option("verinfo_body", "9.9.9.9")
        option("verinfo_mode", "truncate")
        option("verinfo_cut", 3)
        head, _, body = self.get().partition(b"\r\n\r\n")
        self.assertIn(b"Content-Length: 1007", head)
        self.assertEqual(b"9.9", body)

    def test_drop_sends_nothing_and_endless_keeps_sending(self):
        option("verinfo_mode", "drop")
        self.assertEqual(b"", self.get())
        option("verinfo_mode", "endless")
        option("verinfo_seconds", 10)
        self.assertGreaterEqual(len(self.get(limit=1 << 20)), 1 << 20)

    def test_stall_sends_the_headers_and_then_nothing_for_a_while(self):
        option("verinfo_body", "2.0.0.0")
        option("verinfo_mode", "stall")
        option("verinfo_seconds", 3)
        with socket.create_connection(("127.0.0.1", BASE), timeout=10) as s:
            s.sendall(("GET %s HTTP/1.1\r\nHost: localhost\r\n\r\n" % VER).encode())
            s.settimeout(1.5)
            head = b""
            while b"\r\n\r\n" not in head:
                head += s.recv(4096)
            self.assertIn(b"Content-Length: 7", head)
            self.assertEqual(b"", head.partition(b"\r\n\r\n")[2])
            with self.assertRaises(socket.timeout):
                s.recv(4096)


if __name__ == "__main__":
    unittest.main(verbosity=2)
