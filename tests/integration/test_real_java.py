"""The console launcher running real Java (Debian's OpenJDK through the Wine-hosted bridge jvm.dll):
exit codes, Java's own output and the launcher's reports as a user sees them. Every run starts a JVM
(about a second), so one run carries several observations where they do not get in each other's way."""
import pytest

from conftest import BRIDGE, DIST, TEST_JAR, make_app, text, win_path

STUBCON = DIST / "stubcon.exe"
MAIN_LABEL = "main(java/lang/String[])"


@pytest.fixture(scope="module", autouse=True)
def built():
    for path in (STUBCON, BRIDGE, TEST_JAR):
        assert path.exists(), f"{path} is missing: run `make dist` first"


def app(directory, main_class, **settings):
    return make_app(directory, STUBCON, {"MainClass": main_class, **settings})


def lines(data):
    return text(data).splitlines()


def printed(proc, prefix):
    return [line[len(prefix):] for line in lines(proc.stdout) if line.startswith(prefix)]


def test_normal_run_defaults_unknown_x_option_and_working_directory_after_creation(wine, scratch):
    # The directory change waits until just before main, so the class path still resolves beside the
    # executable while Java sees the working directory; the start directory is a third one.
    exe = app(scratch / "app", "testapps.PrintArgs", ChangeDirectoryBeforeJvm="0", WorkingDirectory="data",
              JvmOptions="-Xno-such-flag -Dtest.prop=kept", AppOptions='default "two words"')
    (scratch / "app" / "data").mkdir()
    proc = wine.run(exe, cwd=scratch)
    assert proc.returncode == 0, proc
    assert proc.stderr == b""
    assert printed(proc, "arg:") == ["default", "two words"]
    assert printed(proc, "user.dir=") == [win_path(scratch / "app" / "data")]
    assert printed(proc, "test.prop=") == ["kept"]
    assert printed(proc, "thread=") == ["main"]


def test_command_line_replaces_defaults_and_working_directory_before_creation(wine, scratch):
    # With the change made before creation, the runtime path and the class path resolve against the
    # working directory, not against the executable's own one.
    exe = app(scratch / "bin", "testapps.PrintArgs", ChangeDirectoryBeforeJvm="1", WorkingDirectory="..",
              AppOptions="never used")
    for name in ("jvm.dll", "testapps.jar"):
        (scratch / "bin" / name).rename(scratch / name)
    proc = wine.run(exe, "first", "", "with space")
    assert proc.returncode == 0, proc
    assert printed(proc, "arg:") == ["first", "", "with space"]
    assert printed(proc, "user.dir=") == [win_path(scratch)]


def test_uncaught_exception_prints_its_trace_then_the_report(wine, scratch):
    proc = wine.run(app(scratch, "testapps.Throws"))
    assert proc.returncode == 255, proc
    err = lines(proc.stderr)
    assert err[0] == "Exception in thread \"main\" java.lang.IllegalStateException: thrown from main"
    assert err[1].strip().startswith("at testapps.Throws.main(")
    assert err[-1] == f"Error invoking method: {MAIN_LABEL}"
    assert proc.stdout == b""


def test_class_without_main_is_reported_with_the_method_label(wine, scratch):
    proc = wine.run(app(scratch, "testapps.NoMain"))
    assert proc.returncode == 255, proc
    err = lines(proc.stderr)
    assert any("java.lang.NoSuchMethodError" in line and "main" in line for line in err[:-1]), err
    assert err[-1] == f"Error locating method: {MAIN_LABEL}"


def test_missing_class_is_reported_in_slash_form_after_the_streams_are_redirected(wine, scratch):
    exe = app(scratch, "testapps.sub.Absent", SystemErrFile="java-err.txt")
    proc = wine.run(exe)
    assert proc.returncode == 255, proc
    # The exception's trace follows the redirection; the launcher's report stays on the console. The
    # JVM itself writes the "Exception in thread" prefix of ExceptionDescribe natively, to the console.
    assert b"NoClassDefFoundError" not in proc.stderr
    assert proc.stderr.endswith(b"Error locating class: testapps/sub/Absent\r\n")
    assert "java.lang.NoClassDefFoundError: testapps/sub/Absent" in (scratch / "java-err.txt").read_text()


def test_launcher_waits_for_non_daemon_threads_after_main_returns(wine, scratch):
    proc = wine.run(app(scratch, "testapps.Lingering"))
    assert proc.returncode == 0, proc
    assert lines(proc.stdout) == ["main returns", "worker finished"]


def test_redirection_files_are_emptied_and_hold_only_the_new_output(wine, scratch):
    exe = app(scratch, "testapps.BothStreams", SystemOutFile="logs\\out.txt", SystemErrFile="err.txt")
    (scratch / "logs").mkdir()
    old = "an earlier run wrote this, and more than the new output\n" * 20
    for name in ("logs/out.txt", "err.txt"):
        (scratch / name).write_text(old)
    proc = wine.run(exe)
    assert proc.returncode == 0, proc
    assert (proc.stdout, proc.stderr) == (b"", b"")
    assert text((scratch / "logs" / "out.txt").read_bytes()) == "to out\n"
    assert text((scratch / "err.txt").read_bytes()) == "to err\n"


def test_option_the_runtime_refuses_fails_creation_with_the_dll_path(wine, scratch):
    # OpenJDK 17 under ignoreUnrecognized skips every option it does not know, "-X" or not, so an
    # unknown option cannot make creation fail; a known option with a value it refuses does.
    proc = wine.run(app(scratch, "testapps.PrintArgs", JvmOptions="-Xmxlots"))
    assert proc.returncode == 255, proc
    err = lines(proc.stderr)
    assert "Invalid maximum heap size: -Xmxlots" in err
    assert err[-1] == "Unable to create JVM instance using jvm.dll"
    assert proc.stdout == b""
