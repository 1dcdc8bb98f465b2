"""The release archive unpacked into an empty folder, its README's steps (dump, edit, write) run with its tools."""
import os
import shutil
import subprocess

import pytest

from conftest import BRIDGE, DIST, ROOT, TEST_JAR, WINE64, X64, X86, text, wine_env

VERSION = (ROOT / "VERSION").read_text().strip()
ARCHIVES = sorted(DIST.glob(f"*-{VERSION}.zip"))
CONTENTS = {"README.txt", "LICENSE.txt", "example.ini", "stubconfig", "stubconfig.exe", "stubwin.exe", "stubcon.exe",
            "x86/stubwin.exe", "x86/stubcon.exe", "maven/stub-maven-plugin.jar", "maven/pom.xml"}

pytestmark = pytest.mark.skipif(len(ARCHIVES) != 1, reason="needs `make release`")


@pytest.fixture
def unpacked(scratch):
    target = scratch / "unpacked"
    target.mkdir()
    subprocess.run(["unzip", "-q", str(ARCHIVES[0]), "-d", str(target)], check=True)
    (folder,) = target.iterdir()
    assert folder.name == ARCHIVES[0].stem
    return folder


def readme_commands(folder, system):
    tool = "./stubconfig" if system == "linux" else "stubconfig"
    lines = (line.strip() for line in (folder / "README.txt").read_text().splitlines())
    return [line for line in lines if line.startswith((f"{tool} dump ", f"{tool} write "))]


def test_archive_holds_both_launcher_pairs_the_tools_and_the_documents(unpacked):
    files = {path.relative_to(unpacked).as_posix() for path in unpacked.rglob("*") if path.is_file()}
    assert files == CONTENTS
    for build in (X64, X86):
        for launcher in (build.stubwin, build.stubcon):
            shipped = unpacked / launcher.relative_to(DIST)
            assert shipped.read_bytes() == launcher.read_bytes(), shipped
    tool = unpacked / "stubconfig"
    assert os.access(tool, os.X_OK)
    # Linked statically: no program interpreter, so ldd finds nothing to load.
    assert "not a dynamic executable" in subprocess.run(["ldd", str(tool)], capture_output=True, text=True).stderr
    # Every shipped executable is one Windows loads, as the shipped tool itself checks.
    executables = [str(unpacked / name) for name in sorted(CONTENTS) if name.endswith(".exe")]
    assert subprocess.run([str(tool), "check", *executables], capture_output=True, text=True).stderr == ""


@pytest.mark.parametrize("system, build", [("linux", X64), ("windows", X86)],
                         ids=["linux-tool-x64", "windows-tool-x86"])
def test_readme_steps_make_a_launcher_that_runs_the_application(wine, unpacked, system, build):
    dump, write = readme_commands(unpacked, system)
    if build is X86:
        stub = "x86/stubwin.exe" if system == "linux" else "x86\\stubwin.exe"
        dump, write = (command.replace(" stubwin.exe", f" {stub}") for command in (dump, write))

    def run(command):
        if system == "linux":
            return subprocess.run(["bash", "-c", command], cwd=unpacked, capture_output=True, timeout=60)
        return subprocess.run([WINE64, "cmd", "/c", command], cwd=unpacked, env=wine_env(), capture_output=True,
                              timeout=60)

    assert run(dump).returncode == 0
    carried = (unpacked / "myapp.ini").read_text("latin-1").splitlines()
    # [Launcher] and 64 settings; a blank line, the empty [Environment] section, a blank line, the signature.
    assert carried[0] == "[Launcher]" and len(carried) == 69 and carried[-1] == "; Authenticode signature: none"
    changed = {"MainClass": "testapps.PrintArgs", "ClassPath": "lib\\", "JvmPath": "runtime",
               "JvmOptions": "-Dtest.prop=release", "AppOptions": "from the release", "ShowSplash": "0"}
    kept = [line for line in carried if line.split("=", 1)[0] in changed]
    assert len(kept) == len(changed)
    edited = ["[Launcher]", *(f"{key}={value}" for key, value in changed.items())]
    (unpacked / "myapp.ini").write_text("\r\n".join(edited) + "\r\n", encoding="latin-1")
    proc = run(write)
    assert proc.returncode == 0, proc
    assert subprocess.run([str(unpacked / "stubconfig"), "check", str(unpacked / "MyApp.exe")]).returncode == 0

    (unpacked / "lib").mkdir()
    shutil.copy(TEST_JAR, unpacked / "lib" / "testapps.jar")
    (unpacked / "runtime" / "bin" / "server").mkdir(parents=True)
    shutil.copy(BRIDGE if build is X64 else build.double, unpacked / "runtime" / "bin" / "server" / "jvm.dll")
    proc = wine.run(unpacked / "MyApp.exe", env={"JVMDOUBLE_MAIN": "print"})
    assert proc.returncode == 0, proc
    lines = text(proc.stdout).splitlines()
    if build is X64:  # the real Java application
        assert lines[:3] == ["arg:from", "arg:the", "arg:release"] and "test.prop=release" in lines
    else:  # the 32-bit test double, which prints main's arguments
        assert lines == ["from", "the", "release"]
