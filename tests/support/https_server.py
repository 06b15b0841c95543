"""A local HTTPS server for the tests of the studio's HTTPS callers, run by
the peer supervisor (tests/e2e/rtmp/peers.py, command "https").

It presents a certificate for localhost and 127.0.0.1 signed by a test CA
whose DER form is ca.der in its state folder: a Windows test adds that file to the
machine's trusted roots (the Wine prefix) before its first request. TLS is
capped at 1.2, the highest that Wine's SChannel speaks.

Routes (any method):
  /echo...             200, a JSON object: "method", "path", "headers" (name ->
                       value, names lower-case), "body"
  /status/CODE         that status, body "status CODE"
  /bytes/N             200 with N bytes of "x"
  /slow/N[/TAG]        200 with N bytes of "s", 64 KiB every 0.2 s; with a TAG,
                       transfer(TAG) tells how far it got
  /files/NAME          200 with the file files/NAME of its state folder, else 404
  /chunked/NAME        the same file without a length, in chunks
  anything else        404
"""

import http.server
import json
import os
import socketserver
import ssl
import subprocess
import threading
import time

PIECE = 1 << 20
SLOW_PIECE = 1 << 16
SLOW_PAUSE_S = 0.2
CHUNK = 16384

# TAG -> [state, bytes sent]; state "sending", "done" (all sent) or "closed"
# (the client hung up first).
_transfers = {}
_transfers_lock = threading.Lock()


def transfer(tag):
    """The state and bytes sent of the slow transfer TAG; "none" before it starts."""
    with _transfers_lock:
        return list(_transfers.get(tag, ["none", 0]))


def run(args):
    r = subprocess.run(args, stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
    if r.returncode != 0:
        raise RuntimeError("%s failed: %s" % (args[0], r.stderr.decode(errors="replace").strip()[-400:]))


def make_certificates(d):
    """The CA is made once per state folder so that trusting it once lasts;
    the server certificate is made anew on every start."""
    ca_key, ca_pem, ca_der = (os.path.join(d, n) for n in ("ca.key", "ca.pem", "ca.der"))
    if not os.path.exists(ca_der):
        run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", ca_key, "-out", ca_pem,
             "-days", "3650", "-subj", "/CN=Quillhaven Test CA",
             "-addext", "basicConstraints=critical,CA:TRUE",
             "-addext", "keyUsage=critical,keyCertSign,cRLSign"])
        run(["openssl", "x509", "-in", ca_pem, "-outform", "der", "-out", ca_der + ".part"])
        os.rename(ca_der + ".part", ca_der)
    key, csr, pem, ext = (os.path.join(d, n) for n in ("server.key", "server.csr", "server.pem", "server.ext"))
    with open(ext, "w") as f:
        f.write("subjectAltName=DNS:localhost,IP:127.0.0.1\nextendedKeyUsage=serverAuth\n"
                "basicConstraints=CA:FALSE\n")
    run(["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", csr, "-subj", "/CN=localhost"])
    run(["openssl", "x509", "-req", "-in", csr, "-CA", ca_pem, "-CAkey", ca_key, "-CAcreateserial",
         "-out", pem, "-days", "2", "-extfile", ext])
    return pem, key


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    files_dir = ""

    def log_message(self, *args):
        pass

    def reply(self, status, body, content_type="text/plain"):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def stream(self, n, byte, piece, pause, tag=None):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(n))
        self.end_headers()
        progress = ["sending", 0]
        if tag:
            with _transfers_lock:
                _transfers[tag] = progress
        try:
            while n > 0:
                size = min(n, piece)
                self.wfile.write(byte * size)
                self.wfile.flush()
                n -= size
                with _transfers_lock:
                    progress[1] += size
                if pause:
                    time.sleep(pause)
            ended = "done"
        except OSError:
            ended = "closed"  # the client stopped reading (at its limit, or it gave up)
        with _transfers_lock:
            progress[0] = ended

    def chunked(self, body):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        try:
            for at in range(0, len(body), CHUNK):
                piece = body[at:at + CHUNK]
                self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
            self.wfile.write(b"0\r\n\r\n")
            self.wfile.flush()
        except OSError:
            pass  # the client stopped reading at its limit

    def handle_any(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        path = self.path
        if path.startswith("/echo"):
            doc = {"method": self.command, "path": path,
                   "headers": {k.lower(): v for k, v in self.headers.items()},
                   "body": body.decode("utf-8", errors="replace")}
            return self.reply(200, json.dumps(doc).encode(), "application/json")
        if path.startswith("/status/"):
            code = int(path[len("/status/"):])
            return self.reply(code, ("status %d" % code).encode())
        if path.startswith("/bytes/"):
            return self.stream(int(path[len("/bytes/"):]), b"x", PIECE, 0)
        if path.startswith("/slow/"):
            size, _, tag = path[len("/slow/"):].partition("/")
            return self.stream(int(size), b"s", SLOW_PIECE, SLOW_PAUSE_S, tag)
        if path.startswith(("/files/", "/chunked/")):
            name = os.path.basename(path)
            full = os.path.join(self.files_dir, name)
            if name and os.path.isfile(full):
                with open(full, "rb") as f:
                    body = f.read()
                if path.startswith("/chunked/"):
                    return self.chunked(body)
                return self.reply(200, body, "application/octet-stream")
        return self.reply(404, b"not found")

    do_GET = do_POST = do_PUT = do_HEAD = handle_any


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


_servers = {}
_servers_lock = threading.Lock()


def start_https(d):
    """Starts the server once per state folder (later calls find it running)
    and returns its port, the CA's DER file and the folder of served files."""
    with _servers_lock:
        if d not in _servers:
            _servers[d] = _start(d)
        return _servers[d].server_address[1], os.path.join(d, "ca.der"), os.path.join(d, "files")


def _start(d):
    os.makedirs(d, exist_ok=True)
    pem, key = make_certificates(d)
    # Each server serves its own folder.
    handler = type("FolderHandler", (Handler,), {"files_dir": os.path.join(d, "files")})
    os.makedirs(handler.files_dir, exist_ok=True)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.maximum_version = ssl.TLSVersion.TLSv1_2
    context.load_cert_chain(pem, key)
    server = Server(("127.0.0.1", 0), handler)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server
