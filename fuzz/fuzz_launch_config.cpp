// The conversion of string-table entries into the launch configuration, against a reference model
// built on the C library's own readers. The input holds the 44 entries in ID order, separated by zero
// bytes, then two INI override values; every field of the configuration must be what the model makes
// of its entry.
#include <algorithm>
#include <cctype>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/config_layout.h"
#include "core/launch_config.h"
#include "core/main_class_cipher.h"

namespace {

// atoi's reading (strtol, base 10), saturated to int instead of overflowing.
int ModelInteger(const std::string& text) {
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
}

// sscanf "%x": strtoul's reading (base 16, optional sign and "0x"); of a longer number only the low 32
// bits, which are its last eight digits.
std::uint32_t ModelVersion(const std::string& text) {
  char* end = nullptr;
  std::strtoull(text.c_str(), &end, 16);
  std::size_t first = static_cast<std::size_t>(end - text.c_str());
  while (first > 0 && std::isxdigit(static_cast<unsigned char>(text[first - 1]))) --first;
  const std::size_t digits = static_cast<std::size_t>(end - text.c_str()) - first;
  const std::string low = text.substr(first + (digits > 8 ? digits - 8 : 0), std::min<std::size_t>(digits, 8));
  std::uint32_t value = low.empty() ? 0 : static_cast<std::uint32_t>(std::strtoul(low.c_str(), nullptr, 16));
  const std::size_t sign = text.find_first_not_of(" \t\n\v\f\r");
  if (digits > 0 && sign != std::string::npos && text[sign] == '-') value = 0u - value;
  return value;
}

// The INI value the profile rules make of a written one: blanks around it dropped, then one pair of
// matching quotes.
std::string ModelIniValue(std::string value) {
  const std::size_t first = value.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  value = value.substr(first, value.find_last_not_of(" \t") - first + 1);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> entries(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      entries.emplace_back();
    } else {
      entries.back().push_back(static_cast<char>(data[i]));
    }
  }
  entries.resize(stub::kSettingCount + 2);
  stub::SettingTexts texts;
  for (std::size_t i = 0; i < stub::kSettingCount; ++i) texts[i] = std::string(stub::NormalizeEntry(entries[i]));
  const stub::LaunchConfiguration c(texts);

  const auto text = [&](std::string_view name) {
    return texts[static_cast<std::size_t>(stub::FindSettingByName(name) - stub::kSettingLayouts)];
  };
  const auto flag = [&](std::string_view name) {
    const std::string t = text(name);
    return t.empty() || t[0] != '0';
  };
  std::string main_class = stub::DecodeMainClass(text("MainClass"));  // the cipher has its own target
  std::replace(main_class.begin(), main_class.end(), '.', '/');
  bool same = c.MainClass() == main_class && c.MinJavaVersion() == text("MinJavaVersion") &&
              c.MinJavaVersionNumber() == ModelVersion(text("MinJavaVersion")) &&
              c.JvmSearchMode() == ModelInteger(text("JvmSearchMode")) &&
              c.SplashSeconds() == ModelInteger(text("SplashSeconds")) &&
              c.ChangeDirectoryBeforeJvm() == flag("ChangeDirectoryBeforeJvm") &&
              c.ServiceStopWithSystemExit() == flag("ServiceStopWithSystemExit") &&
              c.ServiceManualStart() == flag("ServiceManualStart") &&
              c.AllowMultipleInstances() == flag("AllowMultipleInstances") && c.ShowSplash() == flag("ShowSplash");
  // Texts and messages are the entries themselves (accessors generated from the table); one stands for all.
  same = same && c.ClassPath() == text("ClassPath") && c.ServiceExistsMessage() == text("ServiceExistsMessage");
  for (int i = 0; i < stub::kJvmErrorMessageCount; ++i) {
    same = same && c.JvmErrorMessages(static_cast<stub::JvmErrorMessage>(i)) ==
                       text("JvmErrorMessages" + std::to_string(i));
  }
  if (!same) std::abort();

  // The INI override replaces the two option strings only with non-empty values, read by the profile
  // rules; a value is one line, so line breaks are left out of the written file.
  const auto one_line = [](std::string value) {
    value.erase(std::remove_if(value.begin(), value.end(), [](char ch) { return ch == '\r' || ch == '\n'; }),
                value.end());
    return value;
  };
  const std::string ini_options = one_line(entries[stub::kSettingCount]);
  const std::string ini_arguments = one_line(entries[stub::kSettingCount + 1]);
  stub::SettingTexts overridden = texts;
  stub::ApplyIniOverride(overridden, "[Application Configuration]\nJvmOptions=" + ini_options + "\nAppOptions=" +
                                         ini_arguments + "\n");
  const std::string expected_options = ModelIniValue(ini_options);
  const std::string expected_arguments = ModelIniValue(ini_arguments);
  const auto kept_unless = [&](const std::string& value, std::string_view name) {
    return value.empty() ? text(name) : value;
  };
  if (overridden[stub::IndexOf(stub::Setting::JvmOptions)] != kept_unless(expected_options, "JvmOptions") ||
      overridden[stub::IndexOf(stub::Setting::AppOptions)] != kept_unless(expected_arguments, "AppOptions")) {
    std::abort();
  }
  return 0;
}
