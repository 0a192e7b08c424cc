#!/usr/bin/env python3
"""The testbed counter's request verifier on bodies built here with openssl:
a genuine request passes, and every kind of damage gets its status."""
import base64
import hashlib
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "testbed", "server"))

import handler_counter  # noqa: E402

DSIG = "http://www.w3.org/2000/09/xmldsig#"
C14N = "http://www.w3.org/TR/2001/REC-xml-c14n-20010315"


def openssl(*args, data=None):
    return subprocess.run(["openssl"] + list(args), input=data, capture_output=True, check=True).stdout


class Signer:
    """A throw-away key and self-signed certificate."""

    def __init__(self, work):
        self.key = os.path.join(work, "key.pem")
        cert = os.path.join(work, "cert.pem")
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", self.key, "-out", cert,
                "-subj", "/CN=verifier test", "-days", "2")
        self.cert_der = openssl("x509", "-in", cert, "-outform", "DER")

    def sign(self, data):
        return openssl("dgst", "-sha1", "-sign", self.key, data=data)


def make_document(signer, name="山田太郎", tamper=None):
    part2 = ("<構成管理情報>\n  <構成管理 Id=\"構成管理\">\n    <申請書 Id=\"申請書\">\n"
             "      <申請者の氏名>%s</申請者の氏名>\n    </申請書>\n  </構成管理>\n"
             "  <署名情報>\n    <署名方式>XML署名</署名方式>\n    <署名値>\n    " % name).encode()
    part3 = "</署名値>\n  </署名情報>\n</構成管理情報>".encode()
    digest = base64.b64encode(hashlib.sha1(part2 + part3).digest()).decode()
    info = ("<SignedInfo>\n"
            "<CanonicalizationMethod Algorithm=\"%s\"></CanonicalizationMethod>\n"
            "<SignatureMethod Algorithm=\"%srsa-sha1\"></SignatureMethod>\n"
            "<Reference Id=\"構成管理の署名\" URI=\"\">\n<Transforms>\n"
            "<Transform Algorithm=\"%s\"></Transform>\n"
            "<Transform Algorithm=\"%senveloped-signature\"></Transform>\n</Transforms>\n"
            "<DigestMethod Algorithm=\"%ssha1\"></DigestMethod>\n"
            "<DigestValue>%s</DigestValue>\n</Reference>\n</SignedInfo>" % (C14N, DSIG, C14N, DSIG, DSIG, digest)).encode()
    signature = base64.b64encode(signer.sign(info)).decode()
    part6 = ("\n<SignatureValue>%s</SignatureValue>\n<KeyInfo>\n<X509Data>\n"
             "<X509Certificate>%s</X509Certificate>\n</X509Data>\n</KeyInfo>\n</Signature>"
             % (signature, base64.b64encode(signer.cert_der).decode())).encode()
    part5 = ("<Signature Id=\"Signature\" xmlns=\"%s\">\n" % DSIG).encode()
    document = b'<?xml version="1.0" encoding="UTF-8"?>\n' + part2 + part5 + info + part6 + part3 + b"\n"
    if tamper:
        document = tamper(document)
    return document


def stream(document, length=None, last=0x79):
    n = len(document) if length is None else length
    return handler_counter.STREAM_HEADER + n.to_bytes(4, "big") + document + bytes([last])


class VerifierTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory()
        cls.signer = Signer(cls.work.name)

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def refusal(self, body):
        with self.assertRaises(handler_counter.Refusal) as caught:
            handler_counter.verify(body)
        return caught.exception

    def test_genuine_request_passes(self):
        document = make_document(self.signer)
        self.assertEqual(document, handler_counter.verify(stream(document)))

    def test_escaped_ampersand_and_angle_bracket_are_signed_as_they_stand(self):
        document = make_document(self.signer, name="A&amp;B&lt;C")
        self.assertEqual(document, handler_counter.verify(stream(document)))

    def test_broken_streams_are_malformed(self):
        document = make_document(self.signer)
        header = bytearray(stream(document))
        header[9] = 0x43  # class "[C"
        cases = {
            "short": b"\xac\xed\x00\x05",
            "class": bytes(header),
            "length too large": stream(document, length=len(document) + 1),
            "length too small": stream(document, length=len(document) - 1),
            "no reset": stream(document, last=0x78),
            "not a stream": document,
        }
        for label, body in cases.items():
            with self.subTest(label):
                self.assertEqual("malformed", self.refusal(body).verdict)

    def test_changed_text_fails_the_digest(self):
        document = make_document(self.signer, tamper=lambda d: d.replace("山田".encode(), "田中".encode()))
        refusal = self.refusal(stream(document))
        self.assertEqual("bad-signature", refusal.verdict)
        self.assertIn("digest", refusal.reason)

    def test_canonicalised_signed_info_fails_the_signature(self):
        # A namespace declaration added to SignedInfo (what a canonicalising
        # signer would sign) is not the text the signature was made over.
        document = make_document(self.signer, tamper=lambda d: d.replace(
            b"<SignedInfo>", ("<SignedInfo xmlns=\"%s\">" % DSIG).encode()))
        self.assertEqual("bad-signature", self.refusal(stream(document)).verdict)

    def test_signature_of_another_key_fails(self):
        other = Signer(tempfile.mkdtemp(dir=self.work.name))
        good = make_document(self.signer)
        foreign = make_document(other)
        # Keep this document's certificate, take the other key's signature.
        cert_start = foreign.find(b"<SignatureValue>")
        cert_end = foreign.find(b"</SignatureValue>")
        own_start = good.find(b"<SignatureValue>")
        own_end = good.find(b"</SignatureValue>")
        mixed = good[:own_start] + foreign[cert_start:cert_end] + good[own_end:]
        self.assertEqual("bad-signature", self.refusal(stream(mixed)).verdict)

    def test_document_without_signature_is_malformed(self):
        body = stream(b'<?xml version="1.0" encoding="UTF-8"?>\n<a/>\n')
        self.assertEqual("malformed", self.refusal(body).verdict)

    def test_unreadable_certificate_fails_the_signature(self):
        document = make_document(self.signer)
        start = document.find(b"<X509Certificate>") + len(b"<X509Certificate>")
        document = document[:start] + b"AAAA" + document[document.find(b"</X509Certificate>"):]
        self.assertEqual("bad-signature", self.refusal(stream(document)).verdict)


class FakeRequest:
    def __init__(self, target, body=b""):
        self.target = target
        self.body = body


class ServletOptionsTest(unittest.TestCase):
    """The answers a test can choose through the control channel's options."""

    def setUp(self):
        handler_counter.CORE.STATE.reset()
        self.work = tempfile.TemporaryDirectory()
        self.signer = Signer(self.work.name)

    def tearDown(self):
        handler_counter.CORE.STATE.reset()
        self.work.cleanup()

    def set(self, name, value):
        handler_counter.CORE.STATE.options[name] = value

    def test_clock_is_utc_digits_unless_a_text_is_chosen(self):
        status, _, body = handler_counter.get_time(FakeRequest(handler_counter.TIME_PATH), None)
        self.assertEqual(200, status)
        self.assertRegex(body.decode(), r"^20\d{12}$")
        self.set("counter.time", "2009/12/24 06:30:12")
        self.set("counter.time_status", 503)
        self.assertEqual((503, b"2009/12/24 06:30:12"),
                         handler_counter.get_time(FakeRequest(handler_counter.TIME_PATH), None)[0::2])

    def test_verdicts_follow_the_options_and_are_recorded(self):
        target = handler_counter.ACCEPT_PATH + "?" + handler_counter.ACCEPT_QUERY
        genuine = stream(make_document(self.signer))
        self.assertEqual(200, handler_counter.accept_apply(FakeRequest(target, genuine), None)[0])
        self.set("counter.accept_status", 607)
        self.set("counter.accept_body", "already revoked")
        self.assertEqual((607, b"already revoked"),
                         handler_counter.accept_apply(FakeRequest(target, genuine), None)[0::2])
        self.assertEqual(603, handler_counter.accept_apply(FakeRequest(target, b"junk"), None)[0])
        verdict = handler_counter.CORE.STATE.options[handler_counter.VERDICT_OPTION]
        self.assertEqual(("malformed", 603, 4), (verdict["verdict"], verdict["status"], verdict["size"]))
        self.set("counter.badsig_status", 604)
        forged = stream(make_document(self.signer, tamper=lambda d: d.replace(b"</SignedInfo>", b" </SignedInfo>")))
        self.assertEqual(604, handler_counter.accept_apply(FakeRequest(target, forged), None)[0])
        # Another query is not the revocation servlet.
        self.assertEqual(404, handler_counter.accept_apply(FakeRequest(handler_counter.ACCEPT_PATH, genuine), None)[0])


if __name__ == "__main__":
    unittest.main()
