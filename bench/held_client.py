#!/usr/bin/env python3
"""held_client.py PORT HELD PARTIAL_PATH FULL_PATH PROBES

Opens HELD connections to 127.0.0.1:PORT: the first half send an unfinished
header for PARTIAL_PATH, the other half a whole keep-alive GET for FULL_PATH,
read the answer and then idle. While they are all held, PROBES times a GET
for FULL_PATH on a new connection each (connect to last body byte).

Prints to stdout, one line each:
  held OPEN PARTIAL_OPEN FULL_ANSWERED FULL_STATUSES  (after opening)
  probe MS STATUS         (PROBES lines; status 0: no whole answer)
  still OPEN                                         (held ones not closed by the server)
then waits for a line (or end) on stdin before closing everything, so that
the caller can measure the server meanwhile. Gives up after 30 s.
"""
import selectors
import socket
import sys
import time

HOST = "127.0.0.1"
DEADLINE = 30.0


def request(path, keep):
    return (f"GET {path} HTTP/1.1\r\nHost: x\r\n"
            f"Connection: {'keep-alive' if keep else 'close'}\r\n\r\n").encode()


def answer_complete(data):
    """(status, done) of the bytes so far of one answer with Content-Length."""
    head, sep, body = data.partition(b"\r\n\r\n")
    if not sep:
        return None, False
    lines = head.split(b"\r\n")
    status = int(lines[0].split()[1])
    length = 0
    for line in lines[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value)
    return status, len(body) >= length


def probe(port, path):
    """(ms, status) of one GET on a new connection; status 0: no whole answer."""
    start = time.perf_counter()
    status, done = None, False
    try:
        with socket.create_connection((HOST, port), timeout=10) as s:
            s.sendall(request(path, keep=False))
            data = b""
            while not done:
                got = s.recv(65536)
                if not got:
                    break
                data += got
                status, done = answer_complete(data)
    except OSError:
        pass
    return (time.perf_counter() - start) * 1000, status if done else 0


def main():
    port, held, partial_path, full_path, probes = (int(sys.argv[1]), int(sys.argv[2]),
                                                   sys.argv[3], sys.argv[4], int(sys.argv[5]))
    open_until = time.monotonic() + DEADLINE / 3
    give_up = time.monotonic() + 2 * DEADLINE / 3
    sel = selectors.DefaultSelector()
    partial = request(partial_path, keep=True)[:-2]  # header never ends
    full = request(full_path, keep=True)
    socks, answers, statuses = [], {}, {}
    for i in range(held):
        if time.monotonic() > open_until:
            break  # the server stopped accepting; hold what we have
        s = socket.socket()
        s.settimeout(2)
        try:
            s.connect((HOST, port))
        except OSError:
            s.close()
            continue
        s.setblocking(False)
        is_full = i >= held // 2
        s.send(full if is_full else partial)
        socks.append((s, is_full))
        if is_full:
            answers[s] = b""
            sel.register(s, selectors.EVENT_READ)
    while answers.keys() - statuses.keys() and time.monotonic() < give_up:
        for key, _ in sel.select(timeout=1):
            s = key.fileobj
            try:
                got = s.recv(65536)
            except OSError:
                got = b""
            if not got:
                statuses[s] = 0
                sel.unregister(s)
                continue
            answers[s] += got
            status, done = answer_complete(answers[s])
            if done:
                statuses[s] = status
                sel.unregister(s)
    counts = {}
    for status in statuses.values():
        counts[status] = counts.get(status, 0) + 1
    print("held", len(socks), sum(1 for _, f in socks if not f),
          sum(1 for v in statuses.values() if v), ",".join(f"{k}:{v}" for k, v in sorted(counts.items())),
          flush=True)
    for _ in range(probes):
        ms, status = probe(port, full_path)
        print(f"probe {ms:.3f} {status}", flush=True)
    print("still", sum(1 for s, _ in socks if still_open(s)), flush=True)
    sel.close()
    sys.stdin.readline()
    for s, _ in socks:
        s.close()


def still_open(s):
    """True when the server has not closed s (no end of stream, no reset)."""
    try:
        return s.recv(1, socket.MSG_PEEK) != b""
    except BlockingIOError:
        return True
    except OSError:
        return False


if __name__ == "__main__":
    main()
