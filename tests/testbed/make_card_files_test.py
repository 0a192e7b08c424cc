#!/usr/bin/env python3
"""make-card-files as tests use it: the certificate carries the requested
issuer and validity to the second, and the key blob is the signature key of
that certificate, checked with OpenSSL and by reading the blob's bytes."""
import datetime
import os
import re
import struct
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "testbed", "softcard", "make-card-files")
PREFECTURE_KEY = re.compile(r"hokkaido|-ken\b|-to\b|-fu\b", re.IGNORECASE)


def make(directory, *args):
    return subprocess.run(["bash", SCRIPT, directory, *args], capture_output=True, text=True)


def x509(directory, *args):
    out = subprocess.run(["openssl", "x509", "-in", os.path.join(directory, "KEVOSoftCard.cer"), "-inform", "DER",
                          "-noout", *args], check=True, capture_output=True, text=True).stdout
    return out.strip()


def validity(directory):
    lines = dict(line.split("=", 1) for line in x509(directory, "-dates").splitlines())
    parse = lambda text: datetime.datetime.strptime(text, "%b %d %H:%M:%S %Y GMT")
    return parse(" ".join(lines["notBefore"].split())), parse(" ".join(lines["notAfter"].split()))


class MakeCardFilesTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = os.path.join(self.tmp.name, "card")

    def tearDown(self):
        self.tmp.cleanup()

    def test_issuer_and_validity_as_requested(self):
        cases = [
            # issuer options, validity options, expected issuer text, notBefore, notAfter
            ([], [], "OU = Tokyo-to", None, None),
            (["--issuer-dn", "/C=JP/O=KEVO Public Certification Service/OU=Kanagawa-ken/CN=Kanagawa-ken Governor Test CA"],
             ["--not-before", "20100401000000Z", "--not-after", "20301231235959Z"],
             "OU = Kanagawa-ken", datetime.datetime(2010, 4, 1), datetime.datetime(2030, 12, 31, 23, 59, 59)),
            # Past 2049 the certificate holds a GeneralizedTime.
            (["--no-prefecture"], ["--not-before", "20491231235959Z", "--not-after", "20500101000000Z"],
             None, datetime.datetime(2049, 12, 31, 23, 59, 59), datetime.datetime(2050, 1, 1)),
        ]
        for issuer_args, date_args, issuer_text, not_before, not_after in cases:
            with self.subTest(issuer=issuer_args, dates=date_args):
                started = datetime.datetime.now(datetime.timezone.utc).replace(tzinfo=None).replace(microsecond=0)
                result = make(self.dir, *issuer_args, *date_args)
                self.assertEqual(0, result.returncode, result.stderr)
                issuer = x509(self.dir, "-issuer")
                if issuer_text:
                    self.assertIn(issuer_text, issuer)
                else:
                    self.assertIsNone(PREFECTURE_KEY.search(issuer), issuer)
                before, after = validity(self.dir)
                if not_before is None:
                    finished = datetime.datetime.now(datetime.timezone.utc).replace(tzinfo=None)
                    self.assertTrue(started <= before <= finished, (started, before))
                    self.assertEqual(datetime.timedelta(days=1095), after - before)
                else:
                    self.assertEqual((not_before, not_after), (before, after))
                self.assertIn("Digital Signature, Non Repudiation", x509(self.dir, "-ext", "keyUsage"))

    def test_key_blob_is_the_signature_key_of_the_certificate(self):
        self.assertEqual(0, make(self.dir).returncode)
        blob = open(os.path.join(self.dir, "KEVOSoftCard.key"), "rb").read()
        blob_type, version, _, algorithm = struct.unpack_from("<BBHI", blob, 0)
        magic, bits, exponent = struct.unpack_from("<4sII", blob, 8)
        self.assertEqual((7, 2, 0x2400, b"RSA2", 2048), (blob_type, version, algorithm, magic, bits))
        modulus = int.from_bytes(blob[20:20 + bits // 8], "little")
        self.assertEqual("Modulus=%X" % modulus, x509(self.dir, "-modulus"))
        self.assertEqual(65537, exponent)
        # The PEM files are the same certificate and key.
        pem = subprocess.run(["openssl", "x509", "-in", os.path.join(self.dir, "softcard-cert.pem"), "-outform", "DER"],
                             check=True, capture_output=True).stdout
        self.assertEqual(open(os.path.join(self.dir, "KEVOSoftCard.cer"), "rb").read(), pem)
        key_modulus = subprocess.run(["openssl", "rsa", "-in", os.path.join(self.dir, "softcard-key.pem"), "-noout",
                                      "-modulus"], check=True, capture_output=True, text=True).stdout.strip()
        self.assertEqual("Modulus=%X" % modulus, key_modulus)

    def test_a_second_run_replaces_the_card(self):
        self.assertEqual(0, make(self.dir).returncode)
        first = open(os.path.join(self.dir, "KEVOSoftCard.key"), "rb").read()
        self.assertEqual(0, make(self.dir, "--not-after", "20991231235959Z").returncode)
        self.assertNotEqual(first, open(os.path.join(self.dir, "KEVOSoftCard.key"), "rb").read())
        self.assertEqual(datetime.datetime(2099, 12, 31, 23, 59, 59), validity(self.dir)[1])

    def test_bad_arguments_make_nothing(self):
        for args in (["--not-after", "2030-12-31"], ["--not-before", "20301231235959"],
                     ["--no-prefecture", "--issuer-dn", "/CN=x"], ["--unknown"]):
            with self.subTest(args=args):
                result = make(self.dir, *args)
                self.assertEqual(2, result.returncode)
                self.assertFalse(os.path.exists(self.dir))


if __name__ == "__main__":
    sys.exit(unittest.main())
