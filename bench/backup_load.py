#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A backup of a big archive while tavrolin-log writes it (Debian packages: python3).

tavrolin-sim sends --rate telegrams a second into tavrolin-log, which commits into a copy of
the ten-year archive of bench/archive_bench (--archive, default build/bench/archive-10y.sqlite,
made by archive_bench's TenYears benchmarks) every --interval seconds. Once the logger has
run --settle seconds, `tavrolin-history backup` copies that archive into a folder on tmpfs
(/dev/shm), so that every byte the backup makes the kernel write to a disk is one it wrote
beside the archive. Measured:

- the backup's wall time, and its CPU time (user + system, from wait4);
- its writes to storage: /proc/PID/io write_bytes of the backup (its copy on tmpfs counts
  nothing), read once it has ended from wait4's ru_oublock;
- the logger's CPU share during the backup against the same span before it;
- the logger's commits: a reader looks at PRAGMA data_version every 50 ms and notes when it
  changes; the longest gap between two commits during the backup against the interval.

    bench/backup_load.py [--build DIR] [--archive FILE] [--rate N] [--interval SECONDS]
                         [--settle SECONDS]
"""
import argparse, os, resource, shutil, sqlite3, subprocess, sys, tempfile, threading, time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from benchproc import cpu_seconds  # noqa: E402


def commits(path, stop, seen):
    db = sqlite3.connect(f"file:{path}?mode=ro", uri=True)
    last = None
    while not stop.is_set():
        version = db.execute("PRAGMA data_version").fetchone()[0]
        if version != last:
            seen.append(time.monotonic())
            last = version
        time.sleep(0.05)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    parser.add_argument("--archive", default=None)
    parser.add_argument("--rate", type=int, default=200)
    parser.add_argument("--interval", type=int, default=5)
    parser.add_argument("--settle", type=float, default=15)
    a = parser.parse_args()
    programs = os.path.join(a.build, "src", "main")
    source = a.archive or os.path.join(a.build, "bench", "archive-10y.sqlite")
    if not os.path.exists(source):
        sys.exit(f"{source} is missing: run {a.build}/bench/archive_bench "
                 "--benchmark_filter=TenYears first")
    work = tempfile.mkdtemp(prefix="backup-load-", dir=os.path.dirname(os.path.abspath(source)))
    copies = tempfile.mkdtemp(prefix="backup-load-", dir="/dev/shm")
    sim = logger = None
    try:
        archive = os.path.join(work, "archiv.sqlite")
        shutil.copyfile(source, archive)
        link = os.path.join(work, "tty")
        sim = subprocess.Popen([os.path.join(programs, "tavrolin-sim"), "--link", link,
                                "--rate", str(a.rate)], stdout=subprocess.PIPE)
        sim.stdout.readline()
        profile = os.path.join(work, "p.INI")
        with open(profile, "w") as f:
            f.write(f"[SYSTEM]\r\nFilename={work}/protokoll.dat\r\n[Archiv]\r\n"
                    f"Schreibintervall={a.interval}\r\n")
        logger = subprocess.Popen([os.path.join(programs, "tavrolin-log"), "--profile", profile,
                                   "--port", link, "--archive", archive],
                                  stdout=subprocess.DEVNULL)
        stop, seen = threading.Event(), []
        time.sleep(2)
        watcher = threading.Thread(target=commits, args=(archive, stop, seen))
        watcher.start()
        time.sleep(a.settle / 2)
        cpu0, t0 = cpu_seconds(logger.pid), time.monotonic()
        time.sleep(a.settle / 2)
        cpu1, t1 = cpu_seconds(logger.pid), time.monotonic()

        start = time.monotonic()
        backup = subprocess.Popen([os.path.join(programs, "tavrolin-history"), "--archive",
                                   archive, "backup", copies], stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE)
        _, status, usage = os.wait4(backup.pid, 0)
        end = time.monotonic()
        out, err = backup.stdout.read().decode(), backup.stderr.read().decode()
        cpu2 = cpu_seconds(logger.pid)
        time.sleep(a.interval + 1)
        stop.set()
        watcher.join()
        if os.waitstatus_to_exitcode(status) != 0:
            sys.exit(f"backup failed: {err}")
        during = [t for t in seen if start <= t <= end + a.interval + 1]
        gaps = [b - c for c, b in zip([start] + during, during + [end])]
        size = os.path.getsize(archive)
        print(f"archive {size / 1e9:.2f} GB; {out.strip()}")
        print(f"backup: {end - start:.1f} s wall, "
              f"{usage.ru_utime + usage.ru_stime:.1f} s CPU, "
              f"{usage.ru_oublock * 512} bytes written to storage (the copy on tmpfs: none)")
        print(f"logger CPU: {100 * (cpu1 - cpu0) / (t1 - t0):.2f} % before, "
              f"{100 * (cpu2 - cpu1) / (end - t1):.2f} % during the backup")
        print(f"logger commits during the backup: {len(during)}, longest gap "
              f"{max(gaps):.2f} s (interval {a.interval} s)")
    finally:
        for process in (logger, sim):
            if process is not None:
                process.terminate()
                process.wait()
        shutil.rmtree(work, ignore_errors=True)
        shutil.rmtree(copies, ignore_errors=True)


if __name__ == "__main__":
    main()
