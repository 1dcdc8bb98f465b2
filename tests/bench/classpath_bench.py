"""How long class-path assembly takes over large archive trees, under Wine with the test-double jvm.dll.

Two trees, each of depth 3 with fan-out 10 below its top directories and 10 archives in every leaf
directory: 10,000 archives in 1,000 leaf directories, and 20,000 in 2,000. The time to reach main is
the median wall time of five runs of stubcon.exe (the double's main does nothing) minus the median of
five runs of the same launcher with an empty class path. The walk should grow linearly with the tree,
so the 20,000 figure must stay under 2.2 times the 10,000 one; the exit status says whether it did.

Usage: python3 tests/bench/classpath_bench.py   (after `make dist`; `make bench` does both)"""
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "integration"))
from conftest import DIST, DOUBLE, PREFIX, WINE64, stamp, wine_env, wine_server  # noqa: E402

WORK = ROOT / "build" / "bench"
RUNS = 5
FAN_OUT = 10
ARCHIVES_PER_LEAF = 10
LIMIT = 2.2


def build_tree(top, top_directories):
    """Lib\\tNN\\dN\\dN\\aNN.jar; made once and kept, marked complete by a stamp file."""
    done = top / "complete"
    if done.exists():
        return
    shutil.rmtree(top, ignore_errors=True)
    for t in range(top_directories):
        for a in range(FAN_OUT):
            for b in range(FAN_OUT):
                leaf = top / "Lib" / f"t{t:02d}" / f"d{a}" / f"d{b}"
                leaf.mkdir(parents=True)
                for n in range(ARCHIVES_PER_LEAF):
                    (leaf / f"a{n:02d}.jar").write_bytes(b"")
    done.write_text("")


def launcher(directory, class_path):
    directory.mkdir(parents=True, exist_ok=True)
    shutil.copy(DOUBLE, directory / "jvm.dll")
    exe = directory / ("app.exe" if class_path else "baseline.exe")
    return stamp(DIST / "stubcon.exe", {"MainClass": "bench.Main", "JvmPath": "jvm.dll", "ClassPath": class_path,
                                        "JvmOptions": "", "AppOptions": "", "WorkingDirectory": "",
                                        "ChangeDirectoryBeforeJvm": "0"}, exe)


def class_path_entries(exe):
    """The entries of the class-path option the double received, from one logged run."""
    log = exe.parent / "double.log"
    log.unlink(missing_ok=True)
    env = wine_env({"JVMDOUBLE_MAIN": "", "JVMDOUBLE_LOG": "Z:" + str(log).replace("/", "\\")})
    subprocess.run([WINE64, str(exe)], cwd=exe.parent, env=env, capture_output=True, timeout=600, check=True)
    prefix = "option\t-Djava.class.path="
    lines = [line for line in log.read_text(encoding="latin-1").splitlines() if line.startswith(prefix)]
    log.unlink()
    return lines[0][len(prefix):].rsplit("\t", 1)[0].split(";") if lines else []


def seconds(exe):
    env = wine_env({"JVMDOUBLE_MAIN": ""})
    start = time.monotonic()
    proc = subprocess.run([WINE64, str(exe)], cwd=exe.parent, env=env, capture_output=True, timeout=600)
    elapsed = time.monotonic() - start
    if proc.returncode != 0:
        sys.exit(f"{exe} failed: {proc}")
    return elapsed


def median_seconds(exes):
    """The median run time of each executable. The runs are interleaved, one of each per round after a
    warming round, so that a change in the machine's load falls on all of them alike."""
    times = {exe: [] for exe in exes}
    for round_number in range(RUNS + 1):
        for exe in exes:
            elapsed = seconds(exe)
            if round_number > 0:
                times[exe].append(elapsed)
    return {exe: statistics.median(values) for exe, values in times.items()}


def count_archives(top):
    return sum(1 for _ in (top / "Lib").rglob("*.jar"))


def main():
    if not (DIST / "stubcon.exe").exists() or not DOUBLE.exists():
        sys.exit("run `make dist` first")
    # As in the integration tests: a wineserver and a first start that do not hold our pipes, or each
    # timed run would wait for them to let go of its output.
    wine_server(wine_env())
    try:
        return measure()
    finally:
        subprocess.run(["wineserver", "-k"], env=wine_env(), capture_output=True, timeout=60)


def measure():
    sizes = (10_000, 20_000)
    apps, baselines = {}, {}
    for archives in sizes:
        top = WORK / f"tree{archives}"
        build_tree(top, archives // (FAN_OUT * FAN_OUT * ARCHIVES_PER_LEAF))
        assert count_archives(top) == archives
        apps[archives] = launcher(top, "Lib\\")
        baselines[archives] = launcher(top, "")
        if len(class_path_entries(apps[archives])) != archives + 1:
            sys.exit(f"the launcher did not list the {archives} archives of {top}")
    medians = median_seconds([*apps.values(), *baselines.values()])
    figures = {}
    for archives in sizes:
        walked, baseline = medians[apps[archives]], medians[baselines[archives]]
        figures[archives] = walked - baseline
        print(f"{archives:6d} archives in {archives // ARCHIVES_PER_LEAF} leaf directories: "
              f"{figures[archives]:.3f} s to reach main (run {walked:.3f} s, baseline {baseline:.3f} s, "
              f"median of {RUNS})")
    ratio = figures[20_000] / figures[10_000]
    print(f"ratio 20000/10000: {ratio:.2f} (limit {LIMIT})")
    print(f"wine prefix: {PREFIX}")
    return 0 if ratio < LIMIT else 1


if __name__ == "__main__":
    sys.exit(main())
