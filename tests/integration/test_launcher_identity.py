"""What Windows' own readers (versionprobe) see in the launchers: manifest, activation context, version information.
Every written launcher declares asInvoker, so that Windows never takes one named like an installer for one."""
import re
import xml.etree.ElementTree as ET

import pytest

from conftest import BUILD_WIN, ROOT, X64, X86, stamp, text, win_path
from test_stubconfig import dump_sections

PROBE = BUILD_WIN / "fixtures" / "versionprobe.exe"
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


# Read from a written copy, which keeps them (and which dump shows without version information).
@pytest.mark.parametrize("build, kind", LAUNCHERS)
def test_manifest_and_version_information_read_back_as_written(wine, scratch, build, kind):
    exe = stamp(build.dist / f"{kind}.exe", {"SplashText": "x"}, scratch / f"{kind}.exe")
    assert "VersionInfo" not in dump_sections(exe)
    launcher = win_path(exe)
    raw = probe_output(wine, "--manifest", launcher)
    assert raw == probe_output(wine, "--manifest", win_path(build.dist / f"{kind}.exe"))
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
