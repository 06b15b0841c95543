#!/usr/bin/python3
"""Real network peers for the stream tests, driven over a loopback socket.

  peers.py start STATEDIR   start the supervisor (detached), print its port
  peers.py stop STATEDIR    stop it and every peer it started
  peers.py serve STATEDIR   (internal) the supervisor itself

The test programs (native or under Wine) read STATEDIR/port and send one
command per line; each answer is one line, "ok" or "err" followed by
tab-separated fields:

  echo                       -> ok PORT            (echoes every connection)
  nginx                      -> ok ID PORT RECDIR  (RTMP, app "live", records)
  stunnel TARGETPORT         -> ok ID PORT CERTDER (TLS 1.2 in front of TARGETPORT;
                                                    stunnel.log beside CERTDER)
  trickle TLSPORT            -> ok PORT            (relays to TLSPORT, passing the server's
                                                    application records a few bytes at a time)
  ffmpeg APP KEY             -> ok ID PORT OUTFILE (one-shot RTMP listener)
  wait ID SECONDS            -> ok EXITCODE
  stop ID                    -> ok (nginx: once its clients are gone)
  media SECONDS KBPS         -> ok H264FILE AACFILE (canned H.264 + AAC)
  probe FILE                 -> ok key=value ...   (what ffprobe reads back)
  https                      -> ok PORT CADER FILESDIR (tests/support/https_server.py)
  transfer TAG               -> ok STATE BYTES (how far the HTTPS server's /slow/N/TAG got)
  drive LETTER               -> ok FOLDER  (a fresh folder on another file system as
                                            that drive of the Wine prefix)
  undrive LETTER             -> ok (the drive and its folder removed)
  quit                       -> ok, then everything is stopped

Every peer listens on 127.0.0.1 only, with its files under STATEDIR.
"""

import contextlib
import json
import os
import shutil
import signal
import socket
import socketserver
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))
import https_server  # noqa: E402

NGINX_MODULE = "/usr/lib/nginx/modules/ngx_rtmp_module.so"
MAX_LIFETIME_S = 45 * 60
TLS_HEADER = 5
TLS_APPLICATION_DATA = 23
TRICKLE_BYTES = 4
TRICKLE_GAP_S = 0.1

procs = {}  # id -> (Popen, description, port)
procs_lock = threading.Lock()
next_id = [1]
state_dir = ""
media_lock = threading.Lock()
drives = {}  # letter -> (dosdevices link, folder)
drives_lock = threading.Lock()


def free_port():
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def listening(port):
    """True once something listens on 127.0.0.1:port (without connecting)."""
    want = ":%04X" % port
    try:
        with open("/proc/net/tcp") as f:
            for line in f.readlines()[1:]:
                parts = line.split()
                if parts[1].endswith(want) and parts[3] == "0A":
                    return True
    except OSError:
        pass
    return False


def connections(port):
    """Connections on 127.0.0.1:port other than the listening socket."""
    want = ":%04X" % port
    count = 0
    try:
        with open("/proc/net/tcp") as f:
            for line in f.readlines()[1:]:
                parts = line.split()
                if parts[1].endswith(want) and parts[3] not in ("0A", "06"):  # not LISTEN, not TIME_WAIT
                    count += 1
    except OSError:
        pass
    return count


def wait_idle(port, seconds=20):
    """A server closes its side only after it has read the client's last
    bytes, so no connection left means everything sent was handled."""
    deadline = time.time() + seconds
    while time.time() < deadline and connections(port):
        time.sleep(0.05)


def wait_listening(port, proc, seconds=15):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if listening(port):
            return True
        if proc.poll() is not None:
            return False
        time.sleep(0.05)
    return False


def new_dir(kind):
    with procs_lock:
        pid = next_id[0]
        next_id[0] += 1
    d = os.path.join(state_dir, "%s-%d" % (kind, pid))
    shutil.rmtree(d, ignore_errors=True)
    os.makedirs(d)
    return pid, d


def register(pid, proc, what, port=0):
    with procs_lock:
        procs[pid] = (proc, what, port)


def spawn(args, d, name):
    log = open(os.path.join(d, name + ".log"), "wb")
    return subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT, cwd=d)


def serve_each(serve_one):
    """Listens on a free port and serves every connection on a thread of its own; the port."""
    srv = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    srv.bind(("127.0.0.1", 0))
    srv.listen(8)

    def accept_loop():
        while True:
            conn, _ = srv.accept()
            threading.Thread(target=serve_one, args=(conn,), daemon=True).start()

    threading.Thread(target=accept_loop, daemon=True).start()
    return srv.getsockname()[1]


def cmd_echo(_):
    def serve_one(conn):
        with conn:
            while True:
                data = conn.recv(65536)
                if not data:
                    return
                conn.sendall(data)

    return [str(serve_each(serve_one))]


def cmd_trickle(args):
    # The handshake passes whole, so only reads of application data meet the trickle.
    def pass_records(src, dst, trickle):
        pending = b""
        with contextlib.suppress(OSError):
            while data := src.recv(65536):
                pending += data
                while len(pending) >= TLS_HEADER:
                    size = TLS_HEADER + int.from_bytes(pending[3:TLS_HEADER], "big")
                    if len(pending) < size:
                        break
                    record, pending = pending[:size], pending[size:]
                    step = TRICKLE_BYTES if trickle and record[0] == TLS_APPLICATION_DATA else size
                    for at in range(0, size, step):
                        dst.sendall(record[at:at + step])
                        if step < size:
                            time.sleep(TRICKLE_GAP_S)
            dst.shutdown(socket.SHUT_WR)

    def serve_one(client):
        with client, socket.create_connection(("127.0.0.1", int(args[0]))) as server:
            client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            upstream = threading.Thread(target=pass_records, args=(client, server, False))
            upstream.start()
            pass_records(server, client, True)
            with contextlib.suppress(OSError):
                client.shutdown(socket.SHUT_RD)  # wakes the upstream thread
            upstream.join()

    return [str(serve_each(serve_one))]


def cmd_nginx(_):
    pid, d = new_dir("nginx")
    rec = os.path.join(d, "rec")
    os.makedirs(rec)
    os.chmod(rec, 0o777)
    port = free_port()
    conf = os.path.join(d, "nginx.conf")
    with open(conf, "w") as f:
        f.write("""load_module %(mod)s;
daemon off;
master_process off;
worker_processes 1;
pid %(d)s/nginx.pid;
error_log %(d)s/error.log info;
events { worker_connections 64; }
rtmp {
    server {
        listen 127.0.0.1:%(port)d;
        chunk_size 4096;
        application live {
            live on;
            record all;
            record_path %(rec)s;
            record_unique off;
        }
    }
}
""" % {"mod": NGINX_MODULE, "d": d, "port": port, "rec": rec})
    proc = spawn(["/usr/sbin/nginx", "-p", d, "-e", os.path.join(d, "error.log"), "-c", conf], d, "nginx")
    register(pid, proc, "nginx", port)
    if not wait_listening(port, proc):
        raise RuntimeError("nginx did not start: " + tail(os.path.join(d, "error.log")))
    return [str(pid), str(port), rec]


def make_certificate(d):
    key, pem, der = (os.path.join(d, n) for n in ("key.pem", "cert.pem", "cert.der"))
    run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", pem, "-days", "2",
         "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1"])
    run(["openssl", "x509", "-in", pem, "-outform", "der", "-out", der])
    return key, pem, der


def cmd_stunnel(args):
    target = int(args[0])
    pid, d = new_dir("stunnel")
    key, pem, der = make_certificate(d)
    port = free_port()
    conf = os.path.join(d, "stunnel.conf")
    with open(conf, "w") as f:
        f.write("""foreground = yes
pid =
debug = 7
output = %(d)s/stunnel.log
[rtmps]
accept = 127.0.0.1:%(port)d
connect = 127.0.0.1:%(target)d
cert = %(pem)s
key = %(key)s
sslVersionMax = TLSv1.2
""" % {"d": d, "port": port, "target": target, "pem": pem, "key": key})
    proc = spawn(["stunnel4", conf], d, "stunnel-out")
    register(pid, proc, "stunnel")
    if not wait_listening(port, proc):
        raise RuntimeError("stunnel did not start")
    return [str(pid), str(port), der]


def cmd_ffmpeg(args):
    app, key = args[0], args[1]
    pid, d = new_dir("ffmpeg")
    port = free_port()
    out = os.path.join(d, "out.flv")
    proc = spawn(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "info", "-listen", "1", "-timeout", "60",
                  "-f", "flv", "-i", "rtmp://127.0.0.1:%d/%s/%s" % (port, app, key), "-c", "copy", "-y", out],
                 d, "ffmpeg")
    register(pid, proc, "ffmpeg")
    if not wait_listening(port, proc):
        raise RuntimeError("ffmpeg did not listen: " + tail(os.path.join(d, "ffmpeg.log")))
    return [str(pid), str(port), out]


def cmd_wait(args):
    pid, seconds = int(args[0]), float(args[1])
    with procs_lock:
        proc = procs[pid][0]
    try:
        return [str(proc.wait(timeout=seconds))]
    except subprocess.TimeoutExpired:
        raise RuntimeError("still running after %s s" % args[1])


def stop_proc(proc):
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def cmd_stop(args):
    with procs_lock:
        entry = procs.pop(int(args[0]), None)
    if entry:
        if entry[1] == "nginx":
            wait_idle(entry[2])
        stop_proc(entry[0])
    return []


def cmd_media(args):
    seconds, kbps = int(args[0]), int(args[1])
    with media_lock:
        d = os.path.join(state_dir, "media-%ds-%dk" % (seconds, kbps))
        h264, aac = os.path.join(d, "video.h264"), os.path.join(d, "audio.aac")
        if not (os.path.exists(h264) and os.path.exists(aac)):
            os.makedirs(d, exist_ok=True)
            size = "1280x720" if kbps >= 3000 else "640x360"
            run(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
                 "-f", "lavfi", "-i", "testsrc2=size=%s:rate=30" % size, "-t", str(seconds),
                 "-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p", "-g", "60", "-keyint_min", "60",
                 "-sc_threshold", "0", "-bf", "0", "-b:v", "%dk" % kbps, "-maxrate", "%dk" % kbps,
                 "-bufsize", "%dk" % (2 * kbps), "-x264-params", "aud=1", "-bsf:v", "h264_mp4toannexb",
                 "-f", "h264", h264 + ".part"])
            run(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
                 "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000", "-t", str(seconds),
                 "-ac", "2", "-ar", "48000", "-c:a", "aac", "-b:a", "192k", "-f", "adts", aac + ".part"])
            os.rename(h264 + ".part", h264)
            os.rename(aac + ".part", aac)
    return [h264, aac]


def cmd_probe(args):
    path = args[0]
    out = subprocess.run(["ffprobe", "-v", "error", "-show_streams", "-show_packets", "-of", "json", path],
                         stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
    if out.returncode != 0:
        raise RuntimeError("ffprobe: " + out.stderr.decode(errors="replace").strip().replace("\n", " "))
    info = json.loads(out.stdout)
    fields = []
    for s in info.get("streams", []):
        kind = s.get("codec_type")
        idx = s["index"]
        packets = [p for p in info.get("packets", []) if p.get("stream_index") == idx]
        times = [int(p.get("pts", p.get("dts", 0))) for p in packets if "pts" in p or "dts" in p]
        dts = [int(p["dts"]) for p in packets if "dts" in p]
        prefix = "v" if kind == "video" else "a"
        fields.append("%s_codec=%s" % (prefix, s.get("codec_name")))
        fields.append("%s_packets=%d" % (prefix, len(packets)))
        fields.append("%s_first=%d" % (prefix, times[0] if times else -1))
        fields.append("%s_rising=%d" % (prefix, int(all(b >= a for a, b in zip(dts, dts[1:])))))
        if kind == "audio":
            fields.append("a_rate=%s" % s.get("sample_rate"))
            fields.append("a_channels=%s" % s.get("channels"))
        if kind == "video":
            fields.append("v_keys=%d" % sum(1 for p in packets if "K" in p.get("flags", "")))
    return fields


def cmd_https(args):
    # A named second server has a CA of its own that no test trusts.
    name = "https-" + os.path.basename(args[0]) if args else "https"
    port, ca_der, files = https_server.start_https(os.path.join(state_dir, name))
    return [str(port), ca_der, files]


def cmd_transfer(args):
    return [str(field) for field in https_server.transfer(args[0])]


def cmd_drive(args):
    letter = args[0].lower()
    prefix = os.environ.get("WINEPREFIX") or os.path.expanduser("~/.wine")
    link = os.path.join(prefix, "dosdevices", letter + ":")
    if os.path.lexists(link):
        # A supervisor that was killed leaves its drive behind; any other is not ours.
        if not os.path.basename(os.readlink(link)).startswith("qh-drive-"):
            raise RuntimeError("drive %s: is already mapped" % letter)
        os.unlink(link)
    # /dev/shm is a file system of its own: moves onto the drive cross volumes.
    base = "/dev/shm" if os.path.isdir("/dev/shm") else state_dir
    folder = tempfile.mkdtemp(prefix="qh-drive-%s-" % letter, dir=base)
    os.symlink(folder, link)
    with drives_lock:
        drives[letter] = (link, folder)
    return [folder]


def cmd_undrive(args):
    with drives_lock:
        entry = drives.pop(args[0].lower(), None)
    if entry:
        os.unlink(entry[0])
        shutil.rmtree(entry[1], ignore_errors=True)
    return []


def run(args):
    r = subprocess.run(args, stdin=subprocess.DEVNULL, capture_output=True, timeout=600)
    if r.returncode != 0:
        raise RuntimeError("%s failed: %s" % (args[0], r.stderr.decode(errors="replace").strip()[-400:]))


def tail(path):
    try:
        with open(path, errors="replace") as f:
            return f.read()[-400:].replace("\n", " ")
    except OSError:
        return ""


COMMANDS = {"echo": cmd_echo, "nginx": cmd_nginx, "stunnel": cmd_stunnel, "trickle": cmd_trickle,
            "ffmpeg": cmd_ffmpeg, "wait": cmd_wait, "stop": cmd_stop, "media": cmd_media, "probe": cmd_probe,
            "https": cmd_https, "transfer": cmd_transfer, "drive": cmd_drive, "undrive": cmd_undrive}


def stop_all():
    with procs_lock:
        entries = list(procs.values())
        procs.clear()
    for proc, _, _ in entries:
        stop_proc(proc)
    with drives_lock:
        letters = list(drives)
    for letter in letters:
        cmd_undrive([letter])


class Handler(socketserver.StreamRequestHandler):
    def handle(self):
        for raw in self.rfile:
            words = raw.decode(errors="replace").strip().split("\t")
            if not words or not words[0]:
                continue
            if words[0] == "quit":
                self.wfile.write(b"ok\n")
                self.wfile.flush()
                threading.Thread(target=shutdown, daemon=True).start()
                return
            try:
                fields = COMMANDS[words[0]](words[1:])
                answer = "\t".join(["ok"] + fields)
            except Exception as e:  # every failure goes back to the test as text
                answer = "err\t%s: %s" % (type(e).__name__, str(e).replace("\n", " ").replace("\t", " "))
            self.wfile.write((answer + "\n").encode())
            self.wfile.flush()


server = None


def shutdown():
    stop_all()
    if server:
        server.shutdown()


def serve(directory):
    global state_dir, server
    state_dir = directory
    socketserver.ThreadingTCPServer.daemon_threads = True
    socketserver.ThreadingTCPServer.allow_reuse_address = True
    server = socketserver.ThreadingTCPServer(("127.0.0.1", 0), Handler)
    signal.signal(signal.SIGTERM, lambda *_: threading.Thread(target=shutdown, daemon=True).start())
    threading.Timer(MAX_LIFETIME_S, shutdown).start()
    with open(os.path.join(directory, "pid"), "w") as f:
        f.write(str(os.getpid()))
    with open(os.path.join(directory, "port.part"), "w") as f:
        f.write(str(server.server_address[1]))
    os.rename(os.path.join(directory, "port.part"), os.path.join(directory, "port"))
    try:
        server.serve_forever()
    finally:
        stop_all()
        os._exit(0)


def read_int(path):
    try:
        with open(path) as f:
            return int(f.read().strip())
    except (OSError, ValueError):
        return 0


def stop(directory):
    port = read_int(os.path.join(directory, "port"))
    pid = read_int(os.path.join(directory, "pid"))
    if port:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
                s.sendall(b"quit\n")
                s.recv(16)
        except OSError:
            pass
    deadline = time.time() + 15
    while pid and time.time() < deadline:
        try:
            os.kill(pid, 0)
        except OSError:
            break
        time.sleep(0.1)
    if pid:
        try:
            os.killpg(pid, signal.SIGKILL)  # the supervisor leads its own group
        except OSError:
            pass
    for name in ("port", "pid"):
        try:
            os.remove(os.path.join(directory, name))
        except OSError:
            pass


def start(directory):
    os.makedirs(directory, exist_ok=True)
    stop(directory)
    log = open(os.path.join(directory, "supervisor.log"), "ab")
    subprocess.Popen([sys.executable, os.path.abspath(__file__), "serve", directory], stdin=subprocess.DEVNULL,
                     stdout=log, stderr=subprocess.STDOUT, start_new_session=True, close_fds=True)
    deadline = time.time() + 20
    while time.time() < deadline:
        if read_int(os.path.join(directory, "port")):
            print("peers listening on", read_int(os.path.join(directory, "port")))
            return 0
        time.sleep(0.05)
    print("peers did not start; see", os.path.join(directory, "supervisor.log"))
    return 1


if __name__ == "__main__":
    verb, where = sys.argv[1], os.path.abspath(sys.argv[2])
    if verb == "start":
        sys.exit(start(where))
    if verb == "stop":
        stop(where)
        sys.exit(0)
    if verb == "serve":
        serve(where)
