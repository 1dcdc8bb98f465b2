"""Characters of every plane in folders, arguments, class paths, files, INI values and messages reach Java
(which prints code points) and the user exactly. The Unix locale is UTF-8; the launcher's code page stays
Windows-1252, so Japanese class-path entries reach the JVM by their short names. A message box with any
character: test_launcher_core."""
import re
import shlex
import shutil
import subprocess
import zipfile

import pytest

from conftest import BRIDGE, DIST, DOUBLE, TEST_JAR, WINE64, stamp, win_path

STUBCON = DIST / "stubcon.exe"
FOLDER = "Zo\u00eb \u65e5\u672c \U0001f600"
# OpenJDK 17 loads no class below a folder with a character outside the BMP (its class loader cannot decode
# the file URL, on Linux too), so real Java runs from a folder without one.
JAVA_FOLDER = "Zo\u00eb \u65e5\u672c"
UTF8 = {"LC_ALL": "C.UTF-8"}
MESSAGE = "Aucun Java trouv\u00e9 \u2014 \u65e5\u672c \U0001f600 100%"
MESSAGE_FORMAT = MESSAGE.replace("%", "%%")  # a configured message writes a percent sign as %%


def code_points(text):
    return " ".join(f"U+{ord(c):04X}" for c in text)


def jar(path, entries):
    path.parent.mkdir(parents=True, exist_ok=True)
    with zipfile.ZipFile(path, "w") as archive:
        for name, data in entries.items():
            archive.writestr(name, data.encode("utf-8"))


# The working directory is entered just before main: the class path resolves beside the executable, the
# redirection file in the working directory; the unknown -X option is skipped.
def test_folder_arguments_class_path_and_redirection_reach_java_exactly(wine, scratch):
    folder = scratch / JAVA_FOLDER
    (folder / "lib").mkdir(parents=True)
    work = folder / "donn\u00e9es"
    work.mkdir()
    shutil.copy(BRIDGE, folder / "jvm.dll")
    shutil.copy(TEST_JAR, folder / "lib" / "Zo\u00eb.jar")
    jar(folder / "Biblioth\u00e8que" / "extra.jar", {"biblio.txt": "Biblioth\u00e8que \u2713"})
    jar(folder / "\u65e5\u672c" / "more.jar", {"japan.txt": "\u65e5\u672c"})
    exe = stamp(STUBCON, {"MainClass": "testapps.CodePoints", "JvmPath": "jvm.dll", "AppOptions": "",
                          "ClassPath": "lib\\Zo\u00eb.jar;Biblioth\u00e8que\\;\u65e5\u672c\\more.jar",
                          "JvmOptions": "-Xno-such-flag -Dresources=biblio.txt,japan.txt",
                          "WorkingDirectory": work.name, "ChangeDirectoryBeforeJvm": "0",
                          "SystemOutFile": "sortie-\u00e9.txt"}, folder / "app.exe")
    arguments = ["caf\u00e9", "\u65e5\u672c\u8a9e", "\U0001f600"]
    proc = wine.run(exe, *arguments, cwd=scratch, env=UTF8)
    assert (proc.returncode, proc.stderr) == (0, b""), proc
    out = work / "sortie-\u00e9.txt"
    assert out.exists(), sorted(p.name for p in folder.rglob("*"))
    biblio, japan = "Biblioth\u00e8que \u2713", "\u65e5\u672c"
    assert out.read_text().splitlines() == [
        *[f"arg:{code_points(a)}" for a in arguments],
        f"user.dir:{code_points(win_path(work))}",
        "thread:main",
        f"resource:biblio.txt:{code_points(biblio)}",
        f"resource:japan.txt:{code_points(japan)}",
    ]


def test_a_pipe_gets_utf8_and_a_console_gets_characters(wine, scratch):
    exe = stamp(STUBCON, {"JvmPath": "", "JvmErrorMessages0": MESSAGE_FORMAT}, scratch / FOLDER / "app.exe")
    proc = wine.run(exe, env=UTF8)
    assert proc.returncode == 255
    assert proc.stderr == (MESSAGE + "\r\n").encode("utf-8")
    # On a console it writes characters, which Wine shows in the terminal's encoding (UTF-8).
    command = f"{shlex.quote(WINE64)} {shlex.quote(str(exe))}"
    console = subprocess.run(["script", "-qec", command, "/dev/null"], cwd=scratch, env=wine.env(UTF8),
                             stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
    # Wine 8's console shows each half of a surrogate pair as U+FFFD, whoever writes it.
    shown = "".join("\ufffd\ufffd" if ord(c) > 0xFFFF else c for c in MESSAGE)
    assert shown.encode("utf-8") in console.stdout, console


# Each encoding's decoding is the unit tests' matter; here, one file of each kind the launcher tells apart.
@pytest.mark.parametrize("encoding, bom, words", [
    ("utf-8", b"", ["caf\u00e9", "\u65e5\u672c", "\U0001f600"]),
    ("utf-16-be", b"\xfe\xff", ["caf\u00e9", "\u65e5\u672c", "\U0001f600"]),
    ("cp1252", b"", ["caf\u00e9", "\u20ac"]),  # a file of the code page, as earlier versions read it
])
def test_ini_override_in_utf8_utf16_or_the_code_page_gives_the_right_characters(wine, scratch, encoding, bom, words):
    folder = scratch / FOLDER
    exe = stamp(STUBCON, {"JvmPath": "jvm.dll", "MainClass": "x.Main", "IniFile": "app.ini", "AppOptions": "",
                          "ClassPath": ""}, folder / "app.exe")
    shutil.copy(DOUBLE, folder / "jvm.dll")
    ini = f"[Application Configuration]\r\nAppOptions={' '.join(words)}\r\n"
    (folder / "app.ini").write_bytes(bom + ini.encode(encoding))
    proc = wine.run(exe, env={"JVMDOUBLE_MAIN": "print", **UTF8})
    assert proc.returncode == 0, proc
    assert proc.stdout.decode("utf-8").splitlines() == words


# ---- a service: its description in the registry and its records in the event log ------------------

from test_service import (SERVICES_KEY, events, make_launcher, run_scenario, service,  # noqa: E402,F401
                          service_prefix, wine_cmd)


def exported_string(scratch, key, name):
    """A string value as regedit exports it (UTF-16: nothing lost)."""
    export = scratch / "export.reg"
    # Wine's regedit knows the root keys only by their full names.
    wine_cmd("regedit", "/E", win_path(export), key.replace("HKLM\\", "HKEY_LOCAL_MACHINE\\", 1))
    text = export.read_text(encoding="utf-16")
    logical = re.sub(r"\\\r?\n  ", "", text)  # hex data continues over several lines
    for line in logical.splitlines():
        if line.startswith(f'"{name}"=hex(2):'):
            data = bytes(int(b, 16) for b in line.split(":", 1)[1].split(","))
            return data.decode("utf-16-le").rstrip("\0")
        if line.startswith(f'"{name}"="'):
            return line.split("=", 1)[1][1:-1]
    return None


def test_service_description_and_event_records_keep_every_character(scratch, service, service_prefix, monkeypatch):
    description = "T\u00e2ches de nuit \u2014 \u65e5\u672c \U0001f600"
    exe = make_launcher(scratch, service, subdir=FOLDER, ServiceDescription=description,
                        ServiceStartedMessage="Le service %s a d\u00e9marr\u00e9 \u2713",
                        ServiceStartFailedMessage="Le service %s n'a pas d\u00e9marr\u00e9 \u2717")
    # cmd reads a batch file in the ANSI code page; the environment (from the UTF-8 locale) carries the name.
    monkeypatch.setenv("LC_ALL", "C.UTF-8")
    monkeypatch.setenv("STUB_UNICODE_LAUNCHER", win_path(exe))
    proc = run_scenario(scratch, ['"%STUB_UNICODE_LAUNCHER%" -install', f"net start {service}",
                                  "ping -n 3 127.0.0.1 > nul"])
    assert exported_string(scratch, rf"{SERVICES_KEY}\{service}", "Description") == description
    records = events(proc.stderr)
    assert ("info", f"Le service {service} a d\u00e9marr\u00e9 \u2713") in records, records
    assert ("error", f"Le service {service} n'a pas d\u00e9marr\u00e9 \u2717") in records, records
