// Configuration files as users write them: what is accepted verbatim and what is refused, where.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/config_layout.h"
#include "launcher_ini.h"
#include "stub_images.h"

namespace stubconfig {
namespace {

using namespace std::string_literals;
using sample::ValidStoredTexts;

struct IniErrorCase {
  std::string text;
  const char* expected_error;
};

std::size_t IndexOf(std::string_view name) {
  return static_cast<std::size_t>(stub::FindSettingByName(name) - stub::kSettingLayouts);
}

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
      {"[Launcher]\nJvmOptions=-Dx=\"a b\n", "app.ini:2: JvmOptions has an unmatched double quote"},
      // Line ends: CR alone throughout, and a CR inside a line (a value cannot hold a line break).
      {"[Launcher]\rJvmPath=x\r", "app.ini: lines end with a carriage return alone (CR)"},
      {"[Launcher]\nClassPath=a.jar\rb.jar\n", "app.ini:2: carriage return inside the line"},
      {"[Launcher]\r\nJvmPath=x\r\r\n", "app.ini:2: carriage return inside the line"},
      // Encodings other than ANSI are named, with or without a byte-order mark.
      {"\xFF\xFE[\0L\0]\0\r\0\n\0"s, "app.ini: is UTF-16 text; save the file as ANSI"},
      {"\0[\0L\0]\0\r\0\n"s, "app.ini: is UTF-16 text; save the file as ANSI"},
      {"MZ\x90\0\x03\0\0\0\x04\0\0\0\xFF\xFF\0\0"s, "app.ini: is not a text file (it holds NUL bytes)"},
      // Text quoted from the file shows bytes outside printable ASCII escaped, and long texts cut.
      {"[Launcher]\n\x01\x1B[2J\xFFkey=1\n", "app.ini:2: unknown key \"\\x01\\x1B[2J\\xFFkey\"\n"},
      {"[\x7F\x80]\n", "app.ini:1: unknown section \"\\x7F\\x80\" (expected [Launcher])\n"},
      {"[Launcher]\n" + std::string(100, 'k') + "=1\n",
       "app.ini:2: unknown key \"kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk...\"\n"},
  };
  for (const IniErrorCase& c : cases) {
    std::vector<IniEntry> entries;
    std::string error;
    EXPECT_FALSE(ParseLauncherIni(c.text, "app.ini", &entries, &error)) << c.text;
    // An expectation ending in a line break must match the whole message.
    EXPECT_EQ((error + "\n").rfind(c.expected_error, 0), 0u) << "input: " << c.text << "\nerror: " << error;
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

TEST(LauncherIni, DetectsEncodingsByByteOrderMarkOrZeroBytes) {
  const std::pair<std::string, TextEncoding> cases[] = {
      {"", TextEncoding::kAnsi},
      {"[Launcher]\r\nSplashText=Caf\xE9\n", TextEncoding::kAnsi},
      {"\xEF\xBB\xBF[Launcher]", TextEncoding::kUtf8WithBom},
      {"\xFF\xFE", TextEncoding::kUtf16LittleEndian},
      {"\xFE\xFF\0[", TextEncoding::kUtf16BigEndian},
      {"[\0L\0\xE9\0"s, TextEncoding::kUtf16LittleEndian},
      {"\0[\0L\0\xE9"s, TextEncoding::kUtf16BigEndian},
      {"[\0L\0a\0\0\0"s, TextEncoding::kBinary},  // zeros in both halves of the units
      {"[Launcher]\nJvmPath=\0\n"s, TextEncoding::kBinary},
  };
  for (const auto& [text, encoding] : cases) EXPECT_EQ(DetectTextEncoding(text), encoding) << text;
}

TEST(LauncherIni, FormatListsEverySettingInIdOrderAndFlagsLineBreaks) {
  std::vector<std::string> stored = ValidStoredTexts();
  stored[IndexOf("JvmPath")] = "C:\\jvm.dll";
  stored[IndexOf("JvmOptions")] = "";
  stored[IndexOf("ClassPath")] = "a\r\nb";
  stored[IndexOf("MainClass")] = StoredText(*stub::FindSettingByName("MainClass"), "a.B");
  std::vector<std::string> warnings;
  const std::string ini = FormatLauncherIni(stored, &warnings);
  EXPECT_EQ(ini.rfind("[Launcher]\nMinJavaVersion=0x00010004\nJvmPath=C:\\jvm.dll\nJvmOptions=\nClassPath=a  b\n", 0),
            0u)
      << ini;
  EXPECT_NE(ini.find("\nMainClass=a.B\n"), std::string::npos);
  EXPECT_EQ(std::count(ini.begin(), ini.end(), '\n'), 45);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0], "ClassPath holds line breaks or NUL characters, shown as spaces");
}

TEST(LauncherIni, FormatWarnsAboutEveryValueWriteWouldRefuse) {
  struct Case {
    const char* name;
    std::string stored;
    const char* warning;
  };
  const Case cases[] = {
      {"ShowSplash", "", "ShowSplash expects 0 or 1; write refuses this value"},
      {"JvmSearchMode", "abc", "JvmSearchMode expects a decimal integer; write refuses this value"},
      {"MinJavaVersion", "<null>", "MinJavaVersion expects a hexadecimal version such as 0x00010004; write refuses"},
      {"MainClass", "zz", "MainClass must name the main class; write refuses this value"},
      {"JvmOptions", "-Dx=\"", "JvmOptions has an unmatched double quote"},
      {"AppOptions", std::string(1024, 'a'), "AppOptions is 1024 characters long; at most 1023 fit; write refuses"},
      {"AlreadyRunningMessage", "%s", "AlreadyRunningMessage receives no argument"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> stored = ValidStoredTexts();
    stored[IndexOf(c.name)] = c.stored;
    std::vector<std::string> warnings;
    const std::string ini = FormatLauncherIni(stored, &warnings);
    ASSERT_EQ(warnings.size(), 1u) << c.name;
    EXPECT_EQ(warnings[0].rfind(c.warning, 0), 0u) << warnings[0];
    std::vector<IniEntry> entries;
    std::string error;
    EXPECT_FALSE(ParseLauncherIni(ini, "dump.ini", &entries, &error)) << c.name;
    EXPECT_NE(error.find(c.name), std::string::npos) << error;
  }
}

TEST(LauncherIni, WhatFormatPrintsParsesBackToTheSameStoredTexts) {
  const std::vector<std::string> stored = ValidStoredTexts();
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
