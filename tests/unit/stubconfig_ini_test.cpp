// Configuration files as users write them: what is accepted verbatim and what is refused, where.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/config_layout.h"
#include "launcher_ini.h"

namespace stubconfig {
namespace {

struct IniErrorCase {
  const char* text;
  const char* expected_error;
};

TEST(LauncherIni, RefusesBadInputNamingFileAndLine) {
  const std::string long_value(1024, 'x');
  const IniErrorCase cases[] = {
      {"[Launcher]\nFoo=1\n", "app.ini:2: unknown key \"Foo\""},
      {"[Launcher]\nmainclass=a.B\n", "app.ini:2: unknown key \"mainclass\" (did you mean \"MainClass\"?)"},
      {"[Other]\nJvmPath=x\n", "app.ini:1: unknown section \"Other\""},
      {"JvmPath=x\n", "app.ini:1: key \"JvmPath\" outside the [Launcher] section"},
      {"[Launcher\n", "app.ini:1: malformed section header"},
      {"[Launcher]\r\n; c\r\n\r\nJvmPath\r\n", "app.ini:4: expected Name=value"},
      {"[Launcher]\n=x\n", "app.ini:2: missing key before '='"},
      {"[Launcher]\nJvmPath=a\n# c\nJvmPath=b\n", "app.ini:4: duplicate key \"JvmPath\" (first on line 2)"},
      {"[Launcher]\nMainClass=\n", "app.ini:2: MainClass must name the main class"},
      {"[Launcher]\nMainClass=com..App\n", "app.ini:2: MainClass is not a Java class name"},
      {"[Launcher]\nMainClass=1com.App\n", "app.ini:2: MainClass is not a Java class name"},
      {"[Launcher]\nMainClass=com.App.\n", "app.ini:2: MainClass is not a Java class name"},
      {"[Launcher]\nMainClass=com/example/App\n", "app.ini:2: MainClass is not a Java class name"},
      {"[Launcher]\nShowSplash=yes\n", "app.ini:2: ShowSplash expects 0 or 1"},
      {"[Launcher]\nShowSplash=\n", "app.ini:2: ShowSplash expects 0 or 1"},
      {"[Launcher]\nSplashSeconds= 5\n", "app.ini:2: SplashSeconds expects a decimal integer"},
      {"[Launcher]\nSplashSeconds=-1\n", "app.ini:2: SplashSeconds expects a number of seconds"},
      {"[Launcher]\nJvmSearchMode=4x\n", "app.ini:2: JvmSearchMode expects a decimal integer"},
      {"[Launcher]\nJvmSearchMode=99999999999\n", "app.ini:2: JvmSearchMode expects a decimal integer"},
      {"[Launcher]\nMinJavaVersion=1.4\n", "app.ini:2: MinJavaVersion expects a hexadecimal version"},
      {"[Launcher]\nMinJavaVersion=0x\n", "app.ini:2: MinJavaVersion expects a hexadecimal version"},
      {"[Launcher]\nMinJavaVersion=0x000100040\n", "app.ini:2: MinJavaVersion expects a hexadecimal version"},
      {"[Launcher]\nServiceStartedMessage=%s %s\n", "app.ini:2: ServiceStartedMessage receives one argument"},
      {"[Launcher]\nFileAccessErrorMessage=%d\n", "app.ini:2: FileAccessErrorMessage may hold only %s and %%"},
      {"[Launcher]\nFileAccessErrorMessage=100%\n", "app.ini:2: FileAccessErrorMessage may hold only %s and %%"},
      {"[Launcher]\nAlreadyRunningMessage=%s runs\n", "app.ini:2: AlreadyRunningMessage receives no argument"},
      {"\xEF\xBB\xBF[Launcher]\n", "app.ini:1: starts with a UTF-8 byte-order mark"},
  };
  for (const IniErrorCase& c : cases) {
    std::vector<IniEntry> entries;
    std::string error;
    EXPECT_FALSE(ParseLauncherIni(c.text, "app.ini", &entries, &error)) << c.text;
    EXPECT_EQ(error.rfind(c.expected_error, 0), 0u) << "input: " << c.text << "\nerror: " << error;
  }
  std::vector<IniEntry> entries;
  std::string error;
  EXPECT_FALSE(ParseLauncherIni("[Launcher]\nClassPath=" + long_value + "\n", "app.ini", &entries, &error));
  EXPECT_EQ(error, "app.ini:2: ClassPath is 1024 characters long; at most 1023 fit");
  EXPECT_FALSE(ParseLauncherIni("[Launcher]\nMainClass=" + std::string(256, 'a') + "\n", "app.ini", &entries, &error));
  EXPECT_EQ(error, "app.ini:2: MainClass is 256 characters long; at most 255 fit");
}

TEST(LauncherIni, TakesValuesVerbatimAfterTheFirstEquals) {
  const std::string text =
      "# comment\r\n"
      "  ; indented comment\r\n"
      " [ Launcher ] \r\n"
      "  JvmPath  =C:\\Program Files\\Java\\bin\\server\\jvm.dll\r\n"
      "JvmOptions= -Xmx1g -Dx=\"a b\" \r\n"
      "AppOptions=a=b=c\n"
      "SplashText=\n"
      "ClassPath=" +
      std::string(1023, 'c') +
      "\n"
      "MainClass=com.example.$Inner_1\n"
      "MinJavaVersion=00010008\n"
      "ServiceStopTimeoutMessage=100%% of %s";  // no line break at the end of the file
  std::vector<IniEntry> entries;
  std::string error;
  ASSERT_TRUE(ParseLauncherIni(text, "app.ini", &entries, &error)) << error;
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"JvmPath", "C:\\Program Files\\Java\\bin\\server\\jvm.dll"},
      {"JvmOptions", " -Xmx1g -Dx=\"a b\" "},
      {"AppOptions", "a=b=c"},
      {"SplashText", ""},
      {"ClassPath", std::string(1023, 'c')},
      {"MainClass", "com.example.$Inner_1"},
      {"MinJavaVersion", "00010008"},
      {"ServiceStopTimeoutMessage", "100%% of %s"},
  };
  ASSERT_EQ(entries.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(entries[i].layout->name, expected[i].first);
    EXPECT_EQ(entries[i].value, expected[i].second) << expected[i].first;
  }
  EXPECT_EQ(entries[1].line, 5);
}

TEST(LauncherIni, MainClassIsStoredEncipheredAndPrintedDotted) {
  const stub::SettingLayout& main_class = *stub::FindSettingByName("MainClass");
  const std::string stored = StoredText(main_class, "com.example.App");
  EXPECT_EQ(stored.size(), 2 * std::string("com.example.App").size());
  EXPECT_EQ(stored.find("com"), std::string::npos);
  EXPECT_EQ(IniValue(main_class, stored), "com.example.App");
  const stub::SettingLayout& jvm_path = *stub::FindSettingByName("JvmPath");
  EXPECT_EQ(StoredText(jvm_path, "a\\b"), "a\\b");
}

TEST(LauncherIni, FormatListsEverySettingInIdOrderAndFlagsLineBreaks) {
  std::vector<std::string> stored(stub::kSettingCount);
  stored[1] = "C:\\jvm.dll";
  stored[3] = "a\r\nb";
  stored[9] = StoredText(*stub::FindSettingByName("MainClass"), "a.B");
  std::vector<std::string> warnings;
  const std::string ini = FormatLauncherIni(stored, &warnings);
  EXPECT_EQ(ini.rfind("[Launcher]\nMinJavaVersion=\nJvmPath=C:\\jvm.dll\nJvmOptions=\nClassPath=a  b\n", 0), 0u) << ini;
  EXPECT_NE(ini.find("\nMainClass=a.B\n"), std::string::npos);
  EXPECT_EQ(std::count(ini.begin(), ini.end(), '\n'), 45);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("ClassPath"), std::string::npos);
}

TEST(LauncherIni, WhatFormatPrintsParsesBackToTheSameStoredTexts) {
  std::vector<std::string> stored;
  for (const stub::SettingLayout& layout : stub::kSettingLayouts) {
    switch (layout.kind) {
      case stub::SettingKind::kFlag:
        stored.push_back("1");
        break;
      case stub::SettingKind::kInteger:
        stored.push_back("-0");
        break;
      case stub::SettingKind::kVersion:
        stored.push_back("0x00010004");
        break;
      case stub::SettingKind::kEnciphered:
        stored.push_back(StoredText(layout, "org.demo.Main"));
        break;
      default:
        stored.push_back(" " + std::string(layout.name) + "\\ = \"%%\" ");
        break;
    }
  }
  std::vector<std::string> warnings;
  std::vector<IniEntry> entries;
  std::string error;
  ASSERT_TRUE(ParseLauncherIni(FormatLauncherIni(stored, &warnings), "dump.ini", &entries, &error)) << error;
  ASSERT_EQ(entries.size(), stub::kSettingCount);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].layout, &stub::kSettingLayouts[i]);
    EXPECT_EQ(StoredText(*entries[i].layout, entries[i].value), stored[i]);
  }
  EXPECT_TRUE(warnings.empty());
}

}  // namespace
}  // namespace stubconfig
