#include "core/hand_off.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace stub {
namespace {

TEST(HandOff, DeadlineAndArgumentsComeBackExactly) {
  const std::vector<std::vector<std::string>> lists = {
      {}, {"", ""}, {"with space", "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC", "say \"hi\"\\", "\xF0\x9F\x98\x80"}};
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

// Both sides hold the line at what a command line can carry (32,767 UTF-16 units of arguments), and
// the running instance takes nothing its sender no longer waits for.
TEST(HandOff, RefusesWhatNoCommandLineCarriesBrokenBlocksAndLateOnes) {
  const std::string fits(kMaxHandOffUnits - 1, 'x');
  EXPECT_TRUE(EncodeHandOff({0, {fits}}));
  EXPECT_FALSE(EncodeHandOff({0, {fits, ""}}));
  EXPECT_FALSE(EncodeHandOff({0, {std::string("a\0b", 3)}}));
  EXPECT_TRUE(DecodeHandOff(std::u16string(kHandOffDeadlineUnits + kMaxHandOffUnits, u'\0')));
  EXPECT_FALSE(DecodeHandOff(std::u16string(kHandOffDeadlineUnits + kMaxHandOffUnits + 1, u'\0')));
  EXPECT_FALSE(DecodeHandOff(std::u16string(kHandOffDeadlineUnits - 1, u'\0')));
  const std::u16string block = *EncodeHandOff({1000, {"x"}});
  EXPECT_EQ(AcceptHandOff(block, 1000), std::vector<std::string>{"x"});
  EXPECT_FALSE(AcceptHandOff(block, 1001));
  EXPECT_FALSE(AcceptHandOff(block.substr(0, block.size() - 1), 0));  // no NUL after the last argument
}

// A system whose window appears after `appears` finds and that records the second start's calls.
class FakeInstance : public RunningInstance {
 public:
  explicit FakeInstance(int appears, bool accepts = true) : appears_(appears), accepts_(accepts) {}
  std::uint64_t Now() const override { return now_; }
  void Pause() const override { now_ += 50; }
  bool Find() override { return finds_++ >= appears_; }
  void AllowForeground() override { calls.push_back("allow"); }
  bool Send(const std::u16string& block, std::uint64_t wait_ms) override {
    calls.push_back("send " + std::to_string(wait_ms));
    sent = DecodeHandOff(block);
    return accepts_;
  }
  std::vector<std::string> calls;
  std::optional<HandOff> sent;

 private:
  mutable std::uint64_t now_ = 7000;
  int finds_ = 0;
  int appears_;
  bool accepts_;
};

// The foreground is allowed before the second start waits on the running instance: Windows lets the
// running instance take it only while the foreground process (the second start) allows it.
TEST(HandOff, ASecondStartAllowsTheForegroundThenWaitsUntilItsDeadlineAndNoLonger) {
  FakeInstance late(10);  // the window appears 500 ms into the wait
  EXPECT_TRUE(HandOffArguments(late, {"a b"}));
  EXPECT_EQ(late.calls, (std::vector<std::string>{"allow", "send 5000"}));
  ASSERT_TRUE(late.sent);
  EXPECT_EQ(late.sent->deadline, 12000u);
  EXPECT_EQ(late.sent->args, std::vector<std::string>{"a b"});

  FakeInstance refusing(0, false);
  EXPECT_FALSE(HandOffArguments(refusing, {}));
  EXPECT_EQ(refusing.calls, (std::vector<std::string>{"allow", "send 5500"}));

  FakeInstance never(1000);
  EXPECT_FALSE(HandOffArguments(never, {}));
  EXPECT_TRUE(never.calls.empty());
  EXPECT_EQ(never.Now(), 12050u);  // looked until the deadline, not beyond

  FakeInstance any(0);
  EXPECT_FALSE(HandOffArguments(any, {std::string(kMaxHandOffUnits, 'x')}));
  EXPECT_TRUE(any.calls.empty());
}

}  // namespace
}  // namespace stub
