"""A second start of the windowed launcher with SecondInstanceMethod, with real Java through the bridge:
the arguments reach the running instance's method exactly and the second start ends at once with 0; a
running instance that does not answer gets the refusal message instead; of two starts at once exactly
one runs. Every wait is on a file the Java application writes or on a process's end."""
import time

import pytest

from conftest import BUILD_WIN, DIST, make_app, watch_boxes

STUBWIN = DIST / "stubwin.exe"
RAWRUN = BUILD_WIN / "fixtures" / "rawrun.exe"
ALREADY_RUNNING = ("Error", "An instance of this program is already running.")
METHOD = "testapps.SecondInstance.handOff"
LISTENER = "thread=Tarvik second-instance listener"
# Wine decodes the arguments by the Unix locale.
UTF8 = {"LC_ALL": "C.UTF-8"}
ARGS = ["with spaces", "na\u00efve \u65e5\u672c\u8a9e \U0001f600", "plain"]


def app(directory, **settings):
    return make_app(directory, STUBWIN, {"MainClass": "testapps.SecondInstance", "ShowSplash": "0", **settings})


def published(path, timeout=120):
    """The lines of a file the application publishes whole, once it is there."""
    deadline = time.monotonic() + timeout
    while not path.exists():
        assert time.monotonic() < deadline, f"{path.name} did not appear within {timeout} s"
        time.sleep(0.05)
    return path.read_text(encoding="utf-8").splitlines()


@pytest.fixture
def running(wine, scratch):
    """A first instance with the method configured, once its main runs; stopped and checked afterwards."""
    exe = app(scratch, SecondInstanceMethod=METHOD)
    first = wine.start(exe, 'say "hi"', *ARGS, env=UTF8)
    main_args = published(scratch / "ready.txt")
    yield exe, main_args
    (scratch / "stop").touch()
    assert first.wait(timeout=120) == 0


def test_arguments_reach_the_running_instance_exactly_and_the_second_ends_at_once(wine, scratch, running):
    exe, main_args = running
    assert main_args[1:] == ARGS
    # Starting any Wine program costs time of its own; the hand-off is what the second start adds to it.
    started = time.monotonic()
    wine.run(RAWRUN, check_exit=2)
    bare_start = time.monotonic() - started
    started = time.monotonic()
    wine.run(exe, 'say "hi"', *ARGS, env=UTF8, check_exit=0)  # a message box would never let it end
    hand_off = time.monotonic() - started
    print(f"second start: {hand_off:.2f} s; a program that does nothing: {bare_start:.2f} s")
    # The same command line reaches the method as it reached main, quotes as the launcher splits them.
    assert published(scratch / "handed-1.txt") == [LISTENER, *main_args]
    assert hand_off < bare_start + 3
    wine.run(exe, env=UTF8, check_exit=0)
    assert published(scratch / "handed-2.txt") == [LISTENER]


def test_an_instance_that_does_not_answer_gets_the_refusal_message(wine, scratch, running):
    exe, _ = running
    wine.run(exe, "block", check_exit=0)
    assert published(scratch / "handed-1.txt") == [LISTENER, "block"]
    # The listener is inside the method now: the next start waits in vain and is refused as before.
    late = wine.start(exe, "late")
    assert watch_boxes(wine, 1, timeout_ms=60000) == [ALREADY_RUNNING]
    assert late.wait(timeout=60) == 0
    (scratch / "release").touch()
    # Once the method returns the listener answers again, but not to the start that gave up.
    wine.run(exe, "after", check_exit=0)
    assert published(scratch / "handed-2.txt") == [LISTENER, "after"]


@pytest.mark.parametrize("method", [METHOD, ""], ids=["hands-off", "refused"])
def test_of_two_starts_at_once_exactly_one_runs(wine, scratch, method):
    exe = app(scratch, SecondInstanceMethod=method)
    starts = {n: wine.start(exe, n) for n in ("1", "2")}
    [winner] = published(scratch / "ready.txt")
    loser = "2" if winner == "1" else "1"
    if method:
        assert published(scratch / "handed-1.txt") == [LISTENER, loser]
    else:
        assert watch_boxes(wine, 1, timeout_ms=60000) == [ALREADY_RUNNING]
    assert starts[loser].wait(timeout=60) == 0
    (scratch / "stop").touch()
    assert starts[winner].wait(timeout=120) == 0
    assert len(list(scratch.glob("started-*"))) == 1
