#!/usr/bin/env python3
"""Measures the real slash under an Xvfb of its own, beside this machine's floors.

Usage: bench/bench.py [--build DIR] [--runs N] [--quick] [--markdown FILE]

Every figure is taken over several runs and given as min / median / max, and
beside the floor measured in the same session: a bare sleep-to-deadline loop
for tick lateness, a minimal SDL2 program for start-up, exit, memory and CPU.
Timestamps come from the benchmark build of slash (slash-bench: the same
sources, with stamps at the loop's tick and present calls) and from this
script, on the same monotonic clock. Nothing here asserts a timing.
"""

import argparse
import json
import os
import platform
import statistics
import subprocess
import sys
import tempfile
import time

TICK_NS = 125_000_000


class Xvfb:
    """An Xvfb on a display number the server picks."""

    def __init__(self, size):
        read_fd, write_fd = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", size + "x24", "-nolisten", "tcp"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            self.display = ":" + pipe.readline().strip()
        if self.display == ":":
            raise SystemExit("bench: Xvfb did not start")

    def env(self):
        env = dict(os.environ, DISPLAY=self.display)
        env.pop("WAYLAND_DISPLAY", None)
        return env

    def close(self):
        self.process.kill()
        self.process.wait()


def run_stamped(argv, env):
    """Runs a program that prints 'slash-bench EVENT INDEX NS' lines on stderr."""
    exec_ns = time.monotonic_ns()
    process = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    stamps = {}
    ticks = {}
    for raw in process.stderr:
        parts = raw.decode(errors="replace").split()
        if len(parts) != 4 or parts[0] != "slash-bench":
            continue
        event, index, ns = parts[1], int(parts[2]), int(parts[3])
        if event == "tick":
            ticks[index] = ns
        elif event == "present":
            # The first frame that can be seen: the first presented after mapping.
            if "mapped" in stamps:
                stamps.setdefault("first_present", ns)
        else:
            stamps[event] = ns
    _, status, usage = os.wait4(process.pid, 0)
    exit_ns = time.monotonic_ns()
    return {
        "exec": exec_ns,
        "exit": exit_ns,
        "status": os.waitstatus_to_exitcode(status),
        "cpu_s": usage.ru_utime + usage.ru_stime,
        "rss_kib": usage.ru_maxrss,
        "ticks": ticks,
        **stamps,
    }


def lateness_ms(run):
    load = run["load"]
    return [(ns - (load + k * TICK_NS)) / 1e6 for k, ns in sorted(run["ticks"].items())]


def end_offset_ms(run):
    last = max(run["ticks"])
    return (run["ticks"][last] - (run["load"] + last * TICK_NS)) / 1e6


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(fraction * (len(ordered) - 1))))]


def spread(values):
    return (min(values), statistics.median(values), max(values))


def measure(build, runs, quick):
    bench = os.path.join(build, "bench")
    slash = os.path.join(bench, "slash-bench")
    floor_sdl = os.path.join(bench, "floor-sdl")
    floor_sleep = os.path.join(bench, "floor-sleep")
    x = Xvfb("1920x1080")
    figures = {}
    try:
        samples = {key: [] for key in (
            "startup", "mapped", "exit", "cpu12", "cpu99", "rss", "end12", "end99",
            "floor_startup", "floor_mapped", "floor_exit", "floor_cpu", "floor_rss")}
        tick_late, floor_late = [], []
        for _ in range(runs):
            run = run_stamped([slash], x.env())
            assert run["status"] == 0, run
            samples["startup"].append((run["first_present"] - run["exec"]) / 1e6)
            samples["mapped"].append((run["first_present"] - run["mapped"]) / 1e6)
            samples["exit"].append((run["exit"] - run["end"]) / 1e6)
            samples["cpu12"].append(run["cpu_s"])
            samples["rss"].append(run["rss_kib"] / 1024)
            samples["end12"].append(end_offset_ms(run))
            tick_late += lateness_ms(run)
            if not quick:
                run = run_stamped([slash, "99", "red"], x.env())
                samples["cpu99"].append(run["cpu_s"])
                samples["end99"].append(end_offset_ms(run))
                tick_late += lateness_ms(run)

            floor = run_stamped([floor_sdl, "once"], x.env())
            samples["floor_startup"].append((floor["first_present"] - floor["exec"]) / 1e6)
            samples["floor_mapped"].append((floor["first_present"] - floor["mapped"]) / 1e6)
            samples["floor_exit"].append((floor["exit"] - floor["end"]) / 1e6)
            samples["floor_rss"].append(floor["rss_kib"] / 1024)
            floor = run_stamped([floor_sdl, "loop"], x.env())
            samples["floor_cpu"].append(floor["cpu_s"])
            floor = run_stamped([floor_sleep, "33"], x.env())
            floor_late += lateness_ms(floor)
        figures = {key: spread(values) for key, values in samples.items() if values}
        figures["tick_late"] = (statistics.median(tick_late), percentile(tick_late, 0.99),
                                max(tick_late))
        figures["floor_late"] = (statistics.median(floor_late), percentile(floor_late, 0.99),
                                 max(floor_late))
        figures["ticks_measured"] = len(tick_late)
    finally:
        x.close()
    return figures


def measure_scale(build, quick):
    program = os.path.join(build, "bench", "draw-scale")
    if not os.path.exists(program):
        return []
    x = Xvfb("7680x4320")
    try:
        with tempfile.NamedTemporaryFile(suffix=".json") as out:
            argv = [program, "--benchmark_out=" + out.name, "--benchmark_out_format=json"]
            if quick:
                argv.append("--benchmark_min_time=0.01")
            subprocess.run(argv, env=x.env(), check=True, stdout=subprocess.DEVNULL)
            with open(out.name) as results:
                return json.load(results)["benchmarks"]
    finally:
        x.close()


def fmt(triple, digits=2):
    return " / ".join(f"{value:.{digits}f}" for value in triple)


def ratio(ours, floor):
    return f"{ours[1] / floor[1]:.2f}" if floor[1] else "n/a"


def report(figures, scale, runs):
    f = figures
    lines = [
        f"Runs: {runs} of each program; {f['ticks_measured']} ticks of slash in all. "
        "Figures are min / median / max over runs, except tick lateness "
        "(median / p99 / max over all ticks).",
        "",
        "| Figure | slash | floor | ratio (medians) |",
        "|---|---|---|---|",
        f"| exec to first black frame (ms) | {fmt(f['startup'])} | {fmt(f['floor_startup'])} | "
        f"{ratio(f['startup'], f['floor_startup'])} |",
        f"| window mapped to first black frame (ms) | {fmt(f['mapped'])} | {fmt(f['floor_mapped'])} | "
        f"{ratio(f['mapped'], f['floor_mapped'])} |",
        f"| tick lateness (ms, median / p99 / max) | {fmt(f['tick_late'], 3)} | "
        f"{fmt(f['floor_late'], 3)} | {ratio(f['tick_late'], f['floor_late'])} |",
        f"| end tick offset from ideal, N = 12 (ms) | {fmt(f['end12'], 3)} | | |",
    ]
    if "end99" in f:
        lines.append(f"| end tick offset from ideal, N = 99 (ms) | {fmt(f['end99'], 3)} | | |")
    lines += [
        f"| end tick to process exit (ms) | {fmt(f['exit'])} | {fmt(f['floor_exit'])} | "
        f"{ratio(f['exit'], f['floor_exit'])} |",
        f"| CPU, user + system, default run (s) | {fmt(f['cpu12'], 3)} | {fmt(f['floor_cpu'], 3)} | "
        f"{ratio(f['cpu12'], f['floor_cpu'])} |",
    ]
    if "cpu99" in f:
        lines.append(f"| CPU, user + system, N = 99 run (s) | {fmt(f['cpu99'], 3)} | | |")
    lines.append(f"| peak resident memory (MiB) | {fmt(f['rss'], 1)} | {fmt(f['floor_rss'], 1)} | "
                 f"{ratio(f['rss'], f['floor_rss'])} |")
    if scale:
        lines += ["", "Draw plus present of a full frame (100 placed lines):", "",
                  "| Size | pixels | offscreen software (ms) | window, slash's renderer (ms) |",
                  "|---|---|---|---|"]
        by_size = {}
        for entry in scale:
            kind, width, height = entry["name"].split("/")[:3]
            cell = f"{entry['real_time']:.2f}" if "error_occurred" not in entry else "n/a"
            by_size.setdefault((int(width), int(height)), {})[kind] = cell
        for (width, height), cells in sorted(by_size.items()):
            lines.append(f"| {width}x{height} | {width * height / 1e6:.1f} M | "
                         f"{cells.get('Offscreen', 'n/a')} | {cells.get('Window', 'n/a')} |")
    return "\n".join(lines)


def machine():
    cpu = "unknown"
    try:
        with open("/proc/cpuinfo") as info:
            for line in info:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return f"{cpu}, {os.cpu_count()} cores, {platform.system()} {platform.release()}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build", help="the CMake build folder")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--quick", action="store_true", help="one short round, to check it works")
    parser.add_argument("--markdown", help="also write the report to this file")
    args = parser.parse_args()
    runs = 1 if args.quick else args.runs
    figures = measure(args.build, runs, args.quick)
    scale = measure_scale(args.build, args.quick)
    text = f"Machine: {machine()}; Xvfb 1920x1080x24 (7680x4320 for the scale table).\n\n"
    text += report(figures, scale, runs)
    print(text)
    if args.markdown:
        with open(args.markdown, "w") as out:
            out.write(text + "\n")


if __name__ == "__main__":
    sys.exit(main())
