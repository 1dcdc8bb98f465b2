// The Win32 side of configuration loading: the executable's own string table and the INI override.
#include <windows.h>

#include <cstdio>
#include <string>

#include "core/config_layout.h"
#include "core/launch_config.h"
#include "core/win32_paths.h"

namespace stub {
namespace {

constexpr char kIniSection[] = "Application Configuration";

bool IsAbsolutePath(const std::string& path) {
  return (path.size() >= 2 && path[1] == ':') || (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

// A relative IniFile is taken against the executable's directory (current at this point); an absolute
// one is used as written.
std::string IniPath(const std::string& ini_file) {
  if (IsAbsolutePath(ini_file)) return ini_file;
  return CurrentDirectory() + "\\" + ini_file;
}

// The whole value: a value longer than any fixed buffer is read again into a larger one, so that long
// JVM options are never cut.
std::string ReadIniValue(const std::string& path, const char* key) {
  std::string value(1024, '\0');
  for (;;) {
    const DWORD length = ::GetPrivateProfileStringA(kIniSection, key, "", value.data(),
                                                    static_cast<DWORD>(value.size()), path.c_str());
    if (length + 1 < value.size()) {
      value.resize(length);
      return value;
    }
    value.assign(value.size() * 2, '\0');
  }
}

}  // namespace

// Reads one entry with the launcher's own 1024-character limit; the configuration tool refuses longer
// values, so nothing configured is lost here.
std::string LoadConfigString(int id) {
  char buffer[kMaxSettingLength + 1] = {};
  const int length = ::LoadStringA(nullptr, static_cast<UINT>(id), buffer, sizeof buffer);
  if (length <= 0) return std::string();
  return std::string(NormalizeEntry(std::string_view(buffer, static_cast<std::size_t>(length))));
}

void LoadLaunchConfiguration() {
  LaunchConfiguration& config = LaunchConfig();
  config = ConvertLaunchConfiguration(LoadConfigString);
  if (config.IniFile.empty()) return;

  const std::string path = IniPath(config.IniFile);
  FILE* probe = std::fopen(path.c_str(), "r");
  if (probe == nullptr) return;
  std::fclose(probe);
  ApplyIniOverride(config, [&path](std::string_view key) { return ReadIniValue(path, std::string(key).c_str()); });
}

}  // namespace stub
