"""The test double jvm.dll, driven by its own driver: every call is logged with the exact arguments and
every fault can be injected. The launcher's integration tests rely on both."""
import subprocess
import time

import pytest

from conftest import BUILD_WIN, win_path, wine_env

FIXTURES = BUILD_WIN / "fixtures"
DRIVER = FIXTURES / "double_driver.exe"
DOUBLE = FIXTURES / "double" / "jvm.dll"
NOINIT = FIXTURES / "double-noinit" / "jvm.dll"

pytestmark = pytest.mark.skipif(not DRIVER.exists(), reason="needs the windows build")

SET_PROPERTY_SIG = "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;"


def read_log(path):
    """The log as (fields, thread number) pairs."""
    entries = []
    for line in path.read_bytes().decode("latin-1").split("\n")[:-1]:
        *fields, thread = line.split("\t")
        assert thread.startswith("thread="), line
        entries.append((tuple(fields), int(thread[len("thread="):])))
    return entries


def calls(path):
    """The log without the checks that follow each call and without thread numbers."""
    return [fields for fields, _ in read_log(path) if fields[0] != "ExceptionCheck"]


class Driver:
    def __init__(self, wine, scratch):
        self.wine = wine
        self.scratch = scratch
        self.log = scratch / "log.txt"

    def run(self, *commands, fail=None, main=None, dll=DOUBLE, timeout=60):
        env = {"JVMDOUBLE_LOG": win_path(self.log)}
        if fail:
            env["JVMDOUBLE_FAIL"] = fail
        if main:
            env["JVMDOUBLE_MAIN"] = main
        return self.wine.run(DRIVER, win_path(dll), *commands, cwd=self.scratch, env=env, timeout=timeout)


@pytest.fixture
def driver(wine, scratch):
    return Driver(wine, scratch)


def lines(data):
    return data.decode("latin-1").splitlines()


def test_each_dll_exports_exactly_its_entry_points():
    for dll, expected in [(DOUBLE, ["JNI_CreateJavaVM", "JNI_GetDefaultJavaVMInitArgs"]),
                          (NOINIT, ["JNI_CreateJavaVM"])]:
        dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", str(dll)], capture_output=True,
                              text=True, check=True).stdout
        table = dump.split("[Ordinal/Name Pointer] Table")[1].split("\n\n")[0]
        names = [row.split("]")[1].strip() for row in table.strip().splitlines()]
        assert names == expected


@pytest.mark.parametrize("style", ["plain", "v", "a"])
def test_logs_exact_arguments_of_a_launch_in_order(driver, scratch, style):
    (scratch / "out.txt").write_bytes(b"old content that must go\r\n")
    odd = "caf\xe9\tx"  # a byte above 0x7F and a tab
    proc = driver.run("style", style, "create", "3", "-Xmx64m", "-Dk=v w", "-Djava.class.path=a.jar;b.jar",
                      "property", "user.dir", "C:\\app dir", "redirect", "out.txt", "setOut",
                      "main", "com/x/Main", "3", "one", "", odd, "destroy", main="print")
    assert proc.returncode == 0, proc
    assert lines(proc.stdout) == ["style ok", "create 0", "property previous null", "property ok",
                                  "redirect ok", "main ok", "destroyed 0"]
    assert (scratch / "out.txt").read_bytes() == b"one\r\n\r\ncaf\xe9\tx\r\n"
    escaped = "caf\xe9\\x09x"
    assert calls(driver.log) == [
        ("JNI_CreateJavaVM", "0x00010002", "3", "1"),
        ("option", "-Xmx64m"), ("option", "-Dk=v w"), ("option", "-Djava.class.path=a.jar;b.jar"),
        ("NewStringUTF", "user.dir"), ("NewStringUTF", "C:\\app dir"),
        ("FindClass", "java/lang/System"),
        ("GetStaticMethodID", "java/lang/System", "setProperty", SET_PROPERTY_SIG),
        ("CallStaticObjectMethod", "java/lang/System", "setProperty", "user.dir", "C:\\app dir"),
        ("NewStringUTF", "out.txt"),
        ("FindClass", "java/io/FileOutputStream"),
        ("GetMethodID", "java/io/FileOutputStream", "<init>", "(Ljava/lang/String;Z)V"),
        ("NewObject", "java/io/FileOutputStream", "(Ljava/lang/String;Z)V", "out.txt", "false"),
        ("FindClass", "java/io/PrintStream"),
        ("GetMethodID", "java/io/PrintStream", "<init>", "(Ljava/io/OutputStream;)V"),
        ("NewObject", "java/io/PrintStream", "(Ljava/io/OutputStream;)V", "FileOutputStream:out.txt"),
        ("FindClass", "java/lang/System"),
        ("GetStaticMethodID", "java/lang/System", "setOut", "(Ljava/io/PrintStream;)V"),
        ("CallStaticVoidMethod", "java/lang/System", "setOut", "PrintStream:out.txt"),
        ("FindClass", "com/x/Main"),
        ("GetStaticMethodID", "com/x/Main", "main", "([Ljava/lang/String;)V"),
        ("FindClass", "java/lang/String"),
        ("NewObjectArray", "3", "java/lang/String", "null"),
        ("NewStringUTF", "one"), ("SetObjectArrayElement", "0", "one"),
        ("NewStringUTF", ""), ("SetObjectArrayElement", "1", ""),
        ("NewStringUTF", escaped), ("SetObjectArrayElement", "2", escaped),
        ("CallStaticVoidMethod", "com/x/Main", "main", "java/lang/String[3]", "one", "", escaped),
        ("DetachCurrentThread",), ("DestroyJavaVM",),
    ]
    assert {thread for _, thread in read_log(driver.log)} == {1}


def test_creation_arguments_and_entry_points(driver):
    proc = driver.run("create", "0", "initargs", "getenv", "destroy")
    assert lines(proc.stdout) == ["create 0", "initargs 0", "initargs ok", "getenv 0 same", "getenv ok",
                                  "destroyed 0"]
    assert calls(driver.log) == [("JNI_CreateJavaVM", "0x00010002", "0", "1"), ("options", "null"),
                                 ("JNI_GetDefaultJavaVMInitArgs", "0x00010002"), ("GetEnv", "0x00010004"),
                                 ("DetachCurrentThread",), ("DestroyJavaVM",)]
    proc = driver.run("initargs", dll=NOINIT)
    assert lines(proc.stdout) == ["initargs missing", "initargs ok"]


@pytest.mark.parametrize("fault,code", [("create", -1), ("create=-6", -6), ("create=7", 7)])
def test_create_fault_sets_the_result(driver, fault, code):
    proc = driver.run("create", "1", "-Xss1m", "main", "A", "0", fail=fault)
    assert proc.returncode == 2
    assert lines(proc.stdout) == [f"create {code}"]
    assert calls(driver.log) == [("JNI_CreateJavaVM", "0x00010002", "1", "1"), ("option", "-Xss1m")]


LAUNCH = ["create", "0", "property", "user.dir", "C:\\w", "redirect", "out.txt", "setErr",
          "main", "app/Main", "2", "x", "y"]

# fault, the driver's lines for the failed commands, the exception text described (None: null only). One
# row of each kind: the launcher's hosting tests inject every other fault and read what it does.
REFERENCE_FAULTS = [
    ("findclass:java/io/PrintStream", ["redirect failed at FindClass java/io/PrintStream: null"], None),
    ("method-exc:main", ["main failed at GetStaticMethodID main: exception"],
     "double.InjectedFailure: method-exc:main"),
    ("newstring", ["property failed at NewStringUTF key: null", "redirect failed at NewStringUTF: null",
                   "main failed at NewStringUTF x: null"], None),
    ("newstring-exc:C:\\w", ["property failed at NewStringUTF value: exception"],
     "double.InjectedFailure: newstring-exc:C:\\w"),
    ("exception:setErr", ["redirect failed at CallStaticVoidMethod setErr: exception"],
     "double.InjectedFailure: exception:setErr"),
    ("exception:main", ["main failed at CallStaticVoidMethod main: exception"],
     "double.InjectedFailure: exception:main"),
]


@pytest.mark.parametrize("fault,failures,described", REFERENCE_FAULTS, ids=[f[0] for f in REFERENCE_FAULTS])
def test_injected_fault_fails_exactly_its_step(driver, scratch, fault, failures, described):
    proc = driver.run(*LAUNCH, fail=fault, main="printerr:main ran")
    out = lines(proc.stdout)
    assert proc.returncode == 0, proc
    assert [line for line in out if "failed" in line] == failures
    log = read_log(driver.log)
    checks = [fields for fields, _ in log if fields[0] == "ExceptionCheck"]
    assert ("ExceptionCheck", "pending") in checks if described else ("ExceptionCheck", "pending") not in checks
    if described:
        names = [fields[0] for fields, _ in log]
        at = names.index("ExceptionDescribe")
        assert names[at - 1:at + 2] == ["ExceptionCheck", "ExceptionDescribe", "ExceptionClear"]
        assert log[at][0] == ("ExceptionDescribe", described)
        # Before setErr succeeds the text goes to the process's stderr, afterwards to the file.
        redirected = (scratch / "out.txt").exists() and b"Exception" in (scratch / "out.txt").read_bytes()
        where = (scratch / "out.txt").read_bytes() if redirected else proc.stderr
        assert f'Exception in thread "main" {described}\r\n'.encode("latin-1") in where
    # main runs unless an earlier step of the main command failed; an exception of main escapes after it ran.
    main_reached = not any(line.startswith("main") for line in failures) or fault == "exception:main"
    err_file = (scratch / "out.txt").read_bytes() if (scratch / "out.txt").exists() else b""
    assert (b"main ran" in err_file + proc.stderr) == main_reached


def test_natural_failures_match_a_runtime(driver, scratch):
    proc = driver.run("create", "0", "redirect", "no\\such\\dir\\f.txt", "setOut", "redirect", "o.txt",
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


def test_exit_paths_end_the_process(driver):
    proc = driver.run("create", "0", "main", "A", "0", "destroy", main="print,exit:7")
    assert proc.returncode == 7
    assert lines(proc.stdout) == ["create 0"]
    assert calls(driver.log)[-1] == ("main-exit", "7")

    driver.log.unlink()
    proc = driver.run("create", "0", "async", "0", "exit", "join", "main", "A", "0")
    assert proc.returncode == 0
    assert lines(proc.stdout) == ["create 0"]
    assert ("CallStaticVoidMethod", "java/lang/System", "exit", "0") in calls(driver.log)

    proc = driver.run("create", "0", "exit", "destroy", fail="exception:exit")
    assert lines(proc.stdout) == ["create 0", "exit failed at CallStaticVoidMethod exit: exception",
                                  "destroyed 0"]


def test_stop_call_on_an_attached_thread_releases_waitstop(driver):
    proc = driver.run("create", "0", "async", "300", "main", "svc/Main", "1", "stop", "main", "svc/Main", "1",
                      "run", "destroy", main="waitstop,printerr:released", timeout=30)
    assert lines(proc.stdout) == ["create 0", "main ok", "main ok", "destroyed 0"]
    assert proc.stderr.count(b"released") == 1
    log = read_log(driver.log)
    stopper = [fields for fields, thread in log if thread == 2 and fields[0] != "ExceptionCheck"]
    assert stopper[0] == ("AttachCurrentThread", "0x00010004", "double stopper", "null")
    assert ("CallStaticVoidMethod", "svc/Main", "main", "java/lang/String[1]", "stop") in stopper
    assert stopper[-1] == ("DetachCurrentThread",)
    assert not [fields for fields, _ in log if fields[0] == "violation"]


@pytest.mark.parametrize("fault,code", [("attach", -1), ("attach=-3", -3)])
def test_attach_fault(driver, fault, code):
    proc = driver.run("create", "0", "async", "0", "main", "A", "0", "join", "destroy", fail=fault)
    assert lines(proc.stdout) == ["create 0", f"attach failed {code}", "join ok", "destroyed 0"]
    assert ("FindClass", "A") not in calls(driver.log)


def test_destroy_waits_for_java_and_attached_threads(driver):
    started = time.monotonic()
    proc = driver.run("create", "0", "main", "A", "0", "destroy", main="thread:800")
    assert lines(proc.stdout) == ["create 0", "main ok", "thread done", "destroyed 0"]
    assert time.monotonic() - started > 0.8

    proc = driver.run("create", "0", "async", "0", "main", "A", "0", "sleep", "300", "destroy", main="sleep:1000")
    assert lines(proc.stdout) == ["create 0", "sleep ok", "main ok", "destroyed 0"]


def test_misuse_is_reported(driver):
    proc = driver.run("create", "0", "borrowed", "main", "A", "0", "join", "main", "B", "0",
                      fail="findclass-exc:java/lang/String")
    violations = [fields[1] for fields, _ in read_log(driver.log) if fields[0] == "violation"]
    assert "FindClass: JNIEnv of another thread used" in violations
    assert "NewObjectArray: called with an exception pending" in violations
    assert b"jvmdouble: JNI misuse: NewObjectArray: called with an exception pending" in proc.stderr


def test_unimplemented_entry_and_unknown_names_abort(driver):
    proc = driver.run("create", "0", "entry", "21")
    assert proc.returncode != 0
    assert b"JNIEnv function table entry 21 is not implemented" in proc.stderr
    assert calls(driver.log)[-1] == ("fatal", "unimplemented JNIEnv entry 21")

    proc = driver.run("create", "0", fail="findclass,bogus:1")
    assert proc.returncode != 0 and b"unknown fault 'bogus:1'" in proc.stderr
    proc = driver.run("create", "0", "main", "A", "0", main="print,dance")
    assert proc.returncode != 0 and b"unknown action 'dance'" in proc.stderr


def test_window_action_shows_a_titled_window(gui_wine, scratch):
    process = gui_wine.start(DRIVER, win_path(DOUBLE), "create", "0", "main", "A", "0", "destroy",
                             cwd=scratch, env={"JVMDOUBLE_MAIN": "window:1500"})
    try:
        found = b""
        deadline = time.monotonic() + 20
        while not found and time.monotonic() < deadline:
            found = subprocess.run(["xdotool", "search", "--name", "^double window$"],
                                   env={"DISPLAY": gui_wine.display}, capture_output=True).stdout.strip()
            time.sleep(0.2)
        assert found
        out, _ = process.communicate(timeout=30)
        assert lines(out) == ["create 0", "main ok", "destroyed 0"]
    finally:
        process.kill()
