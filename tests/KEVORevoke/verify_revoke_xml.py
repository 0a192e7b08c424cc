#!/usr/bin/env python3
"""Checks the revocation requests that revoke_xml_test left behind, with tools
independent of the program: the hand-written golden document (byte for byte
outside the three base64 values), SHA-1 of parts 2 and 3 for the digest,
`openssl dgst -sha1 -verify` with the embedded certificate's public key over
the SignedInfo bytes for the signature, the certificate against the card's
DER file, and xmllint for well-formedness."""
import argparse
import base64
import hashlib
import os
import re
import subprocess
import sys
import tempfile

B64 = rb"([A-Za-z0-9+/]+={0,2})"
failures = []


def check(ok, message):
    if not ok:
        failures.append(message)
        print("FAIL:", message)
    return ok


def run(args, **kw):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kw)


def field(doc, tag):
    m = re.search(b"<" + tag + b">" + B64 + b"</" + tag + b">", doc)
    return m.group(1) if m else None


def verify_signature(signed_info, signature, cert_der, work):
    with open(os.path.join(work, "cert.der"), "wb") as f:
        f.write(cert_der)
    pub = run(["openssl", "x509", "-inform", "DER", "-in", os.path.join(work, "cert.der"), "-pubkey", "-noout"])
    if pub.returncode != 0:
        return False
    with open(os.path.join(work, "pub.pem"), "wb") as f:
        f.write(pub.stdout)
    with open(os.path.join(work, "signed.bin"), "wb") as f:
        f.write(signed_info)
    with open(os.path.join(work, "sig.bin"), "wb") as f:
        f.write(signature)
    r = run(["openssl", "dgst", "-sha1", "-verify", os.path.join(work, "pub.pem"),
             "-signature", os.path.join(work, "sig.bin"), os.path.join(work, "signed.bin")])
    return r.returncode == 0 and b"Verified OK" in r.stdout


def check_document(name, doc, card_der, work):
    print("checking", name)
    check(run(["xmllint", "--noout", "-"], input=doc).returncode == 0, name + ": not well-formed")
    check(doc.endswith("</Signature></署名値>\n  </署名情報>\n</構成管理情報>\n".encode()), name + ": wrong ending")
    check(b"\r" not in doc, name + ": carriage return in document")

    declaration_end = doc.index(b"\n") + 1
    signature_start = doc.index(b"<Signature ")
    signature_end = doc.index(b"</Signature>") + len(b"</Signature>")
    part23 = doc[declaration_end:signature_start] + doc[signature_end:-1]
    check(part23.endswith("    </署名値>\n  </署名情報>\n</構成管理情報>".encode()), name + ": part 2 + 3 shape")
    digest = field(doc, b"DigestValue")
    expected = base64.b64encode(hashlib.sha1(part23).digest())
    check(digest == expected, "%s: digest %r, SHA-1 of parts 2+3 is %r" % (name, digest, expected))
    check(digest is not None and len(digest) == 28 and digest.endswith(b"="), name + ": digest shape")

    signed_info = doc[doc.index(b"<SignedInfo>"):doc.index(b"</SignedInfo>") + len(b"</SignedInfo>")]
    signature = base64.b64decode(field(doc, b"SignatureValue"), validate=True)
    cert = base64.b64decode(field(doc, b"X509Certificate"), validate=True)
    check(cert == card_der, name + ": embedded certificate differs from the card's")
    check(len(signature) == 256, name + ": signature is %d bytes" % len(signature))
    check(verify_signature(signed_info, signature, cert, work), name + ": signature does not verify")
    # The same check must reject a changed text or a signature left in the
    # provider's byte order, or it proves nothing.
    tampered = signed_info.replace(b"<DigestValue>", b"<DigestValue>A", 1)
    check(not verify_signature(tampered, signature, cert, work), name + ": tampered SignedInfo verifies")
    check(not verify_signature(signed_info, signature[::-1], cert, work), name + ": reversed signature verifies")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--out", required=True)
    ap.add_argument("--softcard", required=True)
    ap.add_argument("--golden", required=True)
    a = ap.parse_args()
    card_der = open(os.path.join(a.softcard, "KEVOSoftCard.cer"), "rb").read()
    docs = {}
    for name in ("golden-case.xml", "escaped-case.xml", "unknown-prefecture-case.xml"):
        path = os.path.join(a.out, name)
        if check(os.path.exists(path), name + " missing"):
            docs[name] = open(path, "rb").read()

    with tempfile.TemporaryDirectory() as work:
        for name, doc in docs.items():
            check_document(name, doc, card_der, work)

    if "golden-case.xml" in docs:
        golden = open(a.golden, "rb").read()
        pattern = re.escape(golden)
        for placeholder in (b"@DIGEST@", b"@SIGNATURE@", b"@CERTIFICATE@"):
            pattern = pattern.replace(re.escape(placeholder), B64)
        check(re.fullmatch(pattern, docs["golden-case.xml"], re.S) is not None,
              "golden-case.xml differs from the hand-written document outside the base64 values")
        if failures and failures[-1].startswith("golden-case.xml differs"):
            doc = docs["golden-case.xml"]
            lines_g, lines_d = golden.split(b"\n"), doc.split(b"\n")
            for i, (g, d) in enumerate(zip(lines_g, lines_d)):
                if g != d and b"@" not in g:
                    print("first differing line %d:\n  golden: %r\n  actual: %r" % (i + 1, g, d))
                    break

    if "escaped-case.xml" in docs:
        # The parser gives back the card's text exactly.
        doc = docs["escaped-case.xml"]
        for element, value in (("申請者の氏名", "山田&<太郎>]]>"), ("申請者の住所", "東京都<申請書>&amp;")):
            r = run(["xmllint", "--xpath", "string(//*[local-name()='%s'])" % element, "-"], input=doc)
            check(r.returncode == 0 and r.stdout.decode().rstrip("\n") == value,
                  "escaped %s parses to %r" % (element, r.stdout.decode(errors="replace")))
        r = run(["xmllint", "--xpath", "count(//*[local-name()='申請書']/*)", "-"], input=doc)
        check(r.stdout.strip() == b"8", "card data added elements: %r" % r.stdout)

    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
