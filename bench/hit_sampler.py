#!/usr/bin/env python3
"""hit_sampler.py PORT PATH EVERY_S MAX_S PID STOP_FILE

Until STOP_FILE exists (or MAX_S pass), GETs PATH from 127.0.0.1:PORT on a
new connection every EVERY_S seconds and reads VmRSS of PID meanwhile.
Prints "hit MS STATUS" per request (status 0: no whole answer within 10 s)
and "rss KB" per sample, as they happen.
"""
import http.client
import os
import sys
import time


def vm_rss_kb(pid):
    try:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def main():
    port, path, every, max_s, pid, stop_file = (int(sys.argv[1]), sys.argv[2], float(sys.argv[3]),
                                                float(sys.argv[4]), sys.argv[5], sys.argv[6])
    give_up = time.monotonic() + max_s
    while not os.path.exists(stop_file) and time.monotonic() < give_up:
        start = time.perf_counter()
        try:
            connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
            connection.request("GET", path, headers={"Connection": "close"})
            answer = connection.getresponse()
            answer.read()
            status = answer.status
            connection.close()
        except (OSError, http.client.HTTPException):
            status = 0
        print(f"hit {(time.perf_counter() - start) * 1000:.3f} {status}", flush=True)
        rss = vm_rss_kb(pid)
        if rss is not None:
            print(f"rss {rss}", flush=True)
        time.sleep(every)


if __name__ == "__main__":
    main()
