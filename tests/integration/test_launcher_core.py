"""Both launchers under Wine, observed as a user would: exit codes, the exact bytes of console reports,
message-box texts, the INI override as the Java program sees it, and the single-instance rule."""
import subprocess
import time

import pytest

from conftest import BOXWATCH, BRIDGE, BUILDS, BUILD_WIN, DIST, make_app, stamp, text, watch_boxes, win_path

RAWRUN = BUILD_WIN / "fixtures" / "rawrun.exe"

STUBCON = DIST / "stubcon.exe"
STUBWIN = DIST / "stubwin.exe"
NO_RUNTIME = "Unable to locate suitable Java Runtime Environment on this machine."


def print_args_app(directory, stub=STUBCON, **settings):
    base = {"MainClass": "testapps.PrintArgs", "JvmOptions": "-Dtest.prop=resource", "AppOptions": "from resource"}
    base.update(settings)
    return make_app(directory, stub, base)


def java_lines(proc):
    return text(proc.stdout).splitlines()


def args_seen(proc):
    return [line[4:] for line in java_lines(proc) if line.startswith("arg:")]


def test_console_arguments_replace_app_options_entirely(wine, scratch):
    exe = print_args_app(scratch)
    assert args_seen(wine.run(exe, check_exit=0)) == ["from", "resource"]
    assert args_seen(wine.run(exe, "-install", "x y", check_exit=0)) == ["-install", "x y"]


def test_windowed_build_splits_its_command_line_with_the_launcher_rules(gui_wine, scratch):
    exe = print_args_app(scratch, STUBWIN, ShowSplash="0", AllowMultipleInstances="1")
    # The double space yields an empty argument, quotes group, and tabs do not split.
    proc = gui_wine.run(RAWRUN, cwd=scratch, env={"STUB_COMMAND_LINE": f'"{win_path(exe)}"  a "b c"  d\te'})
    assert proc.returncode == 0, proc
    assert args_seen(proc) == ["a", "b c", "", "d\te"]
    proc = gui_wine.run(exe, check_exit=0)
    assert args_seen(proc) == ["from", "resource"]


@pytest.mark.parametrize("ini,expected_args,expected_prop", [
    (None, ["from", "resource"], "resource"),
    ("[Application Configuration]\r\nJvmOptions=\r\nAppOptions=x  y\r\n", ["x", "", "y"], "resource"),
    ("[Application Configuration]\r\nJvmOptions=-Dtest.prop=ini\r\n", ["from", "resource"], "ini"),
    ("[Other Section]\r\nAppOptions=ignored\r\n", ["from", "resource"], "resource"),
], ids=["missing-file", "empty-jvm-options", "jvm-options-only", "other-section"])
def test_ini_override_replaces_only_non_empty_values(wine, scratch, ini, expected_args, expected_prop):
    exe = print_args_app(scratch, IniFile="app.cfg")
    if ini is not None:
        (scratch / "app.cfg").write_bytes(ini.encode())
    proc = wine.run(exe, check_exit=0)
    assert args_seen(proc) == expected_args
    assert f"test.prop={expected_prop}" in java_lines(proc)


def test_ini_file_is_found_beside_the_executable_or_by_absolute_path(wine, scratch):
    exe = print_args_app(scratch / "app", IniFile="conf\\app.ini")
    (scratch / "app" / "conf").mkdir()
    (scratch / "app" / "conf" / "app.ini").write_bytes(b"[Application Configuration]\r\nAppOptions=beside\r\n")
    # Started from another directory: the file is still taken from the executable's directory.
    proc = wine.run(exe, cwd=scratch, check_exit=0)
    assert args_seen(proc) == ["beside"]

    absolute = scratch / "elsewhere.ini"
    absolute.write_bytes(b"[Application Configuration]\r\nAppOptions=absolute\r\n")
    exe = print_args_app(scratch / "abs", IniFile=win_path(absolute))
    assert args_seen(wine.run(exe, check_exit=0)) == ["absolute"]


def test_long_ini_values_are_not_cut_and_an_overlong_file_is_refused(wine, scratch):
    exe = print_args_app(scratch, IniFile="app.ini")
    long_arg = "L" * 3000
    (scratch / "app.ini").write_bytes(f"[Application Configuration]\r\nAppOptions=first {long_arg}\r\n".encode())
    assert args_seen(wine.run(exe, check_exit=0)) == ["first", long_arg]
    # Read whole: a file over 1 MiB is refused, not cut, and the message names it.
    (scratch / "app.ini").write_bytes(b"[Application Configuration]\r\nAppOptions=x\r\n" + b";" * (1 << 20))
    proc = wine.run(exe, check_exit=0)
    assert b"app.ini is larger than 1 MiB; it was not read." in proc.stderr
    assert args_seen(proc) == ["from", "resource"]


def test_service_switch_is_an_ordinary_argument_without_a_service_name(wine, scratch):
    exe = print_args_app(scratch)
    assert args_seen(wine.run(exe, "-install", check_exit=0)) == ["-install"]


def listed_boxes(gui_wine):
    proc = gui_wine.run(BOXWATCH, "--list", cwd=BOXWATCH.parent, check_exit=0)
    return [tuple(line.split("\t", 1)) for line in text(proc.stdout).splitlines()]


def wait_for_boxes(gui_wine, count, deadline_s=30):
    end = time.monotonic() + deadline_s
    while time.monotonic() < end:
        shown = listed_boxes(gui_wine)
        if len(shown) >= count:
            return shown
        time.sleep(0.2)
    pytest.fail(f"expected {count} message boxes, saw {listed_boxes(gui_wine)}")


@pytest.mark.parametrize("build", BUILDS)
def test_windowed_errors_go_to_message_boxes_with_percent_s_shown_unchanged(gui_wine, scratch, build):
    exe = stamp(build.stubwin, {"ShowSplash": "0", "ChangeDirectoryBeforeJvm": "1", "WorkingDirectory": "no%sdir"},
                scratch / "app.exe")
    proc = gui_wine.start(exe, cwd=scratch)
    shown = watch_boxes(gui_wine, 2)
    assert proc.wait(timeout=60) == 255
    assert shown[0][0] == "Error" and shown[0][1].strip() != ""  # the system's text for the failure
    assert shown[1] == ("Error", "Error accessing file/directory: no%sdir")


def test_second_windowed_instance_is_refused_and_exits_with_zero(gui_wine, scratch):
    exe = stamp(STUBWIN, {"ShowSplash": "0", "MainClass": "com.example.SingleApp"}, scratch / "app.exe")
    first = gui_wine.start(exe, cwd=scratch)
    assert wait_for_boxes(gui_wine, 1) == [("Error", NO_RUNTIME)]  # holds the mutex while shown
    second = gui_wine.start(exe, cwd=scratch)
    shown = wait_for_boxes(gui_wine, 2)
    assert ("Error", "An instance of this program is already running.") in shown
    assert sorted(watch_boxes(gui_wine, 2)) == sorted(shown)
    assert second.wait(timeout=60) == 0
    assert first.wait(timeout=60) == 255


def test_multiple_instances_allowed_take_no_mutex(gui_wine, scratch):
    exe = stamp(STUBWIN, {"ShowSplash": "0", "AllowMultipleInstances": "1", "MainClass": "com.example.Multi"},
                scratch / "app.exe")
    first = gui_wine.start(exe, cwd=scratch)
    wait_for_boxes(gui_wine, 1)
    second = gui_wine.start(exe, cwd=scratch)
    assert watch_boxes(gui_wine, 2) == [("Error", NO_RUNTIME), ("Error", NO_RUNTIME)]
    assert first.wait(timeout=60) == 255 and second.wait(timeout=60) == 255


def test_console_build_never_takes_the_single_instance_mutex(wine, scratch):
    exe = stamp(STUBCON, {"AllowMultipleInstances": "0", "ShowSplash": "1"}, scratch / "app.exe")
    procs = [wine.start(exe, cwd=scratch) for _ in range(2)]
    for proc in procs:
        out, err = proc.communicate(timeout=60)
        assert proc.returncode == 255
        assert err == NO_RUNTIME.encode() + b"\r\n"


def test_bridge_is_present():
    assert BRIDGE.exists(), "build the host preset first"
