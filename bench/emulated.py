#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The receive path's benchmarks natively and under qemu's user emulation of another
architecture, in one run, so that the machine's state is the same for both (Debian packages:
python3, qemu-user-static; the other architecture's build from its preset).

Each benchmark program runs natively, then emulated, ROUNDS times in turn; per benchmark the
median CPU time of an iteration of each and their ratio. Emulation is no board: qemu
translates every instruction, so the ratio says what emulation costs here, not how fast a
board is; the figures of a board follow from the native ones (README, "On a Raspberry Pi").

    bench/emulated.py [NATIVE_BUILD] [OTHER_BUILD] [QEMU] [ROUNDS]
        # default build/ build-arm64/ /usr/bin/qemu-aarch64-static 3
"""
import json, os, statistics, subprocess, sys

NATIVE = sys.argv[1] if len(sys.argv) > 1 else "build"
OTHER = sys.argv[2] if len(sys.argv) > 2 else "build-arm64"
QEMU = sys.argv[3] if len(sys.argv) > 3 else "/usr/bin/qemu-aarch64-static"
ROUNDS = int(sys.argv[4]) if len(sys.argv) > 4 else 3
PROGRAMS = ["decode_bench", "weather_bench"]


def run(command):
    """CPU time in ns of an iteration, per benchmark."""
    out = subprocess.run(command + ["--benchmark_format=json", "--benchmark_min_time=0.5"],
                         check=True, capture_output=True, text=True).stdout
    return {b["name"]: b["cpu_time"] * {"ns": 1, "us": 1e3, "ms": 1e6}[b["time_unit"]]
            for b in json.loads(out)["benchmarks"]}


def main():
    print(f"{'benchmark':<44} {'native':>12} {'emulated':>12} {'ratio':>7}")
    for program in PROGRAMS:
        native, emulated = {}, {}
        for _ in range(ROUNDS):
            for name, ns in run([os.path.join(NATIVE, "bench", program)]).items():
                native.setdefault(name, []).append(ns)
            for name, ns in run([QEMU, os.path.join(OTHER, "bench", program)]).items():
                emulated.setdefault(name, []).append(ns)
        for name in native:
            a, b = statistics.median(native[name]), statistics.median(emulated[name])
            print(f"{program + '/' + name:<44} {a:>9.0f} ns {b:>9.0f} ns {b / a:>6.1f}x")


if __name__ == "__main__":
    main()
