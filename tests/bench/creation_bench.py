#!/usr/bin/env python3
"""The time each launcher adds before it asks for a virtual machine, and its memory at that moment.

A stand-in jvm.dll (tests/fixtures/standin) records, when JNI_CreateJavaVM is called, the time since
the process was created and the process's working set, then ends the process. The bare reference
host loads the same stand-in with the same options, so the difference of a pair of runs is what the
launcher's own start costs: its imports, its configuration, the class-path walk. Runs are paired and
interleaved (the order alternates), and the mean difference is printed with its 95% confidence
interval, for stubcon, stubwin without a splash and stubwin with its splash.

Usage: creation_bench.py [--pairs N]   (after `make dist`; `make bench` runs it)
"""
import argparse
import math
import shutil
import statistics
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import startup_bench as startup  # noqa: E402

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "integration"))
from conftest import start_display, wine_server  # noqa: E402

ROOT = startup.ROOT
STANDIN = ROOT / "build" / "windows" / "fixtures" / "standin" / "jvm.dll"
STUBWIN = ROOT / "dist" / "stubwin.exe"
WORK = ROOT / "build" / "bench" / "creation"
# Two-sided 95% quantile of Student's t for the degrees of freedom used here (>= 30); close enough
# to the normal quantile that the interval is not misstated.
T95 = 1.98


def prepare():
    """The start-up bench's application directory, with the stand-in as jvm.dll and three launchers."""
    startup.prepare()
    options = startup.launcher_options()
    shutil.rmtree(WORK, ignore_errors=True)
    shutil.copytree(startup.WORK, WORK)
    shutil.copy(STANDIN, WORK / "jvm.dll")
    ini = WORK / "launcher.ini.cfg"
    for name, stub, splash in (("con.exe", startup.STUBCON, "0"), ("win.exe", STUBWIN, "0"),
                               ("splash.exe", STUBWIN, "1")):
        settings = dict(startup.SETTINGS, ShowSplash=splash, AllowMultipleInstances="1")
        ini.write_text("\r\n".join(["[Launcher]"] + [f"{k}={v}" for k, v in settings.items()]) + "\r\n")
        subprocess.run([str(startup.STUBCONFIG), "write", "--stub", str(stub), "--config", str(ini),
                        "--out", str(WORK / name)], check=True, capture_output=True)
    reference = ["reference.exe", "jvm.dll", "testapps/PrintArgs"]
    for option in options:
        reference += ["-o", option]
    return reference


DISPLAY = {}


def measure_once(cmd):
    """(microseconds to JNI_CreateJavaVM, working set bytes) of one run."""
    log = WORK / "standin.log"
    log.unlink(missing_ok=True)
    env = startup.wine_env({"STANDIN_JVM_LOG": "Z:" + str(log).replace("/", "\\"), **DISPLAY})
    # No pipes: the desktop process that the first window starts would inherit them and hold them open.
    proc = subprocess.run([startup.WINE64, *cmd], cwd=WORK, env=env, stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    if proc.returncode != 0 or not log.exists():
        sys.exit(f"creation_bench: {cmd} did not reach JNI_CreateJavaVM: {proc}")
    micros, working_set, _private = (int(field) for field in log.read_text().split())
    return micros, working_set


def summary(differences):
    mean = statistics.mean(differences)
    half = T95 * statistics.stdev(differences) / math.sqrt(len(differences))
    return mean, half


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pairs", type=int, default=100, help="pairs of runs per launcher (at least 30)")
    args = parser.parse_args()
    pairs = max(30, args.pairs)
    for path in (STANDIN, STUBWIN):
        if not path.exists():
            sys.exit(f"creation_bench: {path} is missing; run `make dist` first")
    # The windowed launcher's splash needs a display, and Wine waits for its desktop process (which
    # fails without one) before a first window can be made.
    server, DISPLAY["DISPLAY"] = start_display()
    wine_server(startup.wine_env(DISPLAY))
    try:
        report(prepare(), pairs)
    finally:
        subprocess.run(["wineserver", "-k"], env=startup.wine_env(DISPLAY), capture_output=True, timeout=60)
        server.terminate()
        server.wait(timeout=10)


def report(reference, pairs):
    launchers = {"stubcon": ["con.exe"], "stubwin": ["win.exe"], "stubwin, splash": ["splash.exe"]}
    for cmd in [reference, *launchers.values()]:  # warm the file cache
        measure_once(cmd)
    added = {}
    for name, cmd in launchers.items():
        times, memory = [], []
        for i in range(pairs):
            runs = [cmd, reference] if i % 2 == 0 else [reference, cmd]
            results = {tuple(run): measure_once(run) for run in runs}
            launcher_run, reference_run = results[tuple(cmd)], results[tuple(reference)]
            times.append((launcher_run[0] - reference_run[0]) / 1000)
            memory.append((launcher_run[1], reference_run[1]))
        mean, half = summary(times)
        added[name] = times
        print(f"{name:16} adds {mean:6.2f} ms +- {half:.2f} (95%), median {statistics.median(times):6.2f} ms "
              f"before JNI_CreateJavaVM; working set {statistics.median(m[0] for m in memory) / 2**20:5.1f} MiB "
              f"against {statistics.median(m[1] for m in memory) / 2**20:5.1f} MiB ({pairs} pairs)")
    windowed = [w - c for w, c in zip(added["stubwin"], added["stubcon"])]
    mean, half = summary(windowed)
    print(f"stubwin - stubcon: {mean:+.2f} ms +- {half:.2f} (95%; pairs of pairs, not interleaved with each other)")


if __name__ == "__main__":
    main()
