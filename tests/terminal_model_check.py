"""slash on a pseudo-terminal, every byte it writes fed to a model terminal
(pyte, taught the repeat control): each settled screen is black, or lines
(every column lit, at most one pixel a line so far, none going away), or
the whole flood, and every ground is written black. Two sizes, 24-bit and
16 colours. Usage: terminal_model_check.py SLASH"""

import fcntl
import os
import pty
import select
import struct
import subprocess
import sys
import termios
import time

import pyte

SETTLED_MS = 50  # bytes closer than this are one screen change (ticks are 125 ms apart)
LINES = 6  # "5 blue" places lines 0 to 5
UPPER, LOWER, FULL = "\u2580", "\u2584", "\u2588"


class Screen(pyte.Screen):
    """pyte's screen with the repeat control (CSI n b): the character
    written last, n times more."""

    last = " "

    def draw(self, data):
        super().draw(data)
        self.last = data[-1:] or self.last

    def repeat_last(self, count=1, private=False):
        super().draw(self.last * count)


class Stream(pyte.ByteStream):
    csi = dict(pyte.ByteStream.csi, b="repeat_last")


def run_on_pty(slash, columns, rows, colorterm):
    """The bytes slash writes, in bursts: a list of byte strings."""
    master, slave = pty.openpty()
    fcntl.ioctl(master, termios.TIOCSWINSZ, struct.pack("HHHH", rows, columns, 0, 0))
    env = dict(os.environ, TERM="xterm-256color", COLORTERM=colorterm, LANG="C.UTF-8",
               SLASH_BACKEND="terminal")

    def own_terminal():
        os.setsid()
        fcntl.ioctl(slave, termios.TIOCSCTTY, 0)

    process = subprocess.Popen([slash, "5", "blue"], env=env, stdin=slave, stdout=slave,
                               stderr=slave, preexec_fn=own_terminal)
    os.close(slave)
    bursts, last = [], 0.0
    while True:
        ready, _, _ = select.select([master], [], [], 0.05)
        data = b""
        if ready:
            try:
                data = os.read(master, 65536)
            except OSError:
                pass
        now = time.monotonic()
        if data:
            if bursts and (now - last) * 1000 < SETTLED_MS:
                bursts[-1] += data
            else:
                bursts.append(data)
            last = now
        elif process.poll() is not None:
            break
    os.close(master)
    return process.returncode, bursts


def judge(columns, rows, colorterm, status, bursts):
    """The faults seen, as lines of text."""
    faults = [] if status == 0 else [f"status {status}"]
    black, lit_color = ("000000", "0000ff") if colorterm else ("black", "blue")
    screen = Screen(columns, rows)
    stream = Stream(screen)
    kinds, before = [], [0] * columns
    for burst in bursts[:-1]:  # the last one is the way back
        stream.feed(burst)
        per_column = [0] * columns
        for y in range(rows):
            for x in range(columns):
                cell = screen.buffer[y][x]
                if cell.bg != black:
                    faults.append(f"cell {x},{y}: ground {cell.bg}")
                lit = (cell.data in (UPPER, FULL)) + (cell.data in (LOWER, FULL))
                if lit and cell.fg != lit_color:
                    faults.append(f"cell {x},{y}: colour {cell.fg}")
                per_column[x] += lit
        total = sum(per_column)
        kind = "black" if total == 0 else "flood" if total == 2 * columns * rows else "lines"
        if kind == "lines":
            if any(n < 1 or n > LINES or n < b for n, b in zip(per_column, before)):
                faults.append(f"after {len(kinds)} changes: lit pixels a column {per_column}")
            before = per_column
        kinds.append(kind)
    order = [k for i, k in enumerate(kinds) if i == 0 or k != kinds[i - 1]]
    if order != ["black", "lines", "flood"]:
        faults.append(f"the screens came as {order}")
    return faults[:5]


def main():
    slash = sys.argv[1]
    failed = False
    for columns, rows, colorterm in ((100, 30, "truecolor"), (57, 19, "")):
        status, bursts = run_on_pty(slash, columns, rows, colorterm)
        faults = judge(columns, rows, colorterm, status, bursts)
        name = f"{columns}x{rows} {'24-bit' if colorterm else '16 colours'}"
        print(f"{name}: {len(bursts)} changes, " + ("; ".join(faults) if faults else "as drawn"))
        failed = failed or bool(faults)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
