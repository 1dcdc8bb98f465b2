#include "core/hand_off.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace stub {
namespace {

TEST(HandOff, DeadlineAndArgumentsComeBackExactly) {
  const std::vector<std::vector<std::string>> lists = {
      {},
      {""},
      {"", ""},
      {"with space", "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC", "say \"hi\"\\", "\xF0\x9F\x98\x80"},
  };
  for (const std::vector<std::string>& args : lists) {
    const std::optional<std::u16string> block = EncodeHandOff({0x0123456789ABCDEFull, args});
    ASSERT_TRUE(block);
    const std::optional<HandOff> back = DecodeHandOff(*block);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->deadline, 0x0123456789ABCDEFull);
    EXPECT_EQ(back->args, args);
  }
  EXPECT_EQ(EncodeHandOff({0x10002, {"a", "\xC3\xA9"}}), std::u16string(u"\2\1\0\0a\0\u00E9\0", 8));
}

// Both sides hold the line at what a command line can carry: 32,767 UTF-16 units of arguments.
TEST(HandOff, RefusesWhatNoCommandLineCarriesAndBrokenBlocks) {
  const std::string fits(kMaxHandOffUnits - 1, 'x');
  EXPECT_TRUE(EncodeHandOff({0, {fits}}));
  EXPECT_FALSE(EncodeHandOff({0, {fits, ""}}));
  EXPECT_FALSE(EncodeHandOff({0, {std::string("a\0b", 3)}}));
  EXPECT_TRUE(DecodeHandOff(std::u16string(kHandOffDeadlineUnits + kMaxHandOffUnits, u'\0')));
  EXPECT_FALSE(DecodeHandOff(std::u16string(kHandOffDeadlineUnits + kMaxHandOffUnits + 1, u'\0')));
  EXPECT_FALSE(DecodeHandOff(std::u16string(kHandOffDeadlineUnits - 1, u'\0')));
  EXPECT_FALSE(DecodeHandOff(std::u16string(u"\0\0\0\0no end", 10)));
}

}  // namespace
}  // namespace stub
