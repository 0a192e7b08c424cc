#!/usr/bin/env python3
"""A local RFC 3161 time-stamping authority for release tests, answered by
`openssl ts -reply`.

  tsa.py DIR   makes DIR/tsa-ca.pem (the authority's CA, for verifiers) and
               the authority's key and certificate once, then answers
               POST <any path> (application/timestamp-query) on 127.0.0.1 at
               a free port, which it prints as "port N" when it listens.
"""
import http.server
import os
import subprocess
import sys
import tempfile

DIR = os.path.abspath(sys.argv[1])
CONFIG = """[tsa]
default_tsa = tsa_config
[tsa_config]
dir = {dir}
serial = $dir/serial
signer_cert = $dir/tsa.pem
signer_key = $dir/tsa.key
certs = $dir/tsa-ca.pem
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha1, sha256, sha384, sha512
accuracy = secs:1
ess_cert_id_alg = sha256
ess_cert_id_chain = no
"""


def openssl(*args):
    subprocess.run(["openssl", *args], check=True, cwd=DIR, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def make_keys():
    os.makedirs(DIR, exist_ok=True)
    if os.path.exists(os.path.join(DIR, "tsa.pem")):
        return
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "tsa-ca.key", "-out", "tsa-ca.pem",
            "-days", "3650", "-subj", "/CN=KEVO test time-stamping CA",
            "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "tsa.key", "-out", "tsa.csr",
            "-subj", "/CN=KEVO test time-stamping authority")
    with open(os.path.join(DIR, "tsa.ext"), "w") as f:
        f.write("extendedKeyUsage=critical,timeStamping\nbasicConstraints=CA:FALSE\n")
    openssl("x509", "-req", "-in", "tsa.csr", "-CA", "tsa-ca.pem", "-CAkey", "tsa-ca.key", "-CAcreateserial",
            "-days", "3650", "-extfile", "tsa.ext", "-out", "tsa.pem")
    with open(os.path.join(DIR, "serial"), "w") as f:
        f.write("01\n")
    with open(os.path.join(DIR, "tsa.cnf"), "w") as f:
        f.write(CONFIG.format(dir=DIR))


class Authority(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        with tempfile.TemporaryDirectory() as tmp:
            q, r = os.path.join(tmp, "q.tsq"), os.path.join(tmp, "r.tsr")
            with open(q, "wb") as f:
                f.write(query)
            done = subprocess.run(["openssl", "ts", "-reply", "-config", os.path.join(DIR, "tsa.cnf"),
                                   "-queryfile", q, "-out", r], capture_output=True)
            if done.returncode != 0:
                self.send_error(400, done.stderr.decode(errors="replace")[:200])
                return
            with open(r, "rb") as f:
                reply = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


make_keys()
server = http.server.HTTPServer(("127.0.0.1", 0), Authority)
print(f"port {server.server_port}", flush=True)
server.serve_forever()
