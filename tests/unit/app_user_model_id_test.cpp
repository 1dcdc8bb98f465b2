#include "core/app_user_model_id.h"

#include <gtest/gtest.h>

#include <vector>

namespace stub {
namespace {

class RecordingShell : public ShellIdentity {
 public:
  void SetExplicitAppUserModelId(const std::u16string& id) override { calls.push_back(id); }
  std::vector<std::u16string> calls;
};

TEST(AppUserModelId, OnlyAnIdWindowsTakesIsHandedToTheShellAsUtf16) {
  RecordingShell shell;
  EXPECT_TRUE(ApplyAppUserModelId("Harbor.Desk.Caf\xC3\xA9\xF0\x9F\x98\x80", shell));
  EXPECT_TRUE(ApplyAppUserModelId(std::string(128, 'a'), shell));
  for (const std::string& refused : {std::string(), std::string("Harbor Desk"), std::string(129, 'a')}) {
    EXPECT_FALSE(ApplyAppUserModelId(refused, shell)) << refused;
  }
  EXPECT_EQ(shell.calls, (std::vector<std::u16string>{u"Harbor.Desk.Caf\u00E9\U0001F600", std::u16string(128, u'a')}));
}

}  // namespace
}  // namespace stub
