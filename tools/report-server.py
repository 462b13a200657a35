#!/usr/bin/env python3
"""Local HTTP report server for the tests (standard library only).

One process listens on 127.0.0.1, on free ports, with one listener per way
of answering:

  normal  200 with a body (default "ok"; "?qv-hex=HEX" gives those bytes,
          "&qv-repeat=N" repeats them N times)
  gzip    the same body, gzip-compressed, with "Content-Encoding: gzip"
  close   accepts a connection and closes it at once, without reading
  refuse  a bound port that does not listen: connections are refused
  hang    reads the request and never answers; the connection is dropped
          after --hang seconds so nothing waits forever
  proxy   an HTTP proxy that answers 407 until the request carries
          Proxy-Authorization, then 200 "proxied"
  garbage reads the request and answers bytes that are not HTTP at all
  tls     answers as "normal", over TLS, with a self-signed certificate for
          127.0.0.1 made at start (the openssl tool); the certificate is
          written as report-server-tls.cer (DER) beside the log, for a test
          that trusts it. Each handshake is logged as the event
          "handshake" (or "handshake failed"), before any request

Hostile listeners, for the client's time limits and its limits on what it
follows and inflates; each holds a connection for at most --hold seconds:

  silent   sends a status line and headers, then nothing ("?qv-mute=1":
           not even those)
  short    promises 1,000 bytes (Content-Length) and sends one
  trickle  promises 1,000 bytes and sends one every --trickle seconds
  redirect answers 302 (307 to a POST) to the same path on the normal
           listener's port, another origin; "?qv-to=URL" names the target
  bomb     a gzip bomb: "?qv-mib=N" MiB of zeros (default 16),
           compressed, with "Content-Encoding: gzip"

Every request (request line, headers in the order received, body) is
appended to <dir>/report-server.log as one JSON object per line, flushed
before the answer goes out. The ports are written to
<dir>/report-server.json. The server ends by itself after --lifetime
seconds.

  report-server.py start --dir DIR   start in the background, wait for the ports
  report-server.py serve --dir DIR   run in the foreground
  report-server.py stop --dir DIR    end the server started in DIR
"""
import argparse
import gzip
import json
import os
import signal
import socket
import socketserver
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse

STATE = "report-server.json"
LOG = "report-server.log"
MODES = ("normal", "gzip", "close", "hang", "proxy", "garbage",
         "silent", "short", "trickle", "redirect", "bomb", "tls")
TLS_CERT = "report-server-tls.cer"
BOMBS = {}
BOMBS_LOCK = threading.Lock()


class Recorder:
    def __init__(self, path):
        self.lock = threading.Lock()
        self.seq = 0
        self.file = open(path, "w", encoding="ascii")

    def write(self, record):
        with self.lock:
            self.seq += 1
            record = dict(seq=self.seq, time=time.time(), **record)
            self.file.write(json.dumps(record, ensure_ascii=True) + "\n")
            self.file.flush()


def read_request(conn, buf):
    """Returns (head bytes, body bytes, rest) or None when the peer is gone."""
    while b"\r\n\r\n" not in buf:
        if len(buf) > 65536:
            return None
        chunk = conn.recv(65536)
        if not chunk:
            return None
        buf += chunk
    head, _, rest = buf.partition(b"\r\n\r\n")
    length = 0
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value.strip() or 0)
    while len(rest) < length:
        chunk = conn.recv(65536)
        if not chunk:
            return None
        rest += chunk
    return head, rest[:length], rest[length:]


def parse_head(head):
    lines = head.decode("latin-1").split("\r\n")
    parts = lines[0].split(" ")
    method, target, version = (parts + ["", "", ""])[:3]
    headers = []
    for line in lines[1:]:
        name, _, value = line.partition(":")
        headers.append([name, value.lstrip(" ")])
    return method, target, version, headers


def reply_body(target):
    query = urllib.parse.urlsplit(target).query
    params = urllib.parse.parse_qs(query)
    body = b"ok"
    if "qv-hex" in params:
        body = bytes.fromhex(params["qv-hex"][0])
    if "qv-repeat" in params:
        body *= int(params["qv-repeat"][0])
    return body


def bomb_body(target):
    query = urllib.parse.parse_qs(urllib.parse.urlsplit(target).query)
    mib = min(int(query.get("qv-mib", ["16"])[0]), 1024)
    with BOMBS_LOCK:  # compressing 64 MiB takes a moment: once per size
        if mib not in BOMBS:
            BOMBS[mib] = gzip.compress(bytes(mib << 20), compresslevel=9, mtime=0)
        return BOMBS[mib]


def hold(conn, seconds, trickle=None):
    """Keeps the connection open, sending a byte every `trickle` seconds,
    until the peer goes or `seconds` pass."""
    end = time.time() + seconds
    while time.time() < end:
        conn.settimeout(max(0.01, min(trickle or 1.0, end - time.time())))
        try:
            if not conn.recv(65536):
                return
        except socket.timeout:
            if trickle:
                try:
                    conn.sendall(b"x")
                except OSError:
                    return
        except OSError:
            return


def answer(status, headers, body):
    lines = ["HTTP/1.1 %s" % status] + ["%s: %s" % h for h in headers]
    lines.append("Content-Length: %d" % len(body))
    return ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1") + body


def make_tls(folder):
    """A server context with a fresh self-signed certificate for 127.0.0.1,
    whose DER form is left in `folder` for the tests."""
    key, pem = os.path.join(folder, "report-server-tls.key"), os.path.join(folder, "report-server-tls.pem")
    quiet = dict(check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                 stderr=subprocess.DEVNULL)
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "30",
                    "-subj", "/CN=127.0.0.1",
                    "-addext", "subjectAltName=IP:127.0.0.1,DNS:127.0.0.1",
                    "-addext", "extendedKeyUsage=serverAuth",
                    "-keyout", key, "-out", pem], **quiet)
    subprocess.run(["openssl", "x509", "-in", pem, "-outform", "DER",
                    "-out", os.path.join(folder, TLS_CERT)], **quiet)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(pem, key)
    return context


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        mode = self.server.mode
        conn = self.request
        recorder = self.server.recorder
        if mode == "close":
            recorder.write(dict(listener=mode, event="closed"))
            return
        conn.settimeout(self.server.options.hang if mode == "hang" else 30)
        if mode == "tls":
            try:
                conn = self.server.tls.wrap_socket(conn, server_side=True)
            except (OSError, ValueError):
                recorder.write(dict(listener=mode, event="handshake failed"))
                return
            recorder.write(dict(listener=mode, event="handshake"))
        buf = b""
        while True:
            try:
                got = read_request(conn, buf)
            except (OSError, ValueError):
                return
            if got is None:
                return
            head, body, buf = got
            method, target, version, headers = parse_head(head)
            recorder.write(dict(listener=mode, method=method, target=target, version=version,
                                headers=headers, body_hex=body.hex()))
            names = {h[0].strip().lower(): h[1] for h in headers}
            if mode == "hang":
                try:  # hold the connection until the peer or the bound gives up
                    while conn.recv(65536):
                        pass
                except OSError:
                    pass
                return
            if mode == "garbage":
                try:
                    conn.sendall(b"\x00\xffNOT HTTP\r\n\r\n" + bytes(range(256)) * 16)
                except OSError:
                    pass
                return
            if mode in ("silent", "short", "trickle"):
                length = {"silent": 2, "short": 1000, "trickle": 1000}[mode]
                head = ("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                        "Content-Length: %d\r\n\r\n" % length).encode("latin-1")
                if "qv-mute=1" in target:
                    head = b""
                try:
                    conn.sendall(head + (b"" if mode == "silent" else b"x"))
                except OSError:
                    return
                hold(conn, self.server.options.hold,
                     self.server.options.trickle if mode == "trickle" else None)
                return
            if mode == "redirect":
                query = urllib.parse.parse_qs(urllib.parse.urlsplit(target).query)
                to = query.get("qv-to", ["http://127.0.0.1:%d%s" % (
                    self.server.ports["normal"], target.replace("/", "/redirected/", 1))])[0]
                out = answer("307 Temporary Redirect" if method == "POST" else "302 Found",
                             [("Location", to), ("Content-Type", "text/plain")], b"moved")
            elif mode == "bomb":
                out = answer("200 OK", [("Content-Type", "text/plain"),
                                        ("Content-Encoding", "gzip")], bomb_body(target))
            elif mode == "proxy" and "proxy-authorization" not in names:
                out = answer("407 Proxy Authentication Required",
                             [("Proxy-Authenticate", 'Basic realm="qv"'),
                              ("Content-Type", "text/plain")], b"")
            elif mode == "proxy":
                out = answer("200 OK", [("Content-Type", "text/plain")], b"proxied")
            elif mode == "gzip":
                out = answer("200 OK", [("Content-Type", "text/plain"),
                                        ("Content-Encoding", "gzip")],
                             gzip.compress(reply_body(target)))
            else:
                out = answer("200 OK", [("Content-Type", "text/plain")], reply_body(target))
            try:
                conn.sendall(out)
            except OSError:
                return
            if names.get("connection", "").strip().lower() == "close":
                return


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def serve(options):
    os.makedirs(options.dir, exist_ok=True)
    recorder = Recorder(os.path.join(options.dir, LOG))
    servers, ports = [], {}
    try:
        tls = make_tls(options.dir)
    except (OSError, subprocess.CalledProcessError, ssl.SSLError) as error:
        # Every other listener still serves; only the TLS tests fail.
        print("no tls listener: %s" % error, file=sys.stderr, flush=True)
        tls = None
    for mode in MODES:
        if mode == "tls" and tls is None:
            continue
        # The demo's program is built to report to a fixed port.
        server = Server(("127.0.0.1", options.port if mode == "normal" else 0), Handler)
        server.mode, server.recorder, server.options = mode, recorder, options
        server.tls = tls
        server.ports = ports
        ports[mode] = server.server_address[1]
        servers.append(server)
        threading.Thread(target=server.serve_forever, args=(0.1,), daemon=True).start()
    # Bound but never listening: the kernel refuses connections to it.
    refuse = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    refuse.bind(("127.0.0.1", 0))
    ports["refuse"] = refuse.getsockname()[1]

    state = os.path.join(options.dir, STATE)
    tmp = state + ".tmp"
    with open(tmp, "w") as f:
        json.dump(dict(pid=os.getpid(), ports=ports), f)
    os.replace(tmp, state)
    print(json.dumps(ports), flush=True)

    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    signal.signal(signal.SIGINT, lambda *_: done.set())
    done.wait(options.lifetime)
    for server in servers:
        server.shutdown()
        server.server_close()
    refuse.close()
    try:
        if json.load(open(state)).get("pid") == os.getpid():
            os.remove(state)
    except (OSError, ValueError):
        pass


def start(options):
    state = os.path.join(options.dir, STATE)
    os.makedirs(options.dir, exist_ok=True)
    stop(options)  # a server left from an earlier run would answer with old ports
    out = open(os.path.join(options.dir, "report-server.out"), "w")
    # Own session and no inherited pipes: the caller (ctest) must not wait
    # for the server's streams.
    proc = subprocess.Popen([sys.executable, os.path.abspath(__file__), "serve",
                             "--dir", options.dir, "--lifetime", str(options.lifetime),
                             "--hang", str(options.hang), "--port", str(options.port),
                             "--hold", str(options.hold), "--trickle", str(options.trickle)],
                            stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                            start_new_session=True, close_fds=True)
    deadline = time.time() + 15
    while time.time() < deadline:
        if proc.poll() is not None:
            sys.exit("report server ended early; see report-server.out")
        try:
            with open(state) as f:
                info = json.load(f)
            if info.get("pid") == proc.pid:
                print(json.dumps(info["ports"]))
                return
        except (OSError, ValueError):
            pass
        time.sleep(0.05)
    proc.kill()
    sys.exit("report server did not start")


def stop(options):
    state = os.path.join(options.dir, STATE)
    try:
        with open(state) as f:
            pid = json.load(f)["pid"]
    except (OSError, ValueError, KeyError):
        return
    try:
        os.kill(pid, signal.SIGTERM)
        for _ in range(100):
            time.sleep(0.05)
            os.kill(pid, 0)
    except ProcessLookupError:
        pass
    try:
        os.remove(state)
    except OSError:
        pass


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("command", choices=("start", "serve", "stop"))
    parser.add_argument("--dir", required=True, help="folder for the port and log files")
    parser.add_argument("--lifetime", type=float, default=1800,
                        help="seconds after which the server ends by itself")
    parser.add_argument("--hang", type=float, default=10,
                        help="seconds a 'hang' connection is held")
    parser.add_argument("--hold", type=float, default=120,
                        help="seconds the silent, short and trickle listeners hold a connection")
    parser.add_argument("--trickle", type=float, default=2,
                        help="seconds between the trickle listener's bytes")
    parser.add_argument("--port", type=int, default=0,
                        help="port of the 'normal' listener (default: a free one)")
    options = parser.parse_args()
    options.dir = os.path.abspath(options.dir)
    {"start": start, "serve": serve, "stop": stop}[options.command](options)


if __name__ == "__main__":
    main()
