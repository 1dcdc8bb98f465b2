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

// The stored main class: hex digit pairs XORed with the 17-byte key stream, at most 255 bytes, up to
// the first zero byte; then every '.' becomes '/'.
std::string ModelMainClass(const std::string& hex) {
  static constexpr char kKey[] = "Tq5kWb719Hxr3062";  // and its terminating zero: 17 bytes
  std::string name;
  for (std::size_t k = 0; 2 * k + 1 < hex.size() && name.size() < 255; ++k) {
    const auto digit = [](char c) {
      if (!std::isxdigit(static_cast<unsigned char>(c))) return -1;
      return c <= '9' ? c - '0' : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    };
    const int high = digit(hex[2 * k]);
    const int low = digit(hex[2 * k + 1]);
    if (high < 0 || low < 0) break;
    const char byte = static_cast<char>((high * 16 + low) ^ static_cast<unsigned char>(kKey[k % 17]));
    if (byte == '\0') break;
    name.push_back(byte == '.' ? '/' : byte);
  }
  return name;
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
  const auto entry = [&](int id) -> std::string {
    const stub::SettingLayout* layout = stub::FindSettingById(id);
    if (layout == nullptr) std::abort();  // the conversion asked for an ID that is no setting
    return std::string(stub::NormalizeEntry(entries[static_cast<std::size_t>(layout - stub::kSettingLayouts)]));
  };
  stub::LaunchConfiguration c = stub::ConvertLaunchConfiguration(entry);

  const auto text = [&](std::string_view name) { return entry(stub::FindSettingByName(name)->id); };
  const auto flag = [&](std::string_view name) {
    const std::string t = text(name);
    return t.empty() || t[0] != '0';
  };
  bool same = c.MainClass == ModelMainClass(text("MainClass")) && c.MinJavaVersion == text("MinJavaVersion") &&
              c.MinJavaVersionNumber == ModelVersion(text("MinJavaVersion")) &&
              c.JvmSearchMode == ModelInteger(text("JvmSearchMode")) &&
              c.SplashSeconds == ModelInteger(text("SplashSeconds")) &&
              c.ChangeDirectoryBeforeJvm == flag("ChangeDirectoryBeforeJvm") &&
              c.ServiceStopWithSystemExit == flag("ServiceStopWithSystemExit") &&
              c.ServiceManualStart == flag("ServiceManualStart") &&
              c.AllowMultipleInstances == flag("AllowMultipleInstances") && c.ShowSplash == flag("ShowSplash");
  const std::pair<std::string_view, const std::string*> texts[] = {
      {"JvmPath", &c.JvmPath},
      {"JvmOptions", &c.JvmOptions},
      {"ClassPath", &c.ClassPath},
      {"InstallSwitch", &c.InstallSwitch},
      {"UninstallSwitch", &c.UninstallSwitch},
      {"ServiceSwitch", &c.ServiceSwitch},
      {"WorkingDirectory", &c.WorkingDirectory},
      {"AppOptions", &c.AppOptions},
      {"IniFile", &c.IniFile},
      {"ServiceName", &c.ServiceName},
      {"ServiceDescription", &c.ServiceDescription},
      {"ServiceStartArguments", &c.ServiceStartArguments},
      {"ServiceStopArguments", &c.ServiceStopArguments},
      {"SystemOutFile", &c.SystemOutFile},
      {"SystemErrFile", &c.SystemErrFile},
      {"SplashText", &c.SplashText},
      {"AlreadyRunningMessage", &c.AlreadyRunningMessage},
      {"FileAccessErrorMessage", &c.FileAccessErrorMessage},
      {"ServiceInstalledMessage", &c.ServiceInstalledMessage},
      {"ServiceUninstalledMessage", &c.ServiceUninstalledMessage},
      {"ServiceExistsMessage", &c.ServiceExistsMessage},
      {"ServiceStartedMessage", &c.ServiceStartedMessage},
      {"ServiceStoppedMessage", &c.ServiceStoppedMessage},
      {"ServiceStartFailedMessage", &c.ServiceStartFailedMessage},
      {"ServiceStopTimeoutMessage", &c.ServiceStopTimeoutMessage},
  };
  for (const auto& [name, value] : texts) same = same && *value == text(name);
  for (int i = 0; i < stub::kJvmErrorMessageCount; ++i) {
    same = same && c.JvmErrorMessages[i] == text("JvmErrorMessages" + std::to_string(i));
  }
  if (!same) std::abort();

  // The INI override replaces the two option strings only with non-empty values.
  const std::string ini_options = entries[stub::kSettingCount];
  const std::string ini_arguments = entries[stub::kSettingCount + 1];
  const std::string resource_options = c.JvmOptions;
  const std::string resource_arguments = c.AppOptions;
  stub::ApplyIniOverride(c, [&](std::string_view key) {
    if (key == "JvmOptions") return ini_options;
    if (key == "AppOptions") return ini_arguments;
    std::abort();
  });
  if (c.JvmOptions != (ini_options.empty() ? resource_options : ini_options) ||
      c.AppOptions != (ini_arguments.empty() ? resource_arguments : ini_arguments)) {
    std::abort();
  }
  return 0;
}
