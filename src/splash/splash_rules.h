// The splash window's decisions that need no window: whether a splash is started at all, which timer
// closes it, and where it sits on the screen. Kept apart from the Win32 code so that they are tested
// natively.
#pragma once

namespace stub {

enum SplashTimerId {
  kNoSplashTimer = 0,
  kDisplayTimeTimer = 1,  // closes the splash after SplashSeconds
  kWindowWatchTimer = 2,  // polls for a second visible window of the process
};

struct SplashTimer {
  int id = kNoSplashTimer;
  unsigned interval_ms = 0;
};

struct SplashOrigin {
  int left = 0;
  int top = 0;
};

// The window-watch poll interval: short enough that the splash goes within about 100 ms of the
// application's first window.
inline constexpr unsigned kWindowWatchIntervalMs = 100;

// The longest interval SetTimer honours; longer requests are silently shortened to it by the system.
inline constexpr unsigned kLongestTimerIntervalMs = 0x7FFFFFFF;

// True when the launcher should start the splash thread. A negative SplashSeconds counts as 0: with
// ShowSplash clear no rule would ever close such a splash, so none is started.
bool SplashWanted(bool show_splash, int splash_seconds);

// The one timer that closes the splash. ShowSplash wins over SplashSeconds; a SplashSeconds of 0 or
// below gives no timer. Intervals beyond the system's limit are capped instead of wrapping around.
SplashTimer ChooseSplashTimer(bool show_splash, int splash_seconds);

// The top-left corner that centres a window of the given size on the screen: each half-difference is
// a signed division rounding toward zero, so a window larger than the screen gets a negative corner.
SplashOrigin CentreOnScreen(int screen_width, int screen_height, int window_width, int window_height);

}  // namespace stub
