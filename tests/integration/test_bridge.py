"""The Wine-hosted bridge jvm.dll, driven by the bare reference host: real Java runs under Wine with the
calls, threads, paths and exit codes that the launcher relies on. Each case starts one JVM under Wine
(about a second), so related cases share a run where one run can show them all."""
import shutil
import subprocess
from pathlib import Path

import pytest

from conftest import BUILD_HOST, BUILD_WIN, wine_env, win_path

BRIDGE = BUILD_HOST / "bridge" / "jvm.dll"
JAR = BUILD_HOST / "java" / "testapps.jar"
CLASSES = BUILD_HOST / "java" / "classes"
REFERENCE = BUILD_WIN / "tests" / "fixtures" / "reference_launcher" / "reference_launcher.exe"
STOPPER_NAME = "Tarvik stopper thread"


@pytest.fixture(scope="module", autouse=True)
def built():
    for path in (BRIDGE, JAR, CLASSES, REFERENCE):
        assert path.exists(), f"{path} is missing: build the host and windows presets first"


class Run:
    def __init__(self, proc, log_path):
        self.code = proc.returncode
        self.out = proc.stdout.decode("utf-8", "replace").replace("\r\n", "\n")
        self.err = proc.stderr.decode("utf-8", "replace").replace("\r\n", "\n")
        text = log_path.read_text(encoding="utf-8") if log_path.exists() else ""
        self.log = [line.split("\t") for line in text.splitlines()]

    def logged(self, kind):
        return [fields[1:] for fields in self.log if fields[0] == kind]

    def __repr__(self):
        return f"exit {self.code}\n--- stdout\n{self.out}--- stderr\n{self.err}--- log\n{self.log}"


def host(wine, scratch, main_class, *args, options=(), class_path=None, cwd=None):
    """Runs the reference host on the bridge; the class path defaults to the test jar."""
    log_path = scratch / "bridge.log"
    log_path.unlink(missing_ok=True)
    cp = win_path(JAR) if class_path is None else class_path
    cmd = [win_path(BRIDGE), main_class, "-o", f"-Djava.class.path={cp}"]
    for option in options:
        cmd += ["-o", option]
    proc = wine.run(REFERENCE, *cmd, *args, cwd=cwd or scratch, timeout=90,
                    env={"STUB_BRIDGE_LOG": str(log_path)})
    return Run(proc, log_path)


@pytest.mark.parametrize("mode,created_on", [([], "helper-thread"), (["--worker"], "calling-thread")])
def test_main_receives_arguments_options_and_properties(wine, scratch, mode, created_on):
    user_dir = win_path(scratch)
    run = host(wine, scratch, "testapps/PrintArgs", *mode, "--prop", f"user.dir={user_dir}",
               "--", "first", "with space", options=["-Dtest.prop=from options"])
    assert run.code == 0, run
    assert run.out.splitlines() == [
        "arg:first", "arg:with space", f"user.dir={user_dir}", "test.prop=from options", "thread=main"]
    assert ["-Dtest.prop=from options"] in run.logged("option")
    assert ["user.dir", user_dir] in run.logged("property")
    assert run.logged("create_result") == [["0", created_on]]
    assert run.logged("destroy_result") == [["0"]]


@pytest.mark.parametrize("main_class,code,messages", [
    ("testapps/Throws", 5, ["java.lang.IllegalStateException: thrown from main",
                            "main of testapps/Throws threw"]),
    ("testapps/NoMain", 4, ["java.lang.NoSuchMethodError: static Ltestapps/NoMain;.main",
                            "main method lookup failed"]),
    ("testapps/Absent", 4, ["java.lang.NoClassDefFoundError: testapps/Absent",
                            "main class lookup failed"]),
])
def test_java_failures_reach_the_host_as_pending_exceptions(wine, scratch, main_class, code, messages):
    run = host(wine, scratch, main_class)
    assert run.code == code, run
    for message in messages:
        assert message in run.err, run


def copy_apps(scratch):
    """A jar in a directory whose name holds a space, and the class directory, below scratch/app."""
    app = scratch / "app"
    (app / "lib dir").mkdir(parents=True)
    shutil.copy(JAR, app / "lib dir" / "apps.jar")
    shutil.copytree(CLASSES, app / "Classes")
    return app


@pytest.mark.parametrize("entry,target", [
    ("absolute", Path("lib dir") / "apps.jar"),
    ("lib dir\\apps.jar", Path("lib dir") / "apps.jar"),
    (".\\Classes\\", Path("Classes")),
])
def test_class_path_entries_become_unix_paths(wine, scratch, entry, target):
    app = copy_apps(scratch)
    if entry == "absolute":
        entry = win_path(app / target)
    # The host starts in scratch and then moves into app, so relative entries must follow Windows.
    class_path = f"missing dir\\none.jar;{entry}"
    run = host(wine, scratch, "testapps/PrintArgs", "--cd", win_path(app), "--", "found",
               class_path=class_path)
    assert run.code == 0, run
    assert run.out.splitlines()[0] == "arg:found"
    assert [f"-Djava.class.path={class_path}"] in run.logged("option")
    assert [f"-Djava.class.path=missing dir/none.jar:{app / target}"] in run.logged("translated")
    assert run.logged("untranslated") == [["missing dir\\none.jar"]]


def test_relative_redirection_files_follow_the_windows_current_directory(wine, scratch):
    work = scratch / "work"
    work.mkdir()
    run = host(wine, scratch, "testapps/BothStreams", "--cd", win_path(work),
               "--out", "out.txt", "--err", "logs\\..\\err.txt")
    assert run.code == 0, run
    assert (work / "out.txt").read_text() == "to out\n"
    assert (work / "err.txt").read_text() == "to err\n"
    assert not (scratch / "out.txt").exists()
    assert "to out" not in run.out and "to err" not in run.err
    assert run.logged("file") == [["logs\\..\\err.txt", str(work / "err.txt")]]


def test_destroy_waits_for_a_non_daemon_thread(wine, scratch):
    run = host(wine, scratch, "testapps/Lingering")
    assert run.code == 0, run
    assert run.out.splitlines() == ["main returns", "worker finished"]


def test_system_exit_status_becomes_the_process_exit_code(wine, scratch):
    run = host(wine, scratch, "testapps/Exit", "--", "3")
    assert run.code == 3, run
    assert run.out == "exiting with 3\n"
    assert run.logged("destroy_result") == []


@pytest.mark.parametrize("mode", [[], ["--worker"]])
def test_stopper_thread_attaches_under_its_name_while_main_runs(wine, scratch, mode):
    run = host(wine, scratch, "testapps/ServiceApp", *mode, "--stopper", "testapps/ServiceApp", "stop",
               "--", "run")
    assert run.code == 0, run
    assert run.out.splitlines() == [
        "run called on thread: main",
        f"stop called on thread: {STOPPER_NAME}",
        "run stopped on request",
    ]
    assert run.logged("attach") == [[STOPPER_NAME]]
    assert run.logged("attach_result") == [["0"]]


# OpenJDK 17 skips every unknown option under ignoreUnrecognized, "-X" or not; a known option with a
# bad value still fails, as do the vfprintf and abort hook options, whose Windows functions the bridge
# cannot call.
@pytest.mark.parametrize("options,strict,code", [
    (["-Xbogus-option"], False, 0),
    (["-bogus-option"], False, 0),
    (["-bogus-option"], True, 3),
    (["-Xmxlots"], False, 3),
    (["vfprintf"], False, 3),
])
def test_option_acceptance_follows_ignore_unrecognized(wine, scratch, options, strict, code):
    run = host(wine, scratch, "testapps/PrintArgs", *(["--strict"] if strict else []), "--", "ran",
               options=options)
    assert run.code == code, run
    assert ("arg:ran" in run.out) == (code == 0)
    if code == 3:
        assert "JNI_CreateJavaVM returned" in run.err


def test_an_unforwarded_entry_fails_loudly_by_name(wine, scratch):
    run = host(wine, scratch, "testapps/PrintArgs", "--touch-unforwarded")
    assert run.code != 0
    assert "JNIEnv entry 217 (MonitorEnter) was called, but the bridge does not forward it" in run.err
    assert "arg:" not in run.out
