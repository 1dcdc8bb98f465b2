// Configuration files as users write them: their encodings, what is accepted verbatim and what is
// refused, where; and what `dump` prints back.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "core/config_layout.h"
#include "core/text.h"
#include "launcher_ini.h"
#include "stub_images.h"

namespace stubconfig {
namespace {

using namespace std::string_literals;
using sample::Utf16File;
using sample::ValidStoredTexts;

std::size_t IndexOf(std::string_view name) {
  return static_cast<std::size_t>(stub::FindSettingByName(name) - stub::kSettingLayouts);
}

std::string Repeat(std::string_view text, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) out += text;
  return out;
}

struct Parsed {
  bool ok = false;
  LauncherIni ini;
  std::vector<std::string> warnings;
  std::string error;
};

Parsed Parse(std::string_view text, std::string_view file_name = "app.ini") {
  Parsed parsed;
  parsed.ok = ParseLauncherIni(text, file_name, &parsed.ini, &parsed.warnings, &parsed.error);
  return parsed;
}

std::string Value(const LauncherIni& ini, std::string_view name) {
  for (const IniEntry& entry : ini.settings) {
    if (entry.layout->name == name) return entry.value;
  }
  return "<absent>";
}

TEST(LauncherIni, RefusesBadInputNamingFileAndLine) {
  const std::u16string lone_surrogate = u"[Launcher]\nSplashText=a\xD800z\n";
  struct Case {
    std::string text;
    const char* expected_error;  // a prefix; one ending in a line break is the whole message
  };
  const Case cases[] = {
      {"[Launcher]\nFoo=1\n", "app.ini:2: unknown key \"Foo\"\n"},
      {"[Launcher]\nmainclass=a.B\n", "app.ini:2: unknown key \"mainclass\" (did you mean \"MainClass\"?)\n"},
      {"[Other]\nJvmPath=x\n", "app.ini:1: unknown section \"Other\" (expected [Launcher], [VersionInfo] or [Environment])\n"},
      {"JvmPath=x\n", "app.ini:1: key \"JvmPath\" outside the [Launcher] section\n"},
      {"[Launcher\n", "app.ini:1: malformed section header"},
      {"[Launcher]\r\n; c\r\n\r\nJvmPath\r\n", "app.ini:4: expected Name=value"},
      {"[Launcher]\n=x\n", "app.ini:2: missing key before '='"},
      {"[Launcher]\nJvmPath=a\n# c\nJvmPath=b\n", "app.ini:4: duplicate key \"JvmPath\" (first on line 2)"},
      {"[Launcher]\nMainClass=\n", "app.ini:2: MainClass must name the main class"},
      {"[Launcher]\nMainClass=com..App\n", "app.ini:2: MainClass is not a Java class name"},
      {"[Launcher]\nMainClass=com.App.\n", "app.ini:2: MainClass is not a Java class name"},
      {"[Launcher]\nMainClass=com/example/App\n", "app.ini:2: MainClass is not a Java class name"},
      {"[Launcher]\nMainClass=" + std::string(256, 'a') + "\n",
       "app.ini:2: MainClass is 256 characters long; at most 255 fit\n"},
      {"[Launcher]\nMainClass=" + std::string(64, 'a') + "." + std::string(64 * 3, 'b') + "\xC3\xA9\n",
       "app.ini:2: MainClass is 259 bytes of UTF-8 long; at most 255 fit\n"},
      {"[Launcher]\nShowSplash=yes\n", "app.ini:2: ShowSplash expects 0 or 1"},
      {"[Launcher]\nSplashSeconds= 5\n", "app.ini:2: SplashSeconds expects a decimal integer"},
      {"[Launcher]\nSplashSeconds=-1\n", "app.ini:2: SplashSeconds expects a number of seconds"},
      {"[Launcher]\nJvmSearchMode=4x\n", "app.ini:2: JvmSearchMode expects a decimal integer"},
      {"[Launcher]\nJvmSearchMode=99999999999\n", "app.ini:2: JvmSearchMode expects a decimal integer"},
      {"[Launcher]\nJvmSearchMode=-2147483649\n", "app.ini:2: JvmSearchMode is out of the 32-bit integer range"},
      {"[Launcher]\nMinJavaVersion=1.4\n", "app.ini:2: MinJavaVersion expects a hexadecimal version"},
      {"[Launcher]\nMinJavaVersion=0x\n", "app.ini:2: MinJavaVersion expects a hexadecimal version"},
      {"[Launcher]\nMinJavaVersion=0x000100040\n", "app.ini:2: MinJavaVersion expects a hexadecimal version"},
      {"[Launcher]\nServiceStartedMessage=%s %s\n", "app.ini:2: ServiceStartedMessage receives one argument"},
      {"[Launcher]\nFileAccessErrorMessage=%d\n", "app.ini:2: FileAccessErrorMessage may hold only %s and %%"},
      {"[Launcher]\nFileAccessErrorMessage=100%\n", "app.ini:2: FileAccessErrorMessage may hold only %s and %%"},
      {"[Launcher]\nAlreadyRunningMessage=%s runs\n", "app.ini:2: AlreadyRunningMessage receives no argument"},
      {"[Launcher]\nJvmOptions=-Dx=\"a b\n", "app.ini:2: JvmOptions has an unmatched double quote"},
      {"[Launcher]\nRestartExitCode=0\n", "app.ini:2: RestartExitCode may not be 0"},
      {"[Launcher]\nRestartExitCode=x\n", "app.ini:2: RestartExitCode expects a decimal integer"},
      {"[Launcher]\nRestartLimitMessage=%s\n", "app.ini:2: RestartLimitMessage receives no argument"},
      {"[Launcher]\nJavaDownloadUrl=www.example.com\n", "app.ini:2: JavaDownloadUrl must be an address starting"},
      {"[Launcher]\nAppUserModelId=Vendor.My App\n", "app.ini:2: AppUserModelId may not contain spaces"},
      {"[Launcher]\nAppUserModelId=" + Repeat("\u00E9", 129) + "\n", "app.ini:2: AppUserModelId is longer than"},
      // Lengths count UTF-16 code units, as the string table and the launcher do.
      {"[Launcher]\nClassPath=" + std::string(1024, 'x') + "\n",
       "app.ini:2: ClassPath is 1024 characters long; at most 1023 fit\n"},
      {"[Launcher]\nSplashText=" + Repeat("\U0001F600", 512) + "\n",
       "app.ini:2: SplashText is 1024 UTF-16 code units long (each character outside the Basic Multilingual Plane "
       "takes two); at most 1023 fit\n"},
      // Line ends: CR alone throughout, and a CR inside a line (a value cannot hold a line break).
      {"[Launcher]\rJvmPath=x\r", "app.ini: lines end with a carriage return alone (CR)"},
      {"[Launcher]\nClassPath=a.jar\rb.jar\n", "app.ini:2: carriage return inside the line"},
      {"[Launcher]\r\nJvmPath=x\r\r\n", "app.ini:2: carriage return inside the line"},
      // Files that cannot be read as text, and text that is no Unicode.
      {"\xEF\xBB\xBF[Launcher]\nSplashText=\xE9t\xE9\n",
       "app.ini:2: not UTF-8, although the file starts with a UTF-8 byte-order mark\n"},
      {"\xFF\xFE[\0L\0]\0\n\0x"s, "app.ini: is UTF-16 text of an odd number of bytes (cut short?)\n"},
      {"\0[\0L\0]\0\r\0\n"s, "app.ini: is UTF-16 text without a byte-order mark; save it as UTF-8, or as UTF-16"},
      {"[\0L\0]\0\r\0\n\0"s, "app.ini: is UTF-16 text without a byte-order mark"},
      {"MZ\x90\0\x03\0\0\0\x04\0\0\0\xFF\xFF\0\0"s, "app.ini: is not a text file (it holds NUL bytes)\n"},
      {Utf16File(lone_surrogate),
       "app.ini:2: SplashText contains an unpaired UTF-16 surrogate, which is no character\n"},
      {Utf16File(u"[Launcher]\nJvmPath=a\0b\n"s), "app.ini:2: JvmPath contains a NUL character\n"},
      {"[Launcher]\nSplashText=\x1B[2J\n", "app.ini:2: SplashText contains the control character \\x1B (of the control "
                                           "characters only tab is allowed)\n"},
      {"[Launcher]\nSplashText=a\xC2\x9B" "b\n", "app.ini:2: SplashText contains the control character \\u009B (of the "
                                               "control characters only tab is allowed)\n"},
      // Text quoted from the file: one line of printable ASCII, other characters escaped, long texts cut.
      {"[Launcher]\n\x01\x1B[2J\xFFkey=1\n", "app.ini:2: unknown key \"\\x01\\x1B[2J\\u00FFkey\"\n"},
      {"[\x7F\x80]\n", "app.ini:1: unknown section \"\\x7F\\u20AC\" (expected [Launcher], [VersionInfo] or [Environment])\n"},
      {"[Launcher]\nGr\xC3\xB6\xC3\x9F"
       "e\xF0\x9F\x98\x80=1\n",
       "app.ini:2: unknown key \"Gr\\u00F6\\u00DFe\\U0001F600\"\n"},
      {"[Launcher]\n" + std::string(100, 'k') + "=1\n",
       "app.ini:2: unknown key \"kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk...\"\n"},
      // [VersionInfo]: its own keys, each in its own section, versions as dotted numbers.
      {"[VersionInfo]\nFoo=1\n", "app.ini:2: unknown key \"Foo\" in [VersionInfo]\n"},
      {"[VersionInfo]\nfileversion=1\n",
       "app.ini:2: unknown key \"fileversion\" in [VersionInfo] (did you mean \"FileVersion\"?)\n"},
      {"[VersionInfo]\nJvmPath=x\n",
       "app.ini:2: unknown key \"JvmPath\" in [VersionInfo] (it belongs in [Launcher])\n"},
      {"[Launcher]\nCompanyName=x\n", "app.ini:2: unknown key \"CompanyName\" (it belongs in [VersionInfo])\n"},
      {"FileVersion=1\n", "app.ini:1: key \"FileVersion\" outside the [VersionInfo] section\n"},
      {"[VersionInfo]\nComments=a\n[Launcher]\n[VersionInfo]\nComments=b\n",
       "app.ini:5: duplicate key \"Comments\" (first on line 2)\n"},
      {"[VersionInfo]\nLegalCopyright=" + std::string(1024, 'c') + "\n",
       "app.ini:2: LegalCopyright is 1024 characters long; at most 1023 fit\n"},
      {Utf16File(u"[VersionInfo]\nComments=\xDC00\n"),
       "app.ini:2: Comments contains an unpaired UTF-16 surrogate"},
      {"[VersionInfo]\nFileVersion=1.2.x\n",
       "app.ini:2: FileVersion \"1.2.x\" is not a version: one to four numbers from 0 to 65535, separated by dots "
       "(such as 1.2.0.15)\n"},
      {"[VersionInfo]\nProductVersion=1.2.3.4.5\n", "app.ini:2: ProductVersion \"1.2.3.4.5\" is not a version"},
      {"[VersionInfo]\nFileVersion=65536\n", "app.ini:2: FileVersion \"65536\" is not a version"},
      {"[VersionInfo]\nFileVersion=\xE2\x85\xA0.2\n", "app.ini:2: FileVersion \"\\u2160.2\" is not a version"},
  };
  for (const Case& c : cases) {
    const Parsed parsed = Parse(c.text);
    EXPECT_FALSE(parsed.ok) << c.text;
    EXPECT_EQ((parsed.error + "\n").rfind(c.expected_error, 0), 0u)
        << "input: " << c.text << "\nerror: " << parsed.error;
    for (char ch : parsed.error) EXPECT_TRUE(ch >= 0x20 && ch < 0x7F) << parsed.error;
  }
}

TEST(LauncherIni, ReadsUtf8AndUtf16FilesAndOldWindows1252FilesWithAWarning) {
  const std::u16string text = u"[Launcher]\r\nSplashText=Caf\u00E9 \u65E5\u672C \U0001F600 \u20AC\r\n";
  const std::string utf8 = stub::Utf8FromUtf16(text);
  const std::string expected = "Caf\u00E9 \u65E5\u672C \U0001F600 \u20AC";
  struct Case {
    const char* what;
    std::string bytes;
    std::string value;
    const char* warning;  // nullptr: none
  };
  const Case cases[] = {
      {"UTF-8", utf8, expected, nullptr},
      {"UTF-16 LE", Utf16File(text), expected, nullptr},
      {"UTF-16 LE, LF line ends", Utf16File(u"[Launcher]\nSplashText=\U0001F600\n"), "\U0001F600", nullptr},
      // Bytes 0x80 to 0x9F as Windows-1252 has them (the five it leaves undefined are control characters).
      {"Windows-1252", "# old\n[Launcher]\r\nSplashText=Caf\xE9 \x80\x9F\xFF\r\n", "Caf\u00E9 \u20AC\u0178\u00FF",
       "app.ini:3: warning: not UTF-8, so the whole file is read as Windows-1252 (save it as UTF-8 to be sure of its "
       "characters)"},
  };
  for (const Case& c : cases) {
    const Parsed parsed = Parse(c.bytes);
    ASSERT_TRUE(parsed.ok) << c.what << ": " << parsed.error;
    EXPECT_EQ(Value(parsed.ini, "SplashText"), c.value) << c.what;
    if (c.warning) {
      EXPECT_EQ(parsed.warnings, std::vector<std::string>{c.warning}) << c.what;
    } else {
      EXPECT_TRUE(parsed.warnings.empty()) << c.what << ": " << parsed.warnings[0];
    }
  }
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
      "SystemOutFile=" +
      Repeat("\u00E9", 1023) +  // 1023 characters, 2046 bytes
      "\n"
      "ServiceStopTimeoutMessage=100%% of %s";  // no line break at the end of the file
  const Parsed parsed = Parse(text);
  ASSERT_TRUE(parsed.ok) << parsed.error;
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"JvmPath", "C:\\Program Files\\Java\\bin\\server\\jvm.dll"},
      {"JvmOptions", " -Xmx1g -Dx=\"a b\" "},
      {"AppOptions", "a=b=c"},
      {"SplashText", ""},
      {"ClassPath", std::string(1023, 'c')},
      {"MainClass", "com.example.$Inner_1"},
      {"MinJavaVersion", "00010008"},
      {"SystemOutFile", Repeat("\u00E9", 1023)},
      {"ServiceStopTimeoutMessage", "100%% of %s"},
  };
  const std::vector<IniEntry>& entries = parsed.ini.settings;
  ASSERT_EQ(entries.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(entries[i].layout->name, expected[i].first);
    EXPECT_EQ(entries[i].value, expected[i].second) << expected[i].first;
  }
  EXPECT_EQ(entries[1].line, 5);
  EXPECT_FALSE(parsed.ini.version_info);
}

TEST(LauncherIni, MainClassIsStoredEncipheredAndPrintedDotted) {
  const stub::SettingLayout& main_class = *stub::FindSettingByName("MainClass");
  for (const std::string name : {"com.example.App", "org.\u00E9t\u00E9.\u65E5\u672C$App"}) {
    const Parsed parsed = Parse("[Launcher]\nMainClass=" + name + "\n");
    ASSERT_TRUE(parsed.ok) << parsed.error;
    const std::string stored = StoredText(main_class, name);
    EXPECT_EQ(stored.size(), 2 * name.size());  // each UTF-8 byte as two hexadecimal digits
    EXPECT_EQ(stored.find("com"), std::string::npos);
    EXPECT_EQ(IniValue(main_class, stored), name);
  }
  const stub::SettingLayout& jvm_path = *stub::FindSettingByName("JvmPath");
  EXPECT_EQ(StoredText(jvm_path, "a\\b\u00E9"), "a\\b\u00E9");
}

TEST(LauncherIni, VersionInfoSectionNamesEachKeyOrNothing) {
  Parsed parsed = Parse("[Launcher]\nJvmPath=x\n");
  ASSERT_TRUE(parsed.ok);
  EXPECT_FALSE(parsed.ini.version_info) << "no section, no version information";
  parsed = Parse("[VersionInfo]\n; nothing yet\n");
  ASSERT_TRUE(parsed.ok);
  ASSERT_TRUE(parsed.ini.version_info);
  EXPECT_EQ(*parsed.ini.version_info, VersionStrings{}) << "an empty section: version information without strings";
  parsed = Parse(
      "[VersionInfo]\nComments= spaces kept \nFileVersion=1.02\n[Launcher]\nJvmPath=x\n[ VersionInfo ]\n"
      "CompanyName=\nProductName=Caf\u00E9 \U0001F600\n");
  ASSERT_TRUE(parsed.ok) << parsed.error;
  VersionStrings expected;
  expected[FindVersionKey("Comments")] = " spaces kept ";
  expected[kFileVersionKey] = "1.02";
  expected[FindVersionKey("CompanyName")] = "";
  expected[FindVersionKey("ProductName")] = "Caf\u00E9 \U0001F600";
  EXPECT_EQ(*parsed.ini.version_info, expected);
  EXPECT_EQ(Value(parsed.ini, "JvmPath"), "x");
}

TEST(LauncherIni, FormatListsEverySettingInIdOrderAndShowsWhatALineCannotCarry) {
  std::vector<std::string> stored = ValidStoredTexts();
  stored[IndexOf("JvmPath")] = "C:\\jvm.dll";
  stored[IndexOf("JvmOptions")] = "";
  stored[IndexOf("ClassPath")] = "a\r\nb";
  stored[IndexOf("MainClass")] = StoredText(*stub::FindSettingByName("MainClass"), "a.B");
  stored[IndexOf("SplashText")] = "x\xED\xA0\x80y\xF0\x9F\x98\x80";  // a lone surrogate read from the table
  stored[IndexOf("AppOptions")] = "\xED\xB0\x80\xED\xA0\x80";        // low before high: no pair
  stored[IndexOf("ServiceName")] = "a\x1B[31mb\x7F\xC2\x85\tc";     // an escape sequence, DEL, C1, tab
  std::vector<std::string> warnings;
  const std::string ini = FormatLauncherIni(stored, std::nullopt, &warnings);
  EXPECT_EQ(ini.rfind("[Launcher]\nMinJavaVersion=0x00010004\nJvmPath=C:\\jvm.dll\nJvmOptions=\nClassPath=a  b\n", 0),
            0u)
      << ini;
  EXPECT_NE(ini.find("\nMainClass=a.B\n"), std::string::npos);
  EXPECT_NE(ini.find("\nSplashText=x\uFFFDy\U0001F600\n"), std::string::npos);
  EXPECT_NE(ini.find("\nAppOptions=\uFFFD\uFFFD\n"), std::string::npos);
  EXPECT_NE(ini.find("\nServiceName=a\uFFFD[31mb\uFFFD\uFFFD\tc\n"), std::string::npos);
  EXPECT_TRUE(stub::IsValidUtf8(ini));
  // [Launcher] and every setting but Environment; a blank line, [Environment] and its three lines.
  EXPECT_EQ(std::count(ini.begin(), ini.end(), '\n'), static_cast<std::ptrdiff_t>(stub::kSettingCount) + 5);
  EXPECT_NE(ini.find("\n\n[Environment]\nAPP="), std::string::npos);
  EXPECT_EQ(warnings,
            (std::vector<std::string>{
                "ClassPath holds line breaks or NUL characters, shown as spaces",
                "AppOptions holds text that is no Unicode (an unpaired surrogate or bytes that are no UTF-8), "
                "shown as U+FFFD",
                "ServiceName holds control characters, shown as U+FFFD",
                "SplashText holds text that is no Unicode (an unpaired surrogate or bytes that are no UTF-8), "
                "shown as U+FFFD",
            }));
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
      {"ServiceSwitch", "", "ServiceSwitch must be one word without spaces"},
      {"ServiceSwitch", "-run service", "ServiceSwitch must be one word without spaces"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> stored = ValidStoredTexts();
    stored[IndexOf(c.name)] = c.stored;
    std::vector<std::string> warnings;
    const std::string ini = FormatLauncherIni(stored, std::nullopt, &warnings);
    ASSERT_EQ(warnings.size(), 1u) << c.name;
    EXPECT_EQ(warnings[0].rfind(c.warning, 0), 0u) << warnings[0];
    const Parsed parsed = Parse(ini, "dump.ini");
    EXPECT_FALSE(parsed.ok) << c.name;
    EXPECT_NE(parsed.error.find(c.name), std::string::npos) << parsed.error;
  }
  VersionStrings version;
  version[kProductVersionKey] = "2.0 beta";
  std::vector<std::string> warnings;
  const std::string ini = FormatLauncherIni(ValidStoredTexts(), version, &warnings);
  EXPECT_NE(ini.find("\n\n[VersionInfo]\nProductVersion=2.0 beta\n"), std::string::npos) << ini;
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0].rfind("ProductVersion \"2.0 beta\" is not a version", 0), 0u) << warnings[0];
}

TEST(LauncherIni, WhatFormatPrintsParsesBackToTheSameTexts) {
  const std::vector<std::string> stored = ValidStoredTexts();
  for (const bool with_version : {false, true}) {
    std::optional<VersionStrings> version;
    if (with_version) {
      version.emplace();
      for (std::size_t key = 0; key < kVersionKeyCount; ++key) {
        (*version)[key] = key <= kProductVersionKey ? "1.2." + std::to_string(key) : " \u00E9\U0001F600 = ; ";
      }
      (*version)[FindVersionKey("InternalName")].reset();
    }
    std::vector<std::string> warnings;
    const Parsed parsed = Parse(FormatLauncherIni(stored, version, &warnings), "dump.ini");
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_TRUE(warnings.empty());
    EXPECT_TRUE(parsed.warnings.empty());
    ASSERT_EQ(parsed.ini.settings.size(), stub::kSettingCount);
    for (const IniEntry& entry : parsed.ini.settings) {
      EXPECT_EQ(StoredText(*entry.layout, entry.value), stored[static_cast<std::size_t>(entry.layout - stub::kSettingLayouts)]);
    }
    EXPECT_EQ(parsed.ini.version_info, version);
  }
}

// The tool's side of the settings table: it reads and prints exactly the table's names, each for its
// own ID.
TEST(SettingsTable, TheToolTakesAndPrintsExactlyTheTableNames) {
  std::set<int> ids;
  std::set<std::string_view> names;
  for (std::size_t i = 0; i < stub::kSettingCount; ++i) {
    const stub::SettingLayout& layout = stub::kSettingLayouts[i];
    EXPECT_TRUE(ids.insert(layout.id).second) << layout.name;
    EXPECT_TRUE(names.insert(layout.name).second) << layout.name;
    const std::string value = IniValue(layout, ValidStoredTexts()[i]);
    // Environment has a section of its own, one NAME=value line each.
    const bool lines = layout.kind == stub::SettingKind::kLines;
    EXPECT_EQ(Parse("[Launcher]\n" + std::string(layout.name) + "=" + value + "\n").ok, !lines) << layout.name;
    const Parsed parsed =
        Parse(lines ? "[Environment]\n" + value + "\n" : "[Launcher]\n" + std::string(layout.name) + "=" + value + "\n");
    ASSERT_TRUE(parsed.ok) << parsed.error;
    ASSERT_EQ(parsed.ini.settings.size(), 1u);
    EXPECT_EQ(parsed.ini.settings[0].layout, &layout);
  }
  EXPECT_EQ(ids.size(), stub::kSettingCount);
  for (const std::string_view not_a_setting :
       {"minjavaversion", "JvmPath2", "JvmErrorMessages10", "JvmErrorMessages", "Setting1024", "FileVersion"}) {
    EXPECT_FALSE(Parse("[Launcher]\n" + std::string(not_a_setting) + "=1\n").ok) << not_a_setting;
  }
  std::vector<std::string> warnings;
  const std::string ini = FormatLauncherIni(ValidStoredTexts(), std::nullopt, &warnings);
  std::vector<std::string_view> printed;
  const std::size_t launcher_end = ini.find("\n\n[Environment]\n");
  for (std::size_t start = ini.find('\n') + 1; start < launcher_end; start = ini.find('\n', start) + 1) {
    printed.push_back(std::string_view(ini).substr(start, ini.find('=', start) - start));
  }
  std::vector<std::string_view> table;
  for (const stub::SettingLayout& layout : stub::kSettingLayouts) {
    if (layout.kind != stub::SettingKind::kLines) table.push_back(layout.name);
  }
  EXPECT_EQ(printed, table);
}

}  // namespace
}  // namespace stubconfig
