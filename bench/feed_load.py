#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The live feed's cost to the logger (Debian packages: python3, strace).

Two simulators send 200 telegrams a second, each into a tavrolin-log at the default commit
interval; one logger has 16 readers on its live feed (one Python process that reads them all
as they come), the other none. Both run at the same time, so the machine's state is the same
for both. Measured over WINDOW seconds: the CPU each logger takes, all threads and the poll's
thread alone (which serves the feed; the archive's thread commits 10 000 readings every 50 s,
a lump of CPU that lands in one window or the next: the default window holds three), then the
system calls each makes a second (strace -c -f, after the CPU window), the peak resident size
of each, and the readings each reader got. On a shared machine two loggers alike differ by up
to a third in CPU from run to run, more than 16 readers add; the feed's own share of the tick
is measured apart, and to the microsecond, by reading_bench's LiveFeedServingReaders.

    bench/feed_load.py [BUILD_DIR] [WINDOW]       # default build/ and 150 s
"""
import os, shutil, subprocess, sys, tempfile, time
from benchproc import cpu_seconds, peak_rss_kib, syscalls_per_second

BUILD = sys.argv[1] if len(sys.argv) > 1 else "build"
WINDOW = float(sys.argv[2]) if len(sys.argv) > 2 else 150.0
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
    try:
        sim_a, link_a = simulator(temp, "a")
        sim_b, link_b = simulator(temp, "b")
        children += [sim_a, sim_b]
        (fed, path), (alone, _) = logger(temp, "fed", link_a), logger(temp, "alone", link_b)
        children += [fed, alone]
        while not os.path.exists(path):
            time.sleep(0.1)
        readers = subprocess.Popen([sys.executable, "-c", READ, path, str(READERS),
                                    str(WINDOW + 30)], stdout=subprocess.PIPE, text=True)
        children.append(readers)
        time.sleep(5)
        def sample():
            return {p.pid: (cpu_seconds(p.pid), cpu_seconds(p.pid, p.pid)) for p in (fed, alone)}
        before = sample()
        time.sleep(WINDOW)
        after = sample()
        used = {pid: [b - a for a, b in zip(before[pid], after[pid])] for pid in after}
        fed_rate, fed_calls = syscalls_per_second(fed.pid, 10)
        alone_rate, alone_calls = syscalls_per_second(alone.pid, 10)
        peaks = {p.pid: peak_rss_kib(p.pid) for p in (fed, alone)}
        got = readers.communicate()[0].split()
    finally:
        for child in reversed(children):
            if child.poll() is None:
                child.terminate()
                child.wait()
        shutil.rmtree(temp, ignore_errors=True)
    (f, fp), (a, ap) = ([s / WINDOW * 100 for s in used[p.pid]] for p in (fed, alone))
    print(f"logger with {READERS} feed readers: {f:.3f} % CPU (poll thread {fp:.3f} %), "
          f"{fed_rate:.0f} system calls/s, peak {peaks[fed.pid] / 1024:.1f} MiB")
    print(f"logger without readers:     {a:.3f} % CPU (poll thread {ap:.3f} %), "
          f"{alone_rate:.0f} system calls/s, peak {peaks[alone.pid] / 1024:.1f} MiB")
    print(f"ratio {f / a:.2f} (poll thread {fp / ap:.2f}); each reader got {got[0]} to {got[1]} "
          "lines")
    for name, calls in (("with readers", fed_calls), ("without", alone_calls)):
        top = sorted(calls.items(), key=lambda kv: -kv[1])[:6]
        print(f"  {name}: " + ", ".join(f"{k} {v / 10:.0f}/s" for k, v in top))


if __name__ == "__main__":
    main()
