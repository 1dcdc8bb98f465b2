"""The windowed launcher's splash bitmap as a person sees it: screenshots of the Xvfb screen compared
with the shipped bitmap, while message boxes are read and dismissed the way a user would.

Timing is observed by polling screenshots against deadlines; a screenshot takes a few hundred
milliseconds on a loaded machine, so every duration bound leaves room for that."""
import os
import re
import shutil
import subprocess
import threading
import time

import pytest

from conftest import BUILD_WIN, DIST, ROOT, WINE64, stamp, watch_boxes, wine_env, wine_server, win_path

SPLASH_BMP = ROOT / "resources" / "splash.bmp"
OUTPUT_DIR = ROOT / "build" / "test-output"
NO_BITMAP_STUB = BUILD_WIN / "fixtures" / "stubwin_nobitmap.exe"
DOUBLE_JVM = BUILD_WIN / "fixtures" / "double" / "jvm.dll"
JRE_ERROR = "Unable to locate suitable Java Runtime Environment on this machine."
ALREADY_RUNNING = "An instance of this program is already running."
BOX_TRACE = b"trace:msgbox:MSGBOX_OnInit"
TOLERANCE = 8  # per channel; the 8-bit palette colours reach the 24-bit screen unchanged or nearly
VISIBLE = 0.6  # share of matching pixels: an error box may cover a fifth of the splash
ABSENT = 0.05


# ---- images ----

class Image:
    def __init__(self, ppm):
        # Exactly one whitespace byte follows the maximum value; the pixel bytes may start with more.
        header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", ppm)
        assert header, ppm[:16]
        self.width, self.height, maximum = map(int, header.groups())
        self.data = ppm[header.end():]
        assert maximum == 255 and len(self.data) == self.width * self.height * 3

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])


def grab(display, keep=None):
    shot = subprocess.run(["import", "-display", display, "-window", "root", "-depth", "8", "ppm:-"],
                          check=True, capture_output=True, timeout=60).stdout
    if keep:
        OUTPUT_DIR.mkdir(parents=True, exist_ok=True)
        subprocess.run(["convert", "ppm:-", str(OUTPUT_DIR / keep)], input=shot, check=True)
    return Image(shot)


def close(a, b):
    return all(abs(p - q) <= TOLERANCE for p, q in zip(a, b))


def splash_origin(screen, splash):
    # int() of a true quotient truncates toward zero, as the launcher's centring does.
    return int((screen.width - splash.width) / 2), int((screen.height - splash.height) / 2)


def coverage(screen, splash, step=4):
    """Share of sampled splash pixels found at the centred position on the screen."""
    left, top = splash_origin(screen, splash)
    hits = total = 0
    for y in range(0, splash.height, step):
        for x in range(0, splash.width, step):
            total += 1
            hits += close(screen.pixel(left + x, top + y), splash.pixel(x, y))
    return hits / total


def assert_exactly_centred(screen, splash):
    """Each corner pixel is the bitmap's, and the screen pixel diagonally outside it is not."""
    left, top = splash_origin(screen, splash)
    w, h = splash.width, splash.height
    for x, y, dx, dy in ((0, 0, -1, -1), (w - 1, 0, 1, -1), (0, h - 1, -1, 1), (w - 1, h - 1, 1, 1)):
        expected = splash.pixel(x, y)
        assert close(screen.pixel(left + x, top + y), expected), (x, y)
        assert not close(screen.pixel(left + x + dx, top + y + dy), expected), (x, y)


# ---- processes ----

class Launch:
    """A launcher started under Wine whose output is collected while it runs."""

    def __init__(self, wine, exe, env=None):
        extra = {"WINEDEBUG": "-all,+msgbox"}
        extra.update(env or {})
        self.started = time.monotonic()
        self.proc = wine.start(exe, env=extra)
        self.stderr = bytearray()
        self.box_time = None  # when the first message box's trace line arrived
        self._readers = [threading.Thread(target=self._drain, args=(self.proc.stdout, bytearray()), daemon=True),
                         threading.Thread(target=self._drain, args=(self.proc.stderr, self.stderr, True), daemon=True)]
        for reader in self._readers:
            reader.start()

    def _drain(self, stream, sink, note_boxes=False):
        for chunk in iter(lambda: stream.read1(4096), b""):
            sink.extend(chunk)
            if note_boxes and self.box_time is None and BOX_TRACE in sink[-(len(chunk) + len(BOX_TRACE)):]:
                self.box_time = time.monotonic()

    def box_shown(self):
        return self.box_time is not None

    def wait(self, timeout=60):
        code = self.proc.wait(timeout=timeout)
        for reader in self._readers:
            reader.join(timeout=10)
        return code


def until(predicate, timeout, what):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return time.monotonic()
        time.sleep(0.05)
    pytest.fail(f"timed out after {timeout} s waiting for {what}")


def watch_splash_appear(display, splash, since, timeout=30, keep=None):
    """Polls until the splash is on screen. A screenshot is taken at some moment while `import` runs, so
    the splash appeared after `before` (the start of the last screenshot without it, or `since`) and no
    later than `seen` (the end of the first one with it): returns (before, seen, screen)."""
    before = since
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        taken = time.monotonic()
        screen = grab(display)
        if coverage(screen, splash) >= VISIBLE:
            seen = time.monotonic()
            if keep:
                grab(display, keep=keep)
            return before, seen, screen
        before = taken
    pytest.fail(f"the splash did not appear within {timeout} s")


def watch_splash_go(display, splash, timeout):
    """Polls until the splash is gone; it went after `last_seen` (the start of the last screenshot that
    still showed it) and no later than `gone` (the end of the first one without it). Returns both."""
    last_seen = None
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        taken = time.monotonic()
        if coverage(grab(display), splash) <= ABSENT:
            return last_seen, time.monotonic()
        last_seen = taken
    pytest.fail(f"the splash was still on screen after {timeout} s")


def assert_shown_about(launch, display, splash, seconds, timeout, keep=None):
    """The splash's time on screen, bracketed by screenshots whatever they cost on a loaded machine, can
    be `seconds` give or take half a second: it was up at least from `seen` to `last_seen` and at most
    from `before` to `gone`. Returns the screenshot that first showed it."""
    before, seen, screen = watch_splash_appear(display, splash, launch.started, keep=keep)
    last_seen, gone = watch_splash_go(display, splash, timeout)
    assert last_seen is not None, "the splash was gone at the first look after it appeared"
    assert last_seen - seen <= seconds + 0.5, f"on screen for at least {last_seen - seen:.2f} s"
    assert gone - before >= seconds - 0.5, f"on screen for at most {gone - before:.2f} s"
    return screen, last_seen


def assert_never_shown_while(display, splash, running, settle=1.0):
    """Screenshots while `running()` holds and for `settle` seconds after: none shows the splash."""
    shots = 0
    settle_end = None
    while settle_end is None or time.monotonic() < settle_end:
        assert coverage(grab(display), splash) <= ABSENT, "the splash was drawn"
        shots += 1
        if settle_end is None and not running():
            settle_end = time.monotonic() + settle
    assert shots >= 2


def dismiss_boxes(wine, count):
    """Plays the user: reads each message box and clicks OK; returns their texts."""
    return [box_text for _, box_text in watch_boxes(wine, count, 20000)]


# ---- fixtures ----

@pytest.fixture(scope="module")
def splash():
    image = Image(subprocess.run(["convert", str(SPLASH_BMP), "-depth", "8", "ppm:-"], check=True,
                                 capture_output=True).stdout)
    assert (image.width, image.height) == (400, 300)
    return image


APP_NAME = "splashapp.exe"


@pytest.fixture(scope="module")
def unmanaged_app_windows(wineprefix):
    """Without a window manager, Wine waits up to 2 s for one to acknowledge that a managed window was
    hidden, and the window stays drawn meanwhile; real Windows hides at once. The splash is managed
    because SW_SHOW activates it, so the test executables' windows are made unmanaged, by name."""
    key = rf"HKCU\Software\Wine\AppDefaults\{APP_NAME}\X11 Driver"
    subprocess.run([WINE64, "reg", "add", key, "/v", "Managed", "/d", "N", "/f"], env=wine_env(),
                   check=True, capture_output=True, timeout=120)


@pytest.fixture
def screen_wine(wine, splash, unmanaged_app_windows):
    """A Wine with a display that starts and ends without any window of ours on it."""
    assert coverage(grab(wine.display), splash) <= ABSENT
    yield wine
    # Ends whatever the test left on screen, and the session with it.
    wine_server(wine.env())


# ---- the window-watch rule (ShowSplash set) ----

def test_shipped_splash_goes_when_the_start_up_error_box_appears(screen_wine, splash, scratch):
    exe = scratch / APP_NAME
    shutil.copy(DIST / "stubwin.exe", exe)
    launch = Launch(screen_wine, exe)
    until(launch.box_shown, 30, "the start-up error box")
    # The box stays up (nobody has clicked it), yet the splash must be gone.
    watch_splash_go(screen_wine.display, splash, timeout=1.5)
    assert dismiss_boxes(screen_wine, 1) == [JRE_ERROR]
    assert launch.wait() == 255


def test_splash_stays_until_the_application_shows_its_window(screen_wine, splash, scratch):
    settings = {"JvmPath": win_path(DOUBLE_JVM), "ClassPath": "", "JvmSearchMode": 0, "AllowMultipleInstances": 1,
                "ShowSplash": 1, "SplashSeconds": 0}
    exe = stamp(DIST / "stubwin.exe", settings, scratch / APP_NAME)
    launch = Launch(screen_wine, exe, env={"JVMDOUBLE_MAIN": "sleep:3000,window:4000"})
    _, _, screen = watch_splash_appear(screen_wine.display, splash, time.monotonic())
    assert_exactly_centred(screen, splash)
    time.sleep(1.5)
    assert coverage(grab(screen_wine.display), splash) >= VISIBLE, "splash gone before any other window"

    def window_up():
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "double window"],
                               env=dict(os.environ, DISPLAY=screen_wine.display), capture_output=True)
        return found.returncode == 0

    appeared = until(window_up, 15, "the application's window")
    _, gone = watch_splash_go(screen_wine.display, splash, timeout=3)
    assert gone - appeared < 1.5
    assert launch.wait() == 0


# ---- the display-time rule (ShowSplash clear, SplashSeconds set) ----

def test_display_time_splash_shows_two_seconds_whatever_else_appears(screen_wine, splash, scratch):
    exe = stamp(DIST / "stubwin.exe", {"ShowSplash": 0, "SplashSeconds": 2}, scratch / APP_NAME)
    launch = Launch(screen_wine, exe)
    screen, last_seen = assert_shown_about(launch, screen_wine.display, splash, 2, timeout=6, keep="splash.png")
    assert_exactly_centred(screen, splash)
    until(launch.box_shown, 10, "the start-up error box")
    # A screenshot begun after the box had appeared still showed the splash.
    assert launch.box_time < last_seen, "the splash went when the error box appeared"
    assert dismiss_boxes(screen_wine, 1) == [JRE_ERROR]
    assert launch.wait() == 255


# ---- no splash ----

@pytest.mark.parametrize("stub, settings", [
    # Without any closing rule a wrongly started splash would stay, so it would be seen here.
    (DIST / "stubwin.exe", {"ShowSplash": 0, "SplashSeconds": 0}),
    (NO_BITMAP_STUB, {"ShowSplash": 0, "SplashSeconds": 3}),  # a rule, but no bitmap: the launch goes on
], ids=["no-rule", "no-bitmap"])
def test_no_splash_without_a_rule_or_without_a_bitmap(screen_wine, splash, scratch, stub, settings):
    launch = Launch(screen_wine, stamp(stub, settings, scratch / APP_NAME))
    assert_never_shown_while(screen_wine.display, splash, lambda: not launch.box_shown())
    assert dismiss_boxes(screen_wine, 1) == [JRE_ERROR]
    assert launch.wait() == 255


def test_refused_second_instance_shows_no_splash(screen_wine, splash, scratch):
    exe = stamp(DIST / "stubwin.exe", {"ShowSplash": 0, "SplashSeconds": 2}, scratch / APP_NAME)
    first = Launch(screen_wine, exe)
    watch_splash_appear(screen_wine.display, splash, time.monotonic())
    until(first.box_shown, 10, "the first instance's error box")
    watch_splash_go(screen_wine.display, splash, timeout=6)

    second = Launch(screen_wine, exe)
    assert_never_shown_while(screen_wine.display, splash, lambda: not second.box_shown())
    assert sorted(dismiss_boxes(screen_wine, 2)) == sorted([ALREADY_RUNNING, JRE_ERROR])
    assert second.wait() == 0
    assert first.wait() == 255


@pytest.mark.parametrize("stub, splash_expected", [("stubwin.exe", True), ("stubcon.exe", False)])
def test_only_the_windowed_build_creates_a_splash(screen_wine, splash, scratch, stub, splash_expected):
    """The same splash settings and bitmap stamped into both builds; the window trace names every window
    the process creates, so a splash too brief for a screenshot would still be seen."""
    marker = "splash-title-7f3e"
    exe = stamp(DIST / stub, {"ShowSplash": 1, "SplashSeconds": 3, "SplashText": marker,
                              "AllowMultipleInstances": 1},
                scratch / APP_NAME, splash=SPLASH_BMP)
    launch = Launch(screen_wine, exe, env={"WINEDEBUG": "-all,+msgbox,+win"})
    if splash_expected:
        until(launch.box_shown, 30, "the start-up error box")
        dismiss_boxes(screen_wine, 1)
    else:
        assert_never_shown_while(screen_wine.display, splash, lambda: launch.proc.poll() is None, settle=0.5)
    assert launch.wait() == 255
    assert (f'L"{marker}"'.encode() in launch.stderr) == splash_expected
