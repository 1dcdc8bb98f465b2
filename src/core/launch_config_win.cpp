// The Win32 side of configuration loading: the executable's own string table and the INI override.
#include <windows.h>

#include <cstdio>
#include <string>

#include "core/config_layout.h"
#include "core/launch_config.h"
#include "core/string_block.h"
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
    const DWORD length =
        ::GetPrivateProfileStringA(kIniSection, key, "", value.data(), static_cast<DWORD>(value.size()), path.c_str());
    if (length + 1 < value.size()) {
      value.resize(length);
      return value;
    }
    value.assign(value.size() * 2, '\0');
  }
}

}  // namespace

// Reads one entry of the executable's own string table, converted to the ANSI code page as LoadStringA
// converts it, and cut to the launcher's 1023-character limit (the configuration tool refuses longer
// values, so nothing configured is lost here).
std::string LoadConfigString(int id) {
  constexpr WORD kStringTableType = 6;  // RT_STRING
  HRSRC resource = ::FindResourceA(nullptr, MAKEINTRESOURCEA(id / 16 + 1), MAKEINTRESOURCEA(kStringTableType));
  HGLOBAL loaded = resource != nullptr ? ::LoadResource(nullptr, resource) : nullptr;
  const void* block = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (block == nullptr) return std::string();
  const std::u16string wide =
      StringFromBlock(block, ::SizeofResource(nullptr, resource), static_cast<unsigned>(id % 16));
  if (wide.empty()) return std::string();

  const auto* units = reinterpret_cast<const wchar_t*>(wide.data());
  const int wide_length = static_cast<int>(wide.size());
  const int length = ::WideCharToMultiByte(CP_ACP, 0, units, wide_length, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, units, wide_length, text.data(), length, nullptr, nullptr);
  if (text.size() > kMaxSettingLength) text.resize(kMaxSettingLength);
  return std::string(NormalizeEntry(text));
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
