#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The long run of tavrolin-log (Debian packages: python3, mosquitto, mosquitto-clients; perf
for --syscalls).

tavrolin-sim sends 200 telegrams a second into tavrolin-log with the protocol file, --json on
stdout, MQTT to a local mosquitto and the archive all on (or the outputs named by --outputs).
Every --every seconds the logger's resident memory is sampled from /proc: VmRSS and its parts
RssAnon (the heap: SQLite's page cache, queues, buffers) and RssFile (file pages mapped, such
as the archive read through SQLite's memory map), its open descriptors and its CPU time. At
the end each output's readings are counted (protocol file lines, JSON lines, distinct MQTT
messages, the archive's rows by tavrolin-history check) and the memory's rise is summed up:
where it stood after 1, 2, 5, 10 minutes, and its slope over the last half of the run.

    bench/logger_endurance.py [--build DIR] [--minutes M] [--every S] [--rate N]
                              [--outputs file,json,mqtt,archive] [--syscalls S] [--samples CSV]

--syscalls S counts the logger's system calls over S seconds after the first minute
(perf stat), beside its CPU time over the same seconds. A two-hour run:

    bench/logger_endurance.py --minutes 120 --every 30 --samples rss.csv
"""
import argparse, getpass, os, re, select, shutil, signal, subprocess, sys, tempfile
import time
from benchproc import cpu_seconds, free_port, start_broker, status_kib

KB = 1024


def mapped_kb(pid, suffix):
    """Resident kB of the process's mappings of files whose name ends in suffix."""
    total, inside = 0, False
    with open(f"/proc/{pid}/smaps") as f:
        for line in f:
            if re.match(r"[0-9a-f]+-[0-9a-f]+ ", line):
                inside = line.rstrip().endswith(suffix)
            elif inside and line.startswith("Rss:"):
                total += int(line.split()[1])
    return total


class Counter:
    """Drains pipes and counts their lines; keeps none of them but MQTT payloads' hashes."""

    def __init__(self):
        self.pipes, self.rest, self.count, self.distinct, self.kept = {}, {}, {}, {}, {}
        self.position = {}

    def add(self, name, pipe, distinct=False, keep=False, positions=False):
        """distinct: the line's hashes are kept; keep: the lines; positions: where each
        line's hash came first."""
        os.set_blocking(pipe.fileno(), False)
        self.pipes[pipe.fileno()] = name
        self.rest[name], self.count[name] = b"", 0
        if distinct:
            self.distinct[name] = set()
        if keep:
            self.kept[name] = []
        if positions:
            self.position[name] = {}

    def pump(self, seconds):
        end = time.monotonic() + seconds
        while self.pipes and (left := end - time.monotonic()) > 0:
            ready, _, _ = select.select(list(self.pipes), [], [], left)
            for fd in ready:
                name = self.pipes[fd]
                data = os.read(fd, 1 << 16)
                if not data:
                    del self.pipes[fd]
                    continue
                parts = (self.rest[name] + data).split(b"\n")
                self.rest[name] = parts.pop()
                if name in self.position:
                    for i, p in enumerate(parts, self.count[name]):
                        self.position[name].setdefault(hash(p), i)
                self.count[name] += len(parts)
                if name in self.distinct:
                    self.distinct[name].update(hash(p) for p in parts)
                if name in self.kept:
                    self.kept[name] += [p.decode("utf-8", "replace") for p in parts]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default="build")
    parser.add_argument("--minutes", type=float, default=30)
    parser.add_argument("--every", type=float, default=10, help="seconds between samples")
    parser.add_argument("--rate", type=int, default=200)
    parser.add_argument("--outputs", default="file,json,mqtt,archive")
    parser.add_argument("--syscalls", type=float, default=0)
    parser.add_argument("--samples", help="write every sample to this CSV file")
    args = parser.parse_args()
    outputs = set(args.outputs.split(","))
    sim_program = os.path.join(args.build, "src/main/tavrolin-sim")
    log_program = os.path.join(args.build, "src/main/tavrolin-log")
    history_program = os.path.join(args.build, "src/main/tavrolin-history")

    tmp = tempfile.mkdtemp(prefix="tavrolin-endurance-")
    procs = []
    try:
        counter = Counter()
        port = free_port()
        profile = [f"[SYSTEM]\nFilename={tmp}/log.dat\n[Ports]\nCOM1={tmp}/ttySIM\n",
                   f"[Archiv]\nAktiv={int('archive' in outputs)}\nDatei={tmp}/archiv.sqlite\n"]
        if "mqtt" in outputs:
            conf = os.path.join(tmp, "mosquitto.conf")
            with open(conf, "w") as f:
                f.write(f"listener {port} 127.0.0.1\nallow_anonymous true\n"
                        f"max_queued_messages 0\nuser {getpass.getuser()}\nlog_dest stderr\n"
                        "log_type information\n")
            procs.append(start_broker(conf))
            sub = subprocess.Popen(["mosquitto_sub", "-p", str(port), "-q", "1", "-c", "-i",
                                    "endurance-sub", "-t", "tavrolin/endurance/+/state"],
                                   stdout=subprocess.PIPE)
            procs.append(sub)
            counter.add("mqtt", sub.stdout, distinct=True)
            profile.append(f"[MQTT]\nHost=127.0.0.1:{port}\nReceiver=endurance\n")
        with open(os.path.join(tmp, "p.INI"), "w") as f:
            f.write("".join(profile))
        sim = subprocess.Popen([sim_program, "--link", f"{tmp}/ttySIM", "--rate",
                                str(args.rate)], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        procs.append(sim)
        sim.stdout.readline()
        log = subprocess.Popen([log_program, "--profile", f"{tmp}/p.INI"] +
                               (["--json"] if "json" in outputs else []),
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        procs.append(log)
        # The MQTT payloads are the --json lines: which of these did not arrive, is told.
        counter.add("stdout", log.stdout, positions="json" in outputs and "mqtt" in outputs)
        counter.add("stderr", log.stderr, keep=True)
        if "file" not in outputs:
            os.symlink("/dev/null", f"{tmp}/log.dat")

        start = time.monotonic()
        samples = []
        syscalls = None
        print("minute  VmRSS  RssAnon  RssFile  archive mapped (kB)  fds  CPU %  archive MB",
              flush=True)
        last_cpu, last_at = cpu_seconds(log.pid), start
        while (elapsed := time.monotonic() - start) < args.minutes * 60 and log.poll() is None:
            if args.syscalls and syscalls is None and elapsed >= 60:
                # The outputs are drained meanwhile: a full pipe would change what is counted.
                cpu0 = cpu_seconds(log.pid)
                perf = subprocess.Popen(["perf", "stat", "-x,", "-e", "raw_syscalls:sys_enter",
                                         "-p", str(log.pid), "--", "sleep", str(args.syscalls)],
                                        stderr=subprocess.PIPE, text=True)
                while perf.poll() is None:
                    counter.pump(0.2)
                cpu = cpu_seconds(log.pid) - cpu0
                count = re.match(r"(\d+),", perf.stderr.read().strip().splitlines()[-1])
                syscalls = (int(count.group(1)) if count else -1, cpu)
            counter.pump(max(0.0, args.every - (time.monotonic() - last_at)))
            if log.poll() is not None:
                print(f"tavrolin-log ended by itself, exit status {log.returncode}")
                break
            now, cpu = time.monotonic(), cpu_seconds(log.pid)
            kb = status_kib(log.pid)
            fds = len(os.listdir(f"/proc/{log.pid}/fd"))
            archive = os.path.join(tmp, "archiv.sqlite")
            size = os.path.getsize(archive) if os.path.exists(archive) else 0
            sample = ((now - start) / 60, kb["VmRSS"], kb["RssAnon"], kb["RssFile"],
                      kb["RssShmem"], fds, 100 * (cpu - last_cpu) / (now - last_at), size,
                      mapped_kb(log.pid, "/archiv.sqlite"))
            samples.append(sample)
            last_cpu, last_at = cpu, now
            print(f"{sample[0]:6.1f}  {sample[1]:5}  {sample[2]:7}  {sample[3]:7}  {sample[8]:14}  "
                  f"{fds:3}  {sample[6]:5.2f}  {size / 1e6:10.1f}", flush=True)

        peak = max(s[1] for s in samples)
        hwm = status_kib(log.pid)["VmHWM"]
        log.send_signal(signal.SIGTERM)
        log.wait(60)
        counter.pump(2)
        if "mqtt" in outputs:  # until the subscriber has had everything
            while True:
                before = counter.count["mqtt"]
                counter.pump(2)
                if counter.count["mqtt"] == before:
                    break
        if args.samples:
            with open(args.samples, "w") as f:
                f.write("minute,VmRSS_kB,RssAnon_kB,RssFile_kB,RssShmem_kB,fds,cpu_percent,"
                        "archive_bytes,archive_mapped_kB\n")
                for s in samples:
                    f.write(",".join(f"{v:.2f}" if isinstance(v, float) else str(v)
                                     for v in s) + "\n")

        print("\nresident memory (VmRSS / RssAnon / RssFile, kB):")
        for minute in (1, 2, 5, 10, 30, 60, 90, 120):
            at = [s for s in samples if s[0] >= minute]
            if at and minute <= samples[-1][0]:
                print(f"  after {minute:3} min: {at[0][1]} / {at[0][2]} / {at[0][3]}")
        print(f"  at the end ({samples[-1][0]:.1f} min): {samples[-1][1]} / {samples[-1][2]} / "
              f"{samples[-1][3]}; highest VmRSS sampled {peak}, "
              f"peak (VmHWM) {hwm}")
        half = [s for s in samples if s[0] >= samples[-1][0] / 2]
        if len(half) > 1:
            span = half[-1][0] - half[0][0]
            print("  slope over the last half (kB a minute): " + ", ".join(
                f"{name} {(half[-1][i] - half[0][i]) / span:+.1f}"
                for i, name in ((1, "VmRSS"), (2, "RssAnon"), (3, "RssFile"),
                                (8, "archive mapped"))))
            print(f"  RssAnon over the last half: min {min(s[2] for s in half)}, "
                  f"max {max(s[2] for s in half)}")
        fds = sorted({s[5] for s in samples})
        cpu = [s[6] for s in samples[1:]] or [0]
        print(f"open descriptors: {fds}; CPU: mean {sum(cpu) / len(cpu):.2f} % of one core")
        if syscalls:
            print(f"system calls over {args.syscalls:.0f} s: {syscalls[0]} "
                  f"({syscalls[0] / args.syscalls:.0f} a second), CPU {syscalls[1]:.2f} s "
                  f"({100 * syscalls[1] / args.syscalls:.2f} % of one core)")

        counts = {}
        if "file" in outputs:
            with open(f"{tmp}/log.dat", "rb") as f:
                counts["protocol file"] = f.read().count(b"\r\n")
        counts["stdout" + (" (--json)" if "json" in outputs else "")] = counter.count["stdout"]
        if "mqtt" in outputs:
            counts["MQTT"] = (f"{counter.count['mqtt']} messages, "
                              f"{len(counter.distinct['mqtt'])} distinct")
        if "archive" in outputs:
            check = subprocess.run([history_program, "--archive", f"{tmp}/archiv.sqlite",
                                    "check"], capture_output=True, text=True)
            rows = re.search(r"in Ordnung: ([\d.]+) Messungen", check.stdout)
            counts["archive"] = int(rows.group(1).replace(".", "")) if rows else check.stdout
        print("readings: " + ", ".join(f"{k} {v}" for k, v in counts.items()))
        if "stdout" in counter.position:
            missing = sorted(i for h, i in counter.position["stdout"].items()
                             if h not in counter.distinct["mqtt"])
            print(f"--json lines that did not arrive by MQTT: {len(missing)}"
                  + (f", at positions {missing[:10]} of {counter.count['stdout']}"
                     if missing else ""))
        print(f"logger exit status {log.returncode}; stderr:", *counter.kept["stderr"],
              sep="\n  ")
    finally:
        for p in reversed(procs):
            if p.poll() is None:
                p.send_signal(signal.SIGTERM)
                p.wait()
        shutil.rmtree(tmp)


main()
