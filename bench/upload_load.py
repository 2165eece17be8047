#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""tavrolin-upload's cost, to the logger and its own (Debian packages: python3, strace).

A simulator sends 200 telegrams a second into a tavrolin-log at the default commit interval;
tavrolin-upload runs on its live feed, sending to stand-ins of all six networks
(tests/upload/standins.py, plain HTTP, Weather Underground and PWSweather every minute), and
is stopped and started again: ROUNDS rounds of WINDOW seconds without it, then WINDOW
seconds with it. The same logger in both, in windows taken by turns, for two loggers side by
side differ by as much as half from each other alone on a shared machine. Measured: the
logger's CPU (all threads) in each kind of window, its system calls a second (strace -c -f,
10 s each), tavrolin-upload's CPU, calls and peak resident size, and the requests the
stand-ins took.

    bench/upload_load.py [BUILD_DIR] [WINDOW] [ROUNDS]     # default build/, 40 s, 3
"""
import os, shutil, subprocess, sys, tempfile, time
from benchproc import cpu_seconds, peak_rss_kib, syscalls_per_second

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "upload"))
import standins  # noqa: E402
from feed_load import logger, simulator  # noqa: E402

BUILD = sys.argv[1] if len(sys.argv) > 1 else "build"
WINDOW = float(sys.argv[2]) if len(sys.argv) > 2 else 40.0
ROUNDS = int(sys.argv[3]) if len(sys.argv) > 3 else 3
UPLOAD = os.path.join(BUILD, "src/main/tavrolin-upload")
KEY = "bench-key"


def networks():
    s = {
        "wu": standins.HttpStandIn(standins.WundergroundHandler, ("IBENCH1", KEY)),
        "pws": standins.HttpStandIn(standins.PwsHandler, ("PWS1", KEY)),
        "wow": standins.HttpStandIn(standins.WowHandler, ("4711", KEY)),
        "windy": standins.HttpStandIn(standins.WindyHandler, ("st1", KEY)),
        "osm": standins.HttpStandIn(standins.OpenSenseMapHandler,
                                    ("box1", KEY, {"s-temp", "s-hum", "s-baro"})),
        "cwop": standins.CwopStandIn(),
    }
    profile = (
        "[Station]\nAu\u00dfen=outdoor-1\nWind=wind-3\nRegen=rain-0\nLuftdruck=indoor-2\n"
        "H\u00f6he=312\nBreite=48.1375\nL\u00e4nge=11.575\n[Regen]\nrain-0=0.25\n"
        f"[Wunderground]\nKennung=IBENCH1\nSchl\u00fcssel={KEY}\nIntervall=60\n"
        f"Adresse={s['wu'].url('/weatherstation/updateweatherstation.php')}\n"
        f"[PWSweather]\nKennung=PWS1\nSchl\u00fcssel={KEY}\nIntervall=60\n"
        f"Adresse={s['pws'].url('/pwsupdate/pwsupdate.php')}\n"
        f"[WOW]\nKennung=4711\nSchl\u00fcssel={KEY}\nAdresse={s['wow'].url('/automaticreading')}\n"
        f"[Windy]\nKennung=st1\nSchl\u00fcssel={KEY}\n"
        f"Adresse={s['windy'].url('/api/v2/observation/update')}\n"
        f"[openSenseMap]\nKennung=box1\nSchl\u00fcssel={KEY}\nAdresse={s['osm'].url('')}\n"
        "Temperatur=s-temp\nFeuchte=s-hum\nLuftdruck=s-baro\n"
        f"[CWOP]\nKennung=CW0001\nAdresse=127.0.0.1:{s['cwop'].port}\n")
    return s, profile


def memory_kib(pid):
    """Resident pages: the process's own (anonymous) and its proportional share of all."""
    got = {}
    with open(f"/proc/{pid}/smaps_rollup") as f:
        for line in f:
            name, _, value = line.partition(":")
            if name in ("Pss", "Anonymous"):
                got[name] = int(value.split()[0])
    return got


def measure(pid):
    before = cpu_seconds(pid)
    time.sleep(WINDOW)
    return (cpu_seconds(pid) - before) / WINDOW * 100


def main():
    if not shutil.which("strace"):
        sys.exit("upload_load.py needs strace (Debian package strace)")
    temp = tempfile.mkdtemp(prefix="tavrolin-upload-")
    children = []
    without, with_upload, calls_without, calls_with = [], [], [], []
    upload_cpu, upload_calls, upload_peak, upload_memory = [], [], 0.0, {}
    try:
        sim, link = simulator(temp, "a")
        children.append(sim)
        log, path = logger(temp, "logger", link)
        children.append(log)
        while not os.path.exists(path):
            time.sleep(0.1)
        stand_ins, sections = networks()
        profile = os.path.join(temp, "upload.INI")
        with open(profile, "wb") as f:
            text = f"[Archiv]\nLive={path}\n" + sections
            f.write(text.replace("\n", "\r\n").encode("cp1252"))
        os.chmod(profile, 0o600)
        archive = os.path.join(temp, "logger", "tavrolin", "archiv.sqlite")
        time.sleep(5)
        for _ in range(ROUNDS):
            without.append(measure(log.pid))
            calls_without.append(syscalls_per_second(log.pid, 10)[0])
            upload = subprocess.Popen([UPLOAD, "--profile", profile, "--archive", archive,
                                       "--state", os.path.join(temp, "state")],
                                      stderr=subprocess.DEVNULL)
            time.sleep(5)  # past its start and its catching up
            before = cpu_seconds(upload.pid)
            with_upload.append(measure(log.pid))
            upload_cpu.append((cpu_seconds(upload.pid) - before) / WINDOW * 100)
            calls_with.append(syscalls_per_second(log.pid, 10)[0])
            upload_calls.append(syscalls_per_second(upload.pid, 10)[0])
            upload_peak = max(upload_peak, peak_rss_kib(upload.pid) / 1024)
            upload_memory = memory_kib(upload.pid)
            upload.terminate()
            upload.wait()
        taken = {name: len(s.recorder.accepted) for name, s in stand_ins.items()}
    finally:
        for child in reversed(children):
            if child.poll() is None:
                child.terminate()
                child.wait()
        shutil.rmtree(temp, ignore_errors=True)
    mean = lambda xs: sum(xs) / len(xs)
    print("logger without tavrolin-upload: " + ", ".join(f"{x:.3f}" for x in without) +
          f" % CPU (mean {mean(without):.3f}), {mean(calls_without):.0f} system calls/s")
    print("logger with tavrolin-upload:    " + ", ".join(f"{x:.3f}" for x in with_upload) +
          f" % CPU (mean {mean(with_upload):.3f}), {mean(calls_with):.0f} system calls/s")
    print(f"ratio {mean(with_upload) / mean(without):.2f}")
    print(f"tavrolin-upload: {mean(upload_cpu):.3f} % CPU, {mean(upload_calls):.0f} system "
          f"calls/s, peak {upload_peak:.1f} MiB resident (at the end: its own "
          f"{upload_memory['Anonymous'] / 1024:.1f} MiB, proportional share "
          f"{upload_memory['Pss'] / 1024:.1f} MiB); requests taken: " +
          ", ".join(f"{k} {v}" for k, v in taken.items()))


main()
