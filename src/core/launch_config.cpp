// Conversion of the string-table entries into the process-wide settings, row by row of the table.
#include "core/launch_config.h"

#include <climits>
#include <optional>
#include <utility>

#include "core/main_class_cipher.h"
#include "core/profile_text.h"

namespace stub {
namespace {

constexpr std::string_view kIniSection = "Application Configuration";

// The settings the INI file may override, with their keys. The names are taken from the table at
// compile time, so that the launcher does not carry the whole table (the configuration tool's) for two
// of its names.
struct IniKey {
  Setting setting;
  std::string_view name;
};
constexpr IniKey IniKeyOf(Setting setting) { return {setting, kSettingLayouts[IndexOf(setting)].name}; }
constexpr IniKey kIniKeys[] = {IniKeyOf(Setting::JvmOptions), IniKeyOf(Setting::AppOptions)};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Skips leading white space and an optional sign; returns whether the sign was a minus.
bool SkipBlanksAndSign(std::string_view text, std::size_t& pos) {
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) return text[pos++] == '-';
  return false;
}

}  // namespace

static_assert(IndexOf(Setting::JvmErrorMessages9) - IndexOf(Setting::JvmErrorMessages0) + 1 == kJvmErrorMessageCount,
              "the ten JvmErrorMessages are consecutive rows of the table");

LaunchConfiguration::LaunchConfiguration(SettingTexts&& texts) : texts_(std::move(texts)) {
  std::string& main_class = texts_[IndexOf(Setting::MainClass)];
  main_class = DecodeMainClass(main_class);
  for (char& c : main_class) {
    if (c == '.') c = '/';
  }
}

std::string_view NormalizeEntry(std::string_view loaded) { return loaded == "<null>" ? std::string_view() : loaded; }

bool ConvertFlag(const std::string& text) { return text.empty() || text.front() != '0'; }

bool ConvertOptInFlag(const std::string& text) { return !text.empty() && text.front() != '0'; }

int ConvertInteger(const std::string& text) {
  std::size_t pos = 0;
  const bool negative = SkipBlanksAndSign(text, pos);
  long long value = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    value = value * 10 + (text[pos] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) break;  // saturates below
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

std::uint32_t ConvertVersion(const std::string& text) {
  std::size_t pos = 0;
  const bool negative = SkipBlanksAndSign(text, pos);
  if (pos + 1 < text.size() && text[pos] == '0' && (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
    pos += 2;  // "0x" without digits after it reads as 0 either way
  }
  std::uint32_t value = 0;
  for (; pos < text.size() && HexDigitValue(text[pos]) >= 0; ++pos) {
    value = (value << 4) | static_cast<std::uint32_t>(HexDigitValue(text[pos]));
  }
  return negative ? 0u - value : value;
}

void ApplyIniOverride(SettingTexts& texts, std::string_view ini_text) {
  for (const IniKey& key : kIniKeys) {
    const std::optional<std::string> value = ProfileValue(ini_text, kIniSection, key.name);
    if (value && !value->empty()) texts[IndexOf(key.setting)] = *value;
  }
}

}  // namespace stub
