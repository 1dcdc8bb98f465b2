"""The splash as a person sees it: Xvfb screenshots against the shipped bitmap, message boxes dismissed as
a user would. A screenshot can take a few hundred milliseconds under load; every time bound allows for it."""
import os
import re
import shutil
import subprocess
import threading
import time

import pytest

from conftest import BUILD_WIN, DIST, ROOT, WINE64, stamp, watch_boxes, wine_env, wine_server, win_path

SPLASH_BMP = ROOT / "resources" / "splash.bmp"
NO_BITMAP_STUB = BUILD_WIN / "fixtures" / "stubwin_nobitmap.exe"
DOUBLE_JVM = BUILD_WIN / "fixtures" / "double" / "jvm.dll"
JRE_ERROR = "Unable to locate suitable Java Runtime Environment on this machine."
ALREADY_RUNNING = "An instance of this program is already running."
BOX_TRACE = b"trace:msgbox:MSGBOX_OnInit"
TOLERANCE = 8  # per channel; the 8-bit palette colours reach the 24-bit screen unchanged or nearly
VISIBLE = 0.6  # share of matching pixels: an error box may cover a fifth of the splash
ABSENT = 0.05


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


def grab(display):
    return Image(subprocess.run(["import", "-display", display, "-window", "root", "-depth", "8", "ppm:-"],
                                check=True, capture_output=True, timeout=60).stdout)


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


def watch_splash(display, splash, shown, since=None, timeout=30):
    """Polls until the splash is shown (or gone): (start of the last screenshot otherwise, end of the first one
    so, that screenshot), which bracket the moment it changed."""
    before = since
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        taken = time.monotonic()
        screen = grab(display)
        if coverage(screen, splash) >= VISIBLE if shown else coverage(screen, splash) <= ABSENT:
            return before, time.monotonic(), screen
        before = taken
    pytest.fail(f"the splash was {'not yet' if shown else 'still'} on screen after {timeout} s")


def assert_shown_about(launch, display, splash, seconds, timeout):
    """Up at least from seen to last_seen and at most from before to gone: `seconds`, give or take half a second."""
    before, seen, screen = watch_splash(display, splash, True, launch.started)
    last_seen, gone, _ = watch_splash(display, splash, False, timeout=timeout)
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
    return [box_text for _, box_text in watch_boxes(wine, count, 20000)]


@pytest.fixture(scope="module")
def splash():
    image = Image(subprocess.run(["convert", str(SPLASH_BMP), "-depth", "8", "ppm:-"], check=True,
                                 capture_output=True).stdout)
    assert (image.width, image.height) == (400, 300)
    return image


APP_NAME = "splashapp.exe"


@pytest.fixture(scope="module")
def unmanaged_app_windows(wineprefix):
    """Wine keeps a hidden managed window drawn up to 2 s waiting for a window manager; Windows hides it at once."""
    key = rf"HKCU\Software\Wine\AppDefaults\{APP_NAME}\X11 Driver"
    subprocess.run([WINE64, "reg", "add", key, "/v", "Managed", "/d", "N", "/f"], env=wine_env(),
                   check=True, capture_output=True, timeout=120)


@pytest.fixture
def screen_wine(wine, splash, unmanaged_app_windows):
    assert coverage(grab(wine.display), splash) <= ABSENT
    yield wine
    wine_server(wine.env())


def test_shipped_splash_goes_when_the_start_up_error_box_appears(screen_wine, splash, scratch):
    exe = scratch / APP_NAME
    shutil.copy(DIST / "stubwin.exe", exe)
    launch = Launch(screen_wine, exe)
    until(launch.box_shown, 30, "the start-up error box")
    # The box stays up (nobody has clicked it), yet the splash must be gone.
    watch_splash(screen_wine.display, splash, False, timeout=1.5)
    assert dismiss_boxes(screen_wine, 1) == [JRE_ERROR]
    assert launch.wait() == 255


def test_splash_stays_until_the_application_shows_its_window(screen_wine, splash, scratch):
    settings = {"JvmPath": win_path(DOUBLE_JVM), "ClassPath": "", "JvmSearchMode": 0, "AllowMultipleInstances": 1,
                "ShowSplash": 1, "SplashSeconds": 0}
    exe = stamp(DIST / "stubwin.exe", settings, scratch / APP_NAME)
    launch = Launch(screen_wine, exe, env={"JVMDOUBLE_MAIN": "sleep:3000,window:4000"})
    _, _, screen = watch_splash(screen_wine.display, splash, True)
    assert_exactly_centred(screen, splash)
    time.sleep(1.5)
    assert coverage(grab(screen_wine.display), splash) >= VISIBLE, "splash gone before any other window"

    def window_up():
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "double window"],
                               env=dict(os.environ, DISPLAY=screen_wine.display), capture_output=True)
        return found.returncode == 0

    appeared = until(window_up, 15, "the application's window")
    _, gone, _ = watch_splash(screen_wine.display, splash, False, timeout=3)
    assert gone - appeared < 1.5
    assert launch.wait() == 0


def test_display_time_splash_shows_two_seconds_whatever_else_appears(screen_wine, splash, scratch):
    exe = stamp(DIST / "stubwin.exe", {"ShowSplash": 0, "SplashSeconds": 2}, scratch / APP_NAME)
    launch = Launch(screen_wine, exe)
    screen, last_seen = assert_shown_about(launch, screen_wine.display, splash, 2, timeout=6)
    assert_exactly_centred(screen, splash)
    until(launch.box_shown, 10, "the start-up error box")
    # A screenshot begun after the box had appeared still showed the splash.
    assert launch.box_time < last_seen, "the splash went when the error box appeared"
    assert dismiss_boxes(screen_wine, 1) == [JRE_ERROR]
    assert launch.wait() == 255


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
    watch_splash(screen_wine.display, splash, True)
    until(first.box_shown, 10, "the first instance's error box")
    watch_splash(screen_wine.display, splash, False, timeout=6)

    second = Launch(screen_wine, exe)
    assert_never_shown_while(screen_wine.display, splash, lambda: not second.box_shown())
    assert sorted(dismiss_boxes(screen_wine, 2)) == sorted([ALREADY_RUNNING, JRE_ERROR])
    assert second.wait() == 0
    assert first.wait() == 255


@pytest.mark.parametrize("stub, splash_expected", [("stubwin.exe", True), ("stubcon.exe", False)])
def test_only_the_windowed_build_creates_a_splash(screen_wine, splash, scratch, stub, splash_expected):
    # The window trace names every window created, so a splash too brief for a screenshot is seen too.
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
