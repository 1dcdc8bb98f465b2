"""The console launcher running real Java through the bridge: exit codes, Java's output and the launcher's
reports. Each run starts a JVM (about a second), so one run carries several observations."""
import pytest

from conftest import DIST, make_app, text, win_path

STUBCON = DIST / "stubcon.exe"
MAIN_LABEL = "main(java/lang/String[])"


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


@pytest.mark.parametrize("main_class, settings, described, report", [
    ("testapps.Throws", {}, 'Exception in thread "main" java.lang.IllegalStateException: thrown from main\n'
                            '\tat testapps.Throws.main(', f"Error invoking method: {MAIN_LABEL}"),
    ("testapps.NoMain", {}, "java.lang.NoSuchMethodError: ", f"Error locating method: {MAIN_LABEL}"),
    # The trace follows the redirection; the report, and the JVM's native "Exception in thread" prefix, do not.
    ("testapps.sub.Absent", {"SystemErrFile": "java-err.txt"}, "java.lang.NoClassDefFoundError: testapps/sub/Absent",
     'Exception in thread "main" Error locating class: testapps/sub/Absent'),
    # Unknown options are skipped ("-X" or not), so only a known one with a bad value fails creation.
    ("testapps.PrintArgs", {"JvmOptions": "-Xmxlots"}, "Invalid maximum heap size: -Xmxlots",
     "Unable to create JVM instance using jvm.dll"),
], ids=["throws", "no-main", "absent-after-redirection", "refused-option"])
def test_java_failures_print_the_exception_then_the_report(wine, scratch, main_class, settings, described, report):
    proc = wine.run(app(scratch, main_class, **settings))
    assert (proc.returncode, proc.stdout) == (255, b""), proc
    assert lines(proc.stderr)[-1] == report
    err_file = settings.get("SystemErrFile")
    assert (described in text(proc.stderr)) == (not err_file)
    assert not err_file or described in (scratch / err_file).read_text()
