"""The Wine-hosted bridge jvm.dll, driven by the bare reference host: real Java runs under Wine with the
calls, threads, paths and exit codes that the launcher relies on. Each case starts one JVM under Wine
(about a second), so related cases share a run where one run can show them all. What the launcher shows
through the bridge (arguments, options and properties, class-path entries of every form, Java's
failures, waiting for threads, a JVM made on a service's worker thread and its stopper thread) is
observed in test_real_java, test_unicode and test_service; here, what it does not show."""
import pytest

from conftest import BUILD_HOST, BUILD_WIN, win_path

BRIDGE = BUILD_HOST / "bridge" / "jvm.dll"
JAR = BUILD_HOST / "java" / "testapps.jar"
REFERENCE = BUILD_WIN / "tests" / "fixtures" / "reference_launcher" / "reference_launcher.exe"


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


def host(wine, scratch, main_class, *args, options=()):
    """Runs the reference host on the bridge with the test jar as its class path."""
    log_path = scratch / "bridge.log"
    cmd = [win_path(BRIDGE), main_class, "-o", f"-Djava.class.path={win_path(JAR)}"]
    for option in options:
        cmd += ["-o", option]
    proc = wine.run(REFERENCE, *cmd, *args, cwd=scratch, timeout=90, env={"STUB_BRIDGE_LOG": str(log_path)})
    return Run(proc, log_path)


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


def test_system_exit_status_becomes_the_process_exit_code(wine, scratch):
    run = host(wine, scratch, "testapps/Exit", "--", "3")
    assert run.code == 3, run
    assert run.out == "exiting with 3\n"
    assert run.logged("destroy_result") == []


# OpenJDK 17 skips every unknown option under ignoreUnrecognized, "-X" or not (test_real_java shows an
# unknown "-X" option skipped and a known one with a bad value refused), but not the vfprintf and abort
# hook options, whose Windows functions the bridge cannot call.
@pytest.mark.parametrize("options,strict,code", [
    (["-bogus-option"], False, 0),
    (["-bogus-option"], True, 3),
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
