"""Runtime discovery under Wine against real registry keys in the test prefix. The library chosen is
observable because the next step quotes it: files named jvm.dll that are not libraries make the
launcher report "Unable to load JVM: <path>" with exactly the path it chose."""
import subprocess

import pytest

from conftest import DIST, WINE64, stamp, text, win_path, wine_env

STUBCON = DIST / "stubcon.exe"
NO_RUNTIME = "Unable to locate suitable Java Runtime Environment on this machine."
JRE = r"Software\JavaSoft\Java Runtime Environment"
IBM_JRE = r"Software\IBM\Java2 Runtime Environment"
JDK = r"Software\JavaSoft\Java Development Kit"
IBM_JDK = r"Software\IBM\Java Development Kit"
VENDOR_ROOTS = [r"HKLM\Software\JavaSoft", r"HKLM\Software\IBM"]


def reg_string(value):
    return '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'


class Registry:
    """Vendor keys written with regedit into the test prefix, and removed again afterwards."""

    def __init__(self, scratch):
        self.scratch = scratch

    def write(self, keys):
        lines = ["Windows Registry Editor Version 5.00", ""]
        for key, values in keys.items():
            lines.append(f"[HKEY_LOCAL_MACHINE\\{key}]")
            for name, value in values.items():
                lines.append(f'"{name}"={value if value.startswith(("dword:", "hex")) else reg_string(value)}')
            lines.append("")
        reg_file = self.scratch / "keys.reg"
        reg_file.write_text("\r\n".join(lines) + "\r\n", encoding="utf-16")
        subprocess.run([WINE64, "regedit", "/S", win_path(reg_file)], env=wine_env(), check=True,
                       capture_output=True, timeout=60)

    def clear(self):
        for root in VENDOR_ROOTS:
            subprocess.run([WINE64, "reg", "delete", root, "/f"], env=wine_env(), capture_output=True, timeout=60)


@pytest.fixture
def registry(wineprefix, scratch):
    reg = Registry(scratch)
    reg.clear()
    yield reg
    reg.clear()


def fake_library(path):
    """A file named like a runtime library that LoadLibrary refuses."""
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(b"not a library\r\n")
    return path


def launch(wine, scratch, **settings):
    base = {"JvmPath": "", "ClassPath": "", "JvmSearchMode": "0", "MinJavaVersion": "0x00010004"}
    base.update(settings)
    exe = stamp(STUBCON, base, scratch / "app" / "app.exe")
    proc = wine.run(exe, cwd=exe.parent)
    return proc.returncode, text(proc.stderr).splitlines()


def loaded(path):
    return [f"Unable to load JVM: {win_path(path) if not isinstance(path, str) else path}"]


def test_development_kit_with_only_a_java_home_resolves_to_its_client_library(wine, scratch, registry):
    home = scratch / "j2sdk1.4.2"
    fake_library(home / "jre" / "bin" / "server" / "jvm.dll")
    registry.write({f"{JDK}\\1.4.2": {"JavaHome": win_path(home)}})
    assert launch(wine, scratch) == (255, loaded(home / "jre" / "bin" / "server" / "jvm.dll"))
    fake_library(home / "jre" / "bin" / "client" / "jvm.dll")
    assert launch(wine, scratch) == (255, loaded(home / "jre" / "bin" / "client" / "jvm.dll"))


def test_configured_path_is_tried_below_the_java_home_first(wine, scratch, registry):
    home = scratch / "jdk"
    fake_library(home / "jre" / "bin" / "client" / "jvm.dll")
    fake_library(home / "custom" / "jvm.dll")
    registry.write({f"{JDK}\\1.5.0": {"JavaHome": win_path(home)}})
    assert launch(wine, scratch, JvmPath="custom\\jvm.dll") == (255, loaded(home / "custom" / "jvm.dll"))


def test_current_version_below_the_minimum_falls_back_to_enumerated_versions(wine, scratch, registry):
    old = fake_library(scratch / "j13" / "jvm.dll")
    new = fake_library(scratch / "j142" / "jvm.dll")
    registry.write({
        JRE: {"CurrentVersion": "1.3"},
        f"{JRE}\\1.3": {"RuntimeLib": win_path(old)},
        f"{JRE}\\1.4.2": {"RuntimeLib": win_path(new), "JavaHome": win_path(scratch / "j142")},
    })
    assert launch(wine, scratch) == (255, loaded(new))


@pytest.mark.parametrize("version", ["17.0.2", "21", "1.10"])
def test_current_runtime_version_names_are_accepted(wine, scratch, registry, version):
    lib = fake_library(scratch / "rt" / "jvm.dll")
    registry.write({JRE: {"CurrentVersion": version}, f"{JRE}\\{version}": {"RuntimeLib": win_path(lib)}})
    assert launch(wine, scratch) == (255, loaded(lib))


def test_minimum_version_refuses_older_runtimes(wine, scratch, registry):
    lib = fake_library(scratch / "rt" / "jvm.dll")
    registry.write({f"{JRE}\\11.0.20": {"RuntimeLib": win_path(lib)}})
    assert launch(wine, scratch, MinJavaVersion="0x00110000") == (255, [NO_RUNTIME])
    assert launch(wine, scratch, MinJavaVersion="0x000B0000") == (255, loaded(lib))


def test_registered_library_that_is_missing_refuses_the_version(wine, scratch, registry):
    home = scratch / "jre16"
    fake_library(home / "jre" / "bin" / "client" / "jvm.dll")
    registry.write({f"{JRE}\\1.6": {"RuntimeLib": win_path(home / "bin" / "gone.dll"), "JavaHome": win_path(home)}})
    assert launch(wine, scratch) == (255, [NO_RUNTIME])


def test_runtime_lib_of_another_type_counts_as_missing(wine, scratch, registry):
    home = scratch / "jre15"
    fake_library(home / "jre" / "bin" / "classic" / "jvm.dll")
    registry.write({f"{IBM_JRE}\\1.5": {"RuntimeLib": "dword:00000001", "JavaHome": win_path(home)}})
    assert launch(wine, scratch) == (255, loaded(home / "jre" / "bin" / "classic" / "jvm.dll"))


def test_registry_string_without_terminator_is_read_to_its_end_only(wine, scratch, registry):
    lib = fake_library(scratch / "noterm" / "jvm.dll")
    raw = win_path(lib).encode("utf-16-le")  # REG_SZ data with no terminating zero
    registry.write({f"{JRE}\\1.8": {"RuntimeLib": "hex(1):" + ",".join(f"{b:02x}" for b in raw)}})
    assert launch(wine, scratch) == (255, loaded(lib))


def test_registry_first_modes_prefer_a_registered_runtime_over_an_existing_configured_one(wine, scratch,
                                                                                           registry):
    local = fake_library(scratch / "app" / "local" / "jvm.dll")
    registered = fake_library(scratch / "reg" / "jvm.dll")
    registry.write({f"{JRE}\\1.4.2": {"RuntimeLib": win_path(registered)}})
    assert launch(wine, scratch, JvmPath="local\\jvm.dll", JvmSearchMode="4") == (255, loaded(registered))
    assert launch(wine, scratch, JvmPath="local\\jvm.dll", JvmSearchMode="12") == (255, loaded(registered))
    assert launch(wine, scratch, JvmPath="local\\jvm.dll", JvmSearchMode="0") == (255, loaded("local\\jvm.dll"))
    assert launch(wine, scratch, JvmPath="local\\jvm.dll", JvmSearchMode="-1") == (255, loaded("local\\jvm.dll"))
    registry.clear()
    assert local.exists()
    assert launch(wine, scratch, JvmPath="local\\jvm.dll", JvmSearchMode="4") == (255, loaded("local\\jvm.dll"))


@pytest.mark.parametrize("mode,expected", [("2", "jre"), ("6", "jre"), ("3", "jdk"), ("7", "jdk"),
                                           ("1", "jdk"), ("5", "jdk"), ("0", "jre")])
def test_search_modes_choose_the_vendor_keys(wine, scratch, registry, mode, expected):
    libs = {kind: fake_library(scratch / kind / "jvm.dll") for kind in ("jre", "jdk")}
    registry.write({f"{JRE}\\1.4.2": {"RuntimeLib": win_path(libs["jre"])},
                    f"{IBM_JDK}\\1.4.2": {"RuntimeLib": win_path(libs["jdk"])}})
    assert launch(wine, scratch, JvmSearchMode=mode) == (255, loaded(libs[expected]))


def test_mode_two_never_reads_the_development_kit_keys(wine, scratch, registry):
    lib = fake_library(scratch / "jdk" / "jvm.dll")
    registry.write({f"{JDK}\\1.4.2": {"RuntimeLib": win_path(lib)}, f"{IBM_JDK}\\1.5": {"RuntimeLib": win_path(lib)}})
    assert launch(wine, scratch, JvmSearchMode="2") == (255, [NO_RUNTIME])
    assert launch(wine, scratch, JvmSearchMode="6") == (255, [NO_RUNTIME])


def test_nothing_found_reports_once_on_stderr(wine, scratch, registry):
    exe = stamp(STUBCON, {"JvmPath": "", "ClassPath": ""}, scratch / "app.exe")
    proc = wine.run(exe)
    assert proc.returncode == 255
    assert proc.stdout == b""
    assert proc.stderr == NO_RUNTIME.encode() + b"\r\n"
