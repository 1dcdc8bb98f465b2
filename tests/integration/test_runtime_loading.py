"""Loading the chosen runtime: DLLs of its bin folder, a library of another machine, the system's reasons."""
import shutil

import pytest

from conftest import BUILDS, X64, X86, copy_as_arm64, stamp, text, win_path

FIXTURES = X64.fixtures
MARKER = FIXTURES / "preload_marker.dll"
STANDIN = FIXTURES / "standin" / "jvm.dll"
COMPANIONS = ["vcruntime140.dll", "vcruntime140_1.dll", "msvcp140.dll"]


def app(scratch, build=X64, **settings):
    base = {"MainClass": "com.example.App", "JvmPath": "runtime", "ClassPath": "", "JvmSearchMode": "0",
            "JvmOptions": "", "AppOptions": ""}
    base.update(settings)
    return stamp(build.stubcon, base, scratch / "app" / "app.exe")


def runtime_with_companion(scratch, build=X64):
    server = scratch / "app" / "runtime" / "bin" / "server"
    server.mkdir(parents=True)
    with_companion = build.fixtures / "double-companion"
    shutil.copy(with_companion / "jvm.dll", server / "jvm.dll")
    shutil.copy(with_companion / "jvmcompanion.dll", server.parent / "jvmcompanion.dll")
    return server / "jvm.dll"


# The C runtime DLLs a runtime ships in its bin folder are loaded from there (the marker is 64-bit only).
@pytest.mark.parametrize("build", BUILDS)
def test_a_library_importing_a_dll_of_its_bin_folder_loads(wine, scratch, build):
    library = runtime_with_companion(scratch, build)
    bin_folder, trace = library.parent.parent, scratch / "trace.txt"
    markers = COMPANIONS[:2] if build is X64 else []
    for name in markers:
        shutil.copy(MARKER, bin_folder / name)
    # Wine has DLLs of these names of its own, and would take them instead of the files asked for.
    overrides = "mscoree,mshtml=;" + ",".join(name[:-4] for name in COMPANIONS) + "=n"
    exe = app(scratch, build)
    proc = wine.run(exe, env={"WINEDLLOVERRIDES": overrides, "STUB_TRACE": win_path(trace)}, check_exit=0)
    assert proc.stderr == b""
    assert sorted(p.name for p in bin_folder.glob("*.loaded")) == [f"{name}.loaded" for name in markers]
    load = [line.split("\t") for line in trace.read_text().splitlines() if line.startswith("load\t")]
    home = win_path(bin_folder)
    preloaded = [(f"{home}\\{name}", "preloaded") for name in markers]
    assert [(f[2], f[4]) for f in load] == [(home, "DLL folder"), *preloaded,
                                            ("runtime\\bin\\server\\jvm.dll", "loaded")]

    # Without that folder on the search path the same library does not load: the system cannot find the
    # DLL it imports (error 126).
    plain = wine.run(build.fixtures / "double_driver.exe", win_path(library), "initargs", cwd=scratch)
    assert plain.returncode == 64
    assert text(plain.stderr) == f"double_driver: cannot load {win_path(library)}: error 126\n"

    # A failed load says so, then gives the system's reason.
    (bin_folder / "jvmcompanion.dll").unlink()
    proc = wine.run(exe)
    assert proc.returncode == 255
    assert text(proc.stderr).splitlines() == ["Unable to load JVM: runtime\\bin\\server\\jvm.dll", "Module not found."]


@pytest.mark.parametrize("build", BUILDS)
@pytest.mark.parametrize("foreign", ["other", "ARM64"])
@pytest.mark.parametrize("jvm_path", ["other\\bin\\client\\jvm.dll", "other"])
def test_a_configured_library_of_another_machine_is_refused_with_what_it_is(wine, scratch, jvm_path, foreign, build):
    """Machines are named as Windows names them, so that x64 and ARM64 runtimes side by side on one
    machine are told apart."""
    other = X86 if build is X64 else X64
    client = scratch / "app" / "other" / "bin" / "client"
    client.mkdir(parents=True)
    if foreign == "ARM64":
        copy_as_arm64(build.double, client / "jvm.dll")
    else:
        shutil.copy(other.double, client / "jvm.dll")
        foreign = other.name
    proc = wine.run(app(scratch, build, JvmPath=jvm_path))
    assert proc.returncode == 255
    chosen = "other\\bin\\client\\jvm.dll"
    assert text(proc.stderr).splitlines() == [
        f"Unable to load JVM: {chosen}", f"{chosen} is an {foreign} library; this launcher is {build.name}."]


def loaded_modules(proc):
    """The modules the launcher's process loaded, from Wine's +loaddll trace."""
    loads = [line for line in text(proc.stderr).splitlines() if "trace:loaddll:build_module Loaded" in line]
    launcher = next(line.split(":")[0] for line in loads if line.endswith(": native") and "app.exe" in line)
    return {line.split('"')[1].split("\\")[-1].lower() for line in loads if line.startswith(launcher + ":")}


@pytest.mark.parametrize("stub", ["stubcon", "stubwin"])
def test_a_start_that_shows_nothing_loads_no_window_graphics_or_registry_library(wine, scratch, stub):
    """USER32, GDI32 and ADVAPI32 load on first use only; the benchmark's stand-in runtime needs none of them."""
    base = {"MainClass": "com.example.App", "JvmPath": "jvm.dll", "ClassPath": "", "ShowSplash": "0",
            "SplashSeconds": "0", "AllowMultipleInstances": "1"}
    exe = stamp(getattr(X64, stub), base, scratch / "app" / "app.exe")
    shutil.copy(STANDIN, exe.parent / "jvm.dll")
    proc = wine.run(exe, env={"WINEDEBUG": "+loaddll,+pid"})
    assert proc.returncode == 0, proc
    assert loaded_modules(proc) == {"app.exe", "kernelbase.dll", "kernel32.dll", "msvcrt.dll", "jvm.dll"}
