#!/usr/bin/python3
"""HTTPS servers on 127.0.0.1 for the downloader's tests and benchmark.

Makes a CA and a server certificate for this run (openssl), starts Debian's nginx on a free port
with a few package files, and runs the project's fault server on another free port, both with
TLS. Writes key=value lines to --info when ready, then serves until SIGTERM/SIGINT (or, with
--watch-stdin, until stdin closes: the parent is gone), and stops nginx and removes its folder.

  download_servers.py --dir DIR --info FILE [--watch-stdin] [--serve NAME=HOSTFILE ...]

Info keys: nginx_port, fault_port, ca_pem, ca_der, host (the certificate's DNS name besides
127.0.0.1), and file.NAME=SIZE for every file nginx serves under /.

Fault server paths (each answers one GET and closes the connection):
  /missing                      404
  /no-length                    200, no Content-Length, 1.5 MiB, then close
  /short                        Content-Length 3 MiB, 1 MiB sent, then a clean close
  /long                         Content-Length 1 MiB, chunked body of 3 MiB
  /drop                         Content-Length 4 MiB, 2.5 MiB sent, then a reset
  /stall                        Content-Length 2 MiB, 1 MiB sent, then silence for 120 s
  /query?token=vellmora-42      200 with 64 KiB when the query is exactly that, else 403
  /redirect                     302 to nginx's /3.9.1.1/Vellmora-Engine-3.9.1.0.rar
"""

import argparse
import ctypes
import os
import select
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import threading
import time

HOST_NAME = "packages.vellmora.com"
MIB = 1024 * 1024

# Files nginx serves: path under / and size. The sizes sit on both sides of a MiB boundary.
NGINX_FILES = {
    "3.9.1.1/Vellmora-Engine-3.9.1.0.rar": 3 * MIB + 17,
    "3.9.1.1/Vellmora-InstanceP64-3.9.1.0.rar": 5 * MIB,
    "exact-1mib.bin": MIB,
    "one-over-1mib.bin": MIB + 1,
    "empty.bin": 0,
}


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def make_certificates(folder):
    ca_key, ca_pem = os.path.join(folder, "ca.key"), os.path.join(folder, "ca.pem")
    key, csr, pem = (os.path.join(folder, n) for n in ("server.key", "server.csr", "server.pem"))
    ext = os.path.join(folder, "server.ext")
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", ca_key,
        "-out", ca_pem, "-days", "2", "-subj", "/CN=Vellmora Test Root (this run only)",
        "-addext", "basicConstraints=critical,CA:TRUE",
        "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", csr,
        "-subj", "/CN=" + HOST_NAME)
    with open(ext, "w") as f:
        f.write("subjectAltName=DNS:%s,DNS:localhost,IP:127.0.0.1\n" % HOST_NAME)
        f.write("extendedKeyUsage=serverAuth\nkeyUsage=critical,digitalSignature,keyEncipherment\n")
    run("openssl", "x509", "-req", "-in", csr, "-CA", ca_pem, "-CAkey", ca_key,
        "-CAcreateserial", "-out", pem, "-days", "2", "-extfile", ext)
    ca_der = os.path.join(folder, "ca.der")
    run("openssl", "x509", "-in", ca_pem, "-outform", "DER", "-out", ca_der)
    return ca_pem, ca_der, key, pem


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def write_files(root):
    sizes = {}
    for name, size in NGINX_FILES.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(pattern(size))
        sizes[name] = size
    return sizes


def pattern(size):
    # Not all one byte value, so that a shifted or repeated block shows in a comparison.
    block = bytes((i * 7 + i // 251) & 0xFF for i in range(65536))
    return (block * (size // len(block) + 1))[:size]


def start_nginx(folder, root, port, key, pem):
    conf = os.path.join(folder, "nginx.conf")
    with open(conf, "w") as f:
        f.write("""
daemon off;
master_process off;
worker_processes 1;
pid %(folder)s/nginx.pid;
error_log %(folder)s/error.log warn;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path %(folder)s/body;
  proxy_temp_path %(folder)s/proxy;
  fastcgi_temp_path %(folder)s/fastcgi;
  uwsgi_temp_path %(folder)s/uwsgi;
  scgi_temp_path %(folder)s/scgi;
  sendfile on;
  types { }
  default_type application/octet-stream;
  server {
    listen 127.0.0.1:%(port)d ssl;
    server_name %(host)s;
    ssl_certificate %(pem)s;
    ssl_certificate_key %(key)s;
    root %(root)s;
    location / { }
  }
}
""" % dict(folder=folder, port=port, host=HOST_NAME, pem=pem, key=key, root=root))
    process = subprocess.Popen(["nginx", "-p", folder, "-c", conf, "-e", folder + "/error.log"],
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE, preexec_fn=end_with_parent)
    wait_for_port(port, process, "nginx")
    return process


def end_with_parent():
    # PR_SET_PDEATHSIG: nginx gets SIGTERM when this script ends, however it ends.
    ctypes.CDLL("libc.so.6", use_errno=True).prctl(1, signal.SIGTERM)


def wait_for_port(port, process, name):
    deadline = time.monotonic() + 15
    while time.monotonic() < deadline:
        if process is not None and process.poll() is not None:
            raise SystemExit("%s ended at start: %s" % (name, process.stderr.read().decode()))
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return
        except OSError:
            time.sleep(0.05)
    raise SystemExit("%s did not listen on port %d" % (name, port))


class FaultServer:
    def __init__(self, port, key, pem, nginx_port):
        self.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        self.context.load_cert_chain(pem, key)
        self.nginx_port = nginx_port
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", port))
        self.listener.listen(16)
        self.stopping = threading.Event()

    def serve(self):
        while not self.stopping.is_set():
            try:
                raw, _ = self.listener.accept()
            except OSError:
                return
            threading.Thread(target=self.answer, args=(raw,), daemon=True).start()

    def answer(self, raw):
        connection = raw
        try:
            raw.settimeout(30)
            # The TLS socket takes over the descriptor; from here on it is the connection.
            connection = self.context.wrap_socket(raw, server_side=True)
            request = b""
            while b"\r\n\r\n" not in request:
                chunk = connection.recv(4096)
                if not chunk:
                    return
                request += chunk
            target = request.split(b"\r\n", 1)[0].split(b" ")[1].decode("latin-1")
            host = header(request, b"host").rsplit(":", 1)[0] or "127.0.0.1"
            self.respond(connection, target, host)
        except (OSError, ssl.SSLError, IndexError):
            pass
        finally:
            try:
                connection.close()
            except OSError:
                pass

    def respond(self, connection, target, host):
        path, _, query = target.partition("?")
        send = connection.sendall
        if path == "/missing":
            body = b"no such package\n"
            send(head("404 Not Found", len(body)) + body)
        elif path == "/no-length":
            send(head("200 OK", None))
            send(pattern(MIB + MIB // 2))
            close_cleanly(connection)
        elif path == "/short":
            send(head("200 OK", 3 * MIB))
            send(pattern(MIB))
            close_cleanly(connection)
        elif path == "/long":
            send(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\nTransfer-Encoding: chunked\r\n"
                 b"Connection: close\r\n\r\n" % MIB)
            body = pattern(3 * MIB)
            for offset in range(0, len(body), 256 * 1024):
                chunk = body[offset:offset + 256 * 1024]
                send(b"%x\r\n" % len(chunk) + chunk + b"\r\n")
            send(b"0\r\n\r\n")
        elif path == "/drop":
            send(head("200 OK", 4 * MIB))
            send(pattern(2 * MIB + MIB // 2))
            time.sleep(0.2)
            # An abortive close: the peer sees a reset, not the end of the stream.
            connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
        elif path == "/stall":
            send(head("200 OK", 2 * MIB))
            send(pattern(MIB))
            self.stopping.wait(120)
        elif path == "/query":
            if query == "token=vellmora-42":
                send(head("200 OK", 64 * 1024) + pattern(64 * 1024))
            else:
                body = b"wrong query\n"
                send(head("403 Forbidden", len(body)) + body)
        elif path == "/redirect":
            # The client's own name for this machine, which the certificate carries.
            location = "https://%s:%d/3.9.1.1/Vellmora-Engine-3.9.1.0.rar" % (host, self.nginx_port)
            send(b"HTTP/1.1 302 Found\r\nLocation: " + location.encode() +
                 b"\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
        else:
            send(head("404 Not Found", 0))

    def stop(self):
        self.stopping.set()
        self.listener.close()


def header(request, name):
    for line in request.split(b"\r\n")[1:]:
        key, _, value = line.partition(b":")
        if key.strip().lower() == name:
            return value.strip().decode("latin-1")
    return ""


def close_cleanly(connection):
    # close_notify, then the TCP close, as nginx does: without waiting for the client's
    # close_notify, which some clients never send.
    connection.setblocking(False)
    try:
        connection.unwrap()
    except (ssl.SSLError, OSError):
        pass


def head(status, length):
    text = "HTTP/1.1 %s\r\nConnection: close\r\n" % status
    if length is not None:
        text += "Content-Length: %d\r\n" % length
    return (text + "\r\n").encode()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--info", required=True)
    parser.add_argument("--watch-stdin", action="store_true",
                        help="also stop when stdin reaches its end (the parent's pipe closed)")
    parser.add_argument("--serve", action="append", default=[],
                        help="NAME=HOSTFILE: also serve HOSTFILE as /NAME (a hard link or copy)")
    args = parser.parse_args()

    folder = os.path.abspath(args.dir)
    os.makedirs(folder, exist_ok=True)
    root = os.path.join(folder, "www")
    ca_pem, ca_der, key, pem = make_certificates(folder)
    sizes = write_files(root)
    for item in args.serve:
        name, _, source = item.partition("=")
        target = os.path.join(root, name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        try:
            os.link(source, target)
        except OSError:
            os.symlink(os.path.abspath(source), target)
        sizes[name] = os.path.getsize(source)

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    nginx_port = free_port()
    nginx = start_nginx(folder, root, nginx_port, key, pem)
    faults = None
    try:
        fault_port = free_port()
        faults = FaultServer(fault_port, key, pem, nginx_port)
        threading.Thread(target=faults.serve, daemon=True).start()
        lines = ["nginx_port=%d" % nginx_port, "fault_port=%d" % fault_port, "ca_pem=" + ca_pem,
                 "ca_der=" + ca_der, "host=" + HOST_NAME, "folder=" + folder]
        lines += ["file.%s=%d" % (name, size) for name, size in sizes.items()]
        temporary = args.info + ".tmp"
        with open(temporary, "w") as f:
            f.write("\n".join(lines) + "\n")
        os.replace(temporary, args.info)
        print("ready", flush=True)

        while not stop.is_set():
            if args.watch_stdin:
                readable, _, _ = select.select([sys.stdin], [], [], 0.5)
                if readable and not sys.stdin.buffer.read1(4096):
                    break
            else:
                stop.wait(0.5)
            if nginx.poll() is not None:
                break
    finally:
        if faults is not None:
            faults.stop()
        nginx.terminate()
        try:
            nginx.wait(10)
        except subprocess.TimeoutExpired:
            nginx.kill()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
