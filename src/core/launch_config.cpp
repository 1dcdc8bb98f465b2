// Conversion of the string-table entries into the process-wide settings.
#include "core/launch_config.h"

#include <climits>

#include "core/main_class_cipher.h"

namespace stub {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Skips leading white space and an optional sign; returns whether the sign was a minus.
bool SkipBlanksAndSign(std::string_view text, std::size_t& pos) {
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) return text[pos++] == '-';
  return false;
}

}  // namespace

LaunchConfiguration& LaunchConfig() {
  static LaunchConfiguration config;
  return config;
}

std::string_view NormalizeEntry(std::string_view loaded) { return loaded == "<null>" ? std::string_view() : loaded; }

bool ConvertFlag(std::string_view text) { return text.empty() || text.front() != '0'; }

int ConvertInteger(std::string_view text) {
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

std::uint32_t ConvertVersion(std::string_view text) {
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

LaunchConfiguration ConvertLaunchConfiguration(const ConfigStringSource& load) {
  LaunchConfiguration c;
  c.MainClass = DecodeMainClass(load(1168));
  c.JvmPath = load(1040);
  c.ClassPath = load(1072);
  c.JvmOptions = load(1056);
  c.InstallSwitch = load(1104);
  c.UninstallSwitch = load(1120);
  c.ServiceSwitch = load(1136);
  c.ServiceName = load(1232);
  c.ServiceDescription = load(1248);
  c.WorkingDirectory = load(1152);
  c.AppOptions = load(1184);
  c.ServiceStartArguments = load(1264);
  c.ServiceStopArguments = load(1280);
  c.SystemOutFile = load(1344);
  c.SystemErrFile = load(1360);
  c.SplashText = load(1376);
  c.IniFile = load(1200);

  c.ChangeDirectoryBeforeJvm = ConvertFlag(load(1216));
  c.AllowMultipleInstances = ConvertFlag(load(1328));
  c.ShowSplash = ConvertFlag(load(1392));
  c.ServiceManualStart = ConvertFlag(load(1312));
  c.ServiceStopWithSystemExit = ConvertFlag(load(1296));

  c.SplashSeconds = ConvertInteger(load(1408));
  c.JvmSearchMode = ConvertInteger(load(1088));

  c.MinJavaVersion = load(1024);
  c.MinJavaVersionNumber = ConvertVersion(c.MinJavaVersion);

  for (char& ch : c.MainClass) {
    if (ch == '.') ch = '/';
  }

  c.AlreadyRunningMessage = load(1424);
  c.FileAccessErrorMessage = load(1440);
  c.ServiceStartedMessage = load(1664);
  c.ServiceStoppedMessage = load(1680);
  c.ServiceStartFailedMessage = load(1696);
  c.ServiceStopTimeoutMessage = load(1712);
  c.ServiceExistsMessage = load(1648);
  c.ServiceInstalledMessage = load(1616);
  c.ServiceUninstalledMessage = load(1632);
  for (int i = 0; i < kJvmErrorMessageCount; ++i) c.JvmErrorMessages[i] = load(1456 + 16 * i);
  return c;
}

void ApplyIniOverride(LaunchConfiguration& config, const IniValueSource& read_ini) {
  std::string jvm_options = read_ini("JvmOptions");
  if (!jvm_options.empty()) config.JvmOptions = std::move(jvm_options);
  std::string app_options = read_ini("AppOptions");
  if (!app_options.empty()) config.AppOptions = std::move(app_options);
}

}  // namespace stub
