#!/usr/bin/env python3
"""A local RFC 3161 time-stamp server for the release test: answers each POSTed
time-stamp query with `openssl ts -reply`, signed by a certificate of the test CA.

    tsa_server.py --cert TSA.crt --key TSA.key --chain CA.crt --port-file FILE

Listens on 127.0.0.1 at a free port, written to FILE once it accepts requests;
runs until killed.
"""
import argparse
import http.server
import os
import subprocess
import sys
import tempfile

CONFIG = """\
[ tsa ]
default_tsa = tsa_config
[ tsa_config ]
serial = {serial}
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256, sha384, sha512
accuracy = secs:1
ordering = no
tsa_name = no
ess_cert_id_alg = sha256
"""


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--chain", required=True)
    parser.add_argument("--port-file", required=True)
    args = parser.parse_args()

    # Beside the port file: the caller's scratch folder, which it removes.
    state = tempfile.mkdtemp(prefix="tsa.", dir=os.path.dirname(os.path.abspath(args.port_file)))
    serial = os.path.join(state, "serial")
    with open(serial, "w") as f:
        f.write("01\n")
    config = os.path.join(state, "tsa.cnf")
    with open(config, "w") as f:
        f.write(CONFIG.format(serial=serial))

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
            with tempfile.NamedTemporaryFile(dir=state) as q:
                q.write(query)
                q.flush()
                reply = subprocess.run(
                    ["openssl", "ts", "-reply", "-config", config, "-queryfile", q.name,
                     "-signer", args.cert, "-inkey", args.key, "-chain", args.chain],
                    capture_output=True)
            if reply.returncode != 0:
                sys.stderr.write(reply.stderr.decode(errors="replace"))
                self.send_error(500, "openssl ts failed")
                return
            self.send_response(200)
            self.send_header("Content-Type", "application/timestamp-reply")
            self.send_header("Content-Length", str(len(reply.stdout)))
            self.end_headers()
            self.wfile.write(reply.stdout)

        def log_message(self, *_):
            pass

    server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
    # Written whole under another name first: the reader never sees half a number.
    with open(args.port_file + ".part", "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(args.port_file + ".part", args.port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
