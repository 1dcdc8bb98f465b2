#!/usr/bin/env python3
"""Runs the libFuzzer targets of a fuzz build one after the other and ends with a table: target, runs,
executions per second, the coverage (edges) its seeds reach and the coverage at the end, crashes.

Each target starts from its seeds in fuzz/corpus/<target> (read only) and from what earlier runs found
in <build>/corpus/<target>, where new inputs go. A target runs until it has made --runs executions or
--seconds have passed, whichever comes first; a crash, a leak, a time-out or a memory limit hit stops
it and leaves the input in <build>/artifacts/. Exit status 1 when any target crashed."""
import argparse
import re
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
SEEDS = ROOT / "fuzz" / "corpus"


def last_int(pattern, text):
    found = re.findall(pattern, text, re.MULTILINE)
    return int(float(found[-1])) if found else 0


def seed_coverage(binary, seeds):
    """The edges the seeds alone reach."""
    out = subprocess.run([str(binary), "-runs=0", str(seeds)], capture_output=True, text=True).stderr
    return last_int(r"INITED cov: (\d+)", out)


def run_target(binary, build, seconds, runs, rss_limit_mb):
    name = binary.name
    corpus = build / "corpus" / name
    artifacts = build / "artifacts"
    logs = build / "logs"
    for directory in (corpus, artifacts, logs):
        directory.mkdir(parents=True, exist_ok=True)
    seeds = SEEDS / name
    command = [str(binary), f"-max_total_time={seconds}", f"-runs={runs}", "-print_final_stats=1",
               "-timeout=30", f"-rss_limit_mb={rss_limit_mb}", f"-artifact_prefix={artifacts}/{name}-",
               str(corpus), str(seeds)]
    print(f"== {name}: {' '.join(command[1:6])}", flush=True)
    with open(logs / f"{name}.log", "w") as log:
        code = subprocess.run(command, stdout=log, stderr=subprocess.STDOUT).returncode
    text = (logs / f"{name}.log").read_text(errors="replace")
    return {
        "target": name,
        "runs": last_int(r"stat::number_of_executed_units: (\d+)", text) or last_int(r"^#(\d+)", text),
        "exec/s": last_int(r"stat::average_exec_per_sec: +(\d+)", text),
        "seed cov": seed_coverage(binary, seeds),
        "cov": last_int(r"cov: (\d+)", text),
        "crashes": 0 if code == 0 else 1,
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("build", type=Path, help="the fuzz build directory (holds fuzz/fuzz_*)")
    parser.add_argument("--seconds", type=int, default=60, help="time limit per target")
    parser.add_argument("--runs", type=int, default=-1, help="run limit per target (-1: none)")
    parser.add_argument("--rss-limit-mb", type=int, default=2048)
    parser.add_argument("targets", nargs="*", help="names of the targets to run (default: all)")
    args = parser.parse_intermixed_args()

    binaries = sorted(p for p in (args.build / "fuzz").glob("fuzz_*") if p.is_file())
    if args.targets:
        unknown = set(args.targets) - {p.name for p in binaries}
        if unknown:
            sys.exit(f"no such fuzz target: {', '.join(sorted(unknown))}")
        binaries = [p for p in binaries if p.name in args.targets]
    rows = [run_target(b, args.build, args.seconds, args.runs, args.rss_limit_mb) for b in binaries]

    columns = ["target", "runs", "exec/s", "seed cov", "cov", "crashes"]
    widths = {c: max(len(c), *(len(str(r[c])) for r in rows)) for c in columns}
    print()
    print("  ".join(c.ljust(widths[c]) if c == "target" else c.rjust(widths[c]) for c in columns))
    for r in rows:
        print("  ".join(str(r[c]).ljust(widths[c]) if c == "target" else str(r[c]).rjust(widths[c]) for c in columns))
    crashed = [r["target"] for r in rows if r["crashes"]]
    if crashed:
        print(f"\ncrashed: {', '.join(crashed)} (logs in {args.build}/logs, inputs in {args.build}/artifacts)")
    return 1 if crashed else 0


if __name__ == "__main__":
    sys.exit(main())
