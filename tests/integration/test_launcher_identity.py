"""What Windows reads from the shipped launchers besides their configuration, observed through the
system's own readers in the versionprobe fixture: the manifest (its bytes, and the activation context
that Wine's loader makes from it), the version information (GetFileVersionInfoW/VerQueryValueW), and
a launcher named like an installer."""
import re
import xml.etree.ElementTree as ET

import pytest

from conftest import BUILD_WIN, BUILDS, ROOT, X64, X86, stamp, text, win_path

PROBE = BUILD_WIN / "fixtures" / "versionprobe.exe"
RAWRUN = BUILD_WIN / "fixtures" / "rawrun.exe"
VERSION = (ROOT / "VERSION").read_text().strip()
ASM = "{urn:schemas-microsoft-com:asm.v1}"
# Windows 7, 8, 8.1 and 10/11, in the order the manifest lists them.
SUPPORTED_OS = ["{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
                "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"]
ACTIVATION_CONTEXT = ["runLevel=asInvoker", "uiAccess=false", *[f"supportedOS={g}" for g in SUPPORTED_OS],
                      "dpiAware=true", "dpiAwareness=PerMonitorV2, system", "longPathAware=true"]

LAUNCHERS = [pytest.param(build, kind, id=f"{build.name}-{kind}") for build in (X64, X86)
             for kind in ("stubcon", "stubwin")]


def probe_output(wine, *args):
    proc = wine.run(PROBE, *args)
    assert proc.returncode == 0, proc
    return proc.stdout


def probe(wine, *args):
    return text(probe_output(wine, *args)).splitlines()


@pytest.mark.parametrize("build, kind", LAUNCHERS)
def test_manifest_and_version_information_read_back_as_written(wine, build, kind):
    launcher = win_path(build.dist / f"{kind}.exe")
    raw = probe_output(wine, "--manifest", launcher)
    root = ET.fromstring(raw)
    assert root.tag == f"{ASM}assembly" and root.get("manifestVersion") == "1.0"
    assert not re.search(rb">\s|\s<|<!--", raw), raw
    # No Common Controls 6: the splash and a message box would each load it, and deadlock under Wine.
    assert root.find(f"{ASM}dependency") is None
    assert probe(wine, "--actctx", launcher) == ACTIVATION_CONTEXT
    names = ["FILEVERSION", "PRODUCTVERSION", "FileDescription", "FileVersion", "ProductName", "ProductVersion",
             "OriginalFilename", "InternalName", "LegalCopyright", "CompanyName"]
    description = "Java application launcher (windowed)" if kind == "stubwin" else "Java application launcher (console)"
    assert probe(wine, launcher, *names) == [
        f"FILEVERSION={VERSION}.0", f"PRODUCTVERSION={VERSION}.0", f"FileDescription={description}",
        f"FileVersion={VERSION}", "ProductName=stub", f"ProductVersion={VERSION}", f"OriginalFilename={kind}.exe",
        f"InternalName={kind}", "LegalCopyright=MIT License", "CompanyName is missing"]


@pytest.mark.parametrize("build", BUILDS)
def test_a_launcher_named_setup_starts_as_its_caller_through_create_process(wine, scratch, build):
    """Windows would take a program named setup.exe without a run level for an installer and ask for
    elevation; CreateProcess from an ordinary caller then fails with ERROR_ELEVATION_REQUIRED. Wine has
    no such heuristic (and no split token: every process holds the full one), so what is checked is the
    run level a configured copy declares, and that a 64-bit parent starts it, 32-bit or not."""
    app = scratch / "app"
    app.mkdir()
    (app / "jvm.dll").write_bytes(build.double.read_bytes())
    exe = stamp(build.stubcon, {"MainClass": "com.example.Setup", "JvmPath": "jvm.dll", "ClassPath": "",
                                "JvmOptions": "", "AppOptions": "installing now"}, app / "setup.exe")
    assert probe(wine, "--actctx", win_path(exe))[:2] == ["runLevel=asInvoker", "uiAccess=false"]
    proc = wine.run(RAWRUN, cwd=app, env={"STUB_COMMAND_LINE": "setup.exe", "JVMDOUBLE_MAIN": "print"})
    assert proc.returncode == 0, proc
    assert text(proc.stdout).splitlines() == ["installing", "now"]
