"""Runtime discovery against real registry keys in the test prefix. The choice shows as "Unable to load JVM:
<path>" for a fake jvm.dll, or, for a copy of the double, as the %JAVA_HOME% in the options it received."""
import shutil
import subprocess

import pytest

from conftest import BUILDS, WINE32, WINE64, X64, X86, copy_as_arm64, double_log, stamp, text, win_path, wine_env

NO_RUNTIME = "Unable to locate suitable Java Runtime Environment on this machine."
JRE = r"Software\JavaSoft\Java Runtime Environment"
IBM_JRE = r"Software\IBM\Java2 Runtime Environment"
JDK = r"Software\JavaSoft\Java Development Kit"
# Every key a test here writes lives below one of these, in both roots.
VENDOR_ROOTS = [r"Software\JavaSoft", r"Software\IBM", r"Software\Eclipse Adoptium", r"Software\AdoptOpenJDK",
                r"Software\Microsoft\JDK"]
ROOTS = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER"}


def reg_string(value):
    return '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'


class Registry:
    """Vendor keys (HKLM unless "HKCU\\" leads), written by the regedit of the given bitness as its installer would."""

    def __init__(self, scratch):
        self.scratch = scratch

    def write(self, keys, bits=64):
        lines = []
        for key, values in keys.items():
            root, _, path = key.partition("\\") if key.startswith(("HKLM\\", "HKCU\\")) else ("HKLM", "", key)
            lines.append(f"[{ROOTS[root]}\\{path}]")
            for name, value in values.items():
                lines.append(f'"{name}"={value if value.startswith(("dword:", "hex")) else reg_string(value)}')
            lines.append("")
        self.regedit(lines, bits)

    def clear(self):
        """Every vendor key, in both views, one regedit run per view ("[-KEY]" removes a key)."""
        for bits in (64, 32):
            self.regedit([f"[-{ROOTS[root]}\\{key}]" for root in ROOTS for key in VENDOR_ROOTS], bits)

    def regedit(self, lines, bits):
        reg_file = self.scratch / "keys.reg"
        reg_file.write_text("\r\n".join(["Windows Registry Editor Version 5.00", "", *lines]) + "\r\n",
                            encoding="utf-16")
        subprocess.run([WINE64 if bits == 64 else WINE32, "regedit", "/S", win_path(reg_file)], env=wine_env(),
                       check=True, capture_output=True, timeout=60)


@pytest.fixture
def registry(wineprefix, scratch):
    reg = Registry(scratch)
    reg.clear()
    yield reg
    reg.clear()


def fake_library(path):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(b"not a library\r\n")
    return path


def install(home, library=X64.double, version=None):
    """<home>\\bin\\server\\jvm.dll, and a release file if a version is given; the home's Windows path."""
    (home / "bin" / "server").mkdir(parents=True, exist_ok=True)
    shutil.copy(library, home / "bin" / "server" / "jvm.dll")
    if version:
        (home / "release").write_text(f'IMPLEMENTOR="test"\nJAVA_VERSION="{version}"\n')
    return win_path(home)


def loaded(path):
    """What the launcher says when it chose a fake library: its message, then the system's (error 193)."""
    return [f"Unable to load JVM: {win_path(path)}", f"Bad EXE format for {win_path(path)}."]


class Run:
    """A launch: its process, the options the double received and the search trace."""

    def __init__(self, wine, scratch, settings, env=None, build=X64):
        self.log = scratch / "double.log"
        self.trace = scratch / "trace.txt"
        for path in (self.log, self.trace):
            path.unlink(missing_ok=True)
        base = {"MainClass": "com.example.App", "JvmPath": "", "ClassPath": "%JAVA_HOME%\\lib\\none.jar",
                "JvmSearchMode": "0", "MinJavaVersion": "0x00010004", "JvmOptions": "-Dseen.home=%JAVA_HOME%",
                "AppOptions": ""}
        base.update(settings)
        exe = stamp(build.stubcon, base, scratch / "app" / "app.exe")
        full_env = {"JVMDOUBLE_LOG": win_path(self.log), "STUB_TRACE": win_path(self.trace)}
        full_env.update(env or {})
        self.proc = wine.run(exe, cwd=exe.parent, env=full_env)
        self.stderr = text(self.proc.stderr).splitlines()

    def options(self):
        return [fields[1] for fields in double_log(self.log) if fields[0] == "option"]

    def trace_lines(self):
        return [line.split("\t") for line in self.trace.read_text("latin-1").splitlines()]

    def chosen(self):
        """(source, library, version) of the trace's final search line."""
        choice = [f for f in self.trace_lines() if f[4] == "chosen"]
        assert len(choice) == 1, self.trace_lines()
        return choice[0][0], choice[0][2], choice[0][3]


def ran_with_home(run, home):
    assert run.proc.returncode == 0, (run.proc, run.stderr)
    assert run.options() == [f"-Dseen.home={home}", f"-Djava.class.path={home}\\lib\\none.jar"]
    return True


UNTERMINATED = object()  # RuntimeLib naming the library as REG_SZ data without a terminating zero


# The first-generation keys as the real registry holds them (which key each mode searches, and in which
# order, is the unit tests' matter): fake libraries below the home, the last one the one chosen.
@pytest.mark.parametrize("key, values, libraries", [
    (f"{JDK}\\1.4.2", {}, ["jre/bin/server", "jre/bin/client"]),  # a kit with only a JavaHome: its client
    (f"{IBM_JRE}\\1.5", {"RuntimeLib": "dword:00000001"}, ["jre/bin/classic"]),  # a RuntimeLib of another type
    (f"{JRE}\\1.8", {"RuntimeLib": UNTERMINATED}, ["noterm"]),
], ids=["kit-home-only", "runtime-lib-not-a-string", "unterminated-string"])
def test_first_generation_keys_lead_to_their_library(wine, scratch, registry, key, values, libraries):
    home = scratch / "jre"
    for folder in libraries:
        lib = fake_library(home / folder / "jvm.dll")
    if values.get("RuntimeLib") is UNTERMINATED:
        values = {"RuntimeLib": "hex(1):" + ",".join(f"{b:02x}" for b in win_path(lib).encode("utf-16-le"))}
    registry.write({key: {"JavaHome": win_path(home), **values}})
    run = Run(wine, scratch, {})
    assert (run.proc.returncode, run.stderr) == (255, loaded(lib))


# The current vendor layouts as their installers write them, the home with a closing backslash; every
# layout's path is the unit tests' matter, these are one of each value and family.
LAYOUTS = [
    # id, key (below HKLM unless it says HKCU), value naming the home, a mode that searches the layout's family
    ("javasoft-jdk", r"Software\JavaSoft\JDK\17.0.2", "JavaHome", "3"),
    ("adoptium-jre", r"Software\Eclipse Adoptium\JRE\17.0.2.8\hotspot\MSI", "Path", "2"),
    ("adoptopenjdk-openj9", r"Software\AdoptOpenJDK\JRE\16.0.1.9\openj9\MSI", "Path", "2"),
    # HKEY_CURRENT_USER\Software has one view for both bitnesses: the 64-bit regedit writes it for both.
    ("current-user-only", r"HKCU\Software\Eclipse Adoptium\JDK\17.0.2.8\hotspot\MSI", "Path", "0"),
]


@pytest.mark.parametrize("build", BUILDS)
@pytest.mark.parametrize("key, value, mode", [row[1:] for row in LAYOUTS], ids=[row[0] for row in LAYOUTS])
def test_each_vendor_layout_is_found_and_its_home_handed_on(wine, scratch, registry, key, value, mode, build):
    home = install(scratch / "vendor" / "jdk-16", build.double)
    registry.write({key: {value: home + "\\"}}, 64 if key.startswith("HKCU") else build.bits)
    run = Run(wine, scratch, {"JvmSearchMode": mode, "MinJavaVersion": "0x00100000"}, env={"JAVA_HOME": "C:\\from-env"},
              build=build)
    assert ran_with_home(run, home)
    assert run.chosen()[:2] == ("registry", home + "\\bin\\server\\jvm.dll")


@pytest.mark.parametrize("build", BUILDS)
def test_highest_version_that_passes_wins_and_stale_ones_and_those_of_the_other_bitness_are_skipped(
        wine, scratch, registry, build):
    other = X86 if build is X64 else X64
    homes = {name: install(scratch / name, build.double)
             for name in ("oracle17", "ms21", "stale", "temurin25", "arm26")}
    install(scratch / "temurin25", library=other.double)
    copy_as_arm64(build.double, scratch / "arm26" / "bin" / "server" / "jvm.dll")
    shutil.rmtree(scratch / "stale")
    registry.write({
        r"Software\JavaSoft\JDK\17": {"JavaHome": homes["oracle17"]},
        r"Software\Microsoft\JDK\21.0.1.12\hotspot\MSI": {"Path": homes["ms21"]},
        r"Software\Eclipse Adoptium\JDK\22.0.0.1\hotspot\MSI": {"Path": homes["stale"]},
        r"Software\Eclipse Adoptium\JDK\25.0.0.1\hotspot\MSI": {"Path": homes["temurin25"]},
        r"Software\Eclipse Adoptium\JRE\26.0.0.1\hotspot\MSI": {"Path": homes["arm26"]},
        r"Software\Eclipse Adoptium\JRE\11.0.20.8\hotspot\MSI": {"Path": homes["oracle17"]},
    }, build.bits)
    run = Run(wine, scratch, {"MinJavaVersion": "0x00110000"}, build=build)
    assert ran_with_home(run, homes["ms21"])
    assert run.chosen() == ("registry", homes["ms21"] + "\\bin\\server\\jvm.dll", "21.0.1.12")
    refusals = {(f[1].split("\\")[2], f[4]) for f in run.trace_lines() if f[0] == "registry" and f[1]}
    assert ("Eclipse Adoptium", "too old") in refusals  # the JRE 11
    assert ("Eclipse Adoptium", "missing") in refusals  # the stale 22
    assert ("Eclipse Adoptium", f"other machine: {other.name} library") in refusals  # the 25
    assert ("Eclipse Adoptium", "other machine: ARM64 library") in refusals  # the 26


@pytest.mark.parametrize("build", BUILDS)
def test_each_launcher_reads_the_machine_keys_of_its_own_bitness(wine, scratch, registry, build):
    # Both views hold the same keys, each naming a runtime of its bitness: current (mode 2) and first-generation (3).
    homes = {bits.bits: install(scratch / f"jdk{bits.bits}", bits.double) for bits in (X64, X86)}
    for bits, home in homes.items():
        registry.write({r"Software\JavaSoft\JRE\17": {"JavaHome": home},
                        f"{JDK}\\1.8": {"RuntimeLib": home + "\\bin\\server\\jvm.dll", "JavaHome": home}}, bits)
    current = Run(wine, scratch, {"JvmSearchMode": "2"}, build=build)
    assert ran_with_home(current, homes[build.bits])
    assert current.chosen()[0] == "registry"
    legacy = Run(wine, scratch, {"JvmSearchMode": "3"}, build=build)
    assert ran_with_home(legacy, homes[build.bits])
    assert legacy.chosen()[0] == "legacy"


def test_java_home_of_the_environment_is_the_last_source_and_needs_its_release_file(wine, scratch, registry):
    home = install(scratch / "unzipped" / "jdk-17.0.2", version="17.0.2")
    run = Run(wine, scratch, {"MinJavaVersion": "0x00110000"}, env={"JAVA_HOME": home})
    assert ran_with_home(run, home)
    assert run.chosen() == ("JAVA_HOME", home + "\\bin\\server\\jvm.dll", "17.0.2")

    (scratch / "unzipped" / "jdk-17.0.2" / "release").unlink()
    assert Run(wine, scratch, {}, env={"JAVA_HOME": home}).stderr == [NO_RUNTIME]


@pytest.mark.parametrize("build", BUILDS)
def test_trace_names_each_step_of_a_failed_and_of_a_successful_search(wine, scratch, registry, build):
    old = install(scratch / "jdk11", build.double)
    registry.write({r"Software\JavaSoft\JDK\11": {"JavaHome": old}}, build.bits)
    run = Run(wine, scratch, {"JvmPath": "missing\\jvm.dll", "MinJavaVersion": "0x00110000"}, build=build)
    assert run.stderr == [NO_RUNTIME]
    lines = run.trace_lines()
    assert lines[0] == ["JvmPath", "", "missing\\jvm.dll", "", "missing"]
    assert ["legacy", f"HKLM\\{JRE}", "", "", "absent"] in lines
    assert ["registry", r"HKLM\Software\JavaSoft\JDK\11", old, "11", "too old"] in lines
    assert ["registry", r"HKCU\Software\Microsoft\JDK", "", "", "absent"] in lines
    assert lines[-2:] == [["JAVA_HOME", "", "", "", "not set"], ["search", "", "", "", "nothing found"]]

    run = Run(wine, scratch, {"JvmPath": "missing\\jvm.dll"}, build=build)
    assert ran_with_home(run, old)
    lines = run.trace_lines()
    assert ["registry", r"HKLM\Software\JavaSoft\JDK\11", old + "\\bin\\server\\jvm.dll", "11", "usable"] in lines
    chosen = lines.index(["registry", "", old + "\\bin\\server\\jvm.dll", "11", "chosen"])
    assert [f[0] for f in lines[chosen + 1:]] == ["load", "load"]  # the DLL folder, then the library
    assert lines[-1] == ["load", "", old + "\\bin\\server\\jvm.dll", "", "loaded"]


def test_an_unconfigured_launcher_reports_once_and_appends_its_trace_or_writes_it_to_standard_error(wine, scratch,
                                                                                                   registry):
    exe = scratch / "app.exe"
    shutil.copy(X64.stubcon, exe)  # as shipped, unconfigured
    proc = wine.run(exe)
    assert (proc.returncode, proc.stdout, proc.stderr) == (255, b"", NO_RUNTIME.encode() + b"\r\n")
    trace = scratch / "trace.txt"
    trace.write_text("an earlier line\n")
    wine.run(exe, env={"STUB_TRACE": win_path(trace)})
    lines = trace.read_text().splitlines()
    assert lines[:2] == ["an earlier line", "JvmPath\t\tj2re1.4.2\\bin\\client\\jvm.dll\t\tmissing"]
    assert lines[-1] == "search\t\t\t\tnothing found"

    proc = wine.run(exe, env={"STUB_TRACE": "-"})
    assert text(proc.stderr).splitlines() == lines[1:] + [NO_RUNTIME]
