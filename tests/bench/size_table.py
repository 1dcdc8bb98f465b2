#!/usr/bin/env python3
"""Sizes of the launchers as shipped (stripped): each against the 64 KiB bar, with what it imports at
load and what it imports on first use. Usage: size_table.py (after `make dist`; `make bench` runs it)."""
import re
import subprocess
import sys
from pathlib import Path

DIST = Path(__file__).resolve().parents[2] / "dist"
BAR = 64 * 1024
OBJDUMP = {"pei-x86-64": "x86_64-w64-mingw32-objdump", "pei-i386": "i686-w64-mingw32-objdump"}


DELAYED = ("advapi32.dll", "user32.dll", "gdi32.dll")


def imports(exe):
    """(DLLs imported at load, DLLs delay-imported). The first come from objdump -p; the delay-import
    tables of mingw's delay-import libraries are not in the PE data directory, so those are found by
    the DLL names they carry (written in lower case, unlike the import table's)."""
    kind = subprocess.run(["x86_64-w64-mingw32-objdump", "-f", str(exe)], capture_output=True, text=True).stdout
    tool = OBJDUMP["pei-i386" if "pei-i386" in kind else "pei-x86-64"]
    dump = subprocess.run([tool, "-p", str(exe)], capture_output=True, text=True, check=True).stdout
    loaded = re.findall(r"DLL Name: (\S+)", dump)
    data = exe.read_bytes()
    delayed = [name.upper() for name in DELAYED if name.encode() + b"\0" in data]
    return loaded, delayed


def main():
    launchers = sorted(DIST.glob("stub*.exe")) + sorted((DIST / "x86").glob("stub*.exe"))
    launchers = [exe for exe in launchers if exe.name != "stubconfig.exe"]
    if not launchers:
        sys.exit("size_table: no launchers in dist/; run `make dist` first")
    print(f"{'launcher':20} {'bytes':>8} {'KiB':>7}  {'<= 64 KiB':9}  imports at load; on first use")
    for exe in launchers:
        size = exe.stat().st_size
        loaded, delayed = imports(exe)
        name = str(exe.relative_to(DIST))
        print(f"{name:20} {size:8} {size / 1024:7.1f}  {'yes' if size <= BAR else 'NO':9}  "
              f"{', '.join(loaded)}; {', '.join(delayed) or '-'}")


if __name__ == "__main__":
    main()
