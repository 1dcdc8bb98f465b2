"""The configuration tool on real executables: stamp copies of the stringprobe fixture (and of the
launchers, once built), then observe through the Windows resource loader under Wine (stringprobe for
the strings, versionprobe for the version information and the manifest), through objdump and through
`stubconfig dump` what a configured executable carries."""
import os
import socket
import stat
import struct
import subprocess
import zlib
from pathlib import Path

import pytest

from conftest import BUILD_WIN, BUILDS, DIST, X64, stamp, win_path

TOOL = DIST / "stubconfig"
PROBE = BUILD_WIN / "tests" / "fixtures" / "stringprobe" / "stringprobe.exe"
VERSION_PROBE = BUILD_WIN / "fixtures" / "versionprobe.exe"
OBJDUMP = "x86_64-w64-mingw32-objdump"
SETTING_IDS = list(range(1024, 1713, 16))

pytestmark = pytest.mark.skipif(not TOOL.exists(), reason="dist/stubconfig not built")

STUBS = [PROBE, DIST / "stubwin.exe", DIST / "stubcon.exe"]
needs_probe = pytest.mark.skipif(not PROBE.exists(), reason="stringprobe not built")


def tool(*args, cwd=None, check=False):
    return subprocess.run([str(TOOL), *map(str, args)], cwd=cwd, capture_output=True, check=check, timeout=60)


def write(stub, config, out, *options, cwd=None):
    return tool("write", "--stub", stub, "--config", config, "--out", out, *options, cwd=cwd)


def existing(path):
    return pytest.param(path, id=path.name,
                        marks=pytest.mark.skipif(not path.exists(), reason=f"{path.name} not built"))


def fnv1a(data):
    value = 2166136261
    for byte in data:
        value = ((value ^ byte) * 16777619) & 0xFFFFFFFF
    return f"{value:08x}"


def pe_checksum(data):
    """The PE checksum, computed independently of the tool (16-bit sums with folded carries)."""
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
    """What `dump` prints, as {section: {key: value}}; the output is UTF-8."""
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


SETTINGS = {
    "JvmPath": r"C:\Program Files\Java\jdk\bin\server\jvm.dll",
    "JvmOptions": ' -Xmx1g -Dapp.dir="C:\\My App\\" ',
    "ClassPath": "lib\\" + "x" * 1019,
    "MainClass": "org.example.demo.Main",
    "AppOptions": "",
    "ShowSplash": "0",
    "SplashSeconds": "3",
    "MinJavaVersion": "0x00010008",
    "SplashText": "Caf\xe9 l\xe4dt\u2026 \u65e5\u672c \U0001f600",
    "FileAccessErrorMessage": "Cannot use %s (100%% sure)",
}


@needs_probe
def test_launcher_reads_exactly_the_written_values(wine, scratch):
    exe = stamp(PROBE, SETTINGS, scratch / "app.exe")
    seen = probe_strings(wine, exe, [1040, 1056, 1072, 1168, 1184, 1392, 1408, 1024, 1376, 1440, 1152, 1025, 2000])
    for key, value in SETTINGS.items():
        sid = next(i for i in SETTING_IDS if dump_names()[i] == key)
        if key == "MainClass":
            assert seen[b"1168"] != value.encode() and len(seen[b"1168"]) == 2 * len(value)
        else:
            assert seen[str(sid).encode()] == value.encode("utf-8"), key
    assert seen[b"1152"] == b"."  # not named in the file: the stub's value
    assert seen[b"1025"] == b"neighbour of MinJavaVersion"
    assert seen[b"2000"] == b"unrelated block"
    assert dump(exe)["MainClass"] == "org.example.demo.Main"


def dump_names():
    """Setting names by ID, in the order dump prints them."""
    return dict(zip(SETTING_IDS, dump(PROBE).keys()))


@needs_probe
def test_every_setting_at_full_length_reaches_the_launcher(wine, scratch):
    free_text = [name for name, value in dump(PROBE).items()
                 if name not in ("MainClass", "MinJavaVersion", "JvmSearchMode", "SplashSeconds", "ServiceSwitch",
                                 "Environment")
                 and value not in ("0", "1")]
    texts = {name: chr(ord("a") + i % 26) * 1023 for i, name in enumerate(free_text)}
    exe = stamp(PROBE, texts, scratch / "long.exe")
    names = dump_names()
    seen = probe_strings(wine, exe, SETTING_IDS)
    for sid in SETTING_IDS:
        if names[sid] in texts:
            assert seen[str(sid).encode()] == texts[names[sid]].encode(), names[sid]
    # Stamping the stamped copy again shrinks everything back in place.
    again = stamp(exe, {name: "" for name in texts}, scratch / "short.exe")
    seen = probe_strings(wine, again, SETTING_IDS)
    assert all(seen[str(sid).encode()] == b"" for sid in SETTING_IDS if names[sid] in texts)
    assert again.stat().st_size < exe.stat().st_size


@needs_probe
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
    """An .ico file holding one PNG image of size x size pixels."""
    row = b"\0" + b"\x10\xc8\x1e\xff" * size
    chunk = lambda kind, data: (struct.pack(">I", len(data)) + kind + data +
                                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
           chunk(b"IDAT", zlib.compress(row * size)) + chunk(b"IEND", b""))
    return struct.pack("<HHHBBBBHHII", 0, 1, 1, size % 256, size % 256, 0, 0, 1, 32, len(png), 22) + png


LAUNCHERS = [DIST / "stubwin.exe", DIST / "stubcon.exe", DIST / "x86" / "stubwin.exe", DIST / "x86" / "stubcon.exe"]


@pytest.mark.parametrize("stub", [existing(p) for p in LAUNCHERS], ids=lambda p: f"{p.parent.name}-{p.name}")
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


@pytest.mark.parametrize("stub", [existing(p) for p in STUBS])
def test_dump_of_written_executable_reproduces_the_input(stub, scratch):
    before = dump(stub)
    assert len(before) == 47
    exe = stamp(stub, SETTINGS, scratch / "app.exe")
    assert dump(exe) == {**before, **SETTINGS}
    # dump output is itself a valid configuration for write
    (scratch / "dumped.ini").write_bytes(tool("dump", exe, check=True).stdout)
    assert write(stub, scratch / "dumped.ini", scratch / "again.exe").returncode == 0
    assert dump(scratch / "again.exe") == dump(exe)


BAD_CASES = [
    ("[Launcher]\nJvmPath=x\nFoo=1\n", {}, 'app.ini:3: unknown key "Foo"'),
    ("[Launcher]\n", {"--icon": "missing.ico"}, "missing.ico: cannot open"),
    ("[Launcher]\n", {"--icon": "app.ini"}, "app.ini: not an icon file"),
    ("[Launcher]\n", {"--splash": "app.ini"}, "app.ini: not a BMP file"),
    ("[Launcher]\n", {"--stub": "app.ini"}, "app.ini: not a PE executable"),
    ("[Launcher]\n", {"--default-version": "1.0-SNAPSHOT"}, '--default-version "1.0-SNAPSHOT" is not a version'),
    ("[Launcher]\n", {"--manifest": "missing.manifest"}, "missing.manifest: cannot open for reading"),
    ("[Launcher]\n", {"--manifest": "app.ini"},
     "app.ini: not an application manifest: line 1: no root element where one is expected"),
]


@needs_probe
@pytest.mark.parametrize("ini,options,message", BAD_CASES)
def test_bad_input_is_refused_without_output(ini, options, message, scratch):
    (scratch / "stub.exe").write_bytes(PROBE.read_bytes())
    (scratch / "sub").mkdir()
    (scratch / "app.ini").write_bytes(ini.encode("utf-8"))
    args = {"--stub": "stub.exe", "--config": "app.ini", "--out": "out.exe", **options}
    proc = tool("write", *[x for kv in args.items() for x in kv], cwd=scratch)
    assert proc.returncode != 0
    assert message in proc.stderr.decode()
    assert not (scratch / "out.exe").exists()
    assert sorted(p.name for p in scratch.iterdir()) == ["app.ini", "stub.exe", "sub"]
    assert (scratch / "stub.exe").read_bytes() == PROBE.read_bytes()


@needs_probe
def test_dump_refuses_damaged_files_cleanly(scratch):
    data = PROBE.read_bytes()
    for cut in (0, 100, 1000, 0x2000):  # the last cut ends before the resource section
        (scratch / "cut.exe").write_bytes(data[:cut])
        proc = tool("dump", scratch / "cut.exe")
        assert proc.returncode == 1 and b"cut.exe: " in proc.stderr, (cut, proc.stderr)


# ---------------------------------------------------------------------------------------------------
# Hostile and unusual input: bounded work, no false success, no clobbering, messages that say why.

def minimal_image(rsrc):
    """A PE32+ executable whose only section is `rsrc`, the resource section, mapped at 0x1000."""
    file_alignment, section_alignment = 0x200, 0x1000
    headers = bytearray(0x400)
    headers[0:2] = b"MZ"
    struct.pack_into("<I", headers, 0x3C, 0x80)
    headers[0x80:0x84] = b"PE\0\0"
    struct.pack_into("<HHIIIHH", headers, 0x84, 0x8664, 1, 0, 0, 0, 240, 0x22)
    opt = 0x98
    struct.pack_into("<H", headers, opt, 0x20B)
    struct.pack_into("<II", headers, opt + 32, section_alignment, file_alignment)
    struct.pack_into("<I", headers, opt + 56, 0x1000 + -(-len(rsrc) // section_alignment) * section_alignment)
    struct.pack_into("<I", headers, opt + 60, 0x400)
    struct.pack_into("<I", headers, opt + 108, 16)
    struct.pack_into("<II", headers, opt + 112 + 16, 0x1000, len(rsrc))
    raw = -(-len(rsrc) // file_alignment) * file_alignment
    struct.pack_into("<8sIIII12xI", headers, opt + 240, b".rsrc", len(rsrc), 0x1000, raw, 0x400, 0x40000040)
    return bytes(headers) + rsrc.ljust(raw, b"\0")


def shared_directory_section(types, names):
    """`types` type entries that all lead to one directory of `names` name entries, each of which
    leads to one and the same empty language directory."""
    root = struct.pack("<12xHH", 0, types)
    name_dir = 16 + 8 * types
    language_dir = name_dir + 16 + 8 * names
    root += b"".join(struct.pack("<II", i + 1, name_dir | 0x80000000) for i in range(types))
    name_level = struct.pack("<12xHH", 0, names)
    name_level += b"".join(struct.pack("<II", i + 1, language_dir | 0x80000000) for i in range(names))
    return root + name_level + bytes(16)


def run_measured(args, **kwargs):
    """Runs a command; its exit code, stderr and resource usage (peak RSS in KiB, CPU seconds)."""
    proc = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, **kwargs)
    stderr = proc.stderr.read()
    _, status, usage = os.wait4(proc.pid, 0)
    proc.returncode = os.waitstatus_to_exitcode(status)
    return proc.returncode, stderr.decode(), usage.ru_maxrss, usage.ru_utime + usage.ru_stime


@pytest.mark.parametrize("command", ["dump", "write"])
def test_a_tree_that_reaches_directories_twice_fails_fast_in_little_memory(command, scratch):
    crafted = scratch / "crafted.exe"
    crafted.write_bytes(minimal_image(shared_directory_section(65535, 65535)))  # about 1 MiB
    (scratch / "app.ini").write_text("[Launcher]\n")
    write = ["write", "--config", "app.ini", "--out", "out.exe", "--stub"]
    args = [str(TOOL), *(["dump"] if command == "dump" else write)]
    # The same command on a small well-formed stub gives the tool's own footprint.
    _, _, baseline_kib, _ = run_measured(args + [str(DIST / "stubcon.exe")], cwd=scratch)
    (scratch / "out.exe").unlink(missing_ok=True)
    code, stderr, peak_kib, cpu_seconds = run_measured(args + ["crafted.exe"], cwd=scratch)
    assert code == 1
    assert stderr.startswith("stubconfig: crafted.exe: resource directory at offset ") and "reached twice" in stderr
    assert (peak_kib - baseline_kib) * 1024 < 4 * crafted.stat().st_size, (peak_kib, baseline_kib)
    assert cpu_seconds < 5
    assert not (scratch / "out.exe").exists()


@pytest.mark.parametrize("stub", [existing(DIST / "stubcon.exe")])
@pytest.mark.parametrize("corruption", ["length past the end", "block cut short"])
def test_write_refuses_a_stub_that_dump_refuses_with_the_same_message(stub, corruption, scratch):
    data = bytearray(stub.read_bytes())
    switch = "-startlauncherinservicemode".encode("utf-16-le")
    at = data.index(struct.pack("<H", len(switch) // 2) + switch)
    if corruption == "length past the end":
        struct.pack_into("<H", data, at, 0xFFFF)
    else:  # the string's length names one character more than the block holds before the next string
        struct.pack_into("<H", data, at + 2 + len(switch), 0xFFFF)
    struct.pack_into("<I", data, struct.unpack_from("<I", data, 0x3C)[0] + 88, pe_checksum(bytes(data))[0])
    (scratch / "bad.exe").write_bytes(bytes(data))
    (scratch / "app.ini").write_text("[Launcher]\nJvmPath=x\n")
    dumped = tool("dump", "bad.exe", cwd=scratch)
    written = write("bad.exe", "app.ini", "out.exe", cwd=scratch)
    assert dumped.returncode == written.returncode == 1
    assert b"is malformed" in dumped.stderr and written.stderr == dumped.stderr
    assert sorted(p.name for p in scratch.iterdir()) == ["app.ini", "bad.exe"]


def make_fifo(path):
    os.mkfifo(path)


def make_directory(path):
    path.mkdir()
    (path / "keep.txt").write_text("kept")


def make_socket(path):
    with socket.socket(socket.AF_UNIX) as sock:
        sock.bind(str(path))


def make_device(path):
    """A node of the same device as /dev/full, made in the scratch directory: a regression then
    replaces this node, not the system's."""
    try:
        os.mknod(path, stat.S_IFCHR | 0o666, os.makedev(1, 7))
    except PermissionError:
        pytest.skip("creating device nodes needs root")


def make_link(path):
    (path.parent / "target.exe").write_bytes(b"target")
    path.symlink_to("target.exe")


@pytest.mark.parametrize("make, kind", [
    (make_fifo, "a named pipe (FIFO)"), (make_directory, "a directory"), (make_socket, "a socket"),
    (make_device, "a character device"), (make_link, "a symbolic link"),
], ids=["fifo", "directory", "socket", "device", "symlink"])
def test_an_out_that_is_not_a_regular_file_is_refused_and_left_alone(make, kind, scratch):
    out = scratch / "out.exe"
    make(out)
    before = sorted((p.name, os.lstat(p)) for p in scratch.rglob("*"))
    (scratch / "app.ini").write_text("[Launcher]\nJvmPath=x\n")
    proc = write(DIST / "stubcon.exe", "app.ini", "out.exe", cwd=scratch)
    assert proc.returncode == 1
    assert proc.stderr.decode() == f"stubconfig: out.exe: exists and is {kind}, not a regular file; nothing was written\n"
    after = sorted((p.name, os.lstat(p)) for p in scratch.rglob("*") if p.name != "app.ini")
    assert [(name, st.st_ino, st.st_mode, st.st_rdev, st.st_mtime_ns) for name, st in after] == \
           [(name, st.st_ino, st.st_mode, st.st_rdev, st.st_mtime_ns) for name, st in before]


INPUTS = ["--stub", "--config", "--icon", "--splash", "--manifest"]


def write_inputs(scratch):
    """Every input of `write`, valid, in scratch; the arguments that name them."""
    (scratch / "app.exe").write_bytes((DIST / "stubcon.exe").read_bytes())
    (scratch / "app.ini").write_text("[Launcher]\nJvmPath=x\n")
    (scratch / "app.ico").write_bytes(png_icon(16))
    (scratch / "app.bmp").write_bytes(make_bitmap(1, 1, (1, 2, 3)))
    (scratch / "app.manifest").write_text(
        '<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0"/>')
    return {"--stub": "app.exe", "--config": "app.ini", "--icon": "app.ico", "--splash": "app.bmp",
            "--manifest": "app.manifest"}


@pytest.mark.parametrize("kind, message", [
    ("fifo", "is a named pipe (FIFO), not a regular file"), ("zero", "is a character device, not a regular file"),
    ("directory", "is a directory, not a regular file")])
@pytest.mark.parametrize("option", [*INPUTS, "dump"])
def test_an_input_that_is_no_regular_file_gives_a_message_at_once(option, kind, message, scratch):
    args = write_inputs(scratch)
    path = "/dev/zero" if kind == "zero" else str(scratch / "odd\x1b[2J")  # the name's escape is not sent raw
    if kind == "fifo":
        os.mkfifo(path)
    elif kind == "directory":
        os.mkdir(path)
    command = ["dump", path] if option == "dump" else \
        ["write", *[x for o, name in {**args, option: path, "--out": "out.exe"}.items() for x in (o, name)]]
    proc = subprocess.run([str(TOOL), *command], cwd=scratch, capture_output=True, text=True, timeout=30)
    assert (proc.returncode, proc.stderr) == (1, f"stubconfig: {path.replace(chr(27), '?')}: {message}\n")
    assert not (scratch / "out.exe").exists()


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


LEGACY_WARNING = ("app.ini:2: warning: not UTF-8, so the whole file is read as Windows-1252 (save it as UTF-8 to be "
                  "sure of its characters)")


# Each refusal's text is the unit tests' matter; here, that the tool prints them as lines of its own.
@pytest.mark.parametrize("content, messages", [
    (b"[Launcher]\n\x1b[31m\xff\xfe" + b"k" * 300 + b"=1\n",
     [LEGACY_WARNING, 'app.ini:2: unknown key "\\x1B[31m\\u00FF\\u00FE' + "k" * 33 + '..."']),
    (None, ["app.ini: is not a text file (it holds NUL bytes)"]),  # the stub itself given as configuration
], ids=["binary-key", "executable"])
def test_unreadable_configuration_files_are_named_in_one_printable_line(content, messages, scratch):
    (scratch / "app.ini").write_bytes(content if content is not None else (DIST / "stubcon.exe").read_bytes())
    proc = write(DIST / "stubcon.exe", "app.ini", "out.exe", cwd=scratch)
    assert proc.returncode == 1
    assert proc.stderr == b"".join(b"stubconfig: " + message.encode() + b"\n" for message in messages)
    assert not (scratch / "out.exe").exists()


EDGE_VALUES = {
    "AppOptions": "\t;not a comment = \"x\"\t",
    "IniFile": "#not a comment",
    "ServiceDescription": "[Launcher]",
    "ServiceName": " ",
    "SplashText": "\xa0\xad\xff\u2028\u200e \t",  # characters next to the control characters write refuses
    "SystemOutFile": "\ufeff\u200b\u00a0 \U0010fffd",  # characters that are easy to lose: marks, spaces, plane 16
    "JvmOptions": "",
}


@pytest.mark.parametrize("stub", [existing(DIST / "stubcon.exe")])
def test_every_value_write_accepts_dump_prints_back_unchanged(stub, scratch):
    exe = stamp(stub, EDGE_VALUES, scratch / "app.exe")
    assert tool("dump", exe, check=True).stderr == b""
    assert dump(exe) == {**dump(stub), **EDGE_VALUES}


# ---------------------------------------------------------------------------------------------------
# Unicode: configuration files in UTF-8 or UTF-16, values of any character stored as UTF-16.

UNICODE_SETTINGS = {
    "JvmPath": "C:\\Zo\u00eb \u65e5\u672c \U0001f600\\jvm.dll",
    "MainClass": "org.\u00e9t\u00e9.\u65e5\u672c.App",
    "SplashText": "Caf\u00e9 \u2014 \u65e5\u672c \U0001f600 \u20ac",
    "FileAccessErrorMessage": "\u00c9chec : %s \u2717 100%%",
    "AppOptions": "\U0001f600" * 511 + "!",  # 1023 UTF-16 code units, the most an entry holds
}


@pytest.mark.parametrize("encoding, mark", [
    ("utf-8", b""), ("utf-8", b"\xef\xbb\xbf"), ("utf-16-le", b"\xff\xfe"), ("utf-16-be", b"\xfe\xff"),
], ids=["utf-8", "utf-8-with-bom", "utf-16-le", "utf-16-be"])
@needs_probe
def test_values_of_any_character_reach_the_string_table_and_dump_prints_them_back(wine, scratch, encoding, mark):
    text = "[Launcher]\r\n" + "".join(f"{key}={value}\r\n" for key, value in UNICODE_SETTINGS.items())
    (scratch / "app.ini").write_bytes(mark + text.encode(encoding))
    written = write(PROBE, "app.ini", "app.exe", cwd=scratch)
    assert written.returncode == 0 and written.stderr == b"", written
    exe = scratch / "app.exe"
    names = dump_names()
    ids = [sid for sid, name in names.items() if name in UNICODE_SETTINGS]
    seen = probe_strings(wine, exe, ids)
    for sid in ids:
        if names[sid] != "MainClass":  # enciphered: its UTF-8 bytes, two hexadecimal digits each
            assert seen[str(sid).encode()] == UNICODE_SETTINGS[names[sid]].encode("utf-8"), names[sid]
    assert len(seen[b"1168"]) == 2 * len(UNICODE_SETTINGS["MainClass"].encode("utf-8"))
    printed = tool("dump", exe, check=True)
    assert printed.stderr == b""
    assert dump(exe) == {**dump(PROBE), **UNICODE_SETTINGS}
    # What dump printed, written again, gives the same table.
    (scratch / "dumped.ini").write_bytes(printed.stdout)
    assert write(PROBE, "dumped.ini", "again.exe", cwd=scratch).returncode == 0
    assert probe_strings(wine, scratch / "again.exe", SETTING_IDS) == probe_strings(wine, exe, SETTING_IDS)


@needs_probe
def test_a_windows_1252_file_of_earlier_versions_is_read_as_before_with_a_warning(wine, scratch):
    (scratch / "app.ini").write_bytes("[Launcher]\r\nSplashText=Caf\u00e9 \u20ac\u2122\r\n".encode("cp1252"))
    written = write(PROBE, "app.ini", "app.exe", cwd=scratch)
    assert written.returncode == 0
    assert written.stderr == ("stubconfig: " + LEGACY_WARNING + "\n").encode()
    assert probe_strings(wine, scratch / "app.exe", [1376])[b"1376"] == "Caf\u00e9 \u20ac\u2122".encode("utf-8")


def test_the_windows_tool_takes_file_names_of_any_character(wine, scratch):
    """stubconfig.exe receives its arguments as UTF-16 and prints UTF-8 to a file or pipe."""
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
REQUIRE_ADMINISTRATOR = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<!-- A replacement: run elevated. -->
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <trustInfo xmlns="urn:schemas-microsoft-com:asm.v3">
    <security>
      <requestedPrivileges>
        <requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>
      </requestedPrivileges>
    </security>
  </trustInfo>
</assembly>
"""


def version_probe(wine, *args):
    if not VERSION_PROBE.exists():
        pytest.skip("versionprobe not built")
    proc = wine.run(VERSION_PROBE, *args, check_exit=0)
    return proc.stdout


def write_with(stub, text, out, *options):
    """`write` with a configuration file of the given text (UTF-8) and more options; the process."""
    ini = out.with_suffix(".ini")
    ini.write_bytes(text.encode("utf-8"))
    return write(stub, ini, out, *options, cwd=out.parent)


@pytest.mark.parametrize("build", BUILDS)
def test_version_information_reads_back_through_windows_and_the_manifest_stays(wine, scratch, build):
    section = "[VersionInfo]\n" + "".join(f"{key}={value}\n" for key, value in VERSION_INFO.items())
    exe = scratch / "MyApp.exe"
    proc = write_with(build.stubcon, "[Launcher]\nShowSplash=0\n" + section, exe)
    assert proc.returncode == 0 and proc.stderr == b"", proc
    names = ["FILEVERSION", "PRODUCTVERSION", *VERSION_INFO]
    values = version_probe(wine, win_path(exe), *names).decode("utf-8").splitlines()
    assert values == ["FILEVERSION=2.7.1.0", "PRODUCTVERSION=2024.12.0.65535",
                      *(f"{key}={value}" for key, value in VERSION_INFO.items())]
    assert dump_sections(exe)["VersionInfo"] == VERSION_INFO
    # The launcher's manifest is kept, byte for byte, by a write that does not replace it.
    assert version_probe(wine, "--manifest", win_path(exe)) == version_probe(wine, "--manifest", win_path(build.stubcon))
    # dump -> write -> dump holds for the section too.
    printed = tool("dump", exe, check=True).stdout
    again = write_with(build.stubcon, printed.decode("utf-8"), scratch / "again.exe")
    assert again.returncode == 0, again
    assert dump_sections(scratch / "again.exe") == dump_sections(exe)


def test_an_unconfigured_launcher_keeps_its_own_version_information_which_dump_does_not_show(wine, scratch):
    stub = X64.stubwin
    assert "VersionInfo" not in dump_sections(stub)
    exe = scratch / "app.exe"
    assert write_with(stub, "[Launcher]\nSplashText=x\n", exe).returncode == 0
    assert "VersionInfo" not in dump_sections(exe)
    names = ["FILEVERSION", "FileDescription", "ProductName"]
    assert version_probe(wine, win_path(exe), *names) == version_probe(wine, win_path(stub), *names)
    # A section without keys replaces it by version information without strings.
    assert write_with(stub, "[VersionInfo]\n", exe).returncode == 0
    assert dump_sections(exe)["VersionInfo"] == {}
    assert version_probe(wine, win_path(exe), *names).decode().splitlines() == [
        "FILEVERSION=0.0.0.0", "FileDescription is missing", "ProductName is missing"]


@pytest.mark.parametrize("build", BUILDS)
def test_manifest_option_replaces_the_manifest_and_later_writes_keep_it(wine, scratch, build):
    manifest = scratch / "admin.manifest"
    manifest.write_bytes(b"\xef\xbb\xbf" + REQUIRE_ADMINISTRATOR.encode("utf-8"))
    exe = scratch / "setup.exe"
    proc = write_with(build.stubcon, "[Launcher]\n", exe, "--manifest", manifest)
    assert proc.returncode == 0 and proc.stderr == b"", proc
    embedded = version_probe(wine, "--manifest", win_path(exe))
    assert embedded == REQUIRE_ADMINISTRATOR.encode("utf-8")  # as written, without the byte-order mark
    context = version_probe(wine, "--actctx", win_path(exe)).decode().splitlines()
    assert context[:2] == ["runLevel=requireAdministrator", "uiAccess=false"]
    restamped = stamp(exe, {"SplashText": "again"}, scratch / "restamped.exe")
    assert version_probe(wine, "--manifest", win_path(restamped)) == embedded


@pytest.mark.parametrize("text, problem", [
    (REQUIRE_ADMINISTRATOR.replace("</trustInfo>", ""), "line 11: end tag </assembly> does not close <trustInfo>"),
    (REQUIRE_ADMINISTRATOR.replace(' manifestVersion="1.0"', ""),
     'line 3: the root element <assembly> does not say manifestVersion="1.0"'),
    (REQUIRE_ADMINISTRATOR.replace("asm.v1", "asm.v2"),
     "line 3: the root element <assembly> is not in the namespace urn:schemas-microsoft-com:asm.v1"),
    ("\ufeff" + REQUIRE_ADMINISTRATOR, None),  # as UTF-16 below
], ids=["unbalanced", "no-manifest-version", "other-namespace", "utf-16"])
def test_a_manifest_windows_would_refuse_is_refused_naming_the_file(scratch, text, problem):
    manifest = scratch / "app.manifest"
    manifest.write_bytes(text.encode("utf-16-le") if problem is None else text.encode("utf-8"))
    proc = write_with(X64.stubcon, "[Launcher]\n", scratch / "out.exe", "--manifest", "app.manifest")
    expected = f"stubconfig: app.manifest: not an application manifest: {problem or 'UTF-16 text; save it as UTF-8'}\n"
    assert proc.returncode == 1
    assert proc.stderr.decode() == expected
    assert not (scratch / "out.exe").exists()
