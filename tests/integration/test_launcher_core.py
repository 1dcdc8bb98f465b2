"""Both launchers under Wine, observed as a user would: exit codes, the exact bytes of console reports,
message-box texts, the INI override as the Java program sees it, and the single-instance rule."""
import time

import pytest

from conftest import BOXWATCH, BUILDS, BUILD_WIN, DIST, make_app, stamp, text, watch_boxes, win_path

RAWRUN = BUILD_WIN / "fixtures" / "rawrun.exe"

STUBCON = DIST / "stubcon.exe"
STUBWIN = DIST / "stubwin.exe"
NO_RUNTIME = "Unable to locate suitable Java Runtime Environment on this machine."
ALREADY_RUNNING = "An instance of this program is already running."


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
    # Without a service name a service switch is an ordinary argument.
    assert args_seen(wine.run(exe, "-install", check_exit=0)) == ["-install"]


def test_windowed_build_splits_its_command_line_with_the_launcher_rules(wine, scratch):
    exe = print_args_app(scratch, STUBWIN, ShowSplash="0", AllowMultipleInstances="1")
    # The double space yields an empty argument, quotes group, and tabs do not split.
    proc = wine.run(RAWRUN, cwd=scratch, env={"STUB_COMMAND_LINE": f'"{win_path(exe)}"  a "b c"  d\te'})
    assert proc.returncode == 0, proc
    assert args_seen(proc) == ["a", "b c", "", "d\te"]
    proc = wine.run(exe, check_exit=0)
    assert args_seen(proc) == ["from", "resource"]


# Which values the file replaces is the unit tests' matter; here, where it is found and how much is read.
def test_ini_file_is_found_beside_the_executable_or_by_absolute_path_and_read_whole(wine, scratch):
    exe = print_args_app(scratch / "app", IniFile="conf\\app.ini")
    ini = scratch / "app" / "conf" / "app.ini"
    ini.parent.mkdir()
    long_arg = "L" * 3000
    ini.write_bytes(f"[Application Configuration]\r\nJvmOptions=-Dtest.prop=ini\r\nAppOptions=beside {long_arg}\r\n"
                    .encode())
    # Started from another directory: the file is still taken from the executable's directory.
    proc = wine.run(exe, cwd=scratch, check_exit=0)
    assert args_seen(proc) == ["beside", long_arg]
    assert "test.prop=ini" in java_lines(proc)
    # Read whole: a file over 1 MiB is refused, not cut, and the message names it.
    ini.write_bytes(b"[Application Configuration]\r\nAppOptions=x\r\n" + b";" * (1 << 20))
    proc = wine.run(exe, check_exit=0)
    assert b"app.ini is larger than 1 MiB; it was not read." in proc.stderr
    assert args_seen(proc) == ["from", "resource"]

    absolute = scratch / "elsewhere.ini"
    exe = print_args_app(scratch / "abs", IniFile=win_path(absolute))
    assert args_seen(wine.run(exe, check_exit=0)) == ["from", "resource"]  # no such file yet
    absolute.write_bytes(b"[Application Configuration]\r\nAppOptions=absolute\r\n")
    assert args_seen(wine.run(exe, check_exit=0)) == ["absolute"]


def listed_boxes(wine):
    proc = wine.run(BOXWATCH, "--list", cwd=BOXWATCH.parent, check_exit=0)
    return [tuple(line.split("\t", 1)) for line in text(proc.stdout).splitlines()]


def wait_for_boxes(wine, count, deadline_s=30):
    end = time.monotonic() + deadline_s
    while time.monotonic() < end:
        shown = listed_boxes(wine)
        if len(shown) >= count:
            return shown
        time.sleep(0.2)
    pytest.fail(f"expected {count} message boxes, saw {listed_boxes(wine)}")


@pytest.mark.parametrize("build", BUILDS)
def test_windowed_errors_go_to_message_boxes_with_percent_s_and_any_character_shown_unchanged(wine, scratch, build):
    folder = "no%s \u00e9\u65e5\u672c \U0001f600"
    exe = stamp(build.stubwin, {"ShowSplash": "0", "ChangeDirectoryBeforeJvm": "1", "WorkingDirectory": folder},
                scratch / "app.exe")
    proc = wine.start(exe, cwd=scratch)
    shown = watch_boxes(wine, 2)
    assert proc.wait(timeout=60) == 255
    assert shown[0][0] == "Error" and shown[0][1].strip() != ""  # the system's text for the failure
    assert shown[1] == ("Error", f"Error accessing file/directory: {folder}")


@pytest.mark.parametrize("multiple, second_box, second_exit", [("0", ALREADY_RUNNING, 0), ("1", NO_RUNTIME, 255)],
                         ids=["single", "multiple"])
def test_a_second_windowed_instance_is_refused_unless_multiple_instances_are_allowed(wine, scratch, multiple,
                                                                                      second_box, second_exit):
    settings = {"ShowSplash": "0", "AllowMultipleInstances": multiple, "MainClass": f"com.example.A{multiple}"}
    exe = stamp(STUBWIN, settings, scratch / "app.exe")
    first = wine.start(exe, cwd=scratch)
    assert wait_for_boxes(wine, 1) == [("Error", NO_RUNTIME)]  # the first holds the mutex, if any, while shown
    second = wine.start(exe, cwd=scratch)
    shown = wait_for_boxes(wine, 2)
    assert sorted(shown) == sorted([("Error", NO_RUNTIME), ("Error", second_box)])
    assert sorted(watch_boxes(wine, 2)) == sorted(shown)
    assert second.wait(timeout=60) == second_exit
    assert first.wait(timeout=60) == 255


def test_console_build_never_takes_the_single_instance_mutex(wine, scratch):
    exe = stamp(STUBCON, {"AllowMultipleInstances": "0", "ShowSplash": "1"}, scratch / "app.exe")
    procs = [wine.start(exe, cwd=scratch) for _ in range(2)]
    for proc in procs:
        out, err = proc.communicate(timeout=60)
        assert proc.returncode == 255
        assert err == NO_RUNTIME.encode() + b"\r\n"
