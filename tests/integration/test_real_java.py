"""The console launcher running real Java through the bridge: exit codes, Java's output and the launcher's
reports. Each run starts a JVM (about a second), so one run carries several observations."""
import pytest

from conftest import DIST, make_app, text

STUBCON = DIST / "stubcon.exe"
MAIN_LABEL = "main(java/lang/String[])"


def app(directory, main_class, **settings):
    return make_app(directory, STUBCON, {"MainClass": main_class, **settings})


def lines(data):
    return text(data).splitlines()


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
