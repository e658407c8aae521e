#!/usr/bin/env python3
"""Scriptable HTTP/1.1 test server for the transport tests (standard library only).

Listens on 127.0.0.1 (or --host) at a free port, prints "PORT <n>" on its first output line,
and appends one JSON line per request to --record (method, path, version, headers, body).
The answer is chosen by the path:
  /ok?size=N&body=T        200 with Content-Length (body T, or N bytes of 'a')
  /pieces?count=C&size=S   200 with Content-Length, body written in C pieces of S bytes
  /nolength?size=N         200 without Content-Length; the connection closes after the body
  /longer?declared=D&size=N  Content-Length D but N bytes follow; the connection closes
  /chunked?count=C&size=S  200 with a chunked body
  /range?size=N            206 for "Range: bytes=a-[b]", else 200
  /lastmod                 200 with a Last-Modified header
  /status/<code>           that status (407 with Proxy-Authenticate, 304 without a body)
  /stall?ms=N              waits N ms before answering
  /reset?size=N&sent=M     announces N bytes, sends M, then resets the connection
  /garbage                 an answer that is not HTTP
  /hangup                  closes the connection without answering
  /redirect?to=P           302 to P
  /resumable?size=N&lm=T&cut=C&cuts=K&whole=1
                           N pattern bytes with Last-Modified T; honours "Range: bytes=a-[b]" (206)
                           unless whole=1; the first K (default 1) ranged answers of one target
                           stop at byte C of the file and the connection closes
  /upload                  200 "received <n>" after reading the body (bodies over 1 MiB not kept)
  anything else            200 "hello"
"""
import argparse
import json
import socket
import socketserver
import struct
import sys
import threading
import time
from urllib.parse import urlsplit, parse_qs

LAST_MODIFIED = "Wed, 21 Oct 2015 07:28:00 GMT"
KEEP_BODY = 1 << 20
record_lock = threading.Lock()
cut_lock = threading.Lock()
cuts_done = {}
PATTERN = bytes(range(251))


def pattern(size):
    return (PATTERN * (size // 251 + 1))[:size]
record_path = None


def record(entry):
    if not record_path:
        return
    with record_lock, open(record_path, "a", encoding="utf-8") as out:
        out.write(json.dumps(entry) + "\n")


class Handler(socketserver.BaseRequestHandler):
    def setup(self):
        self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.buffer = b""

    def read_until(self, marker):
        while marker not in self.buffer:
            data = self.request.recv(65536)
            if not data:
                return None
            self.buffer += data
        head, _, self.buffer = self.buffer.partition(marker)
        return head

    def read_body(self, length):
        keep = length <= KEEP_BODY
        parts, got = [], 0
        if self.buffer:
            take = self.buffer[:length]
            self.buffer = self.buffer[length:]
            got += len(take)
            if keep:
                parts.append(take)
        view = bytearray(1 << 20)
        while got < length:
            n = self.request.recv_into(view, min(len(view), length - got))
            if n == 0:
                break
            if keep:
                parts.append(bytes(view[:n]))
            got += n
        return got, b"".join(parts) if keep else None

    def send(self, status, reason, headers, body=b""):
        lines = ["HTTP/1.1 %d %s" % (status, reason)] + ["%s: %s" % h for h in headers]
        self.request.sendall(("\r\n".join(lines) + "\r\n\r\n").encode("latin-1") + body)

    def handle(self):
        while True:
            head = self.read_until(b"\r\n\r\n")
            if head is None:
                return
            lines = head.decode("latin-1").split("\r\n")
            parts = lines[0].split(" ")
            if len(parts) != 3:
                return
            method, target, version = parts
            headers = []
            for line in lines[1:]:
                name, _, value = line.partition(":")
                headers.append([name.strip(), value.strip()])
            hmap = {n.lower(): v for n, v in headers}
            length = int(hmap.get("content-length", "0") or 0)
            got, body = self.read_body(length)
            record({"method": method, "target": target, "version": version, "headers": headers,
                    "body_length": got, "body": body.decode("latin-1") if body is not None else None})
            if not self.answer(method, target, hmap, got):
                return
            if hmap.get("connection", "").lower() == "close":
                return

    def answer(self, method, target, hmap, got):
        url = urlsplit(target)
        q = {k: v[0] for k, v in parse_qs(url.query).items()}
        path = url.path
        # A proxied request names the whole URL.
        if path.startswith("http"):
            path = urlsplit(path).path
        num = lambda k, d: int(q.get(k, d))
        head_only = method == "HEAD"

        def simple(status, reason, body, extra=()):
            headers = [("Content-Length", str(len(body)))] + list(extra)
            self.send(status, reason, headers, b"" if head_only else body)
            return True

        if path == "/ok":
            body = q["body"].encode() if "body" in q else b"a" * num("size", 5)
            return simple(200, "OK", body)
        if path == "/pieces":
            count, size = num("count", 10), num("size", 100)
            self.send(200, "OK", [("Content-Length", str(count * size))])
            for i in range(count):
                self.request.sendall(bytes([65 + i % 26]) * size)
                time.sleep(0.002)
            return True
        if path == "/nolength":
            self.send(200, "OK", [("Connection", "close")], b"n" * num("size", 100))
            return False
        if path == "/longer":
            self.send(200, "OK", [("Content-Length", str(num("declared", 10))), ("Connection", "close")],
                      b"L" * num("size", 20))
            return False
        if path == "/chunked":
            self.send(200, "OK", [("Transfer-Encoding", "chunked")])
            for i in range(num("count", 5)):
                chunk = bytes([97 + i % 26]) * num("size", 10)
                self.request.sendall(b"%x\r\n" % len(chunk) + chunk + b"\r\n")
                time.sleep(0.002)
            self.request.sendall(b"0\r\n\r\n")
            return True
        if path == "/range":
            data = bytes((i % 251 for i in range(num("size", 1000))))
            rng = hmap.get("range", "")
            if rng.startswith("bytes="):
                a, _, b = rng[6:].partition("-")
                a = int(a)
                b = int(b) if b else len(data) - 1
                part = data[a:b + 1]
                return simple(206, "Partial Content", part,
                              [("Content-Range", "bytes %d-%d/%d" % (a, b, len(data)))])
            return simple(200, "OK", data)
        if path == "/resumable":
            size = num("size", 1000)
            headers = [("Last-Modified", q.get("lm", LAST_MODIFIED)), ("Accept-Ranges", "bytes")]
            rng = hmap.get("range", "")
            a, b, status, reason = 0, size - 1, 200, "OK"
            if rng.startswith("bytes=") and q.get("whole") != "1":
                first, _, last = rng[6:].partition("-")
                a = int(first)
                b = min(int(last), size - 1) if last else size - 1
                status, reason = 206, "Partial Content"
                headers.append(("Content-Range", "bytes %d-%d/%d" % (a, b, size)))
            headers.insert(0, ("Content-Length", str(b - a + 1)))
            cut = num("cut", -1)
            stop = False
            if rng and cut >= 0 and not head_only:
                with cut_lock:
                    done = cuts_done.get(target, 0)
                    if done < num("cuts", 1):
                        cuts_done[target] = done + 1
                        stop = True
            if not stop:
                self.send(status, reason, headers, b"" if head_only else pattern(size)[a:b + 1])
                return True
            self.send(status, reason, headers, pattern(size)[a:max(a, cut)])
            self.request.shutdown(socket.SHUT_RDWR)
            return False
        if path == "/lastmod":
            return simple(200, "OK", b"dated", [("Last-Modified", LAST_MODIFIED)])
        if path.startswith("/status/"):
            code = int(path[8:])
            reasons = {304: "Not Modified", 404: "Not Found", 407: "Proxy Authentication Required",
                       500: "Internal Server Error", 401: "Unauthorized"}
            if code == 304:
                self.send(304, "Not Modified", [])
                return True
            extra = [("Proxy-Authenticate", 'Basic realm="test"')] if code == 407 else []
            return simple(code, reasons.get(code, "Status"), q.get("body", "status %d" % code).encode(), extra)
        if path == "/stall":
            time.sleep(num("ms", 1000) / 1000.0)
            return simple(200, "OK", b"late")
        if path == "/reset":
            self.send(200, "OK", [("Content-Length", str(num("size", 100000)))], b"r" * num("sent", 1000))
            time.sleep(0.05)
            self.request.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.request.close()
            return False
        if path == "/garbage":
            self.request.sendall(b"this is not an HTTP answer\r\n\r\n")
            return False
        if path == "/hangup":
            return False
        if path == "/redirect":
            return simple(302, "Found", b"", [("Location", q.get("to", "/ok"))])
        if path == "/upload":
            return simple(200, "OK", b"received %d" % got)
        return simple(200, "OK", b"hello")


class Server(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--record")
    args = parser.parse_args()
    global record_path
    record_path = args.record
    if ":" in args.host:
        Server.address_family = socket.AF_INET6
    server = Server((args.host, 0), Handler)
    print("PORT %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
