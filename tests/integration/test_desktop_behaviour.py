"""What Windows users expect of an application's launcher beyond starting it, with real Java through
the bridge: a command-line tool that works in the directory it is called from, a restart the
application asks for, and a way to get Java when there is none."""
import subprocess
import time

import pytest

from conftest import BRIDGE, DIST, TEST_JAR, event_log, loader, make_app, stamp, text, watch_boxes, win_path

RESTART = "42"
LIMIT_MESSAGE = "The application asked to be restarted more than 5 times within 60 seconds; it was not started again."


@pytest.fixture(scope="module", autouse=True)
def built():
    for path in (DIST / "stubcon.exe", BRIDGE, TEST_JAR):
        assert path.exists(), f"{path} is missing: run `make dist` first"


def printed(proc, prefix):
    return [line[len(prefix):] for line in text(proc.stdout).splitlines() if line.startswith(prefix)]


@pytest.mark.parametrize("stub", ["stubcon", "stubwin"])
@pytest.mark.parametrize("flag", ["1", None])
def test_use_caller_directory_runs_the_application_where_the_launcher_was_started(wine, scratch, stub, flag):
    """The runtime and the class path are still found beside the launcher (shipped WorkingDirectory "."
    entered before the JVM); without the flag the application runs there as before."""
    settings = {"MainClass": "testapps.ReadRelative", "AppOptions": "input.txt"}
    if flag:
        settings["UseCallerDirectory"] = flag
    exe = make_app(scratch / "app", DIST / f"{stub}.exe", settings)
    project = scratch / "project dir"
    project.mkdir()
    (project / "input.txt").write_text("from the caller\n")
    (scratch / "app" / "input.txt").write_text("from the install folder\n")
    proc = wine.run(exe, cwd=project, check_exit=0)
    home = project if flag else scratch / "app"
    assert printed(proc, "user.dir=") == [win_path(home)]
    assert printed(proc, "read:") == ["from the caller" if flag else "from the install folder"]


def start_restarting(wine, scratch, stub, wanted, *args):
    """Starts a launcher of the Restart application, which asks for a restart until its log holds
    `wanted` runs, with its output in files that restarted processes inherit. Returns the first
    process's exit code and a reader of (log lines, stderr text)."""
    exe = make_app(scratch / "app", DIST / f"{stub}.exe", {"MainClass": "testapps.Restart", "RestartExitCode": RESTART})
    log, err = scratch / "runs.log", scratch / "err.txt"
    with open(err, "wb") as stderr:
        first = subprocess.run([loader(exe), str(exe), str(log), str(wanted), RESTART, *args], cwd=scratch,
                               env=wine.env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=stderr,
                               timeout=120).returncode
    return first, lambda: (log.read_text("utf-8").splitlines() if log.exists() else [], text(err.read_bytes()))


def wait_for(condition, timeout=120):
    """Restarted processes are no children of the test: their end shows only in what they write."""
    deadline = time.monotonic() + timeout
    while not condition():
        assert time.monotonic() < deadline, "timed out"
        time.sleep(0.2)


@pytest.mark.parametrize("stub", ["stubcon", "stubwin"])
def test_a_restart_asked_for_once_runs_the_application_again_with_the_same_arguments(wine, scratch, stub):
    """The windowed launcher lets go of its single-instance mutex first, or the new one would find
    itself a second instance."""
    first, read = start_restarting(wine, scratch, stub, 1, "two words", "\u00fcn\u00ef")
    assert first == 0
    wait_for(lambda: read()[0][-1:] == ["ended"])
    run = f"run {scratch / 'runs.log'}|1|{RESTART}|two words|\u00fcn\u00ef"
    assert read()[0] == [run, run, "ended"]


def test_an_application_that_always_asks_for_a_restart_stops_after_the_limit(wine, scratch):
    first, read = start_restarting(wine, scratch, "stubcon", 99)
    assert first == 0
    wait_for(lambda: LIMIT_MESSAGE in read()[1])
    runs, err = read()
    assert len(runs) == 6 and err.splitlines() == [LIMIT_MESSAGE]
