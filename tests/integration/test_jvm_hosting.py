"""JVM hosting with the test-double jvm.dll, whose log is the runtime's view of the launcher's calls; stdout,
stderr, exit codes and files are the user's."""
import shutil

import pytest

from conftest import BUILDS, DIST, DOUBLE, double_log, stamp, win_path

STUBCON = DIST / "stubcon.exe"
MAIN_CLASS = "com/example/App"


class App:
    """A launcher in scratch/app with the double beside it; the log outside, where no class-path walk sees it."""

    def __init__(self, wine, scratch, settings, stub=STUBCON, runtime=DOUBLE):
        self.wine = wine
        self.dir = scratch / "app"
        self.dir.mkdir(parents=True, exist_ok=True)
        self.log = scratch / "double.log"
        if runtime is not None:
            shutil.copy(runtime, self.dir / "jvm.dll")
        base = {"MainClass": MAIN_CLASS.replace("/", "."), "JvmPath": "jvm.dll", "JvmSearchMode": "0",
                "ClassPath": "", "JvmOptions": "", "AppOptions": "", "WorkingDirectory": "",
                "ChangeDirectoryBeforeJvm": "0", "SystemOutFile": "", "SystemErrFile": "", "ShowSplash": "0"}
        base.update(settings)
        self.exe = stamp(stub, base, self.dir / "app.exe")

    def run(self, *args, env=None, cwd=None, **double):
        """Runs the launcher; `fail` and `main` reach the double as JVMDOUBLE_FAIL and JVMDOUBLE_MAIN."""
        self.log.unlink(missing_ok=True)
        env = {"JVMDOUBLE_LOG": win_path(self.log), **{f"JVMDOUBLE_{k.upper()}": v for k, v in double.items() if v},
               **(env or {})}
        return self.wine.run(self.exe, *args, cwd=cwd or self.dir, env=env, timeout=60)

    def calls(self):
        """The logged calls without thread numbers and without the checks that follow each call."""
        return [tuple(fields[:-1]) for fields in double_log(self.log) if fields[0] != "ExceptionCheck"]

    def options(self):
        calls = self.calls()
        create = [c for c in calls if c[0] == "JNI_CreateJavaVM"]
        assert len(create) == 1, calls
        count = int(create[0][2])
        return [c[1] for c in calls if c[0] == "option"][:count] if count else []

    def user_dir(self):
        sets = [c for c in self.calls() if c[:3] == ("CallStaticObjectMethod", "java/lang/System", "setProperty")]
        assert len(sets) == 1 and sets[0][3] == "user.dir", sets
        return sets[0][4]


def crlf_lines(data):
    """Console output split into its lines; each must end in exactly one CR LF."""
    assert data.endswith(b"\r\n") or data == b"", data
    lines = data.split(b"\r\n")[:-1]
    assert all(b"\r" not in line and b"\n" not in line for line in lines), data
    return [line.decode("latin-1") for line in lines]


# The walk's order and which names it takes are the unit tests' matter (jvm_options_test.cpp, on an
# in-memory tree); here, the file system under Wine: real listings, and links that lead back up the tree.
@pytest.mark.parametrize("build", BUILDS)
def test_class_path_walks_real_folders_and_links_back_up_the_tree_taking_each_archive_once(wine, scratch, build):
    app = App(wine, scratch, {"ClassPath": "loop;deep;case"}, stub=build.stubcon, runtime=build.double)
    (app.dir / "loop").mkdir()
    (app.dir / "loop" / "a.jar").write_bytes(b"PK")
    for name in ("s1", "s2"):  # two links to the folder itself
        (app.dir / "loop" / name).symlink_to(".")
    (app.dir / "deep" / "b" / "c").mkdir(parents=True)
    (app.dir / "deep" / "b" / "c" / "x.jar").write_bytes(b"PK")
    (app.dir / "deep" / "b" / "c" / "up").symlink_to("../..")  # three levels down, back to deep
    (app.dir / "case" / "sub.jar").mkdir(parents=True)  # a folder named like an archive is walked, not taken
    (app.dir / "case" / "sub.jar" / "Q.ZIP").write_bytes(b"PK")
    proc = app.run()
    assert (proc.returncode, proc.stderr) == (0, b""), proc
    assert app.options() == ["-Djava.class.path=loop;loop\\a.jar;deep;deep\\b\\c\\x.jar;case;case\\sub.jar\\Q.ZIP"]


# Tokenizing and expansion are the unit tests' matter; these are the list as the runtime receives it and
# the environment as Windows keeps it.
@pytest.mark.parametrize("options, class_path, env, expected", [
    ("", ";;;", {}, None),  # no option at all: a null array
    ("-Da=1 ", ";lib\\a b.jar;;x.txt;", {}, ["-Da=1", "", "-Djava.class.path=lib\\a b.jar;x.txt"]),
    ("-Dv=%hosting_v% -Du=[%HOSTING_UNDEFINED_42%]", "", {"HOSTING_V": "any case"}, ["-Dv=any", "case", "-Du=[]"]),
    # A lone '%' in the options does not pair with a reference in the class path.
    ("-Dpct=50%", "%HOSTING_V%\\missing\\lib.jar", {"HOSTING_V": "C:\\v"},
     ["-Dpct=50", "-Djava.class.path=C:\\v\\missing\\lib.jar"]),
    # Without registry discovery, JAVA_HOME is empty whatever the environment says.
    ("-Dh=%JAVA_HOME%", "%JAVA_HOME%\\lib\\tools.jar", {"JAVA_HOME": "C:\\from-env"},
     ["-Dh=", "-Djava.class.path=\\lib\\tools.jar"]),
], ids=["null-array", "spaces-kept-empty-option", "name-case-ignored-value-split", "expanded-separately-not-examined",
        "java-home-not-from-environment"])
def test_options_reach_the_jvm_as_a_list(wine, scratch, options, class_path, env, expected):
    app = App(wine, scratch, {"JvmOptions": options, "ClassPath": class_path})
    (app.dir / "lib").mkdir()
    (app.dir / "lib" / "a b.jar").write_bytes(b"PK")
    (app.dir / "x.txt").write_bytes(b"")
    proc = app.run(env=env)
    assert proc.returncode == 0, proc
    if expected is None:
        assert app.calls()[:2] == [("JNI_CreateJavaVM", "0x00010002", "0", "1"), ("options", "null")]
    else:
        assert app.options() == expected


def test_environment_lines_apply_in_order_before_the_search_the_options_and_the_jvm(wine, scratch):
    """RT finds the runtime, OPT reaches the options, JVMDOUBLE_MAIN reaches the double (which reads its
    script from its process environment), GONE is removed and KEEP extends the inherited value."""
    rt = scratch / "rt"
    rt.mkdir()
    shutil.copy(DOUBLE, rt / "jvm.dll")
    app = App(wine, scratch, {"JvmPath": "%RT%\\jvm.dll", "JvmOptions": "%OPT% -Dkeep=%KEEP%", "Environment":
                              f"RT={win_path(rt)}\nOPT=-Drt=%rt%\nJVMDOUBLE_MAIN=print,env:GONE,env:KEEP\n"
                              "GONE=\nKEEP=%KEEP%;more"}, runtime=None)
    proc = app.run("hello", env={"GONE": "x", "KEEP": "k"})
    assert proc.returncode == 0, proc
    assert app.options() == [f"-Drt={win_path(rt)}", "-Dkeep=k;more"]
    assert proc.stdout.decode().splitlines() == ["hello", "GONE unset", "KEEP=k;more"]


SYSTEM = object()  # the system's text for the last error: one non-empty line
NONE, REFUSED, CREATED = "no JNI_CreateJavaVM", "JNI_CreateJavaVM failed", "JVM created"


def described(subject):
    return f'Exception in thread "main" double.InjectedFailure: {subject}'


# Steps the unit tests fail one by one (main_class_runner_test.cpp) have one row of each kind here.
FAILURES = [
    # id, settings, runtime (the double, the double without JNI_GetDefaultJavaVMInitArgs, a text file),
    # fault, expected stderr lines, how far creation got
    ("not-a-dll", {"JvmPath": "notadll.dll"}, "text", None, ["Unable to load JVM: notadll.dll", SYSTEM], NONE),
    ("no-init-args", {}, "noinit", None, ["Unable to locate JNI interfaces in jvm.dll"], NONE),
    ("create", {}, "double", "create", ["Unable to create JVM instance using jvm.dll"], REFUSED),
    ("quote-in-class-path", {"ClassPath": "Lib;%HOSTING_Q%", "Environment": 'HOSTING_Q=b"c'}, "double", None,
     ['The class path cannot contain a double quote, which would split the class-path option: Lib;Lib\\b.jar;b"c'],
     NONE),
    ("missing-entry", {"ClassPath": "Lib;missing.jar;Lib\\b.jar"}, "double", None,
     [SYSTEM, "Error accessing file/directory: missing.jar"], NONE),
    ("wildcard-entry", {"ClassPath": "Lib\\*.jar"}, "double", None,
     [SYSTEM, "Error accessing file/directory: Lib\\*.jar"], NONE),
    ("workdir-before-jvm", {"WorkingDirectory": "no such dir", "ChangeDirectoryBeforeJvm": "1"}, "double", None,
     [SYSTEM, "Error accessing file/directory: no such dir"], NONE),
    ("workdir-before-main", {"WorkingDirectory": "no such dir"}, "double", None,
     [SYSTEM, "Error accessing file/directory: no such dir"], CREATED),
    ("main-class-exc", {}, "double", f"findclass-exc:{MAIN_CLASS}",
     [described(f"findclass-exc:{MAIN_CLASS}"), f"Error locating class: {MAIN_CLASS}"], CREATED),
    ("main-throws", {}, "double", "exception:main",
     [described("exception:main"), "Error invoking method: main(java/lang/String[])"], CREATED),
    ("system-class", {}, "double", "findclass:java/lang/System", ["Error locating class: java/lang/System"], CREATED),
    ("property-method", {}, "double", "method:setProperty", ["Error locating method: setProperty"], CREATED),
    ("property-throws", {}, "double", "exception:setProperty",
     [described("exception:setProperty"), "Error invoking method: setProperty"], CREATED),
    ("set-out-throws", {"SystemOutFile": "out.txt"}, "double", "exception:setOut",
     [described("exception:setOut"), "Error invoking method: setOut"], CREATED),
    ("set-err-missing", {"SystemErrFile": "err.txt"}, "double", "method:setErr",
     ["Error locating method: setErr"], CREATED),
    ("file-name-string", {"SystemOutFile": "out.txt"}, "double", "newstring:out.txt",
     ["Error instantiating object: java/lang/String"], CREATED),
    ("file-stream-class", {"SystemOutFile": "out.txt"}, "double", "findclass:java/io/FileOutputStream",
     ["Error locating class: java/io/FileOutputStream"], CREATED),
    ("file-stream-ctor", {"SystemOutFile": "out.txt"}, "double", "method:<init>",
     ["Error locating method: java/io/FileOutputStream(String, boolean)"], CREATED),
    ("file-stream-new", {"SystemOutFile": "out.txt"}, "double", "newobject-exc:java/io/FileOutputStream",
     [described("newobject-exc:java/io/FileOutputStream"), "Error instantiating object: java/io/FileOutputStream"],
     CREATED),
    ("file-unopenable", {"SystemOutFile": "no dir\\out.txt"}, "double", None,
     ['Exception in thread "main" java.io.FileNotFoundException: no dir\\out.txt (Path not found.)',
      "Error instantiating object: java/io/FileOutputStream"], CREATED),
    ("print-stream-new", {"SystemErrFile": "err.txt"}, "double", "newobject:java/io/PrintStream",
     ["Error instantiating object: java/io/PrintStream"], CREATED),
    ("argument-array", {"AppOptions": "one two"}, "double", "newarray",
     ["Error instantiating object: java/lang/String[]"], CREATED),
    ("argument-string", {"AppOptions": "one two"}, "double", "newstring-exc:two",
     [described("newstring-exc:two"), "Error instantiating object: java/lang/String"], CREATED),
    ("argument-element", {"AppOptions": "one two"}, "double", "setelement:1",
     [described("setelement:1"), "Error assigning string argument: two"], CREATED),
]


@pytest.mark.parametrize("build", BUILDS)
@pytest.mark.parametrize("settings, runtime, fault, expected, stage",
                         [row[1:] for row in FAILURES], ids=[row[0] for row in FAILURES])
def test_each_failure_is_reported_with_its_label_and_exit_code_minus_one(wine, scratch, settings, runtime,
                                                                         fault, expected, stage, build):
    runtimes = {"text": None, "double": build.double, "noinit": build.fixtures / "double-noinit" / "jvm.dll"}
    app = App(wine, scratch, settings, stub=build.stubcon, runtime=runtimes[runtime])
    (app.dir / "notadll.dll").write_bytes(b"this is not a portable executable\r\n")
    (app.dir / "Lib").mkdir()
    (app.dir / "Lib" / "b.jar").write_bytes(b"PK")
    proc = app.run(fail=fault)
    assert proc.returncode == 255, proc
    assert proc.stdout == b""
    lines = crlf_lines(proc.stderr)
    assert len(lines) == len(expected), lines
    for line, want in zip(lines, expected):
        if want is SYSTEM:
            assert line.strip() and not line.startswith("Error"), lines
        else:
            assert line == want
    calls = app.calls()
    assert not [c for c in calls if c[0] in ("violation", "fatal")], calls
    assert any(c[0] == "JNI_CreateJavaVM" for c in calls) == (stage != NONE)
    if stage == REFUSED:
        assert calls[-1][0] in ("option", "options"), calls
    if stage == CREATED:
        # The JVM is taken down whatever main's outcome; main itself never ran unless it threw.
        assert calls[-2:] == [("DetachCurrentThread",), ("DestroyJavaVM",)]
        ran_main = any(c[:3] == ("CallStaticVoidMethod", MAIN_CLASS, "main") for c in calls)
        assert ran_main == (fault == "exception:main")


@pytest.mark.parametrize("before_jvm, workdir, dll_in, user_dir", [
    ("1", "work", "work", "work"),  # first, so the relative JvmPath and class path resolve inside "work"
    ("0", "work", ".", "work"),  # just before main: they resolve beside the executable, "user.dir" after it
    ("0", "", ".", "."),
], ids=["before-jvm", "before-main", "none"])
def test_working_directory_is_entered_at_its_moment(wine, scratch, before_jvm, workdir, dll_in, user_dir):
    app = App(wine, scratch, {"ChangeDirectoryBeforeJvm": before_jvm, "WorkingDirectory": workdir,
                              "ClassPath": "here.jar"}, runtime=None)
    (app.dir / "work").mkdir()
    shutil.copy(DOUBLE, app.dir / dll_in / "jvm.dll")
    if dll_in != ".":  # a decoy where the loader would look first for a relative name: the one checked is loaded
        (app.dir / "jvm.dll").write_bytes(b"MZ not a library")
    (app.dir / dll_in / "here.jar").write_bytes(b"PK")
    elsewhere = scratch / "elsewhere"
    elsewhere.mkdir()
    proc = app.run(cwd=elsewhere)
    assert proc.returncode == 0, proc
    assert app.options() == ["-Djava.class.path=here.jar"]
    assert app.user_dir() == win_path(app.dir / user_dir)


@pytest.mark.parametrize("args, app_options, expected", [
    ([], 'first "second word" third', ["first", "second word", "third"]),
    (["a", "b c", ""], "ignored options", ["a", "b c", ""]),
    ([], "", []),
], ids=["app-options", "command-line-replaces", "empty"])
@pytest.mark.parametrize("build", BUILDS)
def test_main_gets_the_command_line_or_else_app_options_and_the_jvm_waits_for_its_thread(wine, scratch, args,
                                                                                         app_options, expected, build):
    app = App(wine, scratch, {"AppOptions": app_options}, stub=build.stubcon, runtime=build.double)
    proc = app.run(*args, main="thread:300,print")
    assert proc.returncode == 0, proc
    # "thread done" after main's own output: the process lived until the thread ended.
    assert crlf_lines(proc.stdout) == [*expected, "thread done"]
    calls = app.calls()
    main_at = calls.index(("CallStaticVoidMethod", MAIN_CLASS, "main", f"java/lang/String[{len(expected)}]", *expected))
    assert calls[main_at + 1:] == [("DetachCurrentThread",), ("DestroyJavaVM",)]


@pytest.mark.parametrize("build", BUILDS)
def test_redirected_streams_replace_old_files_in_order_before_the_main_class(wine, scratch, build):
    app = App(wine, scratch, {"SystemOutFile": "logs\\out.txt", "SystemErrFile": "err.txt", "AppOptions": "one"},
              stub=build.stubcon, runtime=build.double)
    (app.dir / "logs").mkdir()
    (app.dir / "logs" / "out.txt").write_bytes(b"old output that must go\r\n" * 10)
    (app.dir / "err.txt").write_bytes(b"old errors\r\n")
    proc = app.run(main="print,printerr:oops")
    assert proc.returncode == 0, proc
    assert proc.stdout == b"" and proc.stderr == b""
    assert (app.dir / "logs" / "out.txt").read_bytes() == b"one\r\n"
    assert (app.dir / "err.txt").read_bytes() == b"oops\r\n"

    calls = app.calls()
    order = [("CallStaticObjectMethod", "java/lang/System", "setProperty"),
             ("CallStaticVoidMethod", "java/lang/System", "setOut"),
             ("CallStaticVoidMethod", "java/lang/System", "setErr"),
             ("FindClass", MAIN_CLASS)]
    positions = [next(i for i, c in enumerate(calls) if c[:len(step)] == step) for step in order]
    assert positions == sorted(positions)
    assert calls[positions[1]][3] == "PrintStream:logs\\out.txt"
    assert calls[positions[2]][3] == "PrintStream:err.txt"

