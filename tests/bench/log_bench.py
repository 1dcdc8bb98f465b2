#!/usr/bin/env python3
"""Cost of the launcher's log files: the same Java application (testapps.NumberedLines) writes 100 MB
of 100-byte lines either to System.out, which the launcher's log file takes (rolled every 16 MB,
eight files kept), or to a plain FileOutputStream of its own under a launcher without log settings.
The cost of writing is each run's time less the time of a run that writes nothing (JVM start-up and
teardown); runs alternate so that drift of the machine hits both alike. Prints the medians, the
ratio of the costs (the target is at most 1.10) and the ratio of the time the application itself
spent in its writing loop. A measurement, not a test: it fails only when a program does not run.

Usage: log_bench.py [--runs N] [--megabytes M]   (after `make dist`; `make bench` runs it)
"""
import argparse
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

from startup_bench import BRIDGE, STUBCON, STUBCONFIG, TEST_JAR, WINE64, wine_env

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "integration"))
from conftest import wine_server  # noqa: E402

WORK = ROOT / "build" / "bench" / "logs"
LINE = 100  # bytes, line end included
TARGET_RATIO = 1.10
BASE = {"MainClass": "testapps.NumberedLines", "JvmPath": "jvm.dll", "ClassPath": "testapps.jar",
        "JvmOptions": "-Xmx256m", "AppOptions": ""}
VARIANTS = {
    "log": {"SystemOutFile": "out.log", "LogRollBytes": str(16 * 1024 * 1024), "LogKeep": "8"},
    "file": {},
}


def prepare():
    for path in (STUBCON, STUBCONFIG, BRIDGE, TEST_JAR):
        if not path.exists():
            sys.exit(f"log_bench: {path} is missing; run `make dist` first")
    shutil.rmtree(WORK, ignore_errors=True)
    WORK.mkdir(parents=True)
    shutil.copy(BRIDGE, WORK / "jvm.dll")
    shutil.copy(TEST_JAR, WORK / "testapps.jar")
    for name, settings in VARIANTS.items():
        ini = WORK / f"{name}.ini.cfg"
        ini.write_text("\r\n".join(["[Launcher]"] + [f"{k}={v}" for k, v in {**BASE, **settings}.items()]) + "\r\n")
        subprocess.run([str(STUBCONFIG), "write", "--stub", str(STUBCON), "--config", str(ini),
                        "--out", str(WORK / f"{name}.exe")], check=True, capture_output=True)


def run(name, lines):
    """Seconds of the whole run, and the nanoseconds the application reported for its loop."""
    mode = "out" if name == "log" else "file:plain.log"
    start = time.perf_counter()
    proc = subprocess.run([WINE64, f"{name}.exe", "1", str(lines), mode, str(LINE - 1), "time"], cwd=WORK,
                          env=wine_env(), capture_output=True, timeout=600)
    elapsed = time.perf_counter() - start
    report = proc.stderr if name == "log" else proc.stdout
    nanos = [line for line in report.decode("latin-1").splitlines() if line.startswith("nanos=")]
    if proc.returncode != 0 or len(nanos) != 1:
        sys.exit(f"log_bench: {name}.exe failed: {proc}")
    written = sum(p.stat().st_size for p in WORK.glob("out.log*")) if name == "log" else (WORK / "plain.log").stat().st_size
    if lines and written != lines * LINE:
        sys.exit(f"log_bench: {name}.exe wrote {written} bytes, not {lines * LINE}")
    for p in list(WORK.glob("out.log*")) + list(WORK.glob("plain.log")):
        p.unlink()
    return elapsed, int(nanos[0][6:]) / 1e9


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=3, help="runs of each kind (at least 3)")
    parser.add_argument("--megabytes", type=int, default=100)
    args = parser.parse_args()
    prepare()
    wine_server(wine_env())
    try:
        measure(max(3, args.runs), args.megabytes * 1000 * 1000 // LINE)
    finally:
        subprocess.run(["wineserver", "-k"], env=wine_env(), capture_output=True, timeout=60)


def measure(runs, lines):
    for name in VARIANTS:  # warm the file cache and the prefix
        run(name, 1000)
    times = {(name, n): [] for name in VARIANTS for n in (0, lines)}
    loops = {name: [] for name in VARIANTS}
    for i in range(runs):
        order = list(VARIANTS) if i % 2 == 0 else list(reversed(VARIANTS))
        for name in order:
            times[(name, 0)].append(run(name, 0)[0])
            elapsed, loop = run(name, lines)
            times[(name, lines)].append(elapsed)
            loops[name].append(loop)
    cost = {name: statistics.median(times[(name, lines)]) - statistics.median(times[(name, 0)]) for name in VARIANTS}
    loop = {name: statistics.median(loops[name]) for name in VARIANTS}
    print(f"{lines * LINE / 1e6:.0f} MB of {LINE}-byte lines, {runs} runs each, medians:")
    for name, what in (("log", "System.out into the launcher's log"), ("file", "a plain FileOutputStream")):
        print(f"  {what}: run {statistics.median(times[(name, lines)]):.2f} s, empty run "
              f"{statistics.median(times[(name, 0)]):.2f} s, writing {cost[name]:.2f} s (loop {loop[name]:.2f} s)")
    ratio = cost["log"] / cost["file"]
    print(f"log/plain ratio of the writing cost: {ratio:.3f} (target at most {TARGET_RATIO:.2f}: "
          f"{'met' if ratio <= TARGET_RATIO else 'NOT met'}); of the application's loop: {loop['log'] / loop['file']:.3f}")


if __name__ == "__main__":
    main()
