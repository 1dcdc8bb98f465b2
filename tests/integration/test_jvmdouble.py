"""The test double jvm.dll under its own driver: natural failures read as a runtime's, and misuse and unimplemented
calls are caught, so that a launcher test whose log shows no violation means something."""
from conftest import BUILD_WIN, double_log, win_path

DRIVER = BUILD_WIN / "fixtures" / "double_driver.exe"
DOUBLE = BUILD_WIN / "fixtures" / "double" / "jvm.dll"


def drive(wine, scratch, *commands, **faults):
    env = {"JVMDOUBLE_LOG": win_path(scratch / "log.txt"), **{f"JVMDOUBLE_{k.upper()}": v for k, v in faults.items()}}
    proc = wine.run(DRIVER, win_path(DOUBLE), *commands, cwd=scratch, env=env)
    proc.log = double_log(scratch / "log.txt")
    (scratch / "log.txt").unlink(missing_ok=True)
    return proc


def lines(data):
    return data.decode("latin-1").splitlines()


def test_natural_failures_match_a_runtime(wine, scratch):
    proc = drive(wine, scratch, "create", "0", "redirect", "no\\such\\dir\\f.txt", "setOut", "redirect", "o.txt",
                 "setOutput", "main", "com.x.Main", "0", "main", "java/lang/Mian", "0")
    assert lines(proc.stdout) == [
        "create 0", "redirect failed at NewObject java/io/FileOutputStream: exception",
        "redirect failed at GetStaticMethodID setOutput: exception",
        "main failed at FindClass com.x.Main: exception", "main failed at FindClass java/lang/Mian: exception"]
    err = proc.stderr.decode("latin-1")
    assert 'Exception in thread "main" java.io.FileNotFoundException: no\\such\\dir\\f.txt (' in err
    assert "java.lang.NoSuchMethodError: java/lang/System.setOutput(Ljava/io/PrintStream;)V" in err
    assert "java.lang.NoClassDefFoundError: com.x.Main" in err
    assert "java.lang.NoClassDefFoundError: java/lang/Mian" in err


def test_misuse_is_reported(wine, scratch):
    proc = drive(wine, scratch, "create", "0", "borrowed", "main", "A", "0", "join", "main", "B", "0",
                 fail="findclass-exc:java/lang/String")
    violations = [fields[1] for fields in proc.log if fields[0] == "violation"]
    assert "FindClass: JNIEnv of another thread used" in violations
    assert "NewObjectArray: called with an exception pending" in violations
    assert b"jvmdouble: JNI misuse: NewObjectArray: called with an exception pending" in proc.stderr


def test_unimplemented_entry_and_unknown_names_abort(wine, scratch):
    proc = drive(wine, scratch, "create", "0", "entry", "21")
    assert proc.returncode != 0
    assert b"JNIEnv function table entry 21 is not implemented" in proc.stderr
    assert proc.log[-1][:2] == ["fatal", "unimplemented JNIEnv entry 21"]

    proc = drive(wine, scratch, "create", "0", fail="findclass,bogus:1")
    assert proc.returncode != 0 and b"unknown fault 'bogus:1'" in proc.stderr
    proc = drive(wine, scratch, "create", "0", "main", "A", "0", main="print,dance")
    assert proc.returncode != 0 and b"unknown action 'dance'" in proc.stderr
