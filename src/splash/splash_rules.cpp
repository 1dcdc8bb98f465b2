// Pure decisions of the splash window (see splash_rules.h); no Win32 calls, so the unit tests run them
// natively.
#include "splash/splash_rules.h"

#include <cstdint>

namespace stub {

bool SplashWanted(bool show_splash, int splash_seconds) { return show_splash || splash_seconds > 0; }

SplashTimer ChooseSplashTimer(bool show_splash, int splash_seconds) {
  if (show_splash) return {kWindowWatchTimer, kWindowWatchIntervalMs};
  if (splash_seconds <= 0) return {};
  // Seconds times 1000 overflows int from about 25 days on; compute wide and cap at what SetTimer takes.
  const std::int64_t ms = static_cast<std::int64_t>(splash_seconds) * 1000;
  const unsigned interval = ms > kLongestTimerIntervalMs ? kLongestTimerIntervalMs : static_cast<unsigned>(ms);
  return {kDisplayTimeTimer, interval};
}

SplashOrigin CentreOnScreen(int screen_width, int screen_height, int window_width, int window_height) {
  // C++ integer division already truncates toward zero; the differences are formed in 64 bits so that
  // extreme sizes cannot overflow before the halving.
  const std::int64_t left = (static_cast<std::int64_t>(screen_width) - window_width) / 2;
  const std::int64_t top = (static_cast<std::int64_t>(screen_height) - window_height) / 2;
  return {static_cast<int>(left), static_cast<int>(top)};
}

}  // namespace stub
