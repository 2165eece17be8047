#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The live feed's cost to the logger (Debian packages: python3, strace).

A simulator sends 200 telegrams a second into a tavrolin-log at the default commit interval.
Its feed has 16 readers (one Python process that reads them all as they come) for SLICE
seconds, then none for as long, and so on for ROUNDS rounds; the logger's CPU is measured in
each slice, all threads and the poll's thread alone (which serves the feed; the archive's
thread commits 10 000 readings every 50 s, a lump that lands in one slice or another). One
logger takes turns rather than two loggers side by side: two loggers alike, at the same time
on a shared machine, differ by up to a third, more than the readers add. Then the system
calls a second with the readers and without (strace -c -f), the peak resident size, and the
lines each reader got. The feed's own share of the tick is measured to the microsecond by
reading_bench's LiveFeedServingReaders.

    bench/feed_load.py [BUILD_DIR] [ROUNDS] [SLICE]       # default build/, 5 rounds of 20 s
"""
import os, shutil, statistics, subprocess, sys, tempfile, time
from benchproc import cpu_seconds, peak_rss_kib, syscalls_per_second

BUILD = sys.argv[1] if len(sys.argv) > 1 else "build"
ROUNDS = int(sys.argv[2]) if len(sys.argv) > 2 else 5
SLICE = float(sys.argv[3]) if len(sys.argv) > 3 else 20.0
SIM = os.path.join(BUILD, "src/main/tavrolin-sim")
LOG = os.path.join(BUILD, "src/main/tavrolin-log")
READERS = 16

# The readers, in a process of their own: each line counted, nothing else done with it.
READ = r"""
import selectors, socket, sys, time
path, count, seconds = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
sel = selectors.DefaultSelector()
lines = [0] * count
for i in range(count):
    s = socket.socket(socket.AF_UNIX)
    s.connect(path)
    s.setblocking(False)
    sel.register(s, selectors.EVENT_READ, i)
end = time.time() + seconds
while time.time() < end:
    for key, _ in sel.select(0.5):
        data = key.fileobj.recv(65536)
        lines[key.data] += data.count(b"\n")
print(min(lines), max(lines))
"""


def logger(temp, name, link):
    folder = os.path.join(temp, name)
    os.makedirs(folder)
    profile = os.path.join(folder, "tavrolin.INI")
    with open(profile, "w") as f:
        f.write(f"[SYSTEM]\r\nFilename={folder}/protokoll.dat\r\n")
    env = dict(os.environ, XDG_DATA_HOME=folder, XDG_RUNTIME_DIR=folder)
    proc = subprocess.Popen([LOG, "--profile", profile, "--port", link], env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return proc, os.path.join(folder, "tavrolin", "live.sock")


def simulator(temp, name):
    link = os.path.join(temp, name)
    sim = subprocess.Popen([SIM, "--link", link, "--rate", "200"], stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, text=True)
    if not sim.stdout.readline().startswith("tavrolin-sim: ready"):
        sys.exit("the simulator did not start")
    return sim, link


def main():
    if not shutil.which("strace"):
        sys.exit("feed_load.py needs strace (Debian package strace)")
    temp = tempfile.mkdtemp(prefix="tavrolin-feed-")
    children = []
    readers = None

    def start_readers(seconds):
        return subprocess.Popen([sys.executable, "-c", READ, path, str(READERS), str(seconds)],
                                stdout=subprocess.PIPE, text=True)

    def stop_readers(readers):
        readers.terminate()
        readers.wait()

    try:
        sim, link = simulator(temp, "a")
        children.append(sim)
        log, path = logger(temp, "log", link)
        children.append(log)
        while not os.path.exists(path):
            time.sleep(0.1)
        time.sleep(5)
        shares = {True: [], False: []}  # CPU % in the slices with readers and without
        for _ in range(ROUNDS):
            for fed in (True, False):
                if fed:
                    readers = start_readers(SLICE + 60)
                    # Connected, and through the readings not yet committed that each new
                    # reader gets first (up to 10 000: some seconds of lines made for it).
                    time.sleep(6)
                before = (cpu_seconds(log.pid), cpu_seconds(log.pid, log.pid))
                time.sleep(SLICE)
                after = (cpu_seconds(log.pid), cpu_seconds(log.pid, log.pid))
                shares[fed].append([(b - a) / SLICE * 100 for a, b in zip(before, after)])
                if fed:
                    stop_readers(readers)
                    readers = None
                time.sleep(1)
        readers = start_readers(40)
        time.sleep(6)
        fed_rate, fed_calls = syscalls_per_second(log.pid, 10)
        lines = [int(n) for n in readers.communicate()[0].split()]
        readers = None
        alone_rate, alone_calls = syscalls_per_second(log.pid, 10)
        peak = peak_rss_kib(log.pid)
    finally:
        if readers is not None:
            stop_readers(readers)
        for child in reversed(children):
            if child.poll() is None:
                child.terminate()
                child.wait()
        shutil.rmtree(temp, ignore_errors=True)
    (f, fp), (a, ap) = ([statistics.median(s[i] for s in shares[fed]) for i in (0, 1)]
                        for fed in (True, False))
    print(f"{ROUNDS} rounds of {SLICE:.0f} s with {READERS} feed readers and without "
          f"(medians; each slice: all threads / poll thread, %)")
    for fed, name in ((True, "with readers"), (False, "without")):
        print(f"  {name}: " + ", ".join(f"{s[0]:.3f}/{s[1]:.3f}" for s in shares[fed]))
    print(f"logger with {READERS} feed readers: {f:.3f} % CPU (poll thread {fp:.3f} %), "
          f"{fed_rate:.0f} system calls/s")
    print(f"logger without readers:     {a:.3f} % CPU (poll thread {ap:.3f} %), "
          f"{alone_rate:.0f} system calls/s")
    print(f"ratio {f / a:.2f} (poll thread {fp / ap:.2f}); peak {peak / 1024:.1f} MiB; each "
          f"reader got {lines[0]} to {lines[1]} lines in 40 s")
    for name, calls in (("with readers", fed_calls), ("without", alone_calls)):
        top = sorted(calls.items(), key=lambda kv: -kv[1])[:6]
        print(f"  {name}: " + ", ".join(f"{k} {v / 10:.0f}/s" for k, v in top))


if __name__ == "__main__":
    main()
