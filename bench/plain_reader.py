#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A plain reader of the receiver, as someone would write it in an afternoon: the yardstick
that link_load.py measures tavrolin-log against.

It opens the line with termios (raw, 19200 8O2), sends the start command and waits up to
200 ms for the answer, then every 50 ms reads what has arrived, cuts the telegrams out (an
STX, six data bytes, an ETX), decodes each into a line of text with the time and the
interval since the sensor was last heard, and appends the poll's lines to a file and to
stdout. SIGTERM ends it.

    bench/plain_reader.py DEVICE FILE
"""
import os, select, signal, sys, termios, time

START = bytes([0x01, 0xFF, 0, 0, 0, 0, 0, 0x80, 0x04])
KINDS = ["nur Temp", "Außen", "Regen", "Wind", "Innen", "Helligkeit", "Pyranometer"]


def open_line(path):
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    attrs = termios.tcgetattr(fd)
    attrs[0] = termios.INPCK
    attrs[1] = 0
    attrs[2] = termios.CS8 | termios.PARENB | termios.PARODD | termios.CSTOPB | termios.CREAD | termios.CLOCAL
    attrs[3] = 0
    attrs[4] = attrs[5] = termios.B19200
    termios.tcsetattr(fd, termios.TCSANOW, attrs)
    return fd


def decode(data, last_heard, now):
    d = [b & 0x7F for b in data]
    kind, address = d[0] >> 4, d[0] & 7
    if kind == 7:
        if d[0] & 0x0F == 15:
            return "FB : " + " ".join(chr(c) for c in d[1:] if c)
        return "Fenster " + ("Low" if d[0] & 1 else "High")
    v = d[1] * 128 + d[2] - (16384 if d[1] & 0x40 else 0)
    h, w = d[3], d[4] * 128 + d[5]
    interval = now - last_heard.get((kind, address), now)
    last_heard[(kind, address)] = now
    name = f"({interval:.2f}s)  {KINDS[kind]} ({address})"
    if kind in (0, 1, 4):
        text = f"{name}  {v / 10:5.1f}°" + (f"  {h:2d}%" if kind != 0 else "")
        return text + (f"  {w:4d}hPa" if kind == 4 else "")
    if kind == 2:
        return f"{name}  {v & 0xFFF:03X}"
    if kind == 3:
        return f"{name}  {v / 10:6.1f}km/h  {w:3d}° B{h}"
    return f"{name}  {v}  Faktor {h}"


def main():
    fd = open_line(sys.argv[1])
    out = open(sys.argv[2], "ab")
    running = [True]
    signal.signal(signal.SIGTERM, lambda *_: running.__setitem__(0, False))
    os.write(fd, START)
    select.select([fd], [], [], 0.2)
    try:
        os.read(fd, 100)
    except BlockingIOError:
        pass
    pending, last_heard = b"", {}
    next_tick = time.monotonic()
    while running[0]:
        next_tick += 0.05
        time.sleep(max(0.0, next_tick - time.monotonic()))
        try:
            pending += os.read(fd, 500)
        except (BlockingIOError, InterruptedError):
            continue
        now = time.time()
        stamp = time.strftime("(%H:%M:%S", time.localtime(now)) + f".{int(now * 10) % 10}) : "
        lines, at = [], pending.find(b"\x02")
        while at >= 0 and len(pending) - at > 7:
            if pending[at + 7] == 0x03:
                lines.append(stamp + decode(pending[at + 1:at + 7], last_heard, now))
                at = pending.find(b"\x02", at + 8)
            else:
                at = pending.find(b"\x02", at + 1)
        pending = pending[at:] if at >= 0 else b""
        if lines:
            text = ("\r\n".join(lines) + "\r\n").encode("cp1252", "replace")
            out.write(text)
            out.flush()
            sys.stdout.buffer.write(text)
            sys.stdout.flush()


main()
