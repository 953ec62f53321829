#!/usr/bin/env python3
"""large_reader.py PORT PATH PID [--slow-rate B/S] [--slow-seconds S]
                   [--leave-after BYTES] [--max-seconds S]

One GET of PATH from 127.0.0.1:PORT on a new connection (Connection:
close), read with a plain socket: first at --slow-rate bytes a second for
--slow-seconds (0: no slow phase), then as fast as it comes. With
--leave-after, the reader closes the connection once it holds that many
body bytes. Meanwhile a thread reads VmRSS of PID every 50 ms; VmHWM of
PID is reset (clear_refs 5) just before the request and read after.

Prints one line of key=value: status, content_length, body (body bytes
read), extra (bytes after Content-Length), whole (yes: body equals
Content-Length and nothing after it), bmp (width x height from a BMP
header whose size field equals Content-Length, or -), sha256 of the body,
seconds, slow_bytes (body bytes read in the slow phase), fast_mib_s (rate
after it), rss_before_kb, rss_peak_kb (largest sample), rss_samples,
hwm_kb (VmHWM after the read, or - when it could not be reset).
"""
import argparse
import hashlib
import socket
import struct
import threading
import time


def status_kb(pid, key):
    try:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                if line.startswith(key + ":"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


class Sampler(threading.Thread):
    def __init__(self, pid):
        super().__init__(daemon=True)
        self.pid, self.peak, self.count = pid, 0, 0
        self.done = threading.Event()

    def run(self):
        while not self.done.is_set():
            rss = status_kb(self.pid, "VmRSS")
            if rss is not None:
                self.peak = max(self.peak, rss)
                self.count += 1
            self.done.wait(0.05)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("port", type=int)
    parser.add_argument("path")
    parser.add_argument("pid")
    parser.add_argument("--slow-rate", type=int, default=1024 * 1024)
    parser.add_argument("--slow-seconds", type=float, default=0)
    parser.add_argument("--leave-after", type=int, default=0)
    parser.add_argument("--max-seconds", type=float, default=120)
    args = parser.parse_args()

    hwm_reset = True
    try:
        with open(f"/proc/{args.pid}/clear_refs", "w") as clear:
            clear.write("5")
    except OSError:
        hwm_reset = False
    rss_before = status_kb(args.pid, "VmRSS")
    sampler = Sampler(args.pid)
    sampler.start()

    start = time.monotonic()
    give_up = start + args.max_seconds
    connection = socket.create_connection(("127.0.0.1", args.port), timeout=30)
    connection.sendall(f"GET {args.path} HTTP/1.1\r\nHost: 127.0.0.1:{args.port}\r\n"
                       "Connection: close\r\n\r\n".encode())
    head = b""
    while b"\r\n\r\n" not in head and len(head) < 65536:
        piece = connection.recv(4096)
        if not piece:
            break
        head += piece
    head, _, body_start = head.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    status = int(lines[0].split()[1]) if lines and len(lines[0].split()) > 1 else 0
    length = None
    for line in lines[1:]:
        name, _, value = line.partition(":")
        if name.strip().lower() == "content-length":
            length = int(value.strip())

    digest = hashlib.sha256()
    first = bytearray(body_start[:64])
    digest.update(body_start)
    body = len(body_start)
    buffer = bytearray(1024 * 1024)
    view = memoryview(buffer)
    slow_end = start + args.slow_seconds
    slow_bytes = body if args.slow_seconds > 0 else 0
    fast_start, fast_bytes = None, 0
    wanted = length if length is not None else float("inf")
    left = False
    while body < wanted and time.monotonic() < give_up:
        if args.leave_after and body >= args.leave_after:
            left = True
            break
        now = time.monotonic()
        limit = len(buffer)
        if now < slow_end:
            allowed = int(args.slow_rate * (now - start)) - slow_bytes
            if allowed <= 0:
                time.sleep(0.01)
                continue
            limit = min(limit, allowed)
        elif fast_start is None:
            fast_start, fast_bytes = now, body
        if args.leave_after:
            limit = min(limit, args.leave_after - body)
        limit = int(min(limit, wanted - body))
        got = connection.recv_into(view[:limit], limit)
        if got == 0:
            break
        if len(first) < 64:
            first += view[:min(got, 64 - len(first))]
        digest.update(view[:got])
        body += got
        if now < slow_end:
            slow_bytes += got
    fast_seconds = time.monotonic() - fast_start if fast_start is not None else 0

    extra = 0
    if not left:
        connection.settimeout(2)
        try:
            while time.monotonic() < give_up:
                piece = connection.recv(65536)
                if not piece:
                    break
                extra += len(piece)
        except OSError:
            pass
    connection.close()
    seconds = time.monotonic() - start
    sampler.done.set()
    sampler.join()
    hwm = status_kb(args.pid, "VmHWM") if hwm_reset else None

    bmp = "-"
    if len(first) >= 26 and first[:2] == b"BM":
        size, = struct.unpack_from("<I", first, 2)
        width, height = struct.unpack_from("<ii", first, 18)
        if size == length:
            bmp = f"{width}x{abs(height)}"
    whole = "yes" if length is not None and body == length and extra == 0 else "no"
    fast_rate = f"{(body - fast_bytes) / fast_seconds / 1048576:.0f}" if fast_seconds > 0 else "-"
    print(f"status={status} content_length={length} body={body} extra={extra} whole={whole} bmp={bmp} "
          f"sha256={digest.hexdigest()} seconds={seconds:.2f} slow_bytes={slow_bytes} "
          f"fast_mib_s={fast_rate} rss_before_kb={rss_before} rss_peak_kb={sampler.peak} "
          f"rss_samples={sampler.count} hwm_kb={hwm if hwm is not None else '-'}", flush=True)


if __name__ == "__main__":
    main()
