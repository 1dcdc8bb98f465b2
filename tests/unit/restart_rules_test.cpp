#include "app/restart_rules.h"

#include <gtest/gtest.h>

namespace stub {
namespace {

TEST(RestartRules, FiveRestartsWithinAMinuteAreAllowedAndTheSixthIsRefused) {
  struct Case {
    const char* previous;
    std::uint64_t now;
    std::optional<std::string> next;
  };
  const Case cases[] = {
      {"", 100000, "100000"},
      {"100000,101000,102000,103000", 104000, "100000,101000,102000,103000,104000"},
      {"100000,101000,102000,103000,104000", 159999, std::nullopt},        // five within 60 s: refused
      {"100000,101000,102000,103000,104000", 160000, "101000,102000,103000,104000,160000"},  // the first aged out
      {"1,x,,-5,99999999999999999999,200001,150000", 200000, "150000,200000"},  // junk and future times ignored
  };
  for (const Case& c : cases) EXPECT_EQ(NextRestartTimes(c.previous, c.now), c.next) << c.previous << " @" << c.now;
}

}  // namespace
}  // namespace stub
