#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The receive link's cost at a station's heaviest load, and at rest (Debian packages:
python3, strace).

Two simulators send 200 telegrams a second, one into tavrolin-log (protocol file, text on
stdout, the archive on as by default), the other into bench/plain_reader.py, a plain
Python reader; both run at the same time, so the machine's state is the same for both.
Measured over WINDOW seconds: the CPU each takes (all threads, from the scheduler's
nanoseconds), then the system calls each makes a second (strace -c -f attached for a
while, after the CPU window, since tracing slows a process). Last, tavrolin-log on a line
whose receiver acknowledges the start and then sends nothing: its system calls a second
at rest.

    bench/link_load.py [BUILD_DIR] [WINDOW]       # default build/ and 60 s
"""
import os, re, shutil, signal, subprocess, sys, tempfile, time
from benchproc import cpu_seconds, syscalls_per_second

BUILD = sys.argv[1] if len(sys.argv) > 1 else "build"
WINDOW = float(sys.argv[2]) if len(sys.argv) > 2 else 60.0
SIM = os.path.join(BUILD, "src/main/tavrolin-sim")
LOG = os.path.join(BUILD, "src/main/tavrolin-log")
READER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "plain_reader.py")


def simulator(temp, name, *args):
    link = os.path.join(temp, name)
    sim = subprocess.Popen([SIM, "--link", link, *args], stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, text=True)
    if not sim.stdout.readline().startswith("tavrolin-sim: ready"):
        sys.exit("the simulator did not start")
    return sim, link


def logger(temp, name, link):
    folder = os.path.join(temp, name)
    os.makedirs(folder)
    profile = os.path.join(folder, "tavrolin.INI")
    with open(profile, "w") as f:
        f.write(f"[SYSTEM]\r\nFilename={folder}/protokoll.dat\r\n")
    env = dict(os.environ, XDG_DATA_HOME=folder)
    return subprocess.Popen([LOG, "--profile", profile, "--port", link], env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def main():
    if not shutil.which("strace"):
        sys.exit("link_load.py needs strace (Debian package strace)")
    temp = tempfile.mkdtemp(prefix="tavrolin-link-")
    children = []
    try:
        sim_a, link_a = simulator(temp, "a", "--rate", "200")
        sim_b, link_b = simulator(temp, "b", "--rate", "200")
        children += [sim_a, sim_b]
        log = logger(temp, "log", link_a)
        reader = subprocess.Popen([sys.executable, READER, link_b, os.path.join(temp, "plain.dat")],
                                  stdout=subprocess.DEVNULL)
        children += [log, reader]
        time.sleep(5)
        before = {p.pid: cpu_seconds(p.pid) for p in (log, reader)}
        time.sleep(WINDOW)
        used = {p.pid: cpu_seconds(p.pid) - before[p.pid] for p in (log, reader)}
        log_rate, log_calls = syscalls_per_second(log.pid, 10)
        reader_rate, _ = syscalls_per_second(reader.pid, 10)
        print(f"200 telegrams/s, {WINDOW:.0f} s, both at once:")
        print(f"  tavrolin-log      {100 * used[log.pid] / WINDOW:6.3f} % of a core, "
              f"{log_rate:6.1f} system calls/s")
        print(f"  plain_reader.py   {100 * used[reader.pid] / WINDOW:6.3f} % of a core, "
              f"{reader_rate:6.1f} system calls/s")
        print(f"  ratio             {used[reader.pid] / max(used[log.pid], 1e-9):6.2f} x")
        print("  tavrolin-log's calls/s: " + ", ".join(
            f"{name} {count / 10:.1f}" for name, count in
            sorted(log_calls.items(), key=lambda item: -item[1])))
        for p in (log, reader, sim_a, sim_b):
            p.terminate()
            p.wait()

        sim_c, link_c = simulator(temp, "c", "--count", "0")
        children.append(sim_c)
        idle = logger(temp, "idle", link_c)
        children.append(idle)
        time.sleep(3)
        idle_rate, idle_calls = syscalls_per_second(idle.pid, 10)
        print(f"at rest (started, no telegram): {idle_rate:.1f} system calls/s: " + ", ".join(
            f"{name} {count / 10:.1f}" for name, count in
            sorted(idle_calls.items(), key=lambda item: -item[1])))
    finally:
        for p in children:
            if p.poll() is None:
                p.terminate()
                p.wait()
        shutil.rmtree(temp, ignore_errors=True)


main()
