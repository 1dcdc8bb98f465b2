"""The console launcher running real Java (Debian's OpenJDK through the Wine-hosted bridge jvm.dll):
exit codes, Java's own output and the launcher's reports as a user sees them. Every run starts a JVM
(about a second), so one run carries several observations where they do not get in each other's way.
The command line, the working directory before creation and the redirection files are observed with the
test double (test_jvm_hosting), whose log shows each call the launcher makes."""
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


@pytest.mark.parametrize("main_class, err_file, described, report", [
    ("testapps.Throws", "", 'Exception in thread "main" java.lang.IllegalStateException: thrown from main\n'
                            '\tat testapps.Throws.main(', f"Error invoking method: {MAIN_LABEL}"),
    ("testapps.NoMain", "", "java.lang.NoSuchMethodError: ", f"Error locating method: {MAIN_LABEL}"),
    # The exception's trace follows the redirection; the launcher's report stays on the console. The JVM
    # itself writes the "Exception in thread" prefix of ExceptionDescribe natively, to the console.
    ("testapps.sub.Absent", "java-err.txt", "java.lang.NoClassDefFoundError: testapps/sub/Absent",
     'Exception in thread "main" Error locating class: testapps/sub/Absent'),
], ids=["throws", "no-main", "absent-after-redirection"])
def test_java_failures_print_the_exception_then_the_report(wine, scratch, main_class, err_file, described, report):
    proc = wine.run(app(scratch, main_class, SystemErrFile=err_file))
    assert (proc.returncode, proc.stdout) == (255, b""), proc
    assert lines(proc.stderr)[-1] == report
    assert (described in text(proc.stderr)) == (not err_file)
    assert not err_file or described in (scratch / err_file).read_text()


def test_launcher_waits_for_non_daemon_threads_after_main_returns(wine, scratch):
    proc = wine.run(app(scratch, "testapps.Lingering"))
    assert proc.returncode == 0, proc
    assert lines(proc.stdout) == ["main returns", "worker finished"]


def test_option_the_runtime_refuses_fails_creation_with_the_dll_path(wine, scratch):
    # OpenJDK 17 under ignoreUnrecognized skips every option it does not know, "-X" or not, so an
    # unknown option cannot make creation fail; a known option with a value it refuses does.
    proc = wine.run(app(scratch, "testapps.PrintArgs", JvmOptions="-Xmxlots"))
    assert proc.returncode == 255, proc
    err = lines(proc.stderr)
    assert "Invalid maximum heap size: -Xmxlots" in err
    assert err[-1] == "Unable to create JVM instance using jvm.dll"
    assert proc.stdout == b""
