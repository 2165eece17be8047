#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""What tavrolin-log writes to its storage a day (Debian packages: python3, strace).

tavrolin-sim sends on a pseudo-terminal into tavrolin-log, which keeps one output at a time:
the protocol file alone ("file", the archive off) or the archive alone ("archive", the
protocol file going to /dev/null), so that each one's share is its own. Measured:

- bytes written: /proc/PID/io write_bytes, the bytes the process makes the kernel send to
  storage (each page of the page cache it dirties counts once, 4 KiB however little of it
  changed, memory-mapped files such as SQLite's -shm included; the file system's own
  journal is not counted, it is the kernel's);
- fsyncs: fsync and fdatasync calls (and their kin), counted by strace -c -f attached to
  the logger once it runs.

The logger starts on an archive it made in a warm-up run of its own, so that making the
file does not count. write_bytes is read --settle seconds after the start and once more
after the run; the logger then ends by SIGTERM, and what its clean stop writes (the last
commit, SQLite's checkpoint of the WAL into the file) is given apart, from wait4's
ru_oublock (write_bytes in 512-byte units, read once the process has ended). The figures
a day are those of the run's steady part scaled to 86 400 s; the stop's writes come once
per stop, and, for the archive, about once per 4000 WAL pages written while it runs (each
automatic checkpoint writes about what the stop's does: the pages that changed).

    bench/card_writes.py [--build DIR] [--minutes M] [--speed S | --rate N]
                         [--parts file,archive] [--interval SECONDS] [--runs R]

--speed 1 (the default) is the typical station in real time: 13 sensors at their own
periods; its figures are a day of that station. --rate 200 is the heaviest load, 200
telegrams a second; its figures are a day at that rate. --interval writes [Archiv]
Schreibintervall into the profile (the archive's commit interval in seconds); without it
the logger's default holds.

A faster --speed S plays a day of the station in 86 400 / S seconds, and the figures are
per day of the station: with --interval I the logger commits what the station sends in
S × I seconds, as it would with an interval of S × I seconds at speed 1. That holds while I
is longer than the kernel takes to write dirty pages back (vm.dirty_expire_centisecs, 30 s,
plus up to vm.dirty_writeback_centisecs, 5 s): every commit then finds the pages it writes
clean again, as at speed 1, and costs what it costs there. A long interval is measured so
(--speed 10 --interval 60 for 600 s): at speed 1 a run of some minutes holds one or two of
its commits, and none of the archive's folds (every 2000 readings) nor of its checkpoints.
"With the stop" counts the stop's checkpoint into the run, once per run: more often than
the automatic checkpoints come (every 4000 WAL pages), so an upper bound.
"""
import argparse, os, re, shutil, signal, subprocess, sys, tempfile, time
from benchproc import proc_numbers

DAY = 86400


def run_part(args, part, tmp):
    sim_program = os.path.join(args.build, "src/main/tavrolin-sim")
    log_program = os.path.join(args.build, "src/main/tavrolin-log")
    history_program = os.path.join(args.build, "src/main/tavrolin-history")
    archive = os.path.join(tmp, "archiv.sqlite")
    protocol = os.path.join(tmp, "log.dat")
    profile = os.path.join(tmp, "p.INI")
    with open(profile, "w") as f:
        f.write(f"[SYSTEM]\nFilename={protocol}\n[Ports]\nCOM1={tmp}/ttySIM\n"
                f"[Archiv]\nAktiv={int(part == 'archive')}\nDatei={archive}\n")
        if args.interval is not None:
            f.write(f"Schreibintervall={args.interval}\n")
    if part == "archive":
        os.symlink("/dev/null", protocol)
    load = ["--rate", str(args.rate)] if args.rate else ["--speed", str(args.speed)]
    sim = subprocess.Popen([sim_program, "--link", f"{tmp}/ttySIM"] + load,
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        sim.stdout.readline()  # "ready on ..."
        if part == "archive":  # the warm-up run that makes the archive
            warm = subprocess.Popen([log_program, "--profile", profile], stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
            time.sleep(3)
            warm.send_signal(signal.SIGTERM)
            warm.wait(60)
        log = subprocess.Popen([log_program, "--profile", profile], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
        start = time.monotonic()
        summary = os.path.join(tmp, "strace.txt")
        tracer = subprocess.Popen(["strace", "-f", "-c", "-e",
                                   "trace=fsync,fdatasync,sync_file_range,syncfs,msync",
                                   "-o", summary, "-p", str(log.pid)],
                                  stderr=subprocess.DEVNULL)
        time.sleep(args.settle)
        first, first_at = proc_numbers(f"/proc/{log.pid}/io")["write_bytes"], time.monotonic()
        time.sleep(max(0.0, args.minutes * 60 - (time.monotonic() - start)))
        last, last_at = proc_numbers(f"/proc/{log.pid}/io")["write_bytes"], time.monotonic()
        log.send_signal(signal.SIGTERM)
        # ru_oublock is write_bytes in 512-byte units, the stop's writes included.
        _, status, usage = os.wait4(log.pid, 0)
        log.returncode = os.waitstatus_to_exitcode(status)
        total = usage.ru_oublock * 512
        tracer.wait(60)
    finally:
        sim.send_signal(signal.SIGTERM)
        sim.wait(10)
    with open(summary) as f:
        fsyncs = sum(int(m.group(1)) for m in re.finditer(
            r"^\s*[\d.]+\s+[\d.]+\s+\d+\s+(\d+)\s+(?:\d+\s+)?(?:fsync|fdatasync|sync_file_range|"
            r"syncfs|msync)\s*$", f.read(), re.M))
    if part == "file":
        with open(protocol, "rb") as f:
            readings = f.read().count(b"\r\n")
    else:
        check = subprocess.run([history_program, "--archive", archive, "check"],
                               capture_output=True, text=True)
        rows = re.search(r"in Ordnung: ([\d.]+) Messungen", check.stdout)
        if not rows:
            sys.exit(f"the archive is not in order: {check.stdout} {check.stderr}")
        readings = int(rows.group(1).replace(".", ""))
    # A day of the station is 86 400 s / speed of the run.
    day = DAY / (1 if args.rate else args.speed)
    seconds = last_at - first_at
    return {"steady": (last - first) / seconds * day, "with_stop": (total - first) / seconds * day,
            "stop": total - last, "fsyncs": fsyncs, "readings": readings / (last_at - start) * day,
            "per_reading": (last - first) / max(1, readings * seconds / (last_at - start))}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default="build")
    parser.add_argument("--minutes", type=float, default=10)
    parser.add_argument("--settle", type=float, default=15,
                        help="seconds after the start before write_bytes is first read")
    load = parser.add_mutually_exclusive_group()
    load.add_argument("--speed", type=float, default=1)
    load.add_argument("--rate", type=int, default=0)
    parser.add_argument("--parts", default="file,archive")
    parser.add_argument("--interval", type=int)
    parser.add_argument("--runs", type=int, default=1)
    args = parser.parse_args()
    if not shutil.which("strace"):
        sys.exit("card_writes: strace is needed (Debian package strace)")
    load = f"--rate {args.rate}" if args.rate else f"--speed {args.speed:g}"
    interval = "default" if args.interval is None else f"{args.interval} s"
    print(f"{load}, {args.minutes:g} min a run, commit interval {interval}")
    print("part     run  MB a day  with the stop  bytes a reading  readings a day  stop (kB)  "
          "fsyncs in the run")
    for part in args.parts.split(","):
        for run in range(1, args.runs + 1):
            tmp = tempfile.mkdtemp(prefix="tavrolin-card-")
            try:
                r = run_part(args, part, tmp)
            finally:
                shutil.rmtree(tmp)
            print(f"{part:8} {run:3}  {r['steady'] / 1e6:8.2f}  {r['with_stop'] / 1e6:13.2f}  "
                  f"{r['per_reading']:15.0f}  {r['readings']:14.0f}  {r['stop'] / 1e3:9.1f}  "
                  f"{r['fsyncs']:17}", flush=True)


main()
