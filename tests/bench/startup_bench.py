#!/usr/bin/env python3
"""Start-up overhead of the console launcher: the time from process start to the first line that a
Java main prints, for a configured stubcon.exe and for the bare reference host that loads the same
jvm.dll (the Wine-hosted bridge) and makes only the JNI calls needed to run main with the same
options. Runs alternate, so that drift of the machine hits both alike; the medians and their ratio
are printed. A measurement, not a test: it fails only when a program does not run.

With --breakdown it then times both programs again, to their end, with the jvm.dll test double in
place of the bridge: no Java runs, and the double imports USER32 itself, so both programs pay that
library's start-up and the difference is the launcher's own work (configuration, class-path
expansion, its extra JNI calls).

Usage: startup_bench.py [--runs N] [--breakdown]   (after `make dist`; `make bench` runs it)
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "integration"))
from conftest import wine_server  # noqa: E402

STUBCON = ROOT / "dist" / "stubcon.exe"
STUBCONFIG = ROOT / "dist" / "stubconfig"
BRIDGE = ROOT / "build" / "host" / "bridge" / "jvm.dll"
TEST_JAR = ROOT / "build" / "host" / "java" / "testapps.jar"
DOUBLE = ROOT / "build" / "windows" / "fixtures" / "double" / "jvm.dll"
REFERENCE = ROOT / "build" / "windows" / "tests" / "fixtures" / "reference_launcher" / "reference_launcher.exe"
WORK = ROOT / "build" / "bench" / "startup"
PREFIX = ROOT / "build" / "wineprefix"
TARGET_RATIO = 1.01
# 64-bit programs start through the 64-bit loader itself (see tests/integration/conftest.py).
WINE64 = "/usr/lib/wine/wine64"

# The shape of a shipped configuration: a heap limit, a property naming a directory, and a class path of
# the application directory, a class directory, the application's jar and a plug-in directory.
SETTINGS = {
    "MainClass": "testapps.PrintArgs",
    "JvmPath": "jvm.dll",
    "JvmOptions": "-Xmx512m -Dharbor.data.dir=Data\\",
    "ClassPath": ".;Classes\\;Lib\\app.jar;Plugins\\",
    "WorkingDirectory": ".",
    "ChangeDirectoryBeforeJvm": "1",
    "AppOptions": "",
}


def wine_env(extra=None):
    env = dict(os.environ)
    env.update({"WINEPREFIX": str(PREFIX), "WINEDLLOVERRIDES": "mscoree,mshtml=", "WINEDEBUG": "-all",
                "WINEARCH": "win64", "WINELOADER": WINE64})
    env.pop("JAVA_HOME", None)
    env.pop("STUB_BRIDGE_LOG", None)
    env.update(extra or {})
    return env


def small_jar(path, entries):
    path.parent.mkdir(parents=True, exist_ok=True)
    with zipfile.ZipFile(path, "w") as jar:
        for name, data in entries.items():
            jar.writestr(name, data)


def prepare():
    """The application directory: both programs side by side with one jvm.dll, so that they load the
    same library and see the same relative class-path entries."""
    for path in (STUBCON, STUBCONFIG, BRIDGE, TEST_JAR, REFERENCE):
        if not path.exists():
            sys.exit(f"startup_bench: {path} is missing; run `make dist` first")
    shutil.rmtree(WORK, ignore_errors=True)
    WORK.mkdir(parents=True)
    shutil.copy(BRIDGE, WORK / "jvm.dll")
    shutil.copy(REFERENCE, WORK / "reference.exe")
    (WORK / "Lib").mkdir()
    shutil.copy(TEST_JAR, WORK / "Lib" / "app.jar")
    (WORK / "Classes" / "res").mkdir(parents=True)
    (WORK / "Classes" / "res" / "app.properties").write_text("name=bench\n")
    small_jar(WORK / "Classes" / "extra.jar", {"extra/readme.txt": "extra\n"})
    for name in ("alpha", "beta", "gamma"):
        small_jar(WORK / "Plugins" / f"{name}.jar", {f"{name}/plugin.txt": name + "\n"})
    (WORK / "Plugins" / "notes.txt").write_text("not on the class path\n")
    (WORK / "Data").mkdir()
    ini = WORK / "app.ini.cfg"
    ini.write_text("\r\n".join(["[Launcher]"] + [f"{k}={v}" for k, v in SETTINGS.items()]) + "\r\n")
    subprocess.run([str(STUBCONFIG), "write", "--stub", str(STUBCON), "--config", str(ini),
                    "--out", str(WORK / "app.exe")], check=True, capture_output=True)


def launcher_options():
    """The options exactly as the launcher passes them to JNI_CreateJavaVM (class path expanded),
    read from the bridge's log of one run."""
    log = WORK / "bridge.log"
    log.unlink(missing_ok=True)
    proc = subprocess.run([WINE64, "app.exe"], cwd=WORK, env=wine_env({"STUB_BRIDGE_LOG": str(log)}),
                          capture_output=True, timeout=120)
    if proc.returncode != 0:
        sys.exit(f"startup_bench: the launcher failed: {proc}")
    fields = [line.split("\t") for line in log.read_text().splitlines()]
    log.unlink()
    return [f[1] for f in fields if f[0] == "option"]


def first_line_time(cmd):
    """Seconds from Popen to the first line on the child's stdout; the child is then run to its end."""
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, cwd=WORK, env=wine_env(), stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    first = proc.stdout.readline()
    elapsed = time.perf_counter() - start
    rest, err = proc.communicate(timeout=120)
    if proc.returncode != 0 or not first.startswith(b"user.dir="):
        sys.exit(f"startup_bench: {cmd} failed: exit {proc.returncode}, {first + rest!r}, {err!r}")
    return elapsed


def run_time(cmd, cwd):
    start = time.perf_counter()
    proc = subprocess.run(cmd, cwd=cwd, env=wine_env(), capture_output=True, timeout=120)
    elapsed = time.perf_counter() - start
    if proc.returncode != 0:
        sys.exit(f"startup_bench: {cmd} failed: {proc}")
    return elapsed


def breakdown(launcher, reference, runs):
    """Both programs on the test double, which answers every JNI call at once."""
    if not DOUBLE.exists():
        sys.exit(f"startup_bench: {DOUBLE} is missing; run `make dist` first")
    place = WORK.parent / "startup-double"
    shutil.rmtree(place, ignore_errors=True)
    shutil.copytree(WORK, place)
    shutil.copy(DOUBLE, place / "jvm.dll")
    for cmd in (launcher, reference):
        run_time(cmd, place)
    times = {"launcher": [], "reference": []}
    for i in range(runs):
        order = [("launcher", launcher), ("reference", reference)]
        for name, cmd in order if i % 2 == 0 else reversed(order):
            times[name].append(run_time(cmd, place))
    median_launcher = statistics.median(times["launcher"])
    median_reference = statistics.median(times["reference"])
    print(f"without Java (test double), whole run: stubcon.exe median {median_launcher * 1000:.1f} ms, "
          f"reference median {median_reference * 1000:.1f} ms, "
          f"difference {(median_launcher - median_reference) * 1000:+.1f} ms")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=15, help="runs of each program (at least 10)")
    parser.add_argument("--breakdown", action="store_true", help="also time both without Java")
    args = parser.parse_args()
    prepare()
    # Without a server that stays up, every run would start the wineserver and the prefix's services
    # afresh (seconds, more than the JVM takes); a warm Windows machine has those running already.
    wine_server(wine_env())
    try:
        measure(args)
    finally:
        subprocess.run(["wineserver", "-k"], env=wine_env(), capture_output=True, timeout=60)


def measure(args):
    runs = max(10, args.runs)
    options = launcher_options()
    launcher = [WINE64, "app.exe"]
    reference = [WINE64, "reference.exe", "jvm.dll", "testapps/PrintArgs"]
    for option in options:
        reference += ["-o", option]
    print("options passed by both:", " ".join(options))

    for cmd in (launcher, reference):  # warm the file cache and the prefix
        first_line_time(cmd)
    times = {"launcher": [], "reference": []}
    for i in range(runs):
        order = [("launcher", launcher), ("reference", reference)]
        for name, cmd in order if i % 2 == 0 else reversed(order):
            times[name].append(first_line_time(cmd))

    median_launcher = statistics.median(times["launcher"])
    median_reference = statistics.median(times["reference"])
    ratio = median_launcher / median_reference
    # Other work on the machine slows neighbouring runs alike; the ratio within each pair shows it less.
    paired = statistics.median(a / b for a, b in zip(times["launcher"], times["reference"]))
    print(f"runs of each:             {runs}")
    print(f"stubcon.exe  first line:  median {median_launcher * 1000:7.1f} ms  "
          f"(min {min(times['launcher']) * 1000:.1f}, max {max(times['launcher']) * 1000:.1f})")
    print(f"reference    first line:  median {median_reference * 1000:7.1f} ms  "
          f"(min {min(times['reference']) * 1000:.1f}, max {max(times['reference']) * 1000:.1f})")
    print(f"ratio:                    {ratio:.3f}  (goal {TARGET_RATIO} or less: "
          f"{'met' if ratio <= TARGET_RATIO else 'NOT met'})")
    print(f"median of paired ratios:  {paired:.3f}")
    print(f"load average at the end:  {os.getloadavg()[0]:.2f} on {os.cpu_count()} processors")
    if args.breakdown:
        breakdown(launcher, reference, runs)


if __name__ == "__main__":
    main()
