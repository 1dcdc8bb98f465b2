#include "core/launch_config.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>

#include "core/main_class_cipher.h"

namespace stub {
namespace {

TEST(LaunchConfig, FlagIsClearOnlyWhenTheTextStartsWithZero) {
  EXPECT_FALSE(ConvertFlag("0"));
  EXPECT_FALSE(ConvertFlag("00"));
  EXPECT_FALSE(ConvertFlag("0yes"));
  EXPECT_TRUE(ConvertFlag(""));
  EXPECT_TRUE(ConvertFlag("1"));
  EXPECT_TRUE(ConvertFlag("10"));
  EXPECT_TRUE(ConvertFlag(" 0"));
  EXPECT_TRUE(ConvertFlag("false"));
}

TEST(LaunchConfig, IntegerReadsLikeAtoiAndSaturates) {
  const std::pair<const char*, int> cases[] = {
      {"0", 0},
      {" 5", 5},
      {"\t-12x", -12},
      {"+7", 7},
      {"abc", 0},
      {"", 0},
      {"12 34", 12},
      {"- 3", 0},
      {"2147483647", 2147483647},
      {"99999999999", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"-99999999999", -2147483647 - 1},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(ConvertInteger(text), value) << text;
}

TEST(LaunchConfig, VersionReadsHexadecimalWithOrWithoutPrefix) {
  const std::pair<const char*, std::uint32_t> cases[] = {
      {"0x00010004", 0x00010004u},
      {"00010004", 0x00010004u},
      {"0X1000a", 0x1000au},
      {"  0x00110000", 0x00110000u},
      {"java", 0u},
      {"", 0u},
      {"0x", 0u},
      {"1.8", 0x1u},
      {"0x1_0004", 0x1u},
      {"-1", 0xFFFFFFFFu},
      {"123456789", 0x23456789u},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(ConvertVersion(text), value) << text;
}

TEST(LaunchConfig, NullPlaceholderReadsAsEmpty) {
  EXPECT_EQ(NormalizeEntry("<null>"), "");
  EXPECT_EQ(NormalizeEntry("<null> "), "<null> ");
  EXPECT_EQ(NormalizeEntry("<NULL>"), "<NULL>");
}

class ConvertLaunchConfigurationTest : public ::testing::Test {
 protected:
  LaunchConfiguration Convert() {
    SettingTexts texts;
    for (const auto& [id, text] : entries_) texts[static_cast<std::size_t>(FindSettingById(id) - kSettingLayouts)] = text;
    return LaunchConfiguration(texts);
  }
  std::map<int, std::string> entries_;
};

// One setting of each kind: the accessors are generated from the table, so one of each is all there is.
TEST_F(ConvertLaunchConfigurationTest, EntriesAreReadByKindAndTheMainClassIsDecipheredInSlashForm) {
  const LaunchConfiguration absent = Convert();
  EXPECT_EQ(absent.MainClass(), "");
  EXPECT_TRUE(absent.ShowSplash());
  EXPECT_EQ(absent.SplashSeconds(), 0);
  EXPECT_EQ(absent.MinJavaVersionNumber(), 0u);

  entries_ = {{1024, "0x00010008"}, {1168, EncipherMainClass("org.example.app.Main")}, {1392, "0"}, {1408, " 3"},
              {1440, "access %s"}};
  for (int i = 0; i < kJvmErrorMessageCount; ++i) entries_[1456 + 16 * i] = "jvm error " + std::to_string(i);
  const LaunchConfiguration c = Convert();
  EXPECT_EQ(c.MinJavaVersion(), "0x00010008");
  EXPECT_EQ(c.MinJavaVersionNumber(), 0x00010008u);
  EXPECT_EQ(c.MainClass(), "org/example/app/Main");
  EXPECT_FALSE(c.ShowSplash());
  EXPECT_EQ(c.SplashSeconds(), 3);
  EXPECT_EQ(c.FileAccessErrorMessage(), "access %s");
  for (int i = 0; i < kJvmErrorMessageCount; ++i) {
    EXPECT_EQ(c.JvmErrorMessages(static_cast<JvmErrorMessage>(i)), "jvm error " + std::to_string(i));
  }
  entries_ = {{1168, EncipherMainClass("Main")}};
  EXPECT_EQ(Convert().MainClass(), "Main");
}

TEST(LaunchConfig, IniOverrideReplacesOnlyNonEmptyValuesOfItsTwoKeys) {
  SettingTexts texts;
  texts[static_cast<std::size_t>(Setting::JvmOptions)] = "-Xmx512m";
  texts[static_cast<std::size_t>(Setting::AppOptions)] = "default";
  texts[static_cast<std::size_t>(Setting::ClassPath)] = "app.jar";
  ApplyIniOverride(texts, "[Application Configuration]\nJvmOptions=\nAppOptions= two  words \nClassPath=x.jar\n");
  EXPECT_EQ(texts[static_cast<std::size_t>(Setting::JvmOptions)], "-Xmx512m");
  EXPECT_EQ(texts[static_cast<std::size_t>(Setting::AppOptions)], "two  words");
  EXPECT_EQ(texts[static_cast<std::size_t>(Setting::ClassPath)], "app.jar");

  ApplyIniOverride(texts, "[Application Configuration]\nJvmOptions=-Dname=Zo\xC3\xAB\n");
  EXPECT_EQ(texts[static_cast<std::size_t>(Setting::JvmOptions)], "-Dname=Zo\xC3\xAB");
}

TEST(SettingsTable, IdsAscendFrom1024InBlocksOf16WithUniqueNames) {
  std::set<std::string_view> names;
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    EXPECT_EQ((kSettingLayouts[i].id - 1024) % 16, 0) << kSettingLayouts[i].name;
    if (i > 0) {
      EXPECT_GT(kSettingLayouts[i].id, kSettingLayouts[i - 1].id) << kSettingLayouts[i].name;
    }
    EXPECT_TRUE(names.insert(kSettingLayouts[i].name).second) << kSettingLayouts[i].name;
    EXPECT_EQ(FindSettingByName(kSettingLayouts[i].name), &kSettingLayouts[i]);
    EXPECT_EQ(FindSettingById(kSettingLayouts[i].id), &kSettingLayouts[i]);
  }
  EXPECT_EQ(kSettingLayouts[0].id, 1024);
  EXPECT_EQ(FindSettingById(1712)->name, "ServiceStopTimeoutMessage");
  EXPECT_EQ(FindSettingById(1728)->name, "Environment");
  EXPECT_EQ(FindSettingById(1032), nullptr);
  EXPECT_EQ(FindSettingById(4096), nullptr);
  EXPECT_EQ(FindSettingByName("jvmpath"), nullptr);
}

// A flag added later reads as clear when absent, so that a configuration written before it keeps its
// behaviour; the older flags read an empty text as set.
TEST(LaunchConfig, OptInFlagIsClearWhenEmpty) {
  for (const auto& [text, old_flag, opt_in] : std::vector<std::tuple<std::string, bool, bool>>{
           {"", true, false}, {"0", false, false}, {"1", true, true}, {"yes", true, true}}) {
    EXPECT_EQ(ConvertFlag(text), old_flag) << text;
    EXPECT_EQ(ConvertOptInFlag(text), opt_in) << text;
  }
}

}  // namespace
}  // namespace stub
