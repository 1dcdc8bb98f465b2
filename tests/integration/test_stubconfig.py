"""The configuration tool on real executables: exit codes, messages, files left, and what a written executable
carries as Windows' loader (stringprobe, versionprobe) and `dump` read it. Parsing rules are the unit tests'."""
import os
import socket
import stat
import struct
import subprocess
import zlib

import pytest

from conftest import BUILD_WIN, BUILDS, DIST, X64, stamp, win_path

TOOL = DIST / "stubconfig"
PROBE = BUILD_WIN / "tests" / "fixtures" / "stringprobe" / "stringprobe.exe"
VERSION_PROBE = BUILD_WIN / "fixtures" / "versionprobe.exe"
SETTING_IDS = list(range(1024, 1713, 16))

STUBS = [PROBE, DIST / "stubwin.exe", DIST / "stubcon.exe"]


def tool(*args, cwd=None, check=False):
    return subprocess.run([str(TOOL), *map(str, args)], cwd=cwd, capture_output=True, check=check, timeout=60)


def write(stub, config, out, *options, cwd=None):
    return tool("write", "--stub", stub, "--config", config, "--out", out, *options, cwd=cwd)


def fnv1a(data):
    value = 2166136261
    for byte in data:
        value = ((value ^ byte) * 16777619) & 0xFFFFFFFF
    return f"{value:08x}"


def pe_checksum(data):
    """(computed, stored): the PE checksum, 16-bit sums with folded carries."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    field = pe + 4 + 20 + 64
    padded = data + b"\0" * (len(data) % 2)
    total = 0
    for offset in range(0, len(padded), 2):
        if field <= offset < field + 4:
            continue
        total += struct.unpack_from("<H", padded, offset)[0]
        total = (total & 0xFFFF) + (total >> 16)
    return ((total & 0xFFFF) + (total >> 16) + len(data)) & 0xFFFFFFFF, struct.unpack_from("<I", data, field)[0]


def dump_sections(exe):
    lines = tool("dump", exe, check=True).stdout.decode("utf-8").split("\n")
    assert lines[0] == "[Launcher]" and lines[-1] == ""
    sections = {}
    for line in lines[:-1]:
        if line.startswith("["):
            section = sections.setdefault(line[1:-1], {})
        elif line and not line.startswith(";"):
            key, value = line.split("=", 1)
            section[key] = value
    return sections


def dump(exe):
    return dump_sections(exe)["Launcher"]


def probe_strings(wine, exe, ids):
    out = wine.run(exe, *ids, check_exit=0).stdout
    return dict(line.split(b"=", 1) for line in out.rstrip(b"\r\n").replace(b"\r\n", b"\n").split(b"\n"))


def make_icon(sizes, rgba):
    images = []
    for size in sizes:
        header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        images.append((size, header + bytes(rgba) * size * size + b"\0" * (4 * size)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images), [data for _, data in images]


def make_bitmap(width, height, bgr):
    row = (bytes(bgr) * width).ljust((width * 3 + 3) // 4 * 4, b"\0")
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(row) * height, 2835, 2835, 0, 0)
    return struct.pack("<2sIHHI", b"BM", 54 + len(row) * height, 0, 0, 54) + info + row * height


# Values of any character, and values next to what write refuses or dump would print otherwise.
SETTINGS = {
    "JvmPath": "C:\\Zo\u00eb \u65e5\u672c \U0001f600\\jvm.dll",
    "JvmOptions": ' -Xmx1g -Dapp.dir="C:\\My App\\" ',
    "ClassPath": "lib\\" + "x" * 1019,
    "MainClass": "org.\u00e9t\u00e9.\u65e5\u672c.App",
    "AppOptions": "\U0001f600" * 511 + "!",  # 1023 UTF-16 code units, the most an entry holds
    "ShowSplash": "0",
    "SplashSeconds": "3",
    "MinJavaVersion": "0x00010008",
    "SplashText": "Caf\xe9 l\xe4dt\u2026 \u65e5\u672c \U0001f600 \xa0\xad\xff\u2028\u200e \t",
    "FileAccessErrorMessage": "\u00c9chec : %s \u2717 100%%",
    "IniFile": "#not a comment",
    "ServiceDescription": "[Launcher]",
    "ServiceName": " ",
    "SystemOutFile": "\ufeff\u200b\u00a0 \U0010fffd",  # characters that are easy to lose: marks, spaces, plane 16
    "SystemErrFile": "\t;not a comment = \"x\"\t",
}


def test_launcher_reads_exactly_the_written_values(wine, scratch):
    exe = stamp(PROBE, SETTINGS, scratch / "app.exe")
    seen = probe_strings(wine, exe, [*SETTING_IDS, 1025, 2000])
    for sid, name in zip(SETTING_IDS, dump(PROBE)):  # dump prints the settings in ID order
        if name == "MainClass":  # enciphered: its UTF-8 bytes, two hexadecimal digits each
            assert len(seen[b"1168"]) == 2 * len(SETTINGS[name].encode("utf-8"))
        elif name in SETTINGS:
            assert seen[str(sid).encode()] == SETTINGS[name].encode("utf-8"), name
    assert seen[b"1152"] == b"."  # not named in the file: the stub's value
    assert (seen[b"1025"], seen[b"2000"]) == (b"neighbour of MinJavaVersion", b"unrelated block")


@pytest.mark.parametrize("stub", STUBS, ids=lambda p: p.name)
def test_dump_of_written_executable_reproduces_the_input(stub, scratch):
    text = "[Launcher]\r\n" + "".join(f"{key}={value}\r\n" for key, value in SETTINGS.items())
    (scratch / "app.ini").write_bytes(b"\xff\xfe" + text.encode("utf-16-le"))
    written = write(stub, "app.ini", "app.exe", cwd=scratch)
    assert (written.returncode, written.stderr) == (0, b""), written
    printed = tool("dump", scratch / "app.exe", check=True)
    assert printed.stderr == b""
    assert dump(scratch / "app.exe") == {**dump(stub), **SETTINGS}
    # dump output is itself a configuration for write.
    (scratch / "dumped.ini").write_bytes(printed.stdout)
    assert write(stub, "dumped.ini", "again.exe", cwd=scratch).returncode == 0
    assert dump_sections(scratch / "again.exe") == dump_sections(scratch / "app.exe")


def test_icon_and_splash_are_replaced(wine, scratch):
    ico, images = make_icon([16, 24, 48], (10, 200, 30, 255))
    (scratch / "app.ico").write_bytes(ico)
    bmp = make_bitmap(13, 7, (1, 2, 3))
    (scratch / "app.bmp").write_bytes(bmp)
    exe = stamp(PROBE, {"ShowSplash": "1"}, scratch / "app.exe", icon=scratch / "app.ico", splash=scratch / "app.bmp")
    lines = wine.run(exe, "--resources", check_exit=0).stdout.decode().splitlines()
    assert f"bitmap8000 size={len(bmp) - 14} fnv={fnv1a(bmp[14:])}" in lines
    for i, data in enumerate(images):
        assert f"icon{i} size={len(data)} fnv={fnv1a(data)}" in lines
    assert not any(line.startswith(f"icon{len(images)}") for line in lines)
    assert "LoadIcon ok" in lines


def png_icon(size):
    row = b"\0" + b"\x10\xc8\x1e\xff" * size
    chunk = lambda kind, data: (struct.pack(">I", len(data)) + kind + data +
                                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
           chunk(b"IDAT", zlib.compress(row * size)) + chunk(b"IEND", b""))
    return struct.pack("<HHHBBBBHHII", 0, 1, 1, size % 256, size % 256, 0, 0, 1, 32, len(png), 22) + png


LAUNCHERS = [DIST / "stubwin.exe", DIST / "stubcon.exe", DIST / "x86" / "stubwin.exe", DIST / "x86" / "stubcon.exe"]


@pytest.mark.parametrize("stub", LAUNCHERS, ids=lambda p: f"{p.parent.name}-{p.name}")
def test_launchers_stamped_with_the_smallest_and_largest_images_keep_the_windows_loader_rules(stub, scratch):
    (scratch / "small.ico").write_bytes(png_icon(16))
    (scratch / "large.ico").write_bytes(make_icon([256], (1, 2, 3, 255))[0])
    (scratch / "small.bmp").write_bytes(make_bitmap(1, 1, (1, 2, 3)))
    (scratch / "large.bmp").write_bytes(make_bitmap(800, 600, (1, 2, 3)))
    outputs = [stamp(stub, {"MainClass": "a.B"}, scratch / f"{icon}-{bmp}.exe", icon=scratch / f"{icon}.ico",
                     splash=scratch / f"{bmp}.bmp") for icon in ("small", "large") for bmp in ("small", "large")]
    outputs.append(stamp(outputs[-1], {"MainClass": "a.B"}, scratch / "shrunk.exe", icon=scratch / "small.ico",
                         splash=scratch / "small.bmp"))
    proc = subprocess.run([str(TOOL), "check", str(stub), *map(str, outputs)], capture_output=True, text=True)
    assert (proc.returncode, proc.stderr) == (0, "")
    for exe in outputs:  # the checksum the tool writes agrees with one computed independently
        computed, stored = pe_checksum(exe.read_bytes())
        assert stored == computed


LEGACY_WARNING = ("app.ini:2: warning: not UTF-8, so the whole file is read as Windows-1252 (save it as UTF-8 to be "
                  "sure of its characters)")


# Each refusal's wording is the unit tests' matter; here, that the tool prints it as lines of its own
# (printable, naming the file), exits with 1 and leaves everything as it was.
@pytest.mark.parametrize("ini, options, messages", [
    (b"[Launcher]\nJvmPath=x\nFoo=1\n", {}, ['app.ini:3: unknown key "Foo"']),
    (b"[Launcher]\n\x1b[31m\xff\xfe" + b"k" * 300 + b"=1\n", {},
     [LEGACY_WARNING, 'app.ini:2: unknown key "\\x1B[31m\\u00FF\\u00FE' + "k" * 33 + '..."']),
    (None, {}, ["app.ini: is not a text file (it holds NUL bytes)"]),  # the stub itself given as configuration
    (b"[Launcher]\n", {"--icon": "missing.ico"}, ["missing.ico: cannot open for reading: No such file or directory"]),
    (b"[Launcher]\n", {"--icon": "app.ini"}, ["app.ini: not an icon file"]),
    (b"[Launcher]\n", {"--splash": "app.ini"}, ["app.ini: not a BMP file"]),
    (b"[Launcher]\n", {"--stub": "app.ini"}, ["app.ini: not a PE executable (no MZ header)"]),
    (b"[Launcher]\n", {"--default-version": "1.0-SNAPSHOT"}, ['--default-version "1.0-SNAPSHOT" is not a version: '
                                                              'one to four numbers from 0 to 65535, separated by '
                                                              'dots (such as 1.2.0.15)']),
    (b"[Launcher]\n", {"--manifest": "missing.manifest"},
     ["missing.manifest: cannot open for reading: No such file or directory"]),
    (b"[Launcher]\n", {"--manifest": "app.ini"},
     ["app.ini: not an application manifest: line 1: no root element where one is expected"]),
], ids=["unknown-key", "binary-key", "executable", "no-icon", "bad-icon", "bad-bitmap", "bad-stub", "bad-version",
        "no-manifest", "bad-manifest"])
def test_bad_input_is_refused_without_output(ini, options, messages, scratch):
    (scratch / "stub.exe").write_bytes(PROBE.read_bytes())
    (scratch / "app.ini").write_bytes(PROBE.read_bytes() if ini is None else ini)
    args = {"--stub": "stub.exe", "--config": "app.ini", "--out": "out.exe", **options}
    proc = tool("write", *[x for kv in args.items() for x in kv], cwd=scratch)
    assert proc.returncode == 1
    assert proc.stderr.decode() == "".join(f"stubconfig: {message}\n" for message in messages)
    assert sorted(p.name for p in scratch.iterdir()) == ["app.ini", "stub.exe"]
    assert (scratch / "stub.exe").read_bytes() == PROBE.read_bytes()


def test_a_windows_1252_file_of_earlier_versions_is_read_as_before_with_a_warning(scratch):
    (scratch / "app.ini").write_bytes("[Launcher]\r\nSplashText=Caf\u00e9 \u20ac\u2122\r\n".encode("cp1252"))
    written = write(DIST / "stubcon.exe", "app.ini", "app.exe", cwd=scratch)
    assert (written.returncode, written.stderr) == (0, ("stubconfig: " + LEGACY_WARNING + "\n").encode())
    assert dump(scratch / "app.exe")["SplashText"] == "Caf\u00e9 \u20ac\u2122"


# ---------------------------------------------------------------------------------------------------
# Files that are not what they seem: no false success, no clobbering, messages that say why.

def make_device(path):
    """A node of /dev/full's device in scratch: a regression replaces it, not the system's."""
    try:
        os.mknod(path, stat.S_IFCHR | 0o666, os.makedev(1, 7))
    except PermissionError:
        pytest.skip("creating device nodes needs root")


def make_directory(path):
    path.mkdir()
    (path / "keep.txt").write_text("kept")


def make_link(path):
    (path.parent / "target.exe").write_bytes(b"target")
    path.symlink_to("target.exe")


INPUTS = ["--stub", "--config", "--icon", "--splash", "--manifest"]


def write_inputs(scratch):
    (scratch / "app.exe").write_bytes((DIST / "stubcon.exe").read_bytes())
    (scratch / "app.ini").write_text("[Launcher]\nJvmPath=x\n")
    (scratch / "app.ico").write_bytes(png_icon(16))
    (scratch / "app.bmp").write_bytes(make_bitmap(1, 1, (1, 2, 3)))
    (scratch / "app.manifest").write_text(
        '<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0"/>')
    return {"--stub": "app.exe", "--config": "app.ini", "--icon": "app.ico", "--splash": "app.bmp",
            "--manifest": "app.manifest"}


ODD = {"fifo": (os.mkfifo, "a named pipe (FIFO)"), "directory": (make_directory, "a directory"),
       "socket": (lambda path: socket.socket(socket.AF_UNIX).bind(str(path)), "a socket"),
       "device": (make_device, "a character device"), "symlink": (make_link, "a symbolic link")}


# An input is read through a link, the output is never written through one.
@pytest.mark.parametrize("option, kind", [("--out", kind) for kind in ODD] +
                         [(option, kind) for option in [*INPUTS, "dump"] for kind in ("fifo", "device", "directory")])
def test_a_file_that_is_not_a_regular_one_is_refused_at_once_and_everything_left_alone(option, kind, scratch):
    args = write_inputs(scratch)
    odd = scratch / "odd\x1b[2J"  # the name's escape is not sent raw
    make, what = ODD[kind]
    make(odd)
    before = sorted((p.name, os.lstat(p)) for p in scratch.rglob("*"))
    command = ["dump", odd] if option == "dump" else \
        ["write", *[x for item in {"--out": "out.exe", **args, option: odd}.items() for x in item]]
    proc = subprocess.run([str(TOOL), *map(str, command)], cwd=scratch, capture_output=True, text=True, timeout=30)
    shown = str(odd).replace("\x1b", "?")
    message = f"exists and is {what}, not a regular file; nothing was written" if option == "--out" else \
        f"is {what}, not a regular file"
    assert (proc.returncode, proc.stderr) == (1, f"stubconfig: {shown}: {message}\n")
    after = sorted((p.name, os.lstat(p)) for p in scratch.rglob("*"))
    assert [(name, st.st_ino, st.st_mode, st.st_rdev, st.st_mtime_ns) for name, st in after] == \
           [(name, st.st_ino, st.st_mode, st.st_rdev, st.st_mtime_ns) for name, st in before]


@pytest.mark.parametrize("route", ["same", "symlink", "hardlink"])
@pytest.mark.parametrize("option", INPUTS)
def test_an_out_that_is_an_input_is_refused_and_the_input_left_unchanged(option, route, scratch):
    args = write_inputs(scratch)
    out = {"same": "./" + args[option], "symlink": "link.out", "hardlink": "hard.out"}[route]
    if route == "symlink":
        (scratch / out).symlink_to(args[option])
    elif route == "hardlink":
        os.link(scratch / args[option], scratch / out)
    before = {p.name: p.read_bytes() for p in scratch.iterdir()}
    proc = subprocess.run([str(TOOL), "write", *[x for item in {**args, "--out": out}.items() for x in item]],
                          cwd=scratch, capture_output=True, text=True)
    assert proc.returncode == 1
    assert f"is the file given with {option}; the output would overwrite it, nothing was written" in proc.stderr
    assert {p.name: p.read_bytes() for p in scratch.iterdir()} == before


def test_the_windows_tool_takes_file_names_of_any_character(wine, scratch):
    # stubconfig.exe receives its arguments as UTF-16 and prints UTF-8 to a pipe.
    windows_tool = DIST / "stubconfig.exe"
    folder = scratch / "Zo\u00eb \u65e5\u672c \U0001f600"
    folder.mkdir()
    (folder / "stub.exe").write_bytes((DIST / "stubcon.exe").read_bytes())
    (folder / "\u8a2d\u5b9a.ini").write_bytes("[Launcher]\nSplashText=\u65e5\u672c \U0001f600\n".encode("utf-8"))
    env = {"LC_ALL": "C.UTF-8"}
    written = wine.run(windows_tool, "write", "--stub", win_path(folder / "stub.exe"),
                       "--config", win_path(folder / "\u8a2d\u5b9a.ini"), "--out", win_path(folder / "\u00e9.exe"),
                       cwd=scratch, env=env)
    assert written.returncode == 0, written
    printed = wine.run(windows_tool, "dump", win_path(folder / "\u00e9.exe"), cwd=scratch, env=env)
    assert printed.returncode == 0 and printed.stderr == b"", printed
    native = tool("dump", folder / "\u00e9.exe", check=True).stdout
    assert printed.stdout.replace(b"\r\n", b"\n") == native
    assert "SplashText=\u65e5\u672c \U0001f600\n".encode("utf-8") in native


# ---------------------------------------------------------------------------------------------------
# Version information and manifest, read back through Windows' own readers (versionprobe).

VERSION_INFO = {
    "FileVersion": "2.7.1",
    "ProductVersion": "2024.12.0.65535",
    "FileDescription": "Mon application \u2014 \u65e5\u672c \U0001f600",
    "ProductName": "Caf\u00e9 Suite",
    "CompanyName": "Example S.A.",
    "LegalCopyright": "\u00a9 2024 Example",
    "OriginalFilename": "MyApp.exe",
    "InternalName": "myapp",
    "Comments": "",
}
REQUIRE_ADMINISTRATOR = (  # with a declaration, a comment and line breaks, all of which stay as written
    '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<!-- A replacement: run elevated. -->\n'
    '<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">\n'
    '  <trustInfo xmlns="urn:schemas-microsoft-com:asm.v3"><security><requestedPrivileges>\n'
    '    <requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>\n'
    '  </requestedPrivileges></security></trustInfo>\n</assembly>\n')


def version_probe(wine, *args):
    proc = wine.run(VERSION_PROBE, *args, check_exit=0)
    return proc.stdout


def write_with(stub, text, out, *options):
    ini = out.with_suffix(".ini")
    ini.write_bytes(text.encode("utf-8"))
    return write(stub, ini, out, *options, cwd=out.parent)


@pytest.mark.parametrize("build", BUILDS)
def test_version_information_and_a_replaced_manifest_read_back_through_windows(wine, scratch, build):
    manifest = scratch / "admin.manifest"
    manifest.write_bytes(b"\xef\xbb\xbf" + REQUIRE_ADMINISTRATOR.encode("utf-8"))
    section = "[VersionInfo]\n" + "".join(f"{key}={value}\n" for key, value in VERSION_INFO.items())
    exe = scratch / "MyApp.exe"
    proc = write_with(build.stubcon, "[Launcher]\nShowSplash=0\n" + section, exe, "--manifest", manifest)
    assert proc.returncode == 0 and proc.stderr == b"", proc
    values = version_probe(wine, win_path(exe), "FILEVERSION", "PRODUCTVERSION", *VERSION_INFO)
    assert values.decode("utf-8").splitlines() == ["FILEVERSION=2.7.1.0", "PRODUCTVERSION=2024.12.0.65535",
                                                   *(f"{key}={value}" for key, value in VERSION_INFO.items())]
    assert dump_sections(exe)["VersionInfo"] == VERSION_INFO
    embedded = version_probe(wine, "--manifest", win_path(exe))
    assert embedded == REQUIRE_ADMINISTRATOR.encode("utf-8")  # as written, without the byte-order mark
    context = version_probe(wine, "--actctx", win_path(exe)).decode().splitlines()
    assert context[:2] == ["runLevel=requireAdministrator", "uiAccess=false"]
    # A later write without --manifest keeps it; dump -> write -> dump holds for the section too.
    restamped = write_with(exe, "[Launcher]\nSplashText=again\n", scratch / "restamped.exe")
    assert restamped.returncode == 0, restamped
    assert version_probe(wine, "--manifest", win_path(scratch / "restamped.exe")) == embedded
    again = write_with(build.stubcon, tool("dump", exe, check=True).stdout.decode("utf-8"), scratch / "again.exe")
    assert again.returncode == 0, again
    assert dump_sections(scratch / "again.exe") == dump_sections(exe)


# A write without the section keeps the launcher's own (test_launcher_identity); an empty one replaces it.
def test_an_empty_version_section_gives_version_information_without_strings(wine, scratch):
    exe = scratch / "app.exe"
    assert write_with(X64.stubwin, "[VersionInfo]\n", exe).returncode == 0
    assert dump_sections(exe)["VersionInfo"] == {}
    assert version_probe(wine, win_path(exe), "FILEVERSION", "ProductName").decode().splitlines() == [
        "FILEVERSION=0.0.0.0", "ProductName is missing"]
