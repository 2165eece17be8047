# SPDX-License-Identifier: GPL-3.0-or-later
"""What the bench scripts measure and start alike: a process's CPU time, a free TCP port, a
local mosquitto (Debian package mosquitto)."""
import os, socket, subprocess


def cpu_seconds(pid):
    """CPU time of all the process's threads so far, from the scheduler's nanoseconds."""
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/schedstat") as f:
                total += int(f.read().split()[0])
        except FileNotFoundError:
            pass  # a thread that just ended
    return total / 1e9


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
