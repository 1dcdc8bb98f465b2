#include "core/launch_config.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "core/main_class_cipher.h"

namespace stub {
namespace {

TEST(LaunchConfig, FlagsIntegersAndVersionsReadAsTheCLibraryReadsThem) {
  for (const char* clear : {"0", "00", "0yes"}) EXPECT_FALSE(ConvertFlag(clear)) << clear;
  for (const char* set : {"", "1", "10", " 0", "false"}) EXPECT_TRUE(ConvertFlag(set)) << set;
  const std::pair<const char*, int> integers[] = {
      {"0", 0},   {" 5", 5},         {"\t-12x", -12},          {"+7", 7},          {"abc", 0},
      {"", 0},    {"12 34", 12},     {"- 3", 0},               {"2147483647", 2147483647},
      {"99999999999", 2147483647}, {"-2147483648", -2147483647 - 1}, {"-99999999999", -2147483647 - 1},
  };
  for (const auto& [text, value] : integers) EXPECT_EQ(ConvertInteger(text), value) << text;
  const std::pair<const char*, std::uint32_t> versions[] = {
      {"0x00010004", 0x00010004u}, {"00010004", 0x00010004u}, {"0X1000a", 0x1000au}, {"  0x00110000", 0x00110000u},
      {"java", 0u},                {"", 0u},                  {"0x", 0u},            {"1.8", 0x1u},
      {"0x1_0004", 0x1u},          {"-1", 0xFFFFFFFFu},       {"123456789", 0x23456789u},
  };
  for (const auto& [text, value] : versions) EXPECT_EQ(ConvertVersion(text), value) << text;
  EXPECT_EQ(NormalizeEntry("<null>"), "");
  EXPECT_EQ(NormalizeEntry("<null> "), "<null> ");
  EXPECT_EQ(NormalizeEntry("<NULL>"), "<NULL>");
}

// The accessors are generated from the table, so one of each kind stands for all.
TEST(LaunchConfig, EntriesAreReadByKindAndTheMainClassIsDecipheredInSlashForm) {
  const LaunchConfiguration absent{SettingTexts{}};
  EXPECT_EQ(absent.MainClass(), "");
  EXPECT_TRUE(absent.ShowSplash());
  SettingTexts texts;
  texts[IndexOf(Setting::MinJavaVersion)] = "0x00010008";
  texts[IndexOf(Setting::MainClass)] = EncipherMainClass("org.example.app.Main");
  texts[IndexOf(Setting::ShowSplash)] = "0";
  texts[IndexOf(Setting::SplashSeconds)] = " 3";
  texts[IndexOf(Setting::JvmErrorMessages9)] = "invoke %s";
  const LaunchConfiguration c(texts);
  EXPECT_EQ(c.MinJavaVersion(), "0x00010008");
  EXPECT_EQ(c.MinJavaVersionNumber(), 0x00010008u);
  EXPECT_EQ(c.MainClass(), "org/example/app/Main");
  EXPECT_FALSE(c.ShowSplash());
  EXPECT_EQ(c.SplashSeconds(), 3);
  EXPECT_EQ(c.JvmErrorMessages(kErrorInvoking), "invoke %s");
}

TEST(LaunchConfig, IniOverrideReplacesOnlyNonEmptyValuesOfItsTwoKeys) {
  SettingTexts texts;
  texts[IndexOf(Setting::JvmOptions)] = "-Xmx512m";
  texts[IndexOf(Setting::AppOptions)] = "default";
  texts[IndexOf(Setting::ClassPath)] = "app.jar";
  ApplyIniOverride(texts, "[Application Configuration]\nJvmOptions=\nAppOptions= two  words \nClassPath=x.jar\n");
  EXPECT_EQ(texts[IndexOf(Setting::JvmOptions)], "-Xmx512m");
  EXPECT_EQ(texts[IndexOf(Setting::AppOptions)], "two  words");
  EXPECT_EQ(texts[IndexOf(Setting::ClassPath)], "app.jar");
  ApplyIniOverride(texts, "[Application Configuration]\nJvmOptions=-Dname=Zo\xC3\xAB\n");
  EXPECT_EQ(texts[IndexOf(Setting::JvmOptions)], "-Dname=Zo\xC3\xAB");
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
  EXPECT_EQ(FindSettingById(1856)->name, "UseCallerDirectory");
  EXPECT_EQ(FindSettingById(1032), nullptr);
  EXPECT_EQ(FindSettingById(1952), nullptr);  // a block no row names
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
