# SPDX-License-Identifier: GPL-3.0-or-later
"""What the bench scripts measure and start alike: a process's CPU time, a free TCP port, a
local mosquitto (Debian package mosquitto)."""
import os, re, signal, socket, subprocess, time


def cpu_seconds(pid, thread=None):
    """CPU time of all the process's threads so far (or of the one thread named), from the
    scheduler's nanoseconds."""
    total = 0
    for task in [str(thread)] if thread else os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/schedstat") as f:
                total += int(f.read().split()[0])
        except FileNotFoundError:
            pass  # a thread that just ended
    return total / 1e9


def syscalls_per_second(pid, seconds):
    """strace -c of the process and its threads for a while: calls a second, and by name."""
    trace = subprocess.Popen(["strace", "-c", "-f", "-p", str(pid)], stderr=subprocess.PIPE,
                             stdout=subprocess.DEVNULL, text=True)
    time.sleep(seconds)
    trace.send_signal(signal.SIGINT)
    summary = trace.communicate()[1]
    calls = {}
    for line in summary.splitlines():
        fields = line.split()
        if len(fields) >= 5 and re.fullmatch(r"[\d.]+", fields[0]) and fields[-1] != "total":
            calls[fields[-1]] = int(fields[3])
    return sum(calls.values()) / seconds, calls


def proc_numbers(path):
    """The "Name: number ..." lines of a /proc file (status, io), each name with its number."""
    numbers = {}
    with open(path) as f:
        for line in f:
            name, _, value = line.partition(":")
            fields = value.split()
            if fields and fields[0].isdigit():
                numbers[name] = int(fields[0])
    return numbers


def status_kib(pid):
    """The process's memory figures of /proc (VmRSS, VmHWM, RssAnon, RssFile, ...), in KiB."""
    return proc_numbers(f"/proc/{pid}/status")


def peak_rss_kib(pid):
    """The process's peak resident size so far."""
    return status_kib(pid).get("VmHWM", 0)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_broker(conf):
    """mosquitto with the configuration file conf, once it says it is running."""
    broker = subprocess.Popen(["/usr/sbin/mosquitto", "-c", conf], stderr=subprocess.PIPE)
    while b" running" not in broker.stderr.readline():
        pass
    return broker
