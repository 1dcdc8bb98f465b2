#include "core/profile_text.h"

#include <gtest/gtest.h>

namespace stub {
namespace {

constexpr char kSection[] = "Application Configuration";

TEST(ProfileText, FindsValuesByTheProfileFunctionsRules) {
  struct Case {
    const char* text;
    const char* key;
    std::optional<std::string> value;
  };
  const Case cases[] = {
      {"[Application Configuration]\nJvmOptions=-Xmx1g\n", "JvmOptions", "-Xmx1g"},
      {"[application configuration]\r\njvmoptions = -Xmx1g  \r\n", "JvmOptions", "-Xmx1g"},
      {"\t[\tApplication Configuration\t]\n\tJvmOptions\t=\t-Xmx1g\t\n", "JvmOptions", "-Xmx1g"},
      {"  [ Application Configuration ]\rAppOptions=a b\r", "AppOptions", "a b"},
      {"[Application Configuration]\nAppOptions=\"two  words\"\n", "AppOptions", "two  words"},
      {"[Application Configuration]\nAppOptions='x'\n", "AppOptions", "x"},
      {"[Application Configuration]\nAppOptions=\"x'\n", "AppOptions", "\"x'"},
      {"[Application Configuration]\nAppOptions=\n", "AppOptions", ""},
      {"[Application Configuration]\n;AppOptions=commented\n", "AppOptions", std::nullopt},
      {"[Other]\nAppOptions=x\n", "AppOptions", std::nullopt},
      {"[Application Configuration]\nAppOptions=first\nAppOptions=second\n", "AppOptions", "first"},
      {"[Application Configuration]\nJvmOptions=x\n[Application Configuration]\nAppOptions=y\n", "AppOptions",
       std::nullopt},
      {"[Application Configuration]\nAppOptions=caf\xC3\xA9 \xE6\x97\xA5\n", "AppOptions", "caf\xC3\xA9 \xE6\x97\xA5"},
      {"AppOptions=before any section\n", "AppOptions", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ProfileValue(c.text, kSection, c.key), c.value) << c.text;
}

TEST(ProfileText, ReturnsTheWholeValueHoweverLong) {
  const std::string long_value(5000, 'x');
  EXPECT_EQ(ProfileValue("[Application Configuration]\nJvmOptions=" + long_value, kSection, "JvmOptions"),
            long_value);
}

}  // namespace
}  // namespace stub
