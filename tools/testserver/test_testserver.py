"""Tests of the local HTTPS test server, run against a real detached instance
with a throwaway CA, as the wizard's tests use it.

    python3 -m unittest tools/testserver/test_testserver.py
"""

import base64
import http.client
import json
import os
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import time
import unittest

SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "testserver.py")
PRODUCT_PATH = "/endpoint/qlweb/os/riserollout/track/beta"
CAMPAIGN = b'{"l": "us", "f": {"a": "pub", "m": 2}, "o": []}\n'
PICTURE = b"\x89PNG\r\n\x1a\n" + bytes(range(256)) * 4
PRODUCT = os.urandom(20000)
SECRET = b"TOP SECRET, outside /f"


def pattern(n):
    """The generated body: byte i is i % 251."""
    return (bytes(range(251)) * (n // 251 + 1))[:n]


def make_pki(directory):
    """A CA and a localhost certificate signed by it: (ca, cert, key)."""
    ca, ca_key = os.path.join(directory, "ca.crt"), os.path.join(directory, "ca.key")
    cert, key = os.path.join(directory, "server.crt"), os.path.join(directory, "server.key")
    ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2"]
    subprocess.run(["openssl", "req", "-x509", *ec, "-subj", "/CN=testserver test CA",
                    "-keyout", ca_key, "-out", ca,
                    "-addext", "basicConstraints=critical,CA:TRUE",
                    "-addext", "keyUsage=critical,keyCertSign,cRLSign"],
                   check=True, capture_output=True)
    subprocess.run(["openssl", "req", "-x509", *ec, "-subj", "/CN=localhost",
                    "-CA", ca, "-CAkey", ca_key, "-keyout", key, "-out", cert,
                    "-addext", "subjectAltName=DNS:localhost",
                    "-addext", "basicConstraints=CA:FALSE",
                    "-addext", "extendedKeyUsage=serverAuth"],
                   check=True, capture_output=True)
    return ca, cert, key


def running(pid):
    """Whether the process exists and is not a zombie waiting to be reaped."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except FileNotFoundError:
        return False


def run_cli(*args, timeout=10):
    return subprocess.run([sys.executable, SERVER, *args], capture_output=True,
                          text=True, timeout=timeout)


class Env:
    """The one server that the test cases share."""
    tmp = ca = cert = key = state = docroot = port = context = None


def setUpModule():
    Env.tmp = tempfile.mkdtemp(prefix="testserver-")
    Env.ca, Env.cert, Env.key = make_pki(Env.tmp)
    Env.state = os.path.join(Env.tmp, "state")
    Env.docroot = os.path.join(Env.tmp, "docroot")
    for name, data in {"f/pic.png": PICTURE, "f/sub/deep.bin": b"deep",
                       "product/QuillaraWebInstaller.exe": PRODUCT,
                       "secret.txt": SECRET}.items():
        path = os.path.join(Env.docroot, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    started = run_cli("start", "--port", "0", "--cert", Env.cert, "--key", Env.key,
                      "--state-dir", Env.state, "--docroot", Env.docroot,
                      "--idle-exit", "120", "--parent-pid", str(os.getpid()))
    if started.returncode != 0:
        raise RuntimeError(f"testserver did not start: {started.stderr}")
    with open(os.path.join(Env.state, "server.port")) as f:
        Env.port = int(f.read())
    Env.context = ssl.create_default_context(cafile=Env.ca)


def tearDownModule():
    run_cli("stop", "--state-dir", Env.state)
    shutil.rmtree(Env.tmp, ignore_errors=True)


class ServerTest(unittest.TestCase):
    def setUp(self):
        self.call("POST", "/_ctl/reset")
        self.write_state("campaign.json", CAMPAIGN)

    def write_state(self, name, data):
        with open(os.path.join(Env.state, name), "wb") as f:
            f.write(data)

    def connect(self):
        return http.client.HTTPSConnection("localhost", Env.port, context=Env.context, timeout=5)

    def tls_socket(self):
        raw = socket.create_connection(("localhost", Env.port), timeout=5)
        return Env.context.wrap_socket(raw, server_hostname="localhost")

    def call(self, method, path, body=None, headers=None):
        """(status, response, body) over a fresh connection."""
        conn = self.connect()
        try:
            conn.request(method, path, body=body, headers=headers or {})
            response = conn.getresponse()
            return response.status, response, response.read()
        finally:
            conn.close()

    def set_rules(self, rules):
        status, _, body = self.call("PUT", "/_ctl/rules", json.dumps(rules))
        self.assertEqual(status, 200, body)

    def records(self):
        return json.loads(self.call("GET", "/_ctl/requests")[2])


class DefaultRoutesTest(ServerTest):
    def test_routes(self):
        cases = [
            ("POST", "/o", 200, CAMPAIGN, "application/json"),
            ("GET", "/o?x=1", 200, CAMPAIGN, "application/json"),
            ("POST", "/zbd", 200, b"{}", "application/json"),
            ("GET", "/f/pic.png", 200, PICTURE, "image/png"),
            ("GET", "/f/sub/deep.bin", 200, b"deep", None),
            ("GET", PRODUCT_PATH, 200, PRODUCT, "application/octet-stream"),
            ("GET", "/f/missing.png", 404, None, None),
            ("GET", "/f/sub", 404, None, None),
            ("GET", "/zbd", 405, None, None),
            ("GET", "/elsewhere", 404, None, None),
        ]
        for method, path, status, body, content_type in cases:
            with self.subTest(method=method, path=path):
                got_status, response, got_body = self.call(method, path, body=b"{}")
                self.assertEqual(got_status, status)
                if body is not None:
                    self.assertEqual(got_body, body)
                    self.assertEqual(response.getheader("Content-Length"), str(len(body)))
                if content_type:
                    self.assertEqual(response.getheader("Content-Type"), content_type)

    def test_missing_campaign_and_product_are_404(self):
        os.remove(os.path.join(Env.state, "campaign.json"))
        self.assertEqual(self.call("POST", "/o", b"{}")[0], 404)
        product = os.path.join(Env.docroot, "product", "QuillaraWebInstaller.exe")
        os.rename(product, product + ".away")
        try:
            self.assertEqual(self.call("GET", PRODUCT_PATH)[0], 404)
        finally:
            os.rename(product + ".away", product)

    def test_file_names_cannot_leave_the_docroot(self):
        for path in ["/f/../secret.txt", "/f/%2e%2e/secret.txt", "/f/..%2fsecret.txt",
                     "/f/sub/../../secret.txt", "/f/..%5csecret.txt", "/f/%2f..%2fsecret.txt",
                     "/f//etc/passwd", "/f/%2fetc%2fpasswd", "/f/./pic.png"]:
            with self.subTest(path=path):
                conn = self.connect()
                conn.putrequest("GET", path, skip_accept_encoding=True)
                conn.endheaders()
                response = conn.getresponse()
                body = response.read()
                conn.close()
                self.assertEqual(response.status, 400)
                self.assertNotIn(SECRET, body)

    def test_generated_bodies(self):
        # The last size spans more than one pre-built block.
        for size in [0, 1, 252, (1 << 20) + 1000]:
            with self.subTest(size=size):
                status, response, body = self.call("GET", f"/gen/{size}")
                self.assertEqual(status, 200)
                self.assertEqual(response.getheader("Content-Length"), str(size))
                self.assertEqual(body, pattern(size))
        status, response, body = self.call("HEAD", "/gen/5000")
        self.assertEqual((status, response.getheader("Content-Length"), body), (200, "5000", b""))
        for bad in ["/gen/abc", "/gen/-1", "/gen/"]:
            with self.subTest(path=bad):
                self.assertEqual(self.call("GET", bad)[0], 400)


class RecordingTest(ServerTest):
    def post_with_expect_continue(self, body):
        """A POST whose body is only sent after "100 Continue"; returns the
        head that preceded the body and the final response bytes."""
        head = ("POST /zbd?x=1 HTTP/1.1\r\nHost: localhost\r\nX-Zeta: last-letter\r\n"
                "Authorization: sig abc\r\nx-alpha: first-letter\r\n"
                f"Content-Length: {len(body)}\r\nExpect: 100-continue\r\n\r\n")
        with self.tls_socket() as sock:
            sock.sendall(head.encode())
            interim = sock.recv(4096)
            sock.sendall(body)
            final = b""
            while not final.endswith(b"{}"):
                chunk = sock.recv(4096)
                if not chunk:
                    break
                final += chunk
        return interim, final

    def test_post_with_expect_continue_is_recorded_before_the_reply(self):
        cases = [
            ("text", '{"event": 1, "name": "Quillara é"}'.encode(), False),
            ("binary", b"\xff\x00\xfe\x80", True),
        ]
        for name, body, as_base64 in cases:
            with self.subTest(name):
                self.call("DELETE", "/_ctl/requests")
                interim, final = self.post_with_expect_continue(body)
                self.assertTrue(interim.startswith(b"HTTP/1.1 100"), interim)
                self.assertTrue(final.startswith(b"HTTP/1.1 200"), final)
                # Read the file itself: the record must be there once the reply is.
                with open(os.path.join(Env.state, "requests.jsonl"), encoding="utf-8") as f:
                    records = [json.loads(line) for line in f]
                self.assertEqual(len(records), 1)
                record = records[0]
                self.assertEqual((record["method"], record["path"]), ("POST", "/zbd?x=1"))
                self.assertEqual(record["headers"], [
                    ["Host", "localhost"], ["X-Zeta", "last-letter"],
                    ["Authorization", "sig abc"], ["x-alpha", "first-letter"],
                    ["Content-Length", str(len(body))], ["Expect", "100-continue"]])
                self.assertEqual(record["body_base64"], as_base64)
                stored = record["body"]
                self.assertEqual(base64.b64decode(stored) if as_base64 else stored.encode(), body)

    def test_control_requests_are_not_recorded_and_records_can_be_cleared(self):
        conn = self.connect()
        for path in ["/o", "/f/pic.png"]:
            conn.request("GET", path)
            conn.getresponse().read()
        conn.close()
        records = self.records()
        self.assertEqual([r["path"] for r in records], ["/o", "/f/pic.png"])
        self.assertEqual(records[0]["conn"], records[1]["conn"], "keep-alive connection reused")
        self.assertLess(records[0]["seq"], records[1]["seq"])
        self.call("DELETE", "/_ctl/requests")
        self.assertEqual(self.records(), [])


class RulesTest(ServerTest):
    def write_rules(self, rules, bom=False):
        self.write_state("rules.json", (b"\xef\xbb\xbf" if bom else b"") + json.dumps(rules).encode())

    def test_rules_file_is_obeyed_from_the_next_request(self):
        # The second file has the same size and is written at once after the
        # first: a change test by timestamp and size could miss it.
        steps = [
            ({"/o": {"status": 503, "body": "down"}}, False, 503, b"down"),
            ({"/o": {"status": 502, "body": "down"}}, False, 502, b"down"),
            ({"/o": {"body": "{\"o\": 1}"}}, True, 200, b'{"o": 1}'),
            (None, False, 200, CAMPAIGN),
        ]
        for rules, bom, status, body in steps:
            with self.subTest(rules=rules):
                if rules is None:
                    os.remove(os.path.join(Env.state, "rules.json"))
                else:
                    self.write_rules(rules, bom)
                got_status, _, got_body = self.call("POST", "/o", b"{}")
                self.assertEqual((got_status, got_body), (status, body))

    def test_invalid_rules_are_refused_loudly(self):
        self.write_rules({"/o": {"delay": 100}})
        status, _, body = self.call("POST", "/o", b"{}")
        self.assertEqual(status, 500)
        self.assertIn(b"delay", body)
        self.set_rules({"/o": {"status": 418}})
        for bad in [{"/o": {"status": "503"}}, {"/o": {"body": "x", "body_size": 3}},
                    {"/o": {"headers": {"Content-Length": "3"}}}, {"/o": {"redirect": {}}},
                    ["/o"]]:
            with self.subTest(rules=bad):
                status, _, body = self.call("PUT", "/_ctl/rules", json.dumps(bad))
                self.assertEqual(status, 400, body)
        self.assertEqual(self.call("POST", "/o", b"{}")[0], 418, "refused rules change nothing")

    def test_exact_rule_wins_then_longest_prefix(self):
        self.set_rules({"/f/*": {"body": "prefix"}, "/f/a*": {"body": "longer"},
                        "/f/exact.png": {"body": "exact"}})
        for path, body in [("/f/exact.png", b"exact"), ("/f/exact.png?v=2", b"exact"),
                           ("/f/abc", b"longer"), ("/f/zzz", b"prefix"), ("/o", CAMPAIGN)]:
            with self.subTest(path=path):
                self.assertEqual(self.call("GET", path)[2], body)

    def test_times_limits_a_rule_then_the_next_rule_or_default_answers(self):
        self.set_rules({"/o": {"status": 503, "body": "busy", "times": 2},
                        "/*": {"headers": {"X-Fallback": "yes"}}})
        answers = [self.call("POST", "/o", b"{}") for _ in range(3)]
        self.assertEqual([(s, b) for s, _, b in answers],
                         [(503, b"busy"), (503, b"busy"), (200, CAMPAIGN)])
        self.assertEqual(answers[2][1].getheader("X-Fallback"), "yes")
        self.assertEqual([r["rule"] for r in self.records()], ["/o", "/o", "/*"])

    def follow(self, path, limit=10):
        """The (status, Location) of each redirect, ending with the first
        answer that is not a redirect or points elsewhere."""
        hops = []
        while len(hops) < limit:
            status, response, _ = self.call("GET", path)
            location = response.getheader("Location")
            hops.append((status, location))
            if not location or not location.startswith("/r"):
                return hops
            path = location
        return hops

    def test_redirect_chain_counts_hops_and_ends_at_the_target(self):
        cases = [
            ({"count": 3, "to": "/f/pic.png"}, "/r?a=b",
             [(302, "/r?a=b&hop=1"), (302, "/r?a=b&hop=2"), (302, "/f/pic.png")]),
            ({"count": 1, "to": "https://localhost:1/x", "status": 307}, "/r",
             [(307, "https://localhost:1/x")]),
        ]
        for redirect, start, hops in cases:
            with self.subTest(redirect=redirect):
                self.set_rules({"/r": {"redirect": redirect}})
                self.assertEqual(self.follow(start), hops)
        self.assertEqual(self.call("GET", "/f/pic.png")[2], PICTURE)

    def test_location_fields(self):
        long_target = "/" + "x" * 6000
        cases = [
            ({"location": long_target}, 302, long_target),
            ({"status": 301, "location": "/moved"}, 301, "/moved"),
            ({"status": 302, "omit_location": True}, 302, None),
            ({"redirect": {"count": 2, "to": "/end"}, "omit_location": True}, 302, None),
        ]
        for rule, status, location in cases:
            with self.subTest(rule=rule):
                self.set_rules({"/r": rule})
                got_status, response, _ = self.call("GET", "/r")
                self.assertEqual((got_status, response.getheader("Location")), (status, location))


class DeliveryTest(ServerTest):
    def read_body(self, response):
        """The body, and the error when it broke off early."""
        try:
            return response.read(), None
        except http.client.IncompleteRead as e:
            return e.partial, e

    def fetch_over_tcp(self, path):
        """GET over a plain TCP socket with TLS done in memory, so that the
        way the TCP connection ends shows: (head, body, "reset" or "closed")."""
        incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
        tls = Env.context.wrap_bio(incoming, outgoing, server_hostname="localhost")
        plain = b""
        with socket.create_connection(("localhost", Env.port), timeout=5) as sock:
            def pump():
                """Send what TLS has for the server, give it what arrived;
                how the TCP connection ended, or None while it is open."""
                try:
                    if outgoing.pending:
                        sock.sendall(outgoing.read())
                    data = sock.recv(65536)
                except ConnectionResetError:
                    return "reset"
                if not data:
                    return "closed"
                incoming.write(data)
                return None

            while True:
                try:
                    tls.do_handshake()
                    break
                except ssl.SSLWantReadError:
                    self.assertIsNone(pump(), "connection ended in the handshake")
            tls.write(f"GET {path} HTTP/1.1\r\nHost: localhost\r\n\r\n".encode())
            while True:
                try:
                    chunk = tls.read(65536)
                    if chunk:
                        plain += chunk
                        continue
                except (ssl.SSLWantReadError, ssl.SSLZeroReturnError):
                    pass           # after close_notify, wait for the TCP end
                ending = pump()
                if ending:
                    break
        head, _, body = plain.partition(b"\r\n\r\n")
        return head, body, ending

    def test_chunked_body(self):
        size = 3 * (1 << 20) + 17
        self.set_rules({"/gen/*": {"no_length": True}})
        status, response, body = self.call("GET", f"/gen/{size}")
        self.assertEqual(status, 200)
        self.assertEqual(response.getheader("Transfer-Encoding"), "chunked")
        self.assertIsNone(response.getheader("Content-Length"))
        self.assertEqual(body, pattern(size))

    def test_close_delimited_body_ends_when_the_connection_closes(self):
        self.set_rules({"/f/*": {"close_delimited": True}})
        # Reading to the end returns only if the server closes (else: timeout).
        status, response, body = self.call("GET", "/f/pic.png")
        self.assertEqual(status, 200)
        self.assertIsNone(response.getheader("Content-Length"))
        self.assertIsNone(response.getheader("Transfer-Encoding"))
        self.assertEqual(body, PICTURE)

    def test_wrong_content_length(self):
        cases = [(len(PICTURE) + 100, PICTURE, http.client.IncompleteRead),
                 (10, PICTURE[:10], None)]
        for length, expected, error in cases:
            with self.subTest(content_length=length):
                self.set_rules({"/f/*": {"content_length": length}})
                conn = self.connect()
                conn.request("GET", "/f/pic.png")
                response = conn.getresponse()
                self.assertEqual(response.getheader("Content-Length"), str(length))
                received, failure = self.read_body(response)
                conn.close()
                self.assertEqual(received, expected)
                self.assertEqual(type(failure) if failure else None, error)

    def test_reset_after_keeps_the_default_body(self):
        self.set_rules({PRODUCT_PATH: {"reset_after": 5000}})
        head, body, ending = self.fetch_over_tcp(PRODUCT_PATH)
        self.assertIn(f"Content-Length: {len(PRODUCT)}".encode(), head)
        self.assertEqual((body, ending), (PRODUCT[:5000], "reset"))

    def test_stall_after_holds_then_closes(self):
        self.set_rules({"/gen/*": {"stall_after": 1000, "stall_seconds": 0.4}})
        begin = time.monotonic()
        _, body, ending = self.fetch_over_tcp("/gen/5000")
        elapsed = time.monotonic() - begin
        self.assertEqual((body, ending), (pattern(1000), "closed"))
        self.assertGreaterEqual(elapsed, 0.4)
        self.assertLess(elapsed, 3)

    def test_delay_and_rate_slow_the_reply_down(self):
        cases = [({"delay_ms": 300}, 2000, 0.3), ({"rate": 20000}, 8000, 0.4)]
        for rule, size, minimum in cases:
            with self.subTest(rule=rule):
                self.set_rules({"/gen/*": rule})
                begin = time.monotonic()
                status, _, body = self.call("GET", f"/gen/{size}")
                elapsed = time.monotonic() - begin
                self.assertEqual((status, body), (200, pattern(size)))
                self.assertGreaterEqual(elapsed, minimum)
                self.assertLess(elapsed, minimum + 1.5)


class CommandLineTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="testserver-cli-")
        self.addCleanup(shutil.rmtree, self.tmp, ignore_errors=True)
        self.state = os.path.join(self.tmp, "state")

    def options(self, *extra):
        return ["--port", "0", "--cert", Env.cert, "--key", Env.key,
                "--state-dir", self.state, "--docroot", self.tmp, *extra]

    def test_start_then_stop_frees_the_port(self):
        started = run_cli("start", *self.options())
        self.assertEqual(started.returncode, 0, started.stderr)
        pid = int(started.stdout)
        with open(os.path.join(self.state, "server.port")) as f:
            port = int(f.read())
        with socket.create_connection(("127.0.0.1", port), timeout=2):
            pass
        stopped = run_cli("stop", "--state-dir", self.state)
        self.assertEqual(stopped.returncode, 0, stopped.stderr)
        self.assertFalse(running(pid))
        with socket.socket() as s:
            s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            s.bind(("127.0.0.1", port))

    def test_start_reports_a_server_that_cannot_start(self):
        started = run_cli("start", *self.options("--cert", os.path.join(self.tmp, "none.crt")))
        self.assertNotEqual(started.returncode, 0)
        self.assertIn("did not start", started.stderr)
        self.assertIn("No such file", started.stderr)

    def test_no_continue_answers_expect_with_the_final_reply_only(self):
        started = run_cli("start", *self.options("--no-continue"))
        self.assertEqual(started.returncode, 0, started.stderr)
        self.addCleanup(run_cli, "stop", "--state-dir", self.state)
        with open(os.path.join(self.state, "server.port")) as f:
            port = int(f.read())
        request = (b"POST /zbd HTTP/1.1\r\nHost: localhost\r\nExpect: 100-continue\r\n"
                   b"Content-Length: 2\r\n\r\n{}")       # body with the headers
        raw = socket.create_connection(("localhost", port), timeout=5)
        with Env.context.wrap_socket(raw, server_hostname="localhost") as sock:
            sock.sendall(request)
            reply = b""
            while not reply.endswith(b"{}"):
                chunk = sock.recv(4096)
                if not chunk:
                    break
                reply += chunk
        self.assertTrue(reply.startswith(b"HTTP/1.1 200"), reply)
        self.assertNotIn(b"100 Continue", reply)
        with open(os.path.join(self.state, "requests.jsonl"), encoding="utf-8") as f:
            self.assertEqual(json.loads(f.readline())["body"], "{}")

    def test_serve_stops_by_itself(self):
        # "appeared": the stop file, which the Windows test kit's runner writes.
        stop_file = os.path.join(self.state, "stop")
        for reason in ["idle", "gone", "appeared"]:
            with self.subTest(reason):
                parent = subprocess.Popen(["sleep", "30"])
                extra = {"idle": ["--idle-exit", "0.6"], "gone": ["--parent-pid", str(parent.pid)],
                         "appeared": ["--stop-file", stop_file]}[reason]
                server = subprocess.Popen([sys.executable, SERVER, "serve", *self.options(*extra)],
                                          stderr=subprocess.PIPE, text=True)
                try:
                    time.sleep(0.2)
                    self.assertIsNone(server.poll(), "exited at once")
                    if reason == "appeared":
                        open(stop_file, "w").close()
                    parent.send_signal(signal.SIGTERM)
                    parent.wait()
                    self.assertEqual(server.wait(timeout=3), 0)
                    self.assertIn(reason, server.stderr.read())
                finally:
                    for process in (server, parent):
                        if process.poll() is None:
                            process.kill()
                            process.wait()
                    server.stderr.close()

    def test_wait_returns_once_the_server_answers(self):
        self.assertEqual(run_cli("wait", "--port", str(Env.port), "--timeout", "5").returncode, 0)
        with socket.socket() as unused:
            unused.bind(("127.0.0.1", 0))
            free = unused.getsockname()[1]
        waited = run_cli("wait", "--port", str(free), "--timeout", "0.5")
        self.assertEqual(waited.returncode, 1)
        self.assertIn("nothing answers", waited.stderr)


if __name__ == "__main__":
    unittest.main()
