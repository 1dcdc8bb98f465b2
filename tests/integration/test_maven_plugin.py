"""The Maven plugin installed offline with the release README's line into a copy of Debian's repository, then
tests/maven-sample built with `mvn -o package`."""
import shutil
import subprocess

import pytest

from conftest import BRIDGE, DIST, ROOT, text
from test_stubconfig import dump_sections

VERSION = (ROOT / "VERSION").read_text().strip()
PLUGIN = DIST / "maven" / "stub-maven-plugin.jar"

pytestmark = pytest.mark.skipif(not PLUGIN.exists() or shutil.which("mvn") is None, reason="needs make maven-plugin")


def mvn(repository, *args, cwd):
    return subprocess.run(["mvn", "--batch-mode", "--offline", f"-Dmaven.repo.local={repository}", *args], cwd=cwd,
                          capture_output=True, text=True, timeout=300)


@pytest.fixture(scope="module")
def repository(tmp_path_factory):
    repository = tmp_path_factory.mktemp("maven") / "repository"
    subprocess.run(["cp", "-rL", "/usr/share/maven-repo", repository], check=True)
    readme = (ROOT / "release" / "README.txt").read_text().splitlines()
    (install,) = [line.split() for line in readme if line.strip().startswith("mvn install:install-file ")]
    proc = mvn(repository, *install[1:], cwd=DIST)
    assert proc.returncode == 0, proc.stdout
    return repository


@pytest.fixture
def project(scratch):
    shutil.copytree(ROOT / "tests" / "maven-sample", scratch / "sample")
    return scratch / "sample"


def test_package_writes_a_launcher_that_runs_the_projects_main(wine, repository, project):
    proc = mvn(repository, f"-Dstub.version={VERSION}", "package", cwd=project)
    assert proc.returncode == 0, proc.stdout
    exe = project / "target" / "sample.exe"
    carried = dump_sections(exe)
    assert {key: carried["Launcher"][key] for key in ("MainClass", "ClassPath", "AppOptions")} == {
        "MainClass": "sample.Main", "ClassPath": "sample.jar", "AppOptions": "built by Maven"}
    # The project's version 2.7.1-SNAPSHOT, as far as Windows takes versions.
    assert carried["VersionInfo"] == {"FileVersion": "2.7.1", "ProductVersion": "2.7.1"}
    shutil.copy(BRIDGE, exe.parent / "jvm.dll")
    run = wine.run(exe, check_exit=0)
    assert text(run.stdout).splitlines() == ["sample built by Maven"]


def test_broken_configuration_fails_the_build_with_the_tools_message(repository, project):
    ini = project / "src" / "main" / "launcher" / "sample.ini"
    ini.write_bytes(ini.read_bytes() + b"Foo=1\r\n")
    proc = mvn(repository, f"-Dstub.version={VERSION}", "package", cwd=project)
    assert proc.returncode != 0
    assert "BUILD FAILURE" in proc.stdout
    assert f'stubconfig: {ini}:6: unknown key "Foo"' in proc.stdout
    assert not (project / "target" / "sample.exe").exists()
