"""Shared fixtures for the integration tests: the executables run under Wine in a private prefix,
with an Xvfb display for anything that shows a window. Tests observe only what a user could: exit
codes, the bytes on stdout and stderr, message-box and event-log text, files, registry and services."""
import os
import shutil
import subprocess
import time
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
DIST = ROOT / "dist"
BUILD_WIN = ROOT / "build" / "windows"
BUILD_HOST = ROOT / "build" / "host"
PREFIX = ROOT / "build" / "wineprefix"


def wine_env(extra=None):
    env = dict(os.environ)
    env.update({
        "WINEPREFIX": str(PREFIX),
        "WINEDLLOVERRIDES": "mscoree,mshtml=",
        "WINEDEBUG": "-all",
        "WINEARCH": "win64",
    })
    env.pop("JAVA_HOME", None)
    if extra:
        env.update(extra)
    return env


def win_path(path):
    """The Windows form of a Unix path, as Wine maps it through drive Z:."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


@pytest.fixture(scope="session")
def wineprefix():
    """A prefix of our own, made once per test run; its first start takes a few seconds."""
    PREFIX.parent.mkdir(parents=True, exist_ok=True)
    if not (PREFIX / "system.reg").exists():
        subprocess.run(["wine", "cmd", "/c", "exit"], env=wine_env(), capture_output=True, timeout=180)
        subprocess.run(["wineserver", "-w"], env=wine_env(), timeout=180)
    return PREFIX


@pytest.fixture(scope="session")
def display():
    """An X display for windows, message boxes and screenshots."""
    number = 90 + os.getpid() % 50
    proc = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        if Path(f"/tmp/.X11-unix/X{number}").exists():
            break
        time.sleep(0.05)
    yield f":{number}"
    proc.terminate()
    proc.wait(timeout=10)


class Wine:
    def __init__(self, display_name=None):
        self.display = display_name

    def env(self, extra=None):
        env = wine_env(extra)
        if self.display:
            env["DISPLAY"] = self.display
        return env

    def run(self, exe, *args, cwd=None, env=None, timeout=120, check_exit=None):
        """Runs a Windows program to its end; returns the CompletedProcess with bytes output."""
        proc = subprocess.run(["wine", str(exe), *map(str, args)], cwd=cwd or Path(exe).parent,
                              env=self.env(env), capture_output=True, timeout=timeout)
        if check_exit is not None:
            assert proc.returncode == check_exit, proc
        return proc

    def start(self, exe, *args, cwd=None, env=None):
        return subprocess.Popen(["wine", str(exe), *map(str, args)], cwd=cwd or Path(exe).parent,
                                env=self.env(env), stdout=subprocess.PIPE, stderr=subprocess.PIPE)


@pytest.fixture
def wine(wineprefix):
    return Wine()


@pytest.fixture
def gui_wine(wineprefix, display):
    return Wine(display)


def stamp(stub, settings, out, icon=None, splash=None):
    """Writes a configured copy of a stub with the configuration tool."""
    out = Path(out)
    out.parent.mkdir(parents=True, exist_ok=True)
    ini = out.with_suffix(".ini.cfg")
    lines = ["[Launcher]"] + [f"{key}={value}" for key, value in settings.items()]
    ini.write_text("\r\n".join(lines) + "\r\n", encoding="latin-1")
    cmd = [str(DIST / "stubconfig"), "write", "--stub", str(stub), "--config", str(ini), "--out", str(out)]
    if icon:
        cmd += ["--icon", str(icon)]
    if splash:
        cmd += ["--splash", str(splash)]
    subprocess.run(cmd, check=True, capture_output=True)
    return out


@pytest.fixture
def scratch(tmp_path):
    """A directory of the test's own; removed by pytest's tmp_path policy afterwards."""
    return tmp_path
