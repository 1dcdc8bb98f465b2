"""The executables under Wine in a private prefix, with an Xvfb display; tests observe only what a user could."""
import os
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
DIST = ROOT / "dist"
BUILD_WIN = ROOT / "build" / "windows"
BUILD_X86 = ROOT / "build" / "windows-x86"
BUILD_HOST = ROOT / "build" / "host"
PREFIX = ROOT / "build" / "wineprefix"
BRIDGE = BUILD_HOST / "bridge" / "jvm.dll"
TEST_JAR = BUILD_HOST / "java" / "testapps.jar"
BOXWATCH = BUILD_WIN / "fixtures" / "boxwatch.exe"
DOUBLE = BUILD_WIN / "fixtures" / "double" / "jvm.dll"
# 64-bit programs start through the 64-bit loader itself: once Wine's 32-bit support is installed, the
# `wine` script starts every program through the 32-bit loader first (about 65 ms more per run), and its
# `reg` and `regedit` then write the 32-bit view of the registry. 32-bit programs use WINE32.
WINE64 = "/usr/lib/wine/wine64"
WINE32 = "wine"


def loader(program):
    """WINE32 for a 32-bit executable, WINE64 for anything else (also a name such as "cmd")."""
    try:
        with open(program, "rb") as image:
            head = image.read(1024)
    except OSError:
        return WINE64
    pe = int.from_bytes(head[0x3C:0x40], "little") if head[:2] == b"MZ" else 0
    machine = head[pe + 4:pe + 6] if head[pe:pe + 4] == b"PE\0\0" else b""
    return WINE32 if machine == b"\x4c\x01" else WINE64


class Build:
    """One bitness of the launchers, with the test double of the same bitness."""

    def __init__(self, name, bits, dist, fixtures):
        self.name, self.bits, self.dist, self.fixtures = name, bits, dist, fixtures
        self.stubcon, self.stubwin = dist / "stubcon.exe", dist / "stubwin.exe"
        self.double = fixtures / "double" / "jvm.dll"


X64 = Build("x64", 64, DIST, BUILD_WIN / "fixtures")
X86 = Build("x86", 32, DIST / "x86", BUILD_X86 / "fixtures")
BUILDS = [pytest.param(X64, id="x64"), pytest.param(X86, id="x86")]


def wine_env(extra=None, prefix=PREFIX):
    env = dict(os.environ)
    env.update({
        "WINEPREFIX": str(prefix),
        "WINEDLLOVERRIDES": "mscoree,mshtml=",
        "WINEDEBUG": "-all",
        "WINEARCH": "win64",
        # Processes that Wine starts itself (cmd's children, services) use the same loader; a 32-bit
        # program among them is handed to the 32-bit loader beside it.
        "WINELOADER": WINE64,
    })
    env.pop("JAVA_HOME", None)
    if extra:
        env.update(extra)
    return env


def wine_server(env, persistent=True):
    """Ends any wineserver of env's prefix and, if `persistent`, starts one that stays up until `wineserver
    -k`: a server that a program started ends soon after the last program, and a program started as it
    ends fails with exit code 1. The prefix is made first, as a server cannot start without it (made again
    without the 32-bit system folder that Wine's 32-bit support adds), and the first program runs here, so
    that the desktop process and the services get env's display and hold none of a test's output."""
    prefix = Path(env["WINEPREFIX"])
    quiet = dict(env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
    if Path("/usr/lib/wine/wine").exists() and not (prefix / "drive_c/windows/syswow64/kernel32.dll").exists():
        subprocess.run(["wineserver", "-k"], **quiet)
        shutil.rmtree(prefix, ignore_errors=True)
    prefix.parent.mkdir(parents=True, exist_ok=True)
    if not (prefix / "system.reg").exists():
        subprocess.run([WINE64, "wineboot", "-i"], **quiet)
    subprocess.run(["wineserver", "-k"], **quiet)
    subprocess.run(["wineserver", "-w"], **quiet)
    if persistent:
        # Exit code 0 once the new server holds the prefix's lock; 2 if another server still does. Its
        # messages go through a file: the server keeps the handles it was given.
        with tempfile.TemporaryFile() as err:
            code = subprocess.run(["wineserver", "-p"], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                  stderr=err, timeout=60).returncode
            err.seek(0)
            assert code == 0, f"no persistent wineserver in {prefix} (exit code {code}): {err.read()!r}"
        subprocess.run([WINE64, "cmd", "/c", "exit"], **quiet)


def copy_as_arm64(library, destination):
    """A copy of a library whose PE header says ARM64: Wine on x86-64 cannot load any ARM64 image, so
    only the header matters, and it is all the launcher reads before it refuses one."""
    image = bytearray(Path(library).read_bytes())
    pe = int.from_bytes(image[0x3C:0x40], "little")
    image[pe + 4:pe + 6] = (0xAA64).to_bytes(2, "little")
    Path(destination).write_bytes(image)
    return destination


def win_path(path):
    """The Windows form of a Unix path, as Wine maps it through drive Z:."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def start_display():
    number = next(n for n in range(90, 190) if not Path(f"/tmp/.X{n}-lock").exists())
    proc = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        if Path(f"/tmp/.X11-unix/X{number}").exists():
            break
        time.sleep(0.05)
    return proc, f":{number}"


@pytest.fixture(scope="session")
def display():
    proc, name = start_display()
    yield name
    proc.terminate()
    proc.wait(timeout=10)


@pytest.fixture(scope="session")
def wineprefix(display):
    """One wineserver for the whole run, whose desktop process has the X display."""
    env = wine_env({"DISPLAY": display})
    wine_server(env)
    # A program that crashes on purpose must end, not wait behind a crash dialog taken for a message box.
    subprocess.run([WINE64, "reg", "add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog", "/t", "REG_DWORD",
                    "/d", "0", "/f"], env=env, check=True, capture_output=True, timeout=120)
    yield PREFIX
    subprocess.run(["wineserver", "-k"], env=env, capture_output=True, timeout=60)


class Wine:
    def __init__(self, display_name=None, prefix=PREFIX):
        self.display = display_name
        self.prefix = prefix

    def env(self, extra=None):
        env = wine_env(extra, self.prefix)
        if self.display:
            env["DISPLAY"] = self.display
        return env

    def run(self, exe, *args, cwd=None, env=None, timeout=120, check_exit=None):
        """Runs a program to its end. Output goes through files: a helper that Wine starts on the way (its desktop
        process) inherits the handles and would hold a pipe open long after the program has ended."""
        command = [loader(exe), str(exe), *map(str, args)]
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            code = subprocess.run(command, cwd=cwd or Path(exe).parent, env=self.env(env), stdin=subprocess.DEVNULL,
                                  stdout=out, stderr=err, timeout=timeout).returncode
            out.seek(0)
            err.seek(0)
            proc = subprocess.CompletedProcess(command, code, out.read(), err.read())
        assert b"wine client error" not in proc.stderr, f"Wine failed to start {exe}: {proc}"
        if check_exit is not None:
            assert proc.returncode == check_exit, proc
        return proc

    def start(self, exe, *args, cwd=None, env=None):
        return subprocess.Popen([loader(exe), str(exe), *map(str, args)], cwd=cwd or Path(exe).parent,
                                env=self.env(env), stdout=subprocess.PIPE, stderr=subprocess.PIPE)


@pytest.fixture
def wine(wineprefix, display):
    """Console programs get the display too: whichever starts Wine's desktop process passes it on."""
    return Wine(display)


def stamp(stub, settings, out, icon=None, splash=None):
    """Writes a configured copy of a stub with the configuration tool, from a UTF-8 configuration file."""
    out = Path(out)
    out.parent.mkdir(parents=True, exist_ok=True)
    ini = out.with_suffix(".ini.cfg")
    settings = dict(settings)
    environment = settings.pop("Environment", "")
    lines = ["[Launcher]"] + [f"{key}={value}" for key, value in settings.items()]
    lines += ["[Environment]"] + environment.split("\n")
    ini.write_bytes(("\r\n".join(lines) + "\r\n").encode("utf-8"))
    cmd = [str(DIST / "stubconfig"), "write", "--stub", str(stub), "--config", str(ini), "--out", str(out)]
    if icon:
        cmd += ["--icon", str(icon)]
    if splash:
        cmd += ["--splash", str(splash)]
    subprocess.run(cmd, check=True, capture_output=True)
    # Every launcher the tests make must be one Windows would load, not only Wine.
    subprocess.run([str(DIST / "stubconfig"), "check", str(out)], check=True)
    return out


def make_app(directory, stub, settings, runtime=BRIDGE, name="app.exe"):
    """A launcher in its own directory with jvm.dll and testapps.jar beside it."""
    directory = Path(directory)
    directory.mkdir(parents=True, exist_ok=True)
    if runtime is not None:
        shutil.copy(runtime, directory / "jvm.dll")
    shutil.copy(TEST_JAR, directory / "testapps.jar")
    base = {"JvmPath": "jvm.dll", "ClassPath": "testapps.jar", "JvmOptions": "", "AppOptions": ""}
    base.update(settings)
    return stamp(stub, base, directory / name)


def watch_boxes(wine, count, timeout_ms=30000, button=None):
    """Plays the user: waits for `count` message boxes, reads each and clicks OK (or the button of that ID)."""
    args = [timeout_ms, count] + ([button] if button else [])
    proc = wine.run(BOXWATCH, *args, cwd=BOXWATCH.parent, timeout=timeout_ms / 1000 + 30)
    assert proc.returncode == 0, f"fewer than {count} message boxes appeared: {proc}"
    return [tuple(line.split("\t", 1)) for line in proc.stdout.decode("utf-8").splitlines()]


def double_log(path):
    """The test double's log as lists of fields, the thread ("thread=N") last; [] when there is none."""
    path = Path(path)
    return [line.split("\t") for line in path.read_bytes().decode("latin-1").split("\n")[:-1]] if path.exists() else []


def text(data):
    """Program output as text with Windows line ends made Unix ones."""
    return data.decode("latin-1").replace("\r\n", "\n")


@pytest.fixture
def scratch(tmp_path):
    return tmp_path
