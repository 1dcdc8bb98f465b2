"""The configuration tool on real executables: stamp copies of the stringprobe fixture (and of the
launchers, once built), then observe through the Windows resource loader under Wine, through objdump
and through `stubconfig dump` what a configured executable carries."""
import os
import socket
import stat
import struct
import subprocess
from pathlib import Path

import pytest

from conftest import BUILD_WIN, DIST, stamp

TOOL = DIST / "stubconfig"
PROBE = BUILD_WIN / "tests" / "fixtures" / "stringprobe" / "stringprobe.exe"
OBJDUMP = "x86_64-w64-mingw32-objdump"
SETTING_IDS = list(range(1024, 1713, 16))

pytestmark = pytest.mark.skipif(not TOOL.exists(), reason="dist/stubconfig not built")

STUBS = [PROBE, DIST / "stubwin.exe", DIST / "stubcon.exe"]


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


def dump(exe):
    proc = subprocess.run([str(TOOL), "dump", str(exe)], capture_output=True, check=True)
    lines = proc.stdout.decode("latin-1").splitlines()
    assert lines[0] == "[Launcher]"
    return dict(line.split("=", 1) for line in lines[1:])


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
    "SplashText": "Caf\xe9 l\xe4dt...",
    "FileAccessErrorMessage": "Cannot use %s (100%% sure)",
}


def test_launcher_reads_exactly_the_written_values(wine, scratch):
    if not PROBE.exists():
        pytest.skip("stringprobe not built")
    exe = stamp(PROBE, SETTINGS, scratch / "app.exe")
    seen = probe_strings(wine, exe, [1040, 1056, 1072, 1168, 1184, 1392, 1408, 1024, 1376, 1440, 1152, 1025, 2000])
    for key, value in SETTINGS.items():
        sid = next(i for i in SETTING_IDS if dump_names()[i] == key)
        if key == "MainClass":
            assert seen[b"1168"] != value.encode() and len(seen[b"1168"]) == 2 * len(value)
        else:
            assert seen[str(sid).encode()] == value.encode("cp1252"), key
    assert seen[b"1152"] == b"."  # not named in the file: the stub's value
    assert seen[b"1025"] == b"neighbour of MinJavaVersion"
    assert seen[b"2000"] == b"unrelated block"
    assert dump(exe)["MainClass"] == "org.example.demo.Main"


def dump_names():
    """Setting names by ID, in the order dump prints them."""
    return dict(zip(SETTING_IDS, dump(PROBE).keys()))


def test_every_setting_at_full_length_reaches_the_launcher(wine, scratch):
    if not PROBE.exists():
        pytest.skip("stringprobe not built")
    free_text = [name for name, value in dump(PROBE).items()
                 if name not in ("MainClass", "MinJavaVersion", "JvmSearchMode", "SplashSeconds") and value not in ("0", "1")]
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


def test_icon_and_splash_are_replaced(wine, scratch):
    if not PROBE.exists():
        pytest.skip("stringprobe not built")
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


@pytest.mark.parametrize("stub", [existing(p) for p in STUBS])
def test_output_is_a_well_formed_pe_with_a_correct_checksum(stub, scratch):
    computed, stored = pe_checksum(stub.read_bytes())
    assert stored in (0, computed)  # the linker's own checksum agrees with ours
    for name, settings in (("small.exe", {"JvmPath": "j"}), ("large.exe", {"ClassPath": "c" * 1023, "AppOptions": "a" * 1023})):
        exe = stamp(stub, settings, scratch / name)
        headers = subprocess.run([OBJDUMP, "-p", str(exe)], capture_output=True, text=True, check=True).stdout
        computed, stored = pe_checksum(exe.read_bytes())
        assert stored == computed
        assert f"CheckSum\t\t{computed:08x}" in headers
        assert "Resource Directory [.rsrc]" in headers


@pytest.mark.parametrize("stub", [existing(p) for p in STUBS])
def test_dump_of_written_executable_reproduces_the_input(stub, scratch):
    before = dump(stub)
    assert len(before) == 44
    exe = stamp(stub, SETTINGS, scratch / "app.exe")
    assert dump(exe) == {**before, **SETTINGS}
    # dump output is itself a valid configuration for write
    (scratch / "dumped.ini").write_bytes(subprocess.run([str(TOOL), "dump", str(exe)], capture_output=True, check=True).stdout)
    subprocess.run([str(TOOL), "write", "--stub", str(stub), "--config", str(scratch / "dumped.ini"),
                    "--out", str(scratch / "again.exe")], check=True)
    assert dump(scratch / "again.exe") == dump(exe)


BAD_CASES = [
    ("[Launcher]\nJvmPath=x\nFoo=1\n", {}, 'app.ini:3: unknown key "Foo"'),
    ("[Main]\n", {}, 'app.ini:1: unknown section "Main"'),
    ("[Launcher]\nMainClass=\n", {}, "app.ini:2: MainClass must name the main class"),
    ("[Launcher]\nMainClass=com.example.\n", {}, "app.ini:2: MainClass is not a Java class name"),
    ("[Launcher]\nJvmOptions=" + "x" * 1024 + "\n", {}, "app.ini:2: JvmOptions is 1024 characters long"),
    ("[Launcher]\nShowSplash=true\n", {}, "app.ini:2: ShowSplash expects 0 or 1"),
    ("[Launcher]\n", {"--icon": "missing.ico"}, "missing.ico: cannot open"),
    ("[Launcher]\n", {"--icon": "app.ini"}, "app.ini: not an icon file"),
    ("[Launcher]\n", {"--splash": "app.ini"}, "app.ini: not a BMP file"),
    ("[Launcher]\n", {"--stub": "app.ini"}, "app.ini: not a PE executable"),
    ("[Launcher]\n", {"--out": "stub.exe"}, "the output would overwrite the stub"),
    ("[Launcher]\n", {"--out": "./sub/../stub.exe"}, "the output would overwrite the stub"),
]


@pytest.mark.parametrize("ini,options,message", BAD_CASES)
def test_bad_input_is_refused_without_output(ini, options, message, scratch):
    if not PROBE.exists():
        pytest.skip("stringprobe not built")
    (scratch / "stub.exe").write_bytes(PROBE.read_bytes())
    (scratch / "sub").mkdir()
    (scratch / "app.ini").write_text(ini)
    args = {"--stub": "stub.exe", "--config": "app.ini", "--out": "out.exe", **options}
    proc = subprocess.run([str(TOOL), "write", *[x for kv in args.items() for x in kv]], cwd=scratch,
                          capture_output=True, text=True)
    assert proc.returncode != 0
    assert message in proc.stderr
    assert not (scratch / "out.exe").exists()
    assert sorted(p.name for p in scratch.iterdir()) == ["app.ini", "stub.exe", "sub"]
    assert (scratch / "stub.exe").read_bytes() == PROBE.read_bytes()


def test_signed_stub_is_refused(scratch):
    if not PROBE.exists():
        pytest.skip("stringprobe not built")
    data = bytearray(PROBE.read_bytes())
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    struct.pack_into("<II", data, pe + 24 + 112 + 4 * 8, len(data), 8)  # a security directory entry
    (scratch / "signed.exe").write_bytes(bytes(data) + b"\0" * 8)
    (scratch / "app.ini").write_text("[Launcher]\n")
    proc = subprocess.run([str(TOOL), "write", "--stub", "signed.exe", "--config", "app.ini", "--out", "o.exe"],
                          cwd=scratch, capture_output=True, text=True)
    assert proc.returncode != 0 and "signed.exe: is Authenticode-signed" in proc.stderr
    assert not (scratch / "o.exe").exists()


def test_dump_refuses_damaged_files_cleanly(scratch):
    if not PROBE.exists():
        pytest.skip("stringprobe not built")
    data = PROBE.read_bytes()
    for cut in (0, 100, 1000, 0x2000):  # the last cut ends before the resource section
        (scratch / "cut.exe").write_bytes(data[:cut])
        proc = subprocess.run([str(TOOL), "dump", str(scratch / "cut.exe")], capture_output=True, text=True)
        assert proc.returncode == 1, (cut, proc.stderr)
        assert "cut.exe: " in proc.stderr


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


def section_headers(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count, optional_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    table = pe + 24 + optional_size
    return {data[h:h + 8].rstrip(b"\0").decode(): (h, *struct.unpack_from("<IIII", data, h + 8))
            for h in range(table, table + 40 * count, 40)}


def test_a_resource_raw_size_beyond_the_file_still_gives_an_output_that_carries_the_configuration(wine, scratch):
    if not PROBE.exists():
        pytest.skip("stringprobe not built")
    data = bytearray(PROBE.read_bytes())
    header, *_ = section_headers(data)[".rsrc"]
    struct.pack_into("<I", data, header + 16, 0x7FFFFFFF)  # SizeOfRawData
    (scratch / "stub.exe").write_bytes(bytes(data))
    settings = {"JvmPath": "written.dll", "ClassPath": "c" * 1023}  # grows: the section must move
    exe = stamp(scratch / "stub.exe", settings, scratch / "app.exe")
    assert dump(exe) == {**dump(scratch / "stub.exe"), **settings}
    seen = probe_strings(wine, exe, [1040, 1072, 1152])
    assert (seen[b"1040"], seen[b"1072"], seen[b"1152"]) == (b"written.dll", b"c" * 1023, b".")
    out = exe.read_bytes()
    for name, (_, _, _, raw_size, raw_pointer) in section_headers(bytes(data)).items():
        if name not in (".rsrc", ".bss") and raw_size:  # every other section's bytes are kept
            assert out[raw_pointer:raw_pointer + raw_size] == data[raw_pointer:raw_pointer + raw_size], name


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
    (scratch / "bad.exe").write_bytes(bytes(data))
    (scratch / "app.ini").write_text("[Launcher]\nJvmPath=x\n")
    dumped = subprocess.run([str(TOOL), "dump", "bad.exe"], cwd=scratch, capture_output=True, text=True)
    written = subprocess.run([str(TOOL), "write", "--stub", "bad.exe", "--config", "app.ini", "--out", "out.exe"],
                             cwd=scratch, capture_output=True, text=True)
    assert dumped.returncode == written.returncode == 1
    assert "is malformed" in dumped.stderr and written.stderr == dumped.stderr
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
    proc = subprocess.run([str(TOOL), "write", "--stub", str(DIST / "stubcon.exe"), "--config", "app.ini",
                           "--out", "out.exe"], cwd=scratch, capture_output=True, text=True, timeout=60)
    assert proc.returncode == 1
    assert proc.stderr == f"stubconfig: out.exe: exists and is {kind}, not a regular file; nothing was written\n"
    after = sorted((p.name, os.lstat(p)) for p in scratch.rglob("*") if p.name != "app.ini")
    assert [(name, st.st_ino, st.st_mode, st.st_rdev, st.st_mtime_ns) for name, st in after] == \
           [(name, st.st_ino, st.st_mode, st.st_rdev, st.st_mtime_ns) for name, st in before]


@pytest.mark.parametrize("content, message", [
    ("[Launcher]\nJvmPath=x\n".encode("utf-16"), "app.ini: is UTF-16 text; save the file as ANSI (Windows-1252)"),
    ("[Launcher]\nJvmPath=x\n".encode("utf-16-be"), "app.ini: is UTF-16 text; save the file as ANSI (Windows-1252)"),
    (b"[Launcher]\rJvmPath=x\r", "app.ini: lines end with a carriage return alone (CR); save the file with CR LF "
                                  "or LF line ends"),
    (b"[Launcher]\r\nClassPath=a.jar\rb.jar\r\n", "app.ini:2: carriage return inside the line (lines end with "
                                                   "CR LF or LF; a value cannot hold a line break)"),
    (b"[Launcher]\n\x1b[31m\xff\xfe" + b"k" * 300 + b"=1\n",
     'app.ini:2: unknown key "\\x1B[31m\\xFF\\xFE' + "k" * 33 + '..."'),
    (None, "app.ini: is not a text file (it holds NUL bytes)"),  # the stub itself given as configuration
], ids=["utf-16", "utf-16-be-without-bom", "cr-only", "lone-cr", "binary-key", "executable"])
def test_unreadable_configuration_files_are_named_in_one_printable_line(content, message, scratch):
    (scratch / "app.ini").write_bytes(content if content is not None else (DIST / "stubcon.exe").read_bytes())
    proc = subprocess.run([str(TOOL), "write", "--stub", str(DIST / "stubcon.exe"), "--config", "app.ini",
                           "--out", "out.exe"], cwd=scratch, capture_output=True)
    assert proc.returncode == 1
    assert proc.stderr == b"stubconfig: " + message.encode() + b"\n"
    assert not (scratch / "out.exe").exists()


EDGE_VALUES = {
    "AppOptions": "\t;not a comment = \"x\"\t",
    "IniFile": "#not a comment",
    "ServiceDescription": "[Launcher]",
    "ServiceName": " ",
    "SplashText": "\x81\x8d\x8f\x90\x9d \x80\xff\x01\x7f",  # incl. the five bytes Windows-1252 leaves undefined
    "JvmOptions": "",
}


@pytest.mark.parametrize("stub", [existing(DIST / "stubcon.exe")])
def test_every_value_write_accepts_dump_prints_back_unchanged(stub, scratch):
    exe = stamp(stub, EDGE_VALUES, scratch / "app.exe")
    printed = subprocess.run([str(TOOL), "dump", str(exe)], capture_output=True, check=True)
    assert printed.stderr == b""
    assert dump(exe) == {**dump(stub), **EDGE_VALUES}
