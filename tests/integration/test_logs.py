"""The launcher's log files (SystemOutFile, SystemErrFile with LogRollBytes and LogKeep): real Java
through the bridge writes numbered lines across several rolls, both streams share one file, and what
a runtime writes through the C runtime rather than System.out (the test double) reaches the file."""
import re

import pytest

from conftest import BRIDGE, DIST, DOUBLE, TEST_JAR, make_app, win_path

STUBCON = DIST / "stubcon.exe"
STUBWIN = DIST / "stubwin.exe"


@pytest.fixture(scope="module", autouse=True)
def built():
    for path in (STUBCON, STUBWIN, BRIDGE, TEST_JAR, DOUBLE):
        assert path.exists(), f"{path} is missing: run `make dist` first"


def kept_files(folder, name):
    """The log and its rolled files, oldest first."""
    rolled = sorted((int(p.name[len(name) + 1:]), p) for p in folder.glob(name + ".*")
                    if re.fullmatch(r"\d+", p.name[len(name) + 1:]))
    return [p for _, p in reversed(rolled)] + [folder / name]


def numbers(files):
    """Every line of the files in order, as numbers (Windows or Unix line ends)."""
    return [int(line.rstrip(b"\r").rstrip(b".")) for f in files for line in f.read_bytes().split(b"\n")[:-1]]


def test_lines_cross_several_rolls_each_number_once_in_order_and_the_start_keeps_the_last_run(wine, scratch):
    exe = make_app(scratch, STUBCON, {"MainClass": "testapps.NumberedLines", "SystemOutFile": "logs\\out.log",
                                      "LogRollBytes": "1000000", "LogKeep": "3"})
    logs = scratch / "logs"
    logs.mkdir()
    (logs / "out.log").write_bytes(b"0\n")
    (logs / "out.log.3").write_bytes(b"-1\n")
    # 450,000 lines of 10 bytes: 4.5 MB, four rolls; the run before and the first megabyte are dropped.
    proc = wine.run(exe, 1, 450000, "out", 9)
    assert proc.returncode == 0, proc
    files = kept_files(logs, "out.log")
    assert [f.name for f in files] == ["out.log.3", "out.log.2", "out.log.1", "out.log"]
    assert [f.stat().st_size for f in files] == [1000000, 1000000, 1000000, 500000]
    assert numbers(files) == list(range(100001, 450001))
    # A second run rolls the first one's last file to out.log.1 at start.
    last = files[-1].read_bytes()
    proc = wine.run(exe, 7, 7, "out")
    assert proc.returncode == 0, proc
    assert (logs / "out.log.1").read_bytes() == last
    assert (logs / "out.log").read_bytes() == b"7\n"


def test_both_streams_into_one_file_in_the_order_written(wine, scratch):
    exe = make_app(scratch, STUBCON, {"MainClass": "testapps.NumberedLines", "SystemOutFile": "both.log",
                                      "SystemErrFile": ".\\BOTH.log"})
    (scratch / "both.log").write_bytes(b"old run\n")
    proc = wine.run(exe, 1, 20000, "both")
    assert proc.returncode == 0, proc
    assert proc.stdout == b"" and proc.stderr == b""
    assert numbers([scratch / "both.log"]) == list(range(1, 20001))


def test_the_jvm_own_output_reaches_the_file_of_a_windowed_launcher(wine, scratch):
    exe = make_app(scratch, STUBWIN, {"MainClass": "testapps.NumberedLines", "SystemOutFile": "out.log",
                                      "SystemErrFile": "err.log", "JvmOptions": "-Xlog:gc:stdout",
                                      "ShowSplash": "0"})
    proc = wine.run(exe, 1, 3, "both")
    assert proc.returncode == 0, proc
    out = (scratch / "out.log").read_bytes()
    assert b"Using G1" in out or b"Using " in out, out[:300]
    assert [line for line in out.split(b"\n") if line.isdigit()] == [b"1", b"3"]
    assert (scratch / "err.log").read_bytes() == b"2\n"


def test_c_runtime_output_of_the_runtime_reaches_the_file_without_a_console(wine, scratch):
    exe = make_app(scratch, STUBWIN, {"MainClass": "App", "SystemOutFile": "out.log", "ShowSplash": "0"},
                   runtime=DOUBLE)
    proc = wine.run(exe, "arg", env={"JVMDOUBLE_MAIN": "print,crt:from the C runtime,print"})
    assert proc.returncode == 0, proc
    assert (scratch / "out.log").read_bytes().replace(b"\r\n", b"\n") == b"arg\nfrom the C runtime\narg\n"


def test_an_unwritable_log_never_stops_the_application_is_reported_once_and_resumes(wine, scratch):
    exe = make_app(scratch, STUBCON, {"MainClass": "App", "SystemOutFile": "missing\\out.log", "LogKeep": "1"},
                   runtime=DOUBLE)
    gate = scratch / "gate"
    proc = wine.start(exe, env={"JVMDOUBLE_MAIN": f"env:FIRST,waitfile:{win_path(gate)},sleep:1500,env:SECOND",
                                "FIRST": "1", "SECOND": "2"})
    report = proc.stderr.readline().decode()
    assert report.startswith(f"The log file {win_path(scratch / 'missing' / 'out.log')} cannot be written"), report
    (scratch / "missing").mkdir()
    gate.touch()
    out, err = proc.communicate(timeout=120)
    assert proc.returncode == 0, (out, err)
    assert err == b""
    assert (scratch / "missing" / "out.log").read_bytes() == b"SECOND=2\r\n"
