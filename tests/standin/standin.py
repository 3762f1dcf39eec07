#!/usr/bin/env python3
"""Local HTTPS stand-in for the classification service (standard library only).

Two commands, each optionally after --lifeline PORT:

  standin.py certs DIR
      Makes a test CA and server certificates in DIR with the openssl command-line tool:
      ca.crt (the CA to trust, e.g. through SSL_CERT_FILE), server.crt/server.key (for 127.0.0.1
      and localhost, signed by that CA), untrusted.crt/untrusted.key (same names, signed by a CA
      nobody trusts) and wronghost.crt/wronghost.key (signed by the test CA, for another host).
      The address 127.0.0.1 is also named as a DNS name: some TLS stacks (Wine's) match only DNS
      names against the host.
      Files are made in a temporary directory and moved into DIR at the end.

  standin.py serve --cert C --key K --script S --record R --port-file P [--port N]
                   [--alt NAME=CERT,KEY ...] [--exit-with-parent]
      Serves HTTPS on 127.0.0.1. When listening, writes P (atomically) as JSON:
      {"port": N, "silent_port": M, "slow_handshake_port": H, "proxy_port": X,
       "alt": {"NAME": port, ...}, "pid": PID}.
      "silent_port" accepts TCP connections and never says a word (not even TLS).
      "slow_handshake_port" answers the TLS handshake with the main certificate a byte every
      0.05 s (about a minute in all) and then closes the connection.
      "proxy_port" is a plain-HTTP proxy that refuses every request (CONNECT included) with
      407 Proxy Authentication Required (inside TLS to a client that opens TLS to the proxy
      itself, as Wine does); each request is recorded with listener "proxy".
      Each --alt listener serves the same script with another certificate.
      Stop it with SIGTERM; with --exit-with-parent it also ends when its parent process does.

  --lifeline PORT
      First connects to 127.0.0.1:PORT and keeps that connection while it runs: the server stops
      when the other side closes it, and it closes when this process ends. For a launcher that
      can neither signal nor wait for this process (a Windows program under Wine starting a
      native one gets no handle to it).

The script S is a JSON file the server reads again on every request, so a test replaces it
(write and rename) before each exchange:

  {"generation": 1,
   "routes": {"/v2.0/consulta-ean/ID/CNPJ/TOKEN": RESPONSE or [RESPONSE, ...]},
   "default": RESPONSE}

Routes are keyed by the path of the request target (before "?"), byte for byte as received.
A key may also carry a query: "PATH?QUERY" matches a target that is exactly that, and
"PATH?NAME=VALUE" matches when that pair (as received, not decoded) is one of the target's query
parameters, so answers can differ by barcode. Keys with a query win over the bare path.
A list answers its n-th request with its n-th element and repeats its last one; the counters
start again whenever the script's text changes. Without a route nor "default": 404.

RESPONSE fields (all optional):
  status (200), reason ("OK", sent exactly, may be ""), version ("HTTP/1.1"),
  headers ([[name, value], ...] sent in this order, exactly),
  body (text, sent as UTF-8) | body_base64 | body_repeat {"text": T, "count": N},
  content_length (true: adds Content-Length unless given in headers; false: no length,
                  the connection closes after the body),
  delay_headers (seconds before the status line),
  stall_after (bytes of body before a pause of stall_seconds),
  trickle {"chunk": bytes, "interval": seconds, "head": false}: the body in pieces with a pause
                  after each; with "head" true the status line and headers trickle too
                  (unless stall_after is given),
  hang (true: read the request, never answer, keep the connection open),
  close (true: read the request and close the connection without answering).

Every request is appended to R as one JSON line before it is answered:
  {"conn": connection number, "listener": "main" or alt name, "method": ..., "target": ...,
   "version": ..., "headers": [[name, value], ...]}
Target and headers are the received bytes read as ISO-8859-1, so they round-trip exactly.
"""

import argparse
import base64
import json
import os
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time

MAX_HEAD = 64 * 1024
SLOW_HANDSHAKE_INTERVAL = 0.05
HANG_LIMIT = 120.0


def make_certs(directory):
    os.makedirs(os.path.dirname(os.path.abspath(directory)) or ".", exist_ok=True)
    work = tempfile.mkdtemp(prefix=".certs-", dir=os.path.dirname(os.path.abspath(directory)))

    def run(*args):
        subprocess.run(["openssl", *args], cwd=work, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    def make_ca(name, subject):
        run("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
            "-keyout", name + ".key", "-out", name + ".crt", "-days", "30", "-subj", subject,
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")

    def make_server(name, ca, alt_names):
        with open(os.path.join(work, name + ".ext"), "w") as ext:
            ext.write("basicConstraints=CA:FALSE\n")
            ext.write("keyUsage=critical,digitalSignature,keyEncipherment\n")
            ext.write("extendedKeyUsage=serverAuth\n")
            ext.write("subjectAltName=" + alt_names + "\n")
        run("req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
            "-keyout", name + ".key", "-out", name + ".csr", "-subj", "/CN=" + name)
        run("x509", "-req", "-in", name + ".csr", "-CA", ca + ".crt", "-CAkey", ca + ".key",
            "-CAcreateserial", "-out", name + ".crt", "-days", "30", "-extfile", name + ".ext")

    make_ca("ca", "/CN=Stand-in test CA")
    make_ca("rogue", "/CN=Stand-in untrusted CA")
    make_server("server", "ca", "IP:127.0.0.1,DNS:127.0.0.1,DNS:localhost")
    make_server("untrusted", "rogue", "IP:127.0.0.1,DNS:127.0.0.1,DNS:localhost")
    make_server("wronghost", "ca", "DNS:outro-host.invalid")
    try:
        os.rename(work, directory)
    except OSError:
        # Someone else made them first: theirs are as good.
        subprocess.run(["rm", "-rf", work], check=False)
        if not os.path.isfile(os.path.join(directory, "ca.crt")):
            raise


class Script:
    """The canned responses, read again on every request."""

    def __init__(self, path):
        self.path = path
        self.lock = threading.Lock()
        self.text = None
        self.script = {}
        self.counters = {}

    @staticmethod
    def keys(target):
        """Route keys that may answer the target, most specific first."""
        path, has_query, query = target.partition("?")
        if not has_query:
            return [path]
        return [target] + [path + "?" + pair for pair in query.split("&") if pair] + [path]

    def pick(self, target):
        try:
            with open(self.path, "rb") as f:
                text = f.read()
        except FileNotFoundError:
            text = b"{}"
        with self.lock:
            if text != self.text:
                # Parsed once per version: scripts with thousands of routes stay cheap to serve.
                self.script = json.loads(text.decode("utf-8") or "{}")
                self.text = text
                self.counters = {}
            script = self.script
            routes = script.get("routes", {})
            for key in self.keys(target):
                if key not in routes:
                    continue
                entry = routes[key]
                if isinstance(entry, list):
                    n = self.counters.get(key, 0)
                    self.counters[key] = n + 1
                    return entry[min(n, len(entry) - 1)]
                return entry
        if "default" in script:
            return script["default"]
        path = target.split("?", 1)[0]
        return {"status": 404, "reason": "Not Found", "body": "no route for " + path}


class Recorder:
    def __init__(self, path):
        self.path = path
        self.lock = threading.Lock()

    def add(self, entry):
        line = json.dumps(entry, ensure_ascii=True) + "\n"
        with self.lock:
            with open(self.path, "a", encoding="ascii") as f:
                f.write(line)
                f.flush()


def body_bytes(response):
    if "body_base64" in response:
        return base64.b64decode(response["body_base64"])
    if "body_repeat" in response:
        repeat = response["body_repeat"]
        return repeat["text"].encode("utf-8") * int(repeat["count"])
    return response.get("body", "").encode("utf-8")


def read_head(conn):
    """Reads one request head; None when the client closed the connection first."""
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(4096)
        if not chunk:
            return None
        data += chunk
        if len(data) > MAX_HEAD:
            return None
    head, _, _ = data.partition(b"\r\n\r\n")
    return head


def wait_for_close(conn, limit):
    conn.settimeout(0.2)
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        try:
            if not conn.recv(4096):
                return
        except socket.timeout:
            continue
        except (OSError, ssl.SSLError):
            return


def answer(conn, response):
    """Sends one response; True when the connection may carry another request."""
    if response.get("close"):
        return False
    if response.get("hang"):
        wait_for_close(conn, HANG_LIMIT)
        return False
    time.sleep(float(response.get("delay_headers", 0)))
    body = body_bytes(response)
    headers = [(str(n), str(v)) for n, v in response.get("headers", [])]
    keep_open = bool(response.get("content_length", True))
    if keep_open and not any(n.lower() == "content-length" for n, _ in headers):
        headers.append(("Content-Length", str(len(body))))
    status_line = "%s %d %s" % (response.get("version", "HTTP/1.1"),
                                int(response.get("status", 200)), response.get("reason", "OK"))
    head = status_line + "\r\n" + "".join("%s: %s\r\n" % h for h in headers) + "\r\n"
    stall_after = response.get("stall_after")
    trickle = response.get("trickle")
    if stall_after is None and not trickle:
        conn.sendall(head.encode("latin-1") + body)  # one write: no wait on delayed ACKs
        return keep_open
    if trickle and trickle.get("head") and stall_after is None:
        body = head.encode("latin-1") + body
    else:
        conn.sendall(head.encode("latin-1"))

    if stall_after is not None:
        conn.sendall(body[:int(stall_after)])
        time.sleep(float(response.get("stall_seconds", 0)))
        conn.sendall(body[int(stall_after):])
    else:
        size = max(1, int(trickle.get("chunk", 1)))
        for start in range(0, len(body), size):
            conn.sendall(body[start:start + size])
            time.sleep(float(trickle.get("interval", 0)))
    return keep_open


class Server:
    def __init__(self, script, recorder):
        self.script = script
        self.recorder = recorder
        self.conn_lock = threading.Lock()
        self.conn_count = 0

    def next_conn(self):
        with self.conn_lock:
            self.conn_count += 1
            return self.conn_count

    def serve_tls(self, listener, context, name):
        while True:
            raw, _ = listener.accept()
            threading.Thread(target=self.handle, args=(raw, context, name), daemon=True).start()

    def handle(self, raw, context, listener_name):
        number = self.next_conn()
        raw.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        raw.settimeout(30)
        try:
            conn = context.wrap_socket(raw, server_side=True)
        except (OSError, ssl.SSLError):
            raw.close()
            return
        try:
            while True:
                head = read_head(conn)
                if head is None:
                    break
                lines = head.decode("latin-1").split("\r\n")
                parts = lines[0].split(" ")
                method, target, version = (parts + ["", "", ""])[:3]
                headers = []
                for line in lines[1:]:
                    name, _, value = line.partition(":")
                    headers.append([name, value.lstrip(" \t")])
                self.recorder.add({"conn": number, "listener": listener_name, "method": method,
                                   "target": target, "version": version, "headers": headers})
                response = self.script.pick(target)
                if not answer(conn, response):
                    break
                if any(n.lower() == "connection" and v.lower() == "close" for n, v in headers):
                    break
        except (OSError, ssl.SSLError, ValueError):
            pass
        finally:
            try:
                conn.close()
            except OSError:
                pass

    def serve_slow_handshake(self, listener, context):
        while True:
            raw, _ = listener.accept()
            threading.Thread(target=self.handshake_slowly, args=(raw, context), daemon=True).start()

    def handshake_slowly(self, raw, context):
        """The server's part of the handshake a byte at a time, each far within any timeout."""
        raw.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        raw.settimeout(30)
        incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
        tls = context.wrap_bio(incoming, outgoing, server_side=True)
        try:
            while True:
                try:
                    tls.do_handshake()
                    done = True
                except ssl.SSLWantReadError:
                    done = False
                for byte in outgoing.read():
                    raw.sendall(bytes([byte]))
                    time.sleep(SLOW_HANDSHAKE_INTERVAL)
                if done:
                    break
                data = raw.recv(4096)
                if not data:
                    return
                incoming.write(data)
        except (OSError, ssl.SSLError):
            pass
        finally:
            raw.close()

    def serve_proxy(self, listener, context):
        while True:
            conn, _ = listener.accept()
            threading.Thread(target=self.refuse_as_proxy, args=(conn, context), daemon=True).start()

    def refuse_as_proxy(self, conn, context):
        conn.settimeout(30)
        try:
            # Wine's WinHTTP speaks TLS to the proxy itself instead of asking for a tunnel: it
            # gets the same refusal inside TLS.
            if conn.recv(1, socket.MSG_PEEK) == b"\x16":
                conn = context.wrap_socket(conn, server_side=True)
            head = read_head(conn)
            if head is None:
                return
            lines = head.decode("latin-1").split("\r\n")
            parts = (lines[0].split(" ") + ["", "", ""])[:3]
            headers = [[n, v.lstrip(" \t")] for n, _, v in (line.partition(":") for line in lines[1:])]
            self.recorder.add({"conn": self.next_conn(), "listener": "proxy", "method": parts[0],
                               "target": parts[1], "version": parts[2], "headers": headers})
            body = b"<html><body>Acesso negado pelo proxy</body></html>"
            conn.sendall(b"HTTP/1.1 407 Proxy Authentication Required\r\n"
                         b"Proxy-Authenticate: Basic realm=\"loja\"\r\n"
                         b"Content-Type: text/html\r\nConnection: close\r\n"
                         b"Content-Length: " + str(len(body)).encode() + b"\r\n\r\n" + body)
        except (OSError, ssl.SSLError):
            pass
        finally:
            conn.close()

    def serve_silent(self, listener):
        held = []
        while True:
            sock, _ = listener.accept()
            held.append(sock)  # kept open and never read nor written


def listen():
    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    return sock


def watch_lifeline(lifeline, stop):
    """Sets stop once the launcher closes the lifeline (or the connection breaks)."""
    try:
        while lifeline.recv(4096):
            pass
    except OSError:
        pass
    stop.set()


def serve(args, lifeline):
    server = Server(Script(args.script), Recorder(args.record))

    def tls_context(cert, key):
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        return context

    main = listen()
    main.bind(("127.0.0.1", args.port))
    main.listen(64)
    silent = listen()
    silent.bind(("127.0.0.1", 0))
    silent.listen(64)
    slow = listen()
    slow.bind(("127.0.0.1", 0))
    slow.listen(64)
    proxy = listen()
    proxy.bind(("127.0.0.1", 0))
    proxy.listen(64)
    ports = {"port": main.getsockname()[1], "silent_port": silent.getsockname()[1],
             "slow_handshake_port": slow.getsockname()[1], "proxy_port": proxy.getsockname()[1],
             "alt": {}, "pid": os.getpid()}

    threads = [threading.Thread(target=server.serve_tls,
                                args=(main, tls_context(args.cert, args.key), "main"), daemon=True),
               threading.Thread(target=server.serve_silent, args=(silent,), daemon=True),
               threading.Thread(target=server.serve_slow_handshake,
                                args=(slow, tls_context(args.cert, args.key)), daemon=True),
               threading.Thread(target=server.serve_proxy,
                                args=(proxy, tls_context(args.cert, args.key)), daemon=True)]
    for alt in args.alt:
        name, _, files = alt.partition("=")
        cert, _, key = files.partition(",")
        sock = listen()
        sock.bind(("127.0.0.1", 0))
        sock.listen(64)
        ports["alt"][name] = sock.getsockname()[1]
        threads.append(threading.Thread(target=server.serve_tls,
                                        args=(sock, tls_context(cert, key), name), daemon=True))
    for thread in threads:
        thread.start()

    temporary = args.port_file + ".tmp"
    with open(temporary, "w") as f:
        json.dump(ports, f)
    os.replace(temporary, args.port_file)

    stop = threading.Event()
    if lifeline is not None:
        threading.Thread(target=watch_lifeline, args=(lifeline, stop), daemon=True).start()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    parent = os.getppid()
    # A lifeline stands for the parent: a program started from Wine has lost its own already.
    watch_parent = args.exit_with_parent and lifeline is None
    while not stop.wait(0.5):
        if watch_parent and os.getppid() != parent:
            break  # whoever started us is gone (crashed, killed): nobody will stop us


def main():
    parser = argparse.ArgumentParser(description="HTTPS stand-in for the classification service")
    parser.add_argument("--lifeline", type=int)
    commands = parser.add_subparsers(dest="command", required=True)
    certs = commands.add_parser("certs")
    certs.add_argument("dir")
    run = commands.add_parser("serve")
    run.add_argument("--cert", required=True)
    run.add_argument("--key", required=True)
    run.add_argument("--script", required=True)
    run.add_argument("--record", required=True)
    run.add_argument("--port-file", required=True)
    run.add_argument("--port", type=int, default=0)
    run.add_argument("--alt", action="append", default=[])
    run.add_argument("--exit-with-parent", action="store_true")
    args = parser.parse_args()
    # Held until this process ends; the kernel closes it however that happens.
    lifeline = None
    if args.lifeline is not None:
        lifeline = socket.create_connection(("127.0.0.1", args.lifeline), timeout=15)
        lifeline.settimeout(None)
    if args.command == "certs":
        make_certs(args.dir)
    else:
        serve(args, lifeline)


if __name__ == "__main__":
    sys.exit(main())
