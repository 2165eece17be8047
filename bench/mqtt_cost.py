#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""What publishing to MQTT costs tavrolin-log at 200 telegrams a second (Debian packages:
python3, mosquitto, mosquitto-clients, strace).

tavrolin-sim sends 200 telegrams a second into tavrolin-log, which publishes to a local
mosquitto; mosquitto_sub receives. Measured over fixed spans with the broker up: the
logger's CPU time (all threads, from the scheduler's nanoseconds) and, in a span of its own
because tracing slows the process, its system calls counted by `strace -c -f`. The same
run without [MQTT] gives the share of publishing.

Then how soon the logger sees that the broker has gone while the connection is idle (the
simulator stopped): the broker is ended with SIGTERM and SIGKILL in turn, and the time is
taken from the broker's end until the logger has closed its socket (it is in CLOSE_WAIT
until then).

    bench/mqtt_cost.py [BUILD_DIR] [SECONDS]      # default build/, 30 s
"""
import os, re, shutil, signal, subprocess, sys, tempfile, time
from benchproc import cpu_seconds, free_port

BUILD = sys.argv[1] if len(sys.argv) > 1 else "build"
SECONDS = int(sys.argv[2]) if len(sys.argv) > 2 else 30
SIM = os.path.join(BUILD, "src/main/tavrolin-sim")
LOG = os.path.join(BUILD, "src/main/tavrolin-log")
TRACE_SECONDS = 10


def syscalls(pid, seconds):
    """strace -c -f on the running process for `seconds`: {name: calls}."""
    out = os.path.join(tempfile.gettempdir(), f"tavrolin-strace-{pid}.txt")
    tracer = subprocess.Popen(["strace", "-c", "-f", "-o", out, "-p", str(pid)],
                              stderr=subprocess.DEVNULL)
    time.sleep(seconds)
    tracer.send_signal(signal.SIGINT)
    tracer.wait()
    calls = {}
    with open(out) as f:
        for line in f:
            fields = line.split()
            if len(fields) >= 5 and re.fullmatch(r"[\d.]+", fields[0]) and fields[-1] != "total":
                calls[fields[-1]] = int(fields[3])
    os.remove(out)
    return calls


def broker_socket(pid, port):
    """The inode of the process's TCP socket to the broker's port and its state, or None."""
    inodes = set()
    for fd in os.listdir(f"/proc/{pid}/fd"):
        try:
            target = os.readlink(f"/proc/{pid}/fd/{fd}")
        except OSError:
            continue
        if target.startswith("socket:["):
            inodes.add(target[8:-1])
    with open(f"/proc/{pid}/net/tcp") as f:
        for line in f.readlines()[1:]:
            fields = line.split()
            if int(fields[2].split(":")[1], 16) == port and fields[9] in inodes:
                return fields[9], fields[3]
    return None


def noticed(tmp, port, conf, start_broker, rounds=6):
    """Milliseconds from the broker's end until the logger has closed its socket, per round."""
    profile = os.path.join(tmp, "p.INI")
    with open(profile, "w") as f:
        f.write(f"[SYSTEM]\nFilename={tmp}/log.dat\n[Ports]\nCOM1={tmp}/ttySIM\n[Archiv]\n"
                f"Aktiv=0\n[MQTT]\nHost=127.0.0.1:{port}\nReceiver=cost\n")
    sim = subprocess.Popen([SIM, "--link", f"{tmp}/ttySIM", "--rate", "20"],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    sim.stdout.readline()
    log = subprocess.Popen([LOG, "--profile", profile], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
    delays = {"SIGTERM": [], "SIGKILL": []}
    broker = start_broker()
    try:
        time.sleep(1)
        os.kill(sim.pid, signal.SIGSTOP)  # no more readings: the connection falls idle
        for i in range(rounds):
            deadline = time.monotonic() + 40
            while (s := broker_socket(log.pid, port)) is None or s[1] != "01":  # ESTABLISHED
                if time.monotonic() > deadline:
                    sys.exit("the logger did not connect")
                time.sleep(0.01)
            time.sleep(0.5)
            sig = (signal.SIGTERM, signal.SIGKILL)[i % 2]
            broker.send_signal(sig)
            broker.wait()  # its sockets are closed now
            t0 = time.monotonic()
            while broker_socket(log.pid, port) is not None:
                time.sleep(0.001)
            delays[sig.name].append((time.monotonic() - t0) * 1000)
            broker = start_broker()
    finally:
        os.kill(sim.pid, signal.SIGCONT)
        for p in (log, sim, broker):
            p.send_signal(signal.SIGTERM)
            p.wait()
    return delays


def run(tmp, mqtt, port):
    profile = os.path.join(tmp, "p.INI")
    with open(profile, "w") as f:
        f.write(f"[SYSTEM]\nFilename={tmp}/log.dat\n[Ports]\nCOM1={tmp}/ttySIM\n[Archiv]\nAktiv=0\n")
        if mqtt:
            f.write(f"[MQTT]\nHost=127.0.0.1:{port}\nReceiver=cost\n")
    sim = subprocess.Popen([SIM, "--link", f"{tmp}/ttySIM", "--rate", "200"],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    sim.stdout.readline()
    log = subprocess.Popen([LOG, "--profile", profile, "--json"], stdout=subprocess.DEVNULL,
                           stderr=subprocess.PIPE)
    try:
        time.sleep(2)
        cpu_from = cpu_seconds(log.pid)
        time.sleep(SECONDS)
        cpu = cpu_seconds(log.pid) - cpu_from
        calls = syscalls(log.pid, TRACE_SECONDS)
    finally:
        log.send_signal(signal.SIGTERM)
        _, err = log.communicate()
        sim.send_signal(signal.SIGTERM)
        sim.wait()
    total = sum(calls.values())
    top = sorted(calls.items(), key=lambda kv: -kv[1])[:8]
    print(f"{'with' if mqtt else 'without'} MQTT: {cpu:.3f} s CPU in {SECONDS} s "
          f"({cpu / SECONDS * 100:.2f} % of one core); {total / TRACE_SECONDS:.0f} system calls "
          f"a second: " + ", ".join(f"{n} {c / TRACE_SECONDS:.0f}" for n, c in top))
    if err.strip():
        print("  stderr:", err.decode("utf-8", "replace").strip())


def main():
    tmp = tempfile.mkdtemp(prefix="tavrolin-cost-")
    port = free_port()
    conf = os.path.join(tmp, "mosquitto.conf")
    with open(conf, "w") as f:
        f.write(f"listener {port} 127.0.0.1\nallow_anonymous true\npersistence false\n"
                "log_dest stderr\nlog_type information\n")

    def start_broker():
        broker = subprocess.Popen(["/usr/sbin/mosquitto", "-c", conf], stderr=subprocess.PIPE)
        while b" running" not in broker.stderr.readline():
            pass
        return broker

    broker = start_broker()
    sub = subprocess.Popen(["mosquitto_sub", "-p", str(port), "-q", "1", "-t",
                            "tavrolin/cost/+/state"], stdout=subprocess.DEVNULL)
    try:
        run(tmp, True, port)
        run(tmp, False, port)
    finally:
        for p in (sub, broker):
            p.send_signal(signal.SIGTERM)
            p.wait()
    try:
        for name, ms in noticed(tmp, port, conf, start_broker).items():
            print(f"broker ended by {name} while idle: the logger closed its socket "
                  + ", ".join(f"{d:.0f}" for d in ms) + " ms after the broker's end")
    finally:
        shutil.rmtree(tmp)


main()
