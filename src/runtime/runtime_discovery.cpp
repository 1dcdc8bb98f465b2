// The Win32 side of runtime discovery: the vendor keys under HKEY_LOCAL_MACHINE and the file test.
#include "runtime/runtime_discovery.h"

#include <windows.h>

#include "core/launch_config.h"
#include "core/reporting.h"
#include "core/win32_handle.h"
#include "runtime/runtime_search.h"

namespace stub {
namespace {

// Reads HKEY_LOCAL_MACHINE with KEY_READ. A value is read with its real size, so a text stored
// without its terminator, or one that fills the buffer exactly, is never read past its end.
int ReadRegistryString(HKEY root, const std::string& key_path, const char* value_name, std::size_t buffer_size,
                       std::string& value) {
  value.clear();
  HKEY raw_key = nullptr;
  if (::RegOpenKeyExA(root, key_path.c_str(), 0, KEY_READ, &raw_key) != ERROR_SUCCESS) return -1;
  ScopedRegKey key(raw_key);
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExA(key.get(), value_name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return 1;
  if ((type != REG_SZ && type != REG_EXPAND_SZ) || size > buffer_size) return 1;
  std::string data(size, '\0');
  if (::RegQueryValueExA(key.get(), value_name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
      ERROR_SUCCESS) {
    return 1;
  }
  data.resize(size);
  const std::size_t end = data.find('\0');
  if (end != std::string::npos) data.resize(end);
  if (data.size() >= buffer_size) return 1;  // no room left for the terminator
  value = std::move(data);
  return 0;
}

std::string g_discovered_java_home;

class Win32RuntimeRegistry : public RuntimeRegistry {
 public:
  int ReadString(const std::string& key_path, const char* value_name, std::size_t buffer_size,
                 std::string& value) const override {
    return ReadRegistryString(HKEY_LOCAL_MACHINE, key_path, value_name, buffer_size, value);
  }

  std::optional<std::vector<std::string>> SubkeyNames(const std::string& key_path) const override {
    HKEY raw_key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path.c_str(), 0, KEY_READ, &raw_key) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    ScopedRegKey key(raw_key);
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
      char name[kVersionNameSize];
      DWORD length = sizeof name;
      if (::RegEnumKeyExA(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        break;
      }
      names.emplace_back(name, length);
    }
    return names;
  }
};

}  // namespace

const std::string& DiscoveredJavaHome() { return g_discovered_java_home; }

bool FileExists(const std::string& path) {
  ScopedHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return static_cast<bool>(file);
}

bool ResolveJvmLibrary() {
  LaunchConfiguration& config = LaunchConfig();
  const Win32RuntimeRegistry registry;
  const FileProbe file_exists = FileExists;
  RuntimeSearch search{registry, file_exists, RequiredVersion(config.MinJavaVersionNumber), config.JvmPath,
                       g_discovered_java_home};
  std::optional<std::string> library = ChooseJvmLibrary(search, config.JvmSearchMode);
  if (!library) {
    ReportError(config.JvmErrorMessages[kNoSuitableRuntime]);
    return false;
  }
  config.JvmPath = std::move(*library);
  return true;
}

}  // namespace stub
