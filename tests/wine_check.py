#!/usr/bin/env python3
"""Starts a small test program many times under Wine as the integration tests start theirs (a prefix of
its own, an Xvfb display, WINEDEBUG=-all, the 64-bit loader) and prints how many starts Wine failed, with
what each failed start printed on stderr.

By default one persistent wineserver runs for the whole loop, as in the tests. With --no-server none
does: each start then may meet the server of the previous one on its way out, which is the fault the
persistent server is there to prevent, and which this loop must be able to see.

Usage: wine_check.py [--starts N] [--no-server]   (after `make dist`; `make wine-check` runs it)
"""
import argparse
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent / "integration"))
from conftest import BUILD_WIN, ROOT, WINE64, start_display, wine_env, wine_server  # noqa: E402

# Without STUB_COMMAND_LINE it prints one line on stderr and ends with exit code 2.
PROGRAM = BUILD_WIN / "fixtures" / "rawrun.exe"
PREFIX = ROOT / "build" / "wineprefix-check"


def run(env):
    """(exit code, stdout, stderr) of one start, the output through files as in the tests: a process that
    Wine starts on the way would hold a pipe open until the end of the session."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        code = subprocess.run([WINE64, str(PROGRAM)], cwd=PROGRAM.parent, env=env, stdin=subprocess.DEVNULL,
                              stdout=out, stderr=err, timeout=120).returncode
        out.seek(0)
        err.seek(0)
        return code, out.read(), err.read()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--starts", type=int, default=2000)
    parser.add_argument("--no-server", action="store_true", help="no persistent wineserver")
    args = parser.parse_args()
    if not PROGRAM.exists():
        sys.exit(f"wine_check: {PROGRAM} is missing; run `make dist` first")
    display, name = start_display()
    env = wine_env({"DISPLAY": name}, PREFIX)
    failures = 0
    began = time.monotonic()
    try:
        wine_server(env, persistent=not args.no_server)
        for start in range(1, args.starts + 1):
            code, out, err = run(env)
            if code != 2 or not err.startswith(b"rawrun: "):
                failures += 1
                print(f"start {start}: exit code {code}, stdout {out!r}, stderr {err!r}", flush=True)
            if start % 500 == 0:
                print(f"{start} starts, {failures} failed, {time.monotonic() - began:.0f} s", flush=True)
    finally:
        subprocess.run(["wineserver", "-k"], env=env, capture_output=True, timeout=60)
        display.terminate()
        display.wait(timeout=10)
    server = "without a persistent wineserver" if args.no_server else "with a persistent wineserver"
    print(f"{args.starts} starts {server}: {failures} failed ({time.monotonic() - began:.0f} s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
