"""The online counter's two servlets: the server clock and the acceptance of
revocation requests.

getTime (POST, no body expected) answers the current UTC time as 14 digits.
Options: "counter.time" a fixed reply text instead, "counter.time_status"
the status (default 200).

AcceptApply (POST) reads the body the way the real counter does: the Java
serialisation stream of one byte array holding the UTF-8 document and a
trailing reset byte. It then checks the signed document on its literal
bytes, as the real counter does:
  - the digest is SHA-1 over the text from the end of the XML declaration
    to "<Signature" plus the text after "</Signature>" up to the final line
    feed, exactly as it stands (no canonicalisation);
  - the signature is RSA PKCS#1 v1.5 with SHA-1 over the bytes from
    "<SignedInfo>" to "</SignedInfo>" as they stand (no namespace added),
    checked with the public key of the certificate the document carries
    (the openssl command does the RSA work).
A malformed body or document gets 603, a digest or signature that does not
verify 600 (options "counter.malformed_status", "counter.badsig_status"),
a verified request the status of "counter.accept_status" (default 200)
with the body "counter.accept_body" (default empty). "counter.flood" (a
byte count) makes the reply, whatever its status, a body of that many
bytes, sent until the client goes away.

GET /_counter/verdict gives the verifier's record of the last request as
JSON: verdict ("accepted", "malformed", "bad-signature"), reason, status,
document_b64, size, and for a flood the bytes sent before the client closed.
The control channel's reset forgets it (it lives among the options).
"""
import base64
import datetime
import hashlib
import json
import os
import re
import subprocess
import tempfile

# The server core (run as the main script, it is this module too).
import kevo_testbed as CORE

TIME_PATH = "/reception/servlet/kevo.AccRvRq.servlet.getTime"
ACCEPT_PATH = "/reception/servlet/kevo.AccRvRq.servlet.AcceptApply"
ACCEPT_QUERY = "Request=PostRevokeApply"
VERDICT_PATH = "/_counter/verdict"
VERDICT_OPTION = "counter._verdict"

STREAM_HEADER = bytes([
    0xAC, 0xED, 0x00, 0x05, 0x75, 0x72, 0x00, 0x02, 0x5B, 0x42,
    0xAC, 0xF3, 0x17, 0xF8, 0x06, 0x08, 0x54, 0xE0, 0x02, 0x00, 0x00,
    0x78, 0x70])
STREAM_RESET = 0x79
XML_DECLARATION = b'<?xml version="1.0" encoding="UTF-8"?>\n'


class Refusal(Exception):
    def __init__(self, verdict, reason):
        super().__init__(reason)
        self.verdict = verdict
        self.reason = reason


def option(name, default=None):
    return CORE.STATE.option(name, default)


def record(verdict):
    with CORE.STATE.lock:
        CORE.STATE.options[VERDICT_OPTION] = verdict


def get_time(request, handler):
    text = option("counter.time")
    if text is None:
        text = datetime.datetime.now(datetime.timezone.utc).strftime("%Y%m%d%H%M%S")
    status = int(option("counter.time_status", 200))
    return status, {"Content-Type": "text/plain"}, text.encode("latin-1")


def parse_stream(body):
    """The document bytes of a serialised byte array, or Refusal."""
    if len(body) < len(STREAM_HEADER) + 5:
        raise Refusal("malformed", "body too short (%d bytes)" % len(body))
    if body[:len(STREAM_HEADER)] != STREAM_HEADER:
        raise Refusal("malformed", "stream header or class descriptor differs")
    length = int.from_bytes(body[23:27], "big")
    if length >= 0x80000000:
        raise Refusal("malformed", "negative array length")
    if len(body) != 27 + length + 1:
        raise Refusal("malformed", "array length %d does not match a body of %d bytes" % (length, len(body)))
    if body[-1] != STREAM_RESET:
        raise Refusal("malformed", "last byte is not the reset marker")
    return body[27:27 + length]


def split_document(document):
    """(digested bytes, SignedInfo bytes, digest b64, signature b64, certificate b64)."""
    try:
        document.decode("utf-8")
    except UnicodeDecodeError:
        raise Refusal("malformed", "document is not UTF-8")
    if not document.startswith(XML_DECLARATION):
        raise Refusal("malformed", "no XML declaration")
    if not document.endswith(b"\n"):
        raise Refusal("malformed", "no final line feed")
    start = document.find(b"<Signature ")
    end = document.rfind(b"</Signature>")
    if start < 0 or end < start:
        raise Refusal("malformed", "no Signature element")
    signature = document[start:end + len(b"</Signature>")]
    digested = document[len(XML_DECLARATION):start] + document[end + len(b"</Signature>"):-1]
    info_start = signature.find(b"<SignedInfo")
    info_end = signature.find(b"</SignedInfo>")
    if info_start < 0 or info_end < info_start:
        raise Refusal("malformed", "no SignedInfo element")
    signed_info = signature[info_start:info_end + len(b"</SignedInfo>")]
    rest = signature[info_end:]

    def field(text, tag):
        match = re.search(b"<" + tag + b">([A-Za-z0-9+/=]*)</" + tag + b">", text)
        if match is None:
            raise Refusal("malformed", "no %s" % tag.decode())
        return match.group(1)

    return (digested, signed_info, field(signed_info, b"DigestValue"),
            field(rest, b"SignatureValue"), field(rest, b"X509Certificate"))


def verify_signature(signed_info, signature_b64, certificate_b64):
    try:
        signature = base64.b64decode(signature_b64, validate=True)
        certificate = base64.b64decode(certificate_b64, validate=True)
    except ValueError:
        raise Refusal("malformed", "signature or certificate is not base64")
    with tempfile.TemporaryDirectory(prefix="kevo-counter-") as work:
        paths = {name: os.path.join(work, name) for name in ("cert.der", "key.pem", "sig.bin", "info.bin")}
        for name, data in (("cert.der", certificate), ("sig.bin", signature), ("info.bin", signed_info)):
            with open(paths[name], "wb") as f:
                f.write(data)
        key = subprocess.run(["openssl", "x509", "-inform", "DER", "-in", paths["cert.der"],
                              "-noout", "-pubkey", "-out", paths["key.pem"]],
                             capture_output=True, timeout=30)
        if key.returncode != 0:
            raise Refusal("bad-signature", "certificate unreadable: " + key.stderr.decode(errors="replace").strip())
        check = subprocess.run(["openssl", "dgst", "-sha1", "-verify", paths["key.pem"],
                                "-signature", paths["sig.bin"], paths["info.bin"]],
                               capture_output=True, timeout=30)
        if check.returncode != 0:
            raise Refusal("bad-signature", "signature does not verify: " +
                          (check.stdout + check.stderr).decode(errors="replace").strip())


def verify(body):
    document = parse_stream(body)
    digested, signed_info, digest_b64, signature_b64, certificate_b64 = split_document(document)
    digest = base64.b64encode(hashlib.sha1(digested).digest())
    if digest != digest_b64:
        raise Refusal("bad-signature", "digest %s, document says %s" % (digest.decode(), digest_b64.decode()))
    verify_signature(signed_info, signature_b64, certificate_b64)
    return document


def accept_apply(request, handler):
    if request.target.partition("?")[2] != ACCEPT_QUERY:
        return 404, {"Content-Type": "text/plain"}, b"unknown request"
    verdict = {"size": len(request.body)}
    try:
        document = verify(request.body)
        verdict.update(verdict="accepted", reason="", document_b64=base64.b64encode(document).decode())
        status = int(option("counter.accept_status", 200))
    except Refusal as refusal:
        verdict.update(verdict=refusal.verdict, reason=refusal.reason, document_b64="")
        if refusal.verdict == "malformed":
            status = int(option("counter.malformed_status", 603))
        else:
            status = int(option("counter.badsig_status", 600))
    verdict["status"] = status
    flood = option("counter.flood")
    if flood is not None:
        verdict["flood_sent"] = 0
        record(verdict)
        return send_flood(handler, status, int(flood), verdict)
    record(verdict)
    body = option("counter.accept_body", "")
    return status, {"Content-Type": "text/plain"}, body.encode("latin-1")


def send_flood(handler, status, total, verdict):
    """A reply that keeps sending (no length, ended by closing) until the
    client goes away or total bytes are out."""
    handler.close_connection = True
    handler.send_response(status)
    handler.send_header("Content-Type", "text/plain")
    handler.send_header("Connection", "close")
    handler.end_headers()
    chunk = (b"0123456789ABCDEF" * 4096)
    sent = 0
    try:
        while sent < total:
            piece = chunk[:min(len(chunk), total - sent)]
            handler.wfile.write(piece)
            sent += len(piece)
        handler.wfile.flush()
    except (BrokenPipeError, ConnectionResetError, OSError):
        pass
    verdict["flood_sent"] = sent
    verdict["flood_done"] = True
    record(verdict)
    return None


def verdict_report(request, handler):
    verdict = option(VERDICT_OPTION)
    if verdict is None:
        return 404, {"Content-Type": "text/plain"}, b"none"
    return 200, {"Content-Type": "application/json"}, json.dumps(verdict).encode()


CORE.register(TIME_PATH, get_time)
CORE.register(ACCEPT_PATH, accept_apply)
CORE.register(VERDICT_PATH, verdict_report)
