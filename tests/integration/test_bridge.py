"""The Wine-hosted bridge jvm.dll under the bare reference host: what the launcher's own tests through the
bridge (test_real_java, test_unicode, test_service) do not show; a relative redirection file following the
Windows current directory is test_unicode's."""
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
    log_path = scratch / "bridge.log"
    cmd = [win_path(BRIDGE), main_class, "-o", f"-Djava.class.path={win_path(JAR)}"]
    for option in options:
        cmd += ["-o", option]
    proc = wine.run(REFERENCE, *cmd, *args, cwd=scratch, timeout=90, env={"STUB_BRIDGE_LOG": str(log_path)})
    return Run(proc, log_path)


def test_system_exit_status_becomes_the_process_exit_code(wine, scratch):
    run = host(wine, scratch, "testapps/Exit", "--", "3")
    assert run.code == 3, run
    assert run.out == "exiting with 3\n"
    assert run.logged("destroy_result") == []


# OpenJDK 17 skips unknown options under ignoreUnrecognized, but not the vfprintf hook the bridge cannot call.
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
