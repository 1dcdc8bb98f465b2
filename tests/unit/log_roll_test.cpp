#include "core/log_roll.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace stub {
namespace {

TEST(LogRoll, TheLauncherOwnsTheFilesWhenRollingOneFileOrNoConsoleAsksForIt) {
  struct Case {
    const char* out;
    const char* err;
    bool same;
    LogRollSettings roll;
    bool console;
    bool owns;
  };
  const Case cases[] = {
      {"", "", false, {100, 3}, false, false},  // no file: nothing to own
      {"o", "", false, {0, 0}, true, false},    // today's redirection
      {"o", "e", false, {0, 0}, true, false},  {"o", "", false, {0, 1}, true, true},
      {"", "e", false, {1, 0}, true, true},    {"o", "o", true, {0, 0}, true, true},
      {"", "e", false, {0, 0}, false, true},  // a service or the windowed launcher
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LauncherOwnsLogs(c.out, c.err, c.same, c.roll, c.console), c.owns) << c.out << "|" << c.err;
  }
}

TEST(LogRoll, StepsDeleteTheOldestAndMoveEachUpOne) {
  auto flat = [](const std::vector<LogRollStep>& steps) {
    std::string text;
    for (const LogRollStep& step : steps) text += step.from + ">" + step.to + " ";
    return text;
  };
  EXPECT_EQ(flat(LogRollSteps("out.log", 3)), "out.log.3> out.log.2>out.log.3 out.log.1>out.log.2 out.log>out.log.1 ");
  EXPECT_EQ(flat(LogRollSteps("o", 1)), "o.1> o>o.1 ");
  EXPECT_EQ(flat(LogRollSteps("o", 0)), "o.1> o>o.1 ");  // a roll by size keeps at least one
}

TEST(LogRoll, AChunkRollsAtTheFirstLineEndThatReachesTheSize) {
  struct Case {
    const char* chunk;
    std::uint64_t size;
    std::uint64_t roll_bytes;
    std::size_t bytes;
    bool roll;
  };
  const Case cases[] = {
      {"ab\ncd\n", 0, 0, 6, false},  // never by size
      {"ab\ncd\n", 0, 7, 6, false},  // stays below
      {"ab\ncd\n", 0, 6, 6, true},   // reaches it at the last line end
      {"ab\ncd\n", 0, 3, 3, true},   // exactly at the first line end
      {"ab\ncd\n", 0, 4, 6, true},   // passes it inside the second line
      {"ab\ncd\n", 9, 4, 3, true},   // already past: the first line end
      {"abcd", 5, 4, 4, true},       // past twice the size with no line end
      {"abc", 2, 4, 3, false},       // inside a line: wait for its end
      {"", 4, 4, 0, false},
  };
  for (const Case& c : cases) {
    const LogChunkSplit split = SplitLogChunk(c.chunk, c.size, c.roll_bytes);
    EXPECT_EQ(split.bytes, c.bytes) << c.chunk << " " << c.size << "/" << c.roll_bytes;
    EXPECT_EQ(split.roll, c.roll) << c.chunk << " " << c.size << "/" << c.roll_bytes;
  }
}

}  // namespace
}  // namespace stub
