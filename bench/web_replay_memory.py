#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""tavrolin-web's memory while many pages come back at once and never read (Debian packages:
python3).

An archive of the last three hours (4 000 readings, some 2.4 MB of events to replay to each
page); 200 event streams from two loopback addresses ask for all of it with Last-Event-ID and
read nothing, with small receive buffers. Measured: tavrolin-web's resident memory at rest,
with the streams open for 5 s, its peak, and 3 s after they closed.

    bench/web_replay_memory.py [BUILD_DIR]        # default build/
"""
import datetime, json, os, socket, subprocess, sys, tempfile, time
from benchproc import free_port, peak_rss_kib, status_kib

BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
HISTORY = os.path.join(BUILD, "src/main/tavrolin-history")
WEB = os.path.join(BUILD, "src/main/tavrolin-web")
STREAMS = 200
READINGS = 4000


def main():
    work = tempfile.mkdtemp(prefix="tavrolin-replay-")
    archive = os.path.join(work, "archiv.sqlite")
    now = datetime.datetime.now(datetime.timezone.utc)
    first = now - datetime.timedelta(hours=3)
    with open(os.path.join(work, "m.jsonl"), "w") as f:
        for i in range(READINGS):
            t = first + datetime.timedelta(seconds=i * 2.7)
            f.write(json.dumps({"time": t.isoformat(timespec="milliseconds"), "sensor": "outdoor-1",
                                "kind": 1, "address": 1, "v12": False, "interval": 2.7,
                                "temperature": round(5 + (i % 100) / 10, 1), "humidity": 70}) + "\n")
    subprocess.run([HISTORY, "--archive", archive, "import", os.path.join(work, "m.jsonl")],
                   check=True, capture_output=True)
    port = free_port()
    env = dict(os.environ, XDG_CONFIG_HOME=work, XDG_RUNTIME_DIR=work)
    web = subprocess.Popen([WEB, "--archive", archive, "--listen", f"127.0.0.1:{port}"], env=env,
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    web.stdout.readline()
    time.sleep(1)
    rest = status_kib(web.pid)["VmRSS"]
    # The key of the first millisecond of the archive's span: every reading after it.
    after = int((first - datetime.timedelta(seconds=1)).timestamp() * 1000) * 64 * 512
    streams = []
    for i in range(STREAMS):
        s = socket.socket()
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        s.bind((f"127.0.0.{1 + i % 2}", 0))
        s.connect(("127.0.0.1", port))
        s.sendall(f"GET /events HTTP/1.1\r\nHost: x\r\nLast-Event-ID: {after}\r\n\r\n".encode())
        streams.append(s)
    time.sleep(5)
    held = status_kib(web.pid)["VmRSS"]
    for s in streams:
        s.close()
    time.sleep(3)
    after_close = status_kib(web.pid)["VmRSS"]
    peak = peak_rss_kib(web.pid)
    web.terminate()
    web.wait()
    print(f"tavrolin-web resident: at rest {rest / 1024:.1f} MiB, {STREAMS} streams held "
          f"{held / 1024:.1f} MiB, peak {peak / 1024:.1f} MiB, 3 s after they closed "
          f"{after_close / 1024:.1f} MiB")


if __name__ == "__main__":
    main()
