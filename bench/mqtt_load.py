#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The measured run of MQTT publishing (Debian packages: python3, mosquitto, mosquitto-clients).

tavrolin-sim sends 200 telegrams a second into tavrolin-log, which publishes to a local
mosquitto; mosquitto_sub receives. Phase 1 (30 s, broker up): every reading arrives, the
latency from the simulator's write of a telegram to the subscriber's receipt of its reading,
the logger's CPU time and peak resident memory. Phase 2: the broker is stopped for 40 s and
started again: all readings of the outage arrive afterwards, in order, and the logger's tick
period while the broker is away (from the readings' times, one per poll).

    bench/mqtt_load.py [BUILD_DIR]        # default build/
"""
import getpass, json, os, select, shutil, signal, subprocess, sys, tempfile, time
from benchproc import cpu_seconds, free_port, start_broker

BUILD = sys.argv[1] if len(sys.argv) > 1 else "build"
SIM = os.path.join(BUILD, "src/main/tavrolin-sim")
LOG = os.path.join(BUILD, "src/main/tavrolin-log")


class Lines:
    """Reads lines of several pipes at once, each stamped with the time it arrived."""

    def __init__(self):
        self.pipes, self.lines, self.rest = {}, {}, {}

    def add(self, name, pipe):
        os.set_blocking(pipe.fileno(), False)
        self.pipes[pipe.fileno()] = name
        self.lines[name], self.rest[name] = [], b""

    def pump(self, seconds):
        end = time.monotonic() + seconds
        while (left := end - time.monotonic()) > 0:
            ready, _, _ = select.select(list(self.pipes), [], [], left)
            now = time.monotonic()
            for fd in ready:
                name = self.pipes[fd]
                data = os.read(fd, 1 << 16)
                parts = (self.rest[name] + data).split(b"\n")
                self.rest[name] = parts.pop()
                self.lines[name] += [(now, p.decode("utf-8", "replace")) for p in parts]


def tick_periods(json_lines):
    """The periods between polls: a poll's readings lie within a few ms, polls 50 ms apart."""
    ticks, last = [], -1000
    for line in json_lines:
        t = json.loads(line)["time"]
        ms = ((int(t[11:13]) * 60 + int(t[14:16])) * 60 + int(t[17:19])) * 1000 + int(t[20:23])
        if ms - last > 10:
            ticks.append(ms)
        last = ms
    return sorted(b - a for a, b in zip(ticks, ticks[1:]))


def main():
    tmp = tempfile.mkdtemp(prefix="tavrolin-load-")
    port = free_port()
    conf = os.path.join(tmp, "mosquitto.conf")
    with open(conf, "w") as f:
        f.write(f"listener {port} 127.0.0.1\nallow_anonymous true\npersistence true\n"
                f"persistence_location {tmp}/\nmax_queued_messages 0\nuser {getpass.getuser()}\n"
                "log_dest stderr\nlog_type information\n")
    profile = os.path.join(tmp, "p.INI")
    with open(profile, "w") as f:
        f.write(f"[SYSTEM]\nFilename={tmp}/log.dat\n[Ports]\nCOM1={tmp}/ttySIM\n"
                f"[Archiv]\nAktiv=0\n[MQTT]\nHost=127.0.0.1:{port}\nReceiver=load\n")
    broker = start_broker(conf)
    lines = Lines()
    sub = subprocess.Popen(["mosquitto_sub", "-p", str(port), "-q", "1", "-c", "-i", "load-sub",
                            "-t", "tavrolin/load/+/state"], stdout=subprocess.PIPE)
    lines.add("sub", sub.stdout)
    sim = subprocess.Popen([SIM, "--link", f"{tmp}/ttySIM", "--rate", "200", "--verbose"],
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    sim.stdout.readline()
    lines.add("sim", sim.stderr)
    lines.pump(0.5)
    log = subprocess.Popen([LOG, "--profile", profile, "--json"], stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE)
    lines.add("log", log.stdout)
    lines.add("err", log.stderr)

    lines.pump(1)
    cpu_from = cpu_seconds(log.pid)
    lines.pump(30)
    cpu = cpu_seconds(log.pid) - cpu_from
    status = open(f"/proc/{log.pid}/status").read()
    hwm = [l for l in status.splitlines() if l.startswith(("VmHWM", "VmRSS"))]
    phase1 = len(lines.lines["log"])
    lines.pump(1)  # what was decoded in phase 1 reaches the subscriber
    sent = [(t, l.split(" Gesendet ")[1]) for t, l in lines.lines["sim"] if " Gesendet " in l]
    got = lines.lines["sub"][:phase1]
    latencies = []
    for (t_sent, hexbytes), (t_got, payload) in zip(sent[:phase1], got[:phase1]):
        d0 = int(hexbytes.split()[1], 16) & 0x7F
        reading = json.loads(payload)
        if d0 >> 4 != 7 and (reading.get("kind"), reading.get("address")) != (d0 >> 4, d0 & 7):
            sys.exit(f"telegram {hexbytes} does not match reading {payload}")
        latencies.append((t_got - t_sent) * 1000)
    latencies.sort()
    pct = lambda p: latencies[min(len(latencies) - 1, int(len(latencies) * p))]
    missing = {l for _, l in lines.lines["log"][:phase1]} - {p for _, p in lines.lines["sub"]}
    print(f"phase 1: {phase1} readings printed, {phase1 - len(missing)} of them arrived; "
          f"latency telegram -> subscriber: median {pct(0.5):.1f} ms, p99 {pct(0.99):.1f} ms, "
          f"max {latencies[-1]:.1f} ms")
    periods = tick_periods([l for _, l in lines.lines["log"][:phase1]])
    print(f"tick period with the broker up: {len(periods)} polls, min {periods[0]} ms, "
          f"median {periods[len(periods) // 2]} ms, max {periods[-1]} ms")
    print(f"logger: {cpu:.3f} s CPU in 30 s ({cpu / 30 * 100:.2f} % of one core);",
          ", ".join(" ".join(h.split()) for h in hwm))

    broker.send_signal(signal.SIGTERM)
    broker.wait()
    outage_from = len(lines.lines["log"])
    lines.pump(40)
    outage_to = len(lines.lines["log"])
    status = open(f"/proc/{log.pid}/status").read()
    print("logger at the end of the outage:",
          ", ".join(" ".join(l.split()) for l in status.splitlines() if l.startswith("VmRSS")))
    broker = start_broker(conf)
    rss = []
    for _ in range(15):
        lines.pump(1)
        with open(f"/proc/{log.pid}/status") as f:
            rss += [l.split()[1] for l in f if l.startswith("VmRSS")]
    print("logger RSS after the restart, each second (kB):", " ".join(rss))
    with open(f"/proc/{log.pid}/status") as f:
        peak = [l.split()[1] for l in f if l.startswith("VmHWM")][0]
    log.send_signal(signal.SIGTERM)
    _, wait_status, usage = os.wait4(log.pid, 0)
    while True:  # until the subscriber has everything
        count = len(lines.lines["sub"])
        lines.pump(2)
        if len(lines.lines["sub"]) == count:
            break
    printed = [l for _, l in lines.lines["log"]]
    arrived, seen = [], set()
    for _, payload in lines.lines["sub"]:
        if payload not in seen:
            seen.add(payload)
            arrived.append(payload)
    periods = tick_periods(printed[outage_from:outage_to])
    arrived_set = set(arrived)
    lost = [i for i, l in enumerate(printed) if l not in arrived_set]
    if lost:
        print(f"not arrived: {len(lost)}, indices {lost[0]}..{lost[-1]} "
              f"(outage {outage_from}..{outage_to})")
    print(f"phase 2: {outage_to - outage_from} readings while the broker was away; "
          f"{len(printed)} printed in all, {len(arrived)} arrived "
          f"({len(lines.lines['sub']) - len(arrived)} twice), in order: {arrived == printed}")
    print(f"tick period while away: {len(periods)} polls, min {periods[0]} ms, "
          f"median {periods[len(periods) // 2]} ms, max {periods[-1]} ms")
    # (ru_maxrss would count the forked Python before exec.)
    print(f"logger over the whole run: {usage.ru_utime + usage.ru_stime:.2f} s CPU, peak RSS "
          f"{peak} kB, exit status {os.waitstatus_to_exitcode(wait_status)}")
    print("logger stderr:", *[l for _, l in lines.lines["err"]], sep="\n  ")
    for p in (sim, sub, broker):
        p.send_signal(signal.SIGTERM)
        p.wait()
    shutil.rmtree(tmp)


main()
