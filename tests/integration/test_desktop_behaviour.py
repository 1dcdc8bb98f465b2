"""What Windows users expect of an application's launcher beyond starting it, with real Java through
the bridge: a command-line tool that works in the directory it is called from, a restart the
application asks for, and a way to get Java when there is none."""
import subprocess
import time

import pytest

from conftest import BRIDGE, DIST, TEST_JAR, loader, make_app, stamp, text, watch_boxes, win_path

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
    """The windowed launcher too: its restarted instance is admitted as the one running. (Under Wine
    the first process has ended before the new one looks for the mutex, so this run cannot show that
    the mutex is released before the start; the order is in the exit hook.)"""
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


URL = "https://example.com/get-java?for=stub&v=17"
NO_RUNTIME = "Unable to locate suitable Java Runtime Environment on this machine."
APP_ID = "Harbor.Desk.Caf\u00e9"
# Wine 8 only names the ID it is given (after its thread number, with the é as its code unit): its
# SetCurrentProcessExplicitAppUserModelID is a stub.
APP_ID_SET = 'fixme:shcore:SetCurrentProcessExplicitAppUserModelID L"Harbor.Desk.Caf\\00e9": stub'


def without_thread(lines):
    return [line.split(":", 1)[1] if ":fixme:" in line or ":trace:" in line else line for line in lines]


@pytest.fixture
def browser(wine, scratch):
    """Wine's winebrowser, which opens web addresses for the shell, made to record them instead."""
    opened = scratch / "opened.txt"
    script = scratch / "browser.sh"
    script.write_text(f'#!/bin/sh\necho "$1" >> "{opened}"\n')
    script.chmod(0o755)
    key = r"HKCU\Software\Wine\WineBrowser"
    subprocess.run([loader("cmd"), "reg", "add", key, "/v", "Browsers", "/d", str(script), "/f"], env=wine.env(),
                   check=True, capture_output=True, timeout=60)
    yield opened
    subprocess.run([loader("cmd"), "reg", "delete", key, "/v", "Browsers", "/f"], env=wine.env(), capture_output=True,
                   timeout=60)


def test_without_a_runtime_the_console_prints_the_download_address_on_a_line_of_its_own(wine, scratch):
    exe = stamp(DIST / "stubcon.exe", {"JavaDownloadUrl": URL, "AppUserModelId": APP_ID}, scratch / "app.exe")
    proc = wine.run(exe, env={"WINEDEBUG": "-all,fixme+shcore"}, check_exit=255)
    assert without_thread(text(proc.stderr).splitlines()) == [APP_ID_SET, NO_RUNTIME, URL]


def test_without_a_runtime_the_windowed_launcher_asks_and_opens_the_address(wine, scratch, browser):
    """The taskbar identity is set before the first window, here the message box."""
    exe = stamp(DIST / "stubwin.exe", {"JavaDownloadUrl": URL, "AppUserModelId": APP_ID, "ShowSplash": "0"},
                scratch / "app.exe")
    proc = wine.start(exe, env={"WINEDEBUG": "-all,fixme+shcore,trace+msgbox"})
    question = f"Java can be downloaded from {URL}. Open this address now?"
    assert watch_boxes(wine, 1, button=6) == [("Error", f"{NO_RUNTIME}\\n\\n{question}")]
    assert proc.wait(timeout=60) == 255
    traced = [line for line in without_thread(text(proc.stderr.read()).splitlines()) if "shcore" in line or "msgbox" in line]
    assert traced[0] == APP_ID_SET and traced[1].startswith("trace:msgbox:MSGBOX_OnInit")
    wait_for(browser.exists, timeout=30)
    assert browser.read_text().splitlines() == [URL]
