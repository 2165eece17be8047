#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The browser view under load (Debian packages: python3).

tavrolin-sim sends 200 telegrams a second into tavrolin-log, which writes the archive at the
default commit interval and offers every reading on its live feed; tavrolin-web follows that. Two phases of 30 s each, side by side in one run: the logger alone
with tavrolin-web and no page, then with 100 event streams open at once. Measured: that
every stream gets the same readings once each and in order over the span all of them were
open (their event ids, the readings' keys in the archive, rise and repeat none), and as many
a second as the simulator sends; the logger's CPU in both phases, and tavrolin-web's CPU and
peak resident memory.

    bench/web_load.py [BUILD_DIR]        # default build/
"""
import datetime, os, selectors, socket, subprocess, sys, tempfile, time
from benchproc import cpu_seconds, free_port, peak_rss_kib

BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
SIM = os.path.join(BUILD, "src/main/tavrolin-sim")
LOG = os.path.join(BUILD, "src/main/tavrolin-log")
WEB = os.path.join(BUILD, "src/main/tavrolin-web")
CLIENTS = 100
PHASE = 30


class Stream:
    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port))
        self.sock.sendall(b"GET /events HTTP/1.1\r\nHost: x\r\n\r\n")
        self.sock.setblocking(False)
        self.rest = b""
        self.ids = []
        self.delays = []

    def take(self):
        data = self.sock.recv(1 << 16)
        if not data:
            raise RuntimeError("stream closed")
        self.rest += data
        *lines, self.rest = self.rest.split(b"\n")
        now = time.time()
        for line in lines:
            if line.startswith(b"id: "):
                self.ids.append(int(line[4:]))
            elif line.startswith(b'data: {"id"'):
                # From the logger's decoding of the telegram to the page: the reading's time
                # is its wall clock then.
                at = line.index(b'"time":"') + 8
                sent = datetime.datetime.fromisoformat(line[at:at + 29].decode()).timestamp()
                self.delays.append(now - sent)


def main():
    work = tempfile.mkdtemp(prefix="tavrolin-web-load-")
    link, archive = os.path.join(work, "ttySIM"), os.path.join(work, "archiv.sqlite")
    profile = os.path.join(work, "tavrolin.INI")
    # The default commit interval of five minutes: the streams are live by the logger's feed.
    with open(profile, "w") as f:
        f.write("[Archiv]\n")
    os.environ["XDG_RUNTIME_DIR"] = work
    sim = subprocess.Popen([SIM, "--link", link, "--rate", "200"], stdout=subprocess.PIPE, text=True)
    sim.stdout.readline()
    log = subprocess.Popen([LOG, "--port", link, "--archive", archive, "--profile", profile],
                           stdout=subprocess.DEVNULL, cwd=work)
    while not os.path.exists(archive):
        time.sleep(0.1)
    time.sleep(2)
    port = free_port()
    web = subprocess.Popen([WEB, "--archive", archive, "--profile", profile, "--listen",
                            f"127.0.0.1:{port}"], stdout=subprocess.PIPE, text=True)
    web.stdout.readline()
    try:
        time.sleep(2)
        log0, web0 = cpu_seconds(log.pid), cpu_seconds(web.pid)
        time.sleep(PHASE)
        log1, web1 = cpu_seconds(log.pid), cpu_seconds(web.pid)

        streams = [Stream(port) for _ in range(CLIENTS)]
        sel = selectors.DefaultSelector()
        for s in streams:
            sel.register(s.sock, selectors.EVENT_READ, s)
        start = time.monotonic()
        log2, web2 = cpu_seconds(log.pid), cpu_seconds(web.pid)
        while time.monotonic() - start < PHASE:
            for key, _ in sel.select(0.5):
                key.data.take()
        log3, web3 = cpu_seconds(log.pid), cpu_seconds(web.pid)
        # What is still on its way.
        end = time.monotonic() + 3
        while time.monotonic() < end:
            for key, _ in sel.select(0.2):
                key.data.take()
        rss = peak_rss_kib(web.pid)
    finally:
        for p in (web, log, sim):
            p.terminate()
            p.wait()

    first = max(s.ids[0] for s in streams)
    last = min(s.ids[-1] for s in streams)
    common = [[i for i in s.ids if first <= i <= last] for s in streams]
    in_order = all(ids == sorted(set(ids)) for ids in common)
    same = all(ids == common[0] for ids in common)
    print(f"event streams: {CLIENTS}, readings each in the common span: {len(common[0])}, "
          f"in order and without doubles: {in_order}, all streams alike: {same}")
    print(f"logger CPU: {100 * (log1 - log0) / PHASE:.1f} % without pages, "
          f"{100 * (log3 - log2) / PHASE:.1f} % with {CLIENTS} event streams")
    print(f"tavrolin-web CPU: {100 * (web1 - web0) / PHASE:.1f} % without pages, "
          f"{100 * (web3 - web2) / PHASE:.1f} % with {CLIENTS}; peak resident {rss / 1024:.1f} MiB")
    delays = sorted(d for s in streams for d in s.delays[50:])  # after the first poll's
    print(f"from the logger's decoding to the stream's reader: median {1000 * delays[len(delays) // 2]:.0f} ms, "
          f"p99 {1000 * delays[int(len(delays) * 0.99)]:.0f} ms, most {1000 * delays[-1]:.0f} ms")
    print(f"readings per second in the common span: {len(common[0]) / max(1e-9, (last - first) / 32768 / 1000):.0f}")


main()
