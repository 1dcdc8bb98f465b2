#include "core/message_format.h"

#include <gtest/gtest.h>

namespace stub {
namespace {

TEST(MessageFormat, SubstitutesArgumentsAndNothingElse) {
  EXPECT_EQ(FormatMessageText("Unable to load JVM: %s", {"C:\\jre\\jvm.dll"}), "Unable to load JVM: C:\\jre\\jvm.dll");
  EXPECT_EQ(FormatMessageText("The %s service has started.", {"Svc"}), "The Svc service has started.");
  EXPECT_EQ(FormatMessageText("%s and %s", {"a", "b"}), "a and b");
  EXPECT_EQ(FormatMessageText("%s and %s", {"a"}), "a and ");
  EXPECT_EQ(FormatMessageText("100%% sure", {}), "100% sure");
  EXPECT_EQ(FormatMessageText("%d %n %x %", {"unused"}), "%d %n %x %");
  EXPECT_EQ(FormatMessageText("value: %s", {"50%s"}), "value: 50%s");  // arguments are not formats
}

TEST(MessageFormat, CutsAtTheMessageLimit) {
  const std::string long_arg(10000, 'x');
  const std::string text = FormatMessageText("path: %s", {long_arg});
  EXPECT_EQ(text.size(), kMaxMessageLength);
  EXPECT_EQ(text.substr(0, 7), "path: x");
  EXPECT_EQ(FormatMessageText(std::string(9000, 'y'), {}).size(), kMaxMessageLength);
}

}  // namespace
}  // namespace stub
