#!/usr/bin/env python3
"""Measures slash the way a user sees it, beside floors, in one run.

Usage: bench/bench.py [--build DIR] [--windows DIR] [--runs N] [--quick] [--markdown FILE]
                      [--plot FILE]

For each screen size an Xvfb of its own runs, and on it, in turn, each
program: slash on the X server back end, the server-side floor
(bench/floor_x11.cpp: a black-background window and one core line request a
tick) and the same floor carrying slash's shared libraries. A watcher
outside the process (screen-stamps) reports every change the server draws,
through DAMAGE. From it: exec to the first black frame, and how far each
line and the flood land from the 125 ms grid on the screen.

Then, for each Wayland size, a headless sway of its own (software renderer,
no bar) runs slash on its Wayland back end, the native floor
(bench/floor_wayland.cpp: a full-screen toplevel, a stretched 2x2 buffer for
black and the flood, lines drawn into two shared-memory buffers) and the same
floor carrying slash's shared libraries, watched by wayland-stamps through
the compositor's screen-copy protocol.

On a pseudo-terminal of 100x30 and 200x60 cells read by this script, slash on
its terminal back end runs beside the terminal floor (bench/floor_terminal.c:
the alternate screen erased in black) and the same floor carrying slash's
shared libraries. A small terminal model in this script
tells when every cell has been painted black; the bursts of bytes after it
are the lines and the flood, against the 125 ms grid of the first.

With --windows (a cross-built Windows build folder), slash.exe and the GDI
floor (bench/floor_gdi.cpp) run under one warm Wine on an Xvfb of each of
640x480, 1920x1080 and 3840x2160, watched by screen-stamps as above; besides
the program's own CPU, the CPU that Wine's server and services spend during
the run is reported. From the
kernel: CPU and peak resident memory (wait4, /proc). From slash-bench (slash
with stamps): tick lateness inside the process, and end tick to exit against
the kernel's report of the exit (a pidfd).
Every figure is what this machine measured; nothing here asserts a timing.
"""

import argparse
import os
import platform
import select
import statistics
import subprocess
import sys
import tempfile
import time

TICK_MS = 125.0
SIZES = ["640x480", "1920x1080", "3840x2160", "7680x4320"]
WAYLAND_SIZES = ["1920x1080", "3840x2160"]
WINE_SIZES = ["640x480", "1920x1080", "3840x2160"]
TERMINAL_SIZES = ["100x30", "200x60"]
WINE_ENV = {"WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d"}
NOBODY = 65534
LINES = 13  # the default command line
GROUP_GAP_MS = 20  # damage reports closer than this are one screen change


class Xvfb:
    """An Xvfb on a display number the server picks, with a non-black root."""

    def __init__(self, size):
        read_fd, write_fd = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", size + "x24", "-nolisten", "tcp",
             "-noreset"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            self.display = ":" + pipe.readline().strip()
        if self.display == ":":
            raise SystemExit("bench: Xvfb did not start")
        subprocess.run(["xsetroot", "-solid", "#203040"], env=self.env(), check=False)

    def env(self, **extra):
        env = dict(os.environ, DISPLAY=self.display, **extra)
        env.pop("WAYLAND_DISPLAY", None)
        return env

    def close(self):
        self.process.terminate()
        self.process.wait()


class Sway:
    """A headless sway on one output of the given size, no bar, no borders,
    run as nobody when this script is root (sway refuses root)."""

    def __init__(self, size):
        self.dir = tempfile.mkdtemp(prefix="slash-bench-sway-")
        as_root = os.geteuid() == 0
        if as_root:
            os.chown(self.dir, NOBODY, NOBODY)
        with open(os.path.join(self.dir, "config"), "w") as config:
            config.write(f"output HEADLESS-1 resolution {size} background #203040 solid_color\n"
                         "default_border none\nxwayland disable\n")
        command = (["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
                   if as_root else [])
        command += ["env", "-i", "PATH=/usr/bin:/bin", f"HOME={self.dir}",
                    f"XDG_RUNTIME_DIR={self.dir}", "WLR_BACKENDS=headless",
                    "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1", "sway", "-c",
                    os.path.join(self.dir, "config")]
        self.process = subprocess.Popen(command, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        self.display = None
        for _ in range(200):
            names = [n for n in os.listdir(self.dir) if n.startswith("wayland-") and "." not in n]
            if names:
                self.display = names[0]
                break
            time.sleep(0.025)
        if self.display is None:
            self.close()
            raise SystemExit("bench: sway did not start")
        time.sleep(0.5)  # its output configured and drawn

    def env(self, **extra):
        env = dict(os.environ, WAYLAND_DISPLAY=self.display, XDG_RUNTIME_DIR=self.dir, **extra)
        env.pop("DISPLAY", None)
        return env

    def close(self):
        self.process.terminate()
        self.process.wait()
        subprocess.run(["rm", "-rf", self.dir], check=False)


def wine_cpu_s():
    """CPU time so far of Wine's server and its services (every process
    named wineserver, wineserver64 or *.exe)."""
    total = 0.0
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as stat:
                text = stat.read()
        except OSError:
            continue
        name = text[text.index("(") + 1:text.rindex(")")]
        if name.startswith("wineserver") or name.endswith(".exe"):
            fields = text[text.rindex(")") + 2:].split()
            total += (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    return total


def warm_wine(env, floor):
    """Restarts Wine's services for this display and keeps them running."""
    subprocess.run(["wineserver", "-k"], env=env, check=False)
    subprocess.run(["wineserver", "-w"], env=env, check=False)
    subprocess.run(["wineserver", "-p"], env=env, check=False)
    subprocess.run(["wine", floor, "0"], env=env, check=False, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def high_water_kib(pid):
    try:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def run_watched(argv, env, watcher):
    """Runs a program under the outside watcher; returns what both saw."""
    watch = subprocess.Popen([watcher], env=env, stdout=subprocess.PIPE, text=True)
    if not watch.stdout.readline().startswith("ready"):
        raise SystemExit(f"bench: {os.path.basename(watcher)} did not start")
    wine_before = wine_cpu_s() if argv[0] == "wine" else None
    with tempfile.TemporaryFile() as err:
        exec_ns = time.monotonic_ns()
        process = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=err)
        # The kernel's peak RSS for a child counts the forked Python before
        # exec; the high-water mark in /proc counts only the program's own.
        peak_kib = 0
        while True:
            pid, status, usage = os.wait4(process.pid, os.WNOHANG)
            if pid != 0:
                break
            peak_kib = max(peak_kib, high_water_kib(process.pid))
            time.sleep(0.005)
        exit_ns = time.monotonic_ns()
        process.returncode = 0
        err.seek(0)
        stderr = err.read().decode(errors="replace")
    time.sleep(0.1)  # the window's disappearance reaches the watcher
    watch.terminate()
    events = []
    for line in watch.stdout.read().split("\n"):
        parts = line.split()
        if len(parts) == 3:
            events.append((int(parts[0]), int(parts[1]), int(parts[2], 16)))
    watch.wait()
    wine_cpu = wine_cpu_s() - wine_before if wine_before is not None else None
    return {"exec": exec_ns, "exit": exit_ns, "status": os.waitstatus_to_exitcode(status),
            "wine_cpu_s": wine_cpu,
            "cpu_s": usage.ru_utime + usage.ru_stime, "rss_mib": peak_kib / 1024,
            "events": events, "stderr": stderr}


def screen_figures(run, first_line=0):
    """Exec to first black; the lines' distance from the grid (from line
    `first_line` + 1 on); the flood's lateness."""
    events = run["events"]
    black = next((e for e in events if e[2] == 0 and e[0] >= run["exec"]), None)
    if black is None:
        return None
    # Screen changes after the start delay, each a group of close reports.
    groups = []
    for arrived, server_ms, _ in events:
        if server_ms < black[1] + 1000:
            continue
        if groups and server_ms - groups[-1][-1] < GROUP_GAP_MS:
            groups[-1].append(server_ms)
        else:
            groups.append([server_ms])
    starts = [g[0] for g in groups[:LINES + 1]]  # the lines, then the flood
    figures = {"first_black_ms": (black[0] - run["exec"]) / 1e6,
               "grid_ms": float("nan"), "flood_ms": float("nan")}
    if len(starts) == LINES + 1:
        # The grid's phase is the lines' median one, so one late line
        # cannot move it. The flood is stamped once the server has filled
        # the window, so its lateness is reported apart from the lines'.
        lines = list(enumerate(starts[:LINES]))[first_line:]
        phase = statistics.median(t - k * TICK_MS for k, t in lines)
        figures["grid_ms"] = max(abs(t - (phase + k * TICK_MS)) for k, t in lines)
        figures["flood_ms"] = starts[LINES] - (phase + LINES * TICK_MS)
    return figures


def stamped(argv, env):
    """slash-bench: in-process tick lateness and end tick to exit."""
    process = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    # The exit is when the kernel reports the process gone (its pidfd turns
    # readable), not when this script gets round to waiting for it.
    exited = os.pidfd_open(process.pid)
    watch = select.poll()
    watch.register(exited, select.POLLIN)
    watch.register(process.stderr, select.POLLIN)
    text, exit_ns = b"", None
    while exit_ns is None:
        for fd, _ in watch.poll():
            if fd == exited:
                exit_ns = time.monotonic_ns()
            else:
                chunk = os.read(fd, 65536)
                text += chunk
                if not chunk:
                    watch.unregister(fd)
    text += process.stderr.read()
    process.wait()
    os.close(exited)
    due, took, end = {}, {}, None
    for raw in text.split(b"\n"):
        parts = raw.decode(errors="replace").split()
        if len(parts) == 4 and parts[0] == "slash-bench":
            index, ns = int(parts[2]), int(parts[3])
            if parts[1] == "due":
                due[index] = ns
            elif parts[1] == "tick":
                took[index] = ns
            elif parts[1] == "end":
                end = ns
    late = [(took[k] - due[k]) / 1e6 for k in due if k in took]
    return late, (exit_ns - end) / 1e6 if end else float("nan")


class TerminalModel:
    """Just enough of a terminal to tell when every cell has been painted
    black: cursor addressing, SGR grounds, erase in display, printed and
    repeated cells."""

    def __init__(self, columns, rows):
        self.columns, self.rows = columns, rows
        self.black = set()
        self.row = self.column = 0
        self.ground_black = False
        self.last_space = False
        self.pending = b""

    def feed(self, data):
        data = self.pending + data
        self.pending = b""
        i = 0
        while i < len(data):
            byte = data[i]
            if byte == 0x1B:
                if i + 1 >= len(data):
                    self.pending = data[i:]
                    return
                if data[i + 1:i + 2] != b"[":
                    i += 2
                    continue
                end = i + 2
                while end < len(data) and not 0x40 <= data[end] <= 0x7E:
                    end += 1
                if end >= len(data):
                    self.pending = data[i:]
                    return
                self.control(data[i + 2:end].decode(errors="replace"), chr(data[end]))
                i = end + 1
            elif byte < 0x20:
                i += 1
            else:
                width = 1 if byte < 0x80 else 3 if byte >= 0xE0 else 2
                if i + width > len(data):
                    self.pending = data[i:]
                    return
                self.print(byte == 0x20)
                i += width

    def print(self, space):
        self.last_space = space
        if self.row < self.rows and self.column < self.columns:
            cell = (self.row, self.column)
            (self.black.add if self.ground_black and space else self.black.discard)(cell)
        self.column = min(self.column + 1, self.columns - 1)

    def control(self, params, final):
        numbers = [p for p in params.split(";")] if params else []
        if final == "H":
            values = [int(n) if n.isdigit() else 1 for n in numbers] + [1, 1]
            self.row, self.column = values[0] - 1, values[1] - 1
        elif final == "m":
            codes, k = numbers or ["0"], 0
            while k < len(codes):
                code = codes[k]
                if code in ("38", "48") and k + 1 < len(codes) and codes[k + 1] in ("2", "5"):
                    extra = 4 if codes[k + 1] == "2" else 2
                    if code == "48":
                        self.ground_black = codes[k + 2:k + 5] == ["0", "0", "0"]
                    k += 1 + extra
                    continue
                if code in ("", "0", "49") or code.startswith(("4", "10")):
                    self.ground_black = code == "40"
                k += 1
        elif final == "b":  # the last character again, so many times
            for _ in range(int(params) if params.isdigit() else 1):
                self.print(self.last_space)
        elif final == "J" and params == "2":
            cells = {(r, c) for r in range(self.rows) for c in range(self.columns)}
            self.black = cells if self.ground_black else set()

    def all_black(self):
        return len(self.black) == self.columns * self.rows


def run_on_pty(argv, env, size, stamp):
    """Runs a program with a pseudo-terminal of `size` (COLSxROWS) as its
    controlling terminal, read as fast as it writes; returns the chunks
    read with their times, the exec and exit times, CPU and peak RSS. The
    exec time is the program's own, stamped by `stamp` (exec-stamp) just
    before it executes the program in its place: forking this script and
    taking the terminal cost about 3 ms, which would otherwise count as the
    program's."""
    import fcntl
    import pty
    import struct
    import termios
    columns, rows = (int(n) for n in size.split("x"))
    master, slave = pty.openpty()
    fcntl.ioctl(master, termios.TIOCSWINSZ, struct.pack("HHHH", rows, columns, 0, 0))

    def become_terminal_owner():
        os.setsid()
        fcntl.ioctl(slave, termios.TIOCSCTTY, 0)

    stamp_read, stamp_write = os.pipe()
    process = subprocess.Popen([stamp, str(stamp_write)] + argv, env=env, stdin=slave,
                               stdout=slave, stderr=slave, preexec_fn=become_terminal_owner,
                               pass_fds=(stamp_write,))
    os.close(slave)
    os.close(stamp_write)
    with os.fdopen(stamp_read) as stamped:
        exec_ns = int(stamped.readline())
    chunks, peak_kib = [], 0
    while True:
        ready, _, _ = select.select([master], [], [], 0.002)
        if ready:
            try:
                data = os.read(master, 65536)
            except OSError:
                data = b""
            if data:
                chunks.append((time.monotonic_ns(), data))
        pid, status, usage = os.wait4(process.pid, os.WNOHANG)
        if pid != 0:
            break
        peak_kib = max(peak_kib, high_water_kib(process.pid))
    exit_ns = time.monotonic_ns()
    os.close(master)
    return {"exec": exec_ns, "exit": exit_ns, "status": os.waitstatus_to_exitcode(status),
            "chunks": chunks, "cpu_s": usage.ru_utime + usage.ru_stime,
            "rss_mib": peak_kib / 1024}


def terminal_figures(run, size):
    """Exec to the first complete black screen; the bursts after it (lines,
    flood) against the 125 ms grid of the first; the first line's bytes."""
    columns, rows = (int(n) for n in size.split("x"))
    model = TerminalModel(columns, rows)
    first_black = None
    bursts = []
    for stamp, data in run["chunks"]:
        if first_black is None:
            model.feed(data)
            if model.all_black():
                first_black = stamp
            continue
        if bursts and (stamp - bursts[-1][1]) / 1e6 < GROUP_GAP_MS:
            bursts[-1][1] = stamp
            bursts[-1][2] += len(data)
        else:
            bursts.append([stamp, stamp, len(data)])
    if first_black is None:
        return None
    figures = {"first_black_ms": (first_black - run["exec"]) / 1e6,
               "bytes": sum(len(data) for _, data in run["chunks"])}
    ticks = [b for b in bursts if (b[0] - run["exec"]) / 1e6 > 1000]  # after the wait
    if ticks:
        start = ticks[0][0]
        offsets = [abs((t[0] - start) / 1e6 - round((t[0] - start) / 1e6 / TICK_MS) * TICK_MS)
                   for t in ticks]
        figures["grid_p90_ms"] = percentile(offsets, 0.9)
        figures["grid_worst_ms"] = max(offsets)
        figures["line_bytes_per_column"] = ticks[0][2] / columns
    return figures


def measure_terminal(build, sizes, runs):
    bench = os.path.join(build, "bench")
    stamp = os.path.join(bench, "exec-stamp")
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env.update(TERM="xterm-256color", COLORTERM="truecolor", LANG="C.UTF-8")
    programs = {
        "slash, terminal back end": ([os.path.join(build, "slash")], dict(env, SLASH_BACKEND="terminal")),
        "terminal floor": ([os.path.join(bench, "floor-terminal")], env),
        "terminal floor, slash's libraries": ([os.path.join(bench, "floor-terminal-linked")], env),
    }
    results = {}
    for size in sizes:
        for run in range(runs):
            for name, (argv, program_env) in programs.items():
                cell = results.setdefault((name, size), {"first_black_ms": [], "cpu_s": [],
                                                         "rss_mib": [], "grid_p90_ms": [],
                                                         "grid_worst_ms": [], "bytes": [],
                                                         "line_bytes_per_column": [],
                                                         "run_99_bytes": []})
                seen = run_on_pty(argv, program_env, size, stamp)
                figures = terminal_figures(seen, size) if seen["status"] == 0 else None
                if figures is None:
                    print(f"bench: {name} at {size}: status {seen['status']}, no black screen",
                          file=sys.stderr)
                    continue
                cell["first_black_ms"].append(figures["first_black_ms"])
                cell["cpu_s"].append(seen["cpu_s"])
                cell["rss_mib"].append(seen["rss_mib"])
                if not name.startswith("slash"):
                    continue  # the floor draws no lines
                for key in ("grid_p90_ms", "grid_worst_ms", "line_bytes_per_column"):
                    if key in figures:
                        cell[key].append(figures[key])
                if run == 0:  # the same bytes every time, but for the random ends
                    whole = run_on_pty(argv + ["99", "red"], program_env, size, stamp)
                    cell["run_99_bytes"].append(sum(len(d) for _, d in whole["chunks"]))
    return programs.keys(), results


def terminal_report(names, sizes, results, runs):
    lines = [f"Runs: {runs} of each program at each size on a pseudo-terminal read as fast as "
             "it is written (TERM=xterm-256color, COLORTERM=truecolor, a UTF-8 locale), "
             "default command line, plus one `99 red` run of slash at each size. Medians over "
             "runs; the grid columns are over the bursts of bytes of the lines and the flood "
             "against the 125 ms grid of the first line, the 90th percentile and the worst "
             "of all runs.", "",
             "| program | terminal | exec to first complete black (ms) | ticks off the grid, "
             "p90 (ms) | worst (ms) | first line, bytes per column | `99 red` run, bytes "
             "| CPU (s) | peak RSS (MiB) |",
             "|---|---|---|---|---|---|---|---|---|"]
    for name in names:
        for size in sizes:
            cell = results.get((name, size))
            if not cell or not cell["first_black_ms"]:
                continue
            grid = (f"{median(cell['grid_p90_ms']):.2f} | {max(cell['grid_worst_ms']):.2f}"
                    if cell["grid_p90_ms"] else " | ")
            per_column = (f"{median(cell['line_bytes_per_column']):.1f}"
                          if cell["line_bytes_per_column"] else "")
            whole = f"{median(cell['run_99_bytes']):.0f}" if cell["run_99_bytes"] else ""
            lines.append(f"| {name} | {size} | {median(cell['first_black_ms']):.2f} | {grid} "
                         f"| {per_column} | {whole} | {median(cell['cpu_s']):.3f} "
                         f"| {median(cell['rss_mib']):.1f} |")
    return "\n".join(lines)


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(fraction * (len(ordered) - 1))))]


def measure(build, sizes, runs, wayland=False, windows=None):
    bench = os.path.join(build, "bench")
    slash = os.path.join(build, "slash")
    if windows:
        watcher = os.path.join(bench, "screen-stamps")
        backends = ()
        floor = os.path.join(windows, "bench", "floor-gdi.exe")
        programs = {
            "slash.exe under Wine": (["wine", os.path.join(windows, "slash.exe")], WINE_ENV),
            "GDI floor under Wine": (["wine", floor], WINE_ENV),
        }
    elif wayland:
        watcher = os.path.join(bench, "wayland-stamps")
        backends = ("wayland",)
        programs = {
            "slash, Wayland back end": ([slash], {"SLASH_BACKEND": "wayland"}),
            "Wayland floor": ([os.path.join(bench, "floor-wayland")], {}),
            "Wayland floor, slash's libraries": ([os.path.join(bench, "floor-wayland-linked")],
                                                 {}),
        }
    else:
        watcher = os.path.join(bench, "screen-stamps")
        backends = ("x11",)
        programs = {
            "slash, X11 back end": ([slash], {"SLASH_BACKEND": "x11"}),
            "server-side floor": ([os.path.join(bench, "floor-x11")], {}),
            "server-side floor, slash's libraries": ([os.path.join(bench, "floor-x11-linked")],
                                                     {}),
        }
    results = {}
    for size in sizes:
        x = Sway(size) if wayland else Xvfb(size)
        try:
            if windows:
                warm_wine(x.env(**WINE_ENV), floor)
            for run in range(runs):
                for name, (argv, extra) in programs.items():
                    seen = run_watched(argv, x.env(**extra), watcher)
                    cell = results.setdefault((name, size), {"first_black_ms": [], "grid_ms": [],
                                                             "flood_ms": [],
                                                             "cpu_s": [], "rss_mib": [],
                                                             "late_ms": [], "exit_ms": [],
                                                             "wine_cpu_s": []})
                    # A compositor repaints the whole output after the first
                    # black frame, so line 1 shows late for every client: on
                    # Wayland the grid is that of lines 2 to 13.
                    figures = (screen_figures(seen, 1 if wayland else 0)
                               if seen["status"] == 0 else None)
                    if figures is None:
                        print(f"bench: {name} at {size}: status {seen['status']}, "
                              f"no black frame seen {seen['stderr'].strip()}", file=sys.stderr)
                        continue
                    cell["first_black_ms"].append(figures["first_black_ms"])
                    cell["grid_ms"].append(figures["grid_ms"])
                    cell["flood_ms"].append(figures["flood_ms"])
                    cell["cpu_s"].append(seen["cpu_s"])
                    cell["rss_mib"].append(seen["rss_mib"])
                    if seen["wine_cpu_s"] is not None:
                        cell["wine_cpu_s"].append(seen["wine_cpu_s"])
                for backend in backends:
                    late, exit_ms = stamped([os.path.join(bench, "slash-bench")],
                                            x.env(SLASH_BACKEND=backend))
                    name = next(n for n in programs if n.startswith("slash"))
                    results[(name, size)]["late_ms"] += late
                    results[(name, size)]["exit_ms"].append(exit_ms)
        finally:
            if windows:
                subprocess.run(["wineserver", "-k"], env=x.env(**WINE_ENV), check=False)
            x.close()
    return programs.keys(), results


def median(values):
    return statistics.median(values) if values else float("nan")


def report(names, sizes, results, runs):
    lines = [f"Runs: {runs} of each program at each size, default command line (13 lines). "
             "Medians over runs; the grid column is the worst line over all runs, the flood "
             "column the median lateness of the flood against the lines' grid, and tick "
             "lateness inside the process the p99 over all ticks of slash-bench.", ""]
    wine = any(cell.get("wine_cpu_s") for cell in results.values())
    header = "| program | screen | exec to first black (ms) | lines off the grid, worst (ms) " \
             "| flood after its tick (ms) | CPU (s) | peak RSS (MiB) " \
             "| tick lateness in process, p99 (ms) | end tick to exit (ms) |"
    if wine:
        header += " Wine's server and services, CPU (s) |"
    lines += [header, "|---|---|---|---|---|---|---|---|---|" + ("---|" if wine else "")]
    for name in names:
        for size in sizes:
            cell = results.get((name, size))
            if not cell:
                continue
            late = f"{percentile(cell['late_ms'], 0.99):.3f}" if cell["late_ms"] else ""
            exit_ms = f"{median(cell['exit_ms']):.2f}" if cell["exit_ms"] else ""
            grid = max(cell["grid_ms"]) if cell["grid_ms"] else float("nan")
            lines.append(f"| {name} | {size} | {median(cell['first_black_ms']):.1f} | {grid:.0f} "
                         f"| {median(cell['flood_ms']):.0f} "
                         f"| {median(cell['cpu_s']):.3f} | {median(cell['rss_mib']):.1f} "
                         f"| {late} | {exit_ms} |"
                         + (f" {median(cell['wine_cpu_s']):.3f} |" if wine else ""))
    return "\n".join(lines)


def machine():
    """What a reader can check of the machine: cores, memory, the X server."""
    memory = "unknown memory"
    try:
        with open("/proc/meminfo") as info:
            kib = int(info.readline().split()[1])
            memory = f"{kib / 1024 / 1024:.0f} GiB"
    except (OSError, ValueError, IndexError):
        pass
    package = subprocess.run(["dpkg-query", "-W", "-f=${Version}", "xvfb"], capture_output=True,
                             text=True, check=False)
    version = package.stdout.strip() or "unknown"
    return f"{os.cpu_count()} cores, {memory}, {platform.system()} {platform.release()}, " \
           f"Xvfb {version}"


def wine_version():
    version = subprocess.run(["wine", "--version"], capture_output=True, text=True, check=False)
    return version.stdout.strip() or "wine"


def sway_version():
    package = subprocess.run(["dpkg-query", "-W", "-f=${Version}", "sway"], capture_output=True,
                             text=True, check=False)
    return f"sway {package.stdout.strip() or 'unknown'}"


def plot(platforms, runs, path):
    """Start-up and peak memory against the screen's size, one column a
    platform, each program beside its floors: the medians the tables give.
    `platforms` holds (title, names, sizes, results) for each."""
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    platforms = [p for p in platforms if p[2]]
    figure, axes = plt.subplots(2, len(platforms), figsize=(4.2 * len(platforms), 7),
                                constrained_layout=True, squeeze=False)
    for column, (title, names, sizes, results) in enumerate(platforms):
        pixels = [int(w) * int(h) / 1e6 for w, h in (size.split("x") for size in sizes)]
        startup, memory = axes[0][column], axes[1][column]
        for name in names:
            cells = [results.get((name, size)) for size in sizes]
            if not all(cell and cell["first_black_ms"] for cell in cells):
                continue
            style = "o-" if name.startswith("slash") else ("s--" if "libraries" not in name
                                                           else "^:")
            startup.plot(pixels, [median(c["first_black_ms"]) for c in cells], style, label=name)
            memory.plot(pixels, [median(c["rss_mib"]) for c in cells], style, label=name)
        for ax, what, unit in ((startup, "exec to first black", "time (ms)"),
                               (memory, "peak resident memory", "memory (MiB)")):
            ax.set_xscale("log")
            ax.set_xticks(pixels, sizes, rotation=20)
            ax.minorticks_off()
            ax.set_ylim(bottom=0)
            ax.set_xlabel("screen size (pixels)")
            ax.set_ylabel(unit)
            ax.set_title(f"{title}: {what}", fontsize=10)
            ax.grid(True, alpha=0.3)
        memory.legend(fontsize=7)
    figure.suptitle(f"Medians of {runs} runs on {machine()}", fontsize=9)
    figure.savefig(path, dpi=80)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build-test", help="the CMake build folder")
    parser.add_argument("--windows", help="a cross-built Windows build folder: also measure "
                        "slash.exe beside the GDI floor under Wine")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--quick", action="store_true", help="one short round, to check it works")
    parser.add_argument("--markdown", help="also write the report to this file")
    parser.add_argument("--plot", help="also draw start-up and memory against screen size "
                        "into this PNG (needs matplotlib)")
    args = parser.parse_args()
    runs = 1 if args.quick else args.runs
    sizes = SIZES[:1] if args.quick else SIZES
    names, results = measure(args.build, sizes, runs)
    wayland_sizes = WAYLAND_SIZES[:1] if args.quick else WAYLAND_SIZES
    wayland_names, wayland_results = measure(args.build, wayland_sizes, runs, wayland=True)
    text = f"Machine: {machine()}; Xvfb at each size, 24 bits.\n\n"
    text += report(names, sizes, results, runs)
    text += f"\n\nWayland: headless {sway_version()}, software (pixman) renderer, " \
            "one output at each size.\n\n"
    text += report(wayland_names, wayland_sizes, wayland_results, runs)
    terminal_sizes = TERMINAL_SIZES[:1] if args.quick else TERMINAL_SIZES
    terminal_names, terminal_results = measure_terminal(args.build, terminal_sizes, runs)
    text += "\n\nTerminal: a pseudo-terminal of each size, read by this script.\n\n"
    text += terminal_report(terminal_names, terminal_sizes, terminal_results, runs)
    wine_names, wine_sizes, wine_results = [], [], {}
    if args.windows:
        wine_sizes = WINE_SIZES[:1] if args.quick else WINE_SIZES
        wine_names, wine_results = measure(args.build, wine_sizes, runs, windows=args.windows)
        text += f"\n\nWindows: {wine_version()}, a warm wineserver on an Xvfb of each size.\n\n"
        text += report(wine_names, wine_sizes, wine_results, runs)
    print(text)
    if args.markdown:
        with open(args.markdown, "w") as out:
            out.write(text + "\n")
    if args.plot:
        plot([("X11", names, sizes, results),
              ("Wayland", wayland_names, wayland_sizes, wayland_results),
              ("Windows under Wine", wine_names, wine_sizes, wine_results)], runs, args.plot)
    missing = [key for key, cell in
               list(results.items()) + list(wayland_results.items()) + list(wine_results.items())
               + list(terminal_results.items())
               if not cell["first_black_ms"]]
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
