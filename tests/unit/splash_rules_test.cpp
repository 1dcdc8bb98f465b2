#include "splash/splash_rules.h"

#include <gtest/gtest.h>

#include <climits>

namespace stub {
namespace {

TEST(SplashRules, SplashStartsOnlyWhenSomeRuleCanCloseIt) {
  struct Case {
    bool show_splash;
    int seconds;
    bool wanted;
  };
  const Case cases[] = {
      {true, 0, true},  {true, 5, true},    {true, -3, true},        {false, 0, false},
      {false, 1, true}, {false, -1, false}, {false, INT_MIN, false}, {false, INT_MAX, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SplashWanted(c.show_splash, c.seconds), c.wanted) << c.show_splash << " " << c.seconds;
  }
}

// ShowSplash watches for windows whatever the seconds; without it the splash shows for its seconds.
TEST(SplashRules, DisplayTimeIsSecondsInMillisecondsCappedAtTheTimerLimit) {
  for (int seconds : {0, 3, -3, INT_MAX}) {
    EXPECT_EQ(ChooseSplashTimer(true, seconds).id, kWindowWatchTimer) << seconds;
    EXPECT_EQ(ChooseSplashTimer(true, seconds).interval_ms, 100u) << seconds;
  }
  struct Case {
    int seconds;
    int id;
    unsigned interval_ms;
  };
  const Case cases[] = {
      {0, kNoSplashTimer, 0},
      {-1, kNoSplashTimer, 0},
      {INT_MIN, kNoSplashTimer, 0},
      {1, kDisplayTimeTimer, 1000},
      {3, kDisplayTimeTimer, 3000},
      {2147483, kDisplayTimeTimer, 2147483000u},
      {2147484, kDisplayTimeTimer, 0x7FFFFFFFu},  // the first value whose product leaves int
      {INT_MAX, kDisplayTimeTimer, 0x7FFFFFFFu},
  };
  for (const Case& c : cases) {
    const SplashTimer timer = ChooseSplashTimer(false, c.seconds);
    EXPECT_EQ(timer.id, c.id) << c.seconds;
    EXPECT_EQ(timer.interval_ms, c.interval_ms) << c.seconds;
  }
}

TEST(SplashRules, CentringHalvesTheDifferenceTowardZero) {
  struct Case {
    int screen_w, screen_h, window_w, window_h;
    int left, top;
  };
  const Case cases[] = {
      {1024, 768, 400, 300, 312, 234},
      {1023, 767, 400, 300, 311, 233},  // odd remainders drop the half pixel
      {300, 200, 401, 301, -50, -50},   // -101/2 is -50, not the floor -51
      {300, 200, 400, 300, -50, -50},
      {400, 300, 400, 300, 0, 0},
      {1024, 768, 0, 0, 512, 384},  // a window without a bitmap keeps no size
      {INT_MAX, INT_MAX, INT_MIN, INT_MIN, INT_MAX, INT_MAX},
      {INT_MIN, INT_MIN, INT_MAX, INT_MAX, -INT_MAX, -INT_MAX},
  };
  for (const Case& c : cases) {
    const SplashOrigin origin = CentreOnScreen(c.screen_w, c.screen_h, c.window_w, c.window_h);
    EXPECT_EQ(origin.left, c.left) << c.screen_w << " " << c.window_w;
    EXPECT_EQ(origin.top, c.top) << c.screen_h << " " << c.window_h;
  }
}

}  // namespace
}  // namespace stub
