// The Win32 side of runtime discovery: the vendor keys in the registry view of the launcher's own
// bitness, the file tests (existence, the machine a library is built for, the release file), the
// environment, and the trace file.
#include "runtime/runtime_discovery.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "core/launch_config.h"
#include "core/reporting.h"
#include "core/win32_handle.h"
#include "jvm/jvm_options.h"

namespace stub {
namespace {

// A 32-bit launcher reads what 32-bit installers wrote and a 64-bit one what 64-bit installers
// wrote: a runtime registered in the other view could not be loaded into this process anyway.
constexpr REGSAM kOwnRegistryView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
constexpr DWORD kSmallFileLimit = 16 * 1024;

std::string g_discovered_java_home;

ScopedRegKey OpenKey(RegistryRoot root, const std::string& key_path) {
  HKEY raw_key = nullptr;
  const HKEY root_key = root == RegistryRoot::kLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  if (::RegOpenKeyExA(root_key, key_path.c_str(), 0, KEY_READ | kOwnRegistryView, &raw_key) != ERROR_SUCCESS) {
    return ScopedRegKey();
  }
  return ScopedRegKey(raw_key);
}

// A value is read with its real size, so a text stored without its terminator, or one that fills the
// buffer exactly, is never read past its end.
int ReadRegistryString(RegistryRoot root, const std::string& key_path, const char* value_name, std::size_t buffer_size,
                       std::string& value) {
  value.clear();
  const ScopedRegKey key = OpenKey(root, key_path);
  if (!key) return -1;
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

class Win32RuntimeRegistry : public RuntimeRegistry {
 public:
  int ReadString(RegistryRoot root, const std::string& key_path, const char* value_name, std::size_t buffer_size,
                 std::string& value) const override {
    return ReadRegistryString(root, key_path, value_name, buffer_size, value);
  }

  std::optional<std::vector<std::string>> SubkeyNames(RegistryRoot root, const std::string& key_path) const override {
    const ScopedRegKey key = OpenKey(root, key_path);
    if (!key) return std::nullopt;
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

ScopedHandle OpenForReading(const std::string& path) {
  return ScopedHandle(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool ReadAt(const ScopedHandle& file, DWORD offset, char* buffer, DWORD size) {
  OVERLAPPED at{};
  at.Offset = offset;
  DWORD read = 0;
  return ::ReadFile(file.get(), buffer, size, &read, &at) && read == size;
}

class Win32RuntimeFiles : public RuntimeFiles {
 public:
  std::optional<std::uint16_t> LibraryMachine(const std::string& path) const override {
    return stub::LibraryMachine(path);
  }

  bool IsDirectory(const std::string& path) const override {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }

  std::string ReadSmallFile(const std::string& path) const override {
    const ScopedHandle file = OpenForReading(path);
    if (!file) return std::string();
    std::string text(kSmallFileLimit, '\0');
    DWORD read = 0;
    if (!::ReadFile(file.get(), text.data(), kSmallFileLimit, &read, nullptr)) return std::string();
    text.resize(read);
    return text;
  }
};

// Opened at the first trace request; the stream stays open for the process's life and every line is
// flushed at once, since the process may end inside the JVM without coming back here.
class StreamTrace : public SearchTrace {
 public:
  bool Open() {
    const char* target = std::getenv("STUB_TRACE");
    if (target == nullptr || *target == '\0') return false;
    stream_ = (target[0] == '-' && target[1] == '\0') ? stderr : std::fopen(target, "a");
    return stream_ != nullptr;
  }
  void Line(const std::string& line) override {
    std::fputs(line.c_str(), stream_);
    std::fputc('\n', stream_);
    std::fflush(stream_);
  }

 private:
  FILE* stream_ = nullptr;
};

StreamTrace g_trace;
enum class TraceState { kUnknown, kOn, kOff } g_trace_state = TraceState::kUnknown;

std::string EnvironmentValue(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  return value != nullptr ? value : "";
}

bool IsAbsolute(const std::string& path) {
  const auto separator = [](char c) { return c == '\\' || c == '/'; };
  if (path.size() >= 2 && separator(path[0]) && separator(path[1])) return true;
  return path.size() >= 3 && path[1] == ':' && separator(path[2]);
}

}  // namespace

const std::string& DiscoveredJavaHome() { return g_discovered_java_home; }

std::optional<std::uint16_t> LibraryMachine(const std::string& path) {
  const ScopedHandle file = OpenForReading(path);
  if (!file) return std::nullopt;
  char dos_header[64];
  if (!ReadAt(file, 0, dos_header, sizeof dos_header)) return 0;
  const std::optional<std::uint32_t> offset = PeHeaderOffset(std::string_view(dos_header, sizeof dos_header));
  char pe_header[6];
  if (!offset || !ReadAt(file, *offset, pe_header, sizeof pe_header)) return 0;
  return PeMachine(std::string_view(pe_header, sizeof pe_header)).value_or(0);
}

std::string FullPath(const std::string& path) {
  std::string full(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return path;
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    full.resize(length);  // the required size, terminator included
  }
}

SearchTrace* ActiveTrace() {
  if (g_trace_state == TraceState::kUnknown) g_trace_state = g_trace.Open() ? TraceState::kOn : TraceState::kOff;
  return g_trace_state == TraceState::kOn ? &g_trace : nullptr;
}

bool ResolveJvmLibrary() {
  LaunchConfiguration& config = LaunchConfig();
  const Win32RuntimeRegistry registry;
  const Win32RuntimeFiles files;
  const std::function<std::string(const std::string&)> getenv = EnvironmentValue;
  const std::string java_home_env = EnvironmentValue("JAVA_HOME");
  RuntimeSearch search{registry,
                       files,
                       RequiredVersion(config.MinJavaVersionNumber),
                       ExpandVariables(config.JvmPath, java_home_env, getenv),
                       java_home_env,
                       kLauncherMachine,
                       g_discovered_java_home,
                       ActiveTrace()};
  std::optional<std::string> library = ChooseJvmLibrary(search, config.JvmSearchMode);
  if (!library) {
    ReportError(config.JvmErrorMessages[kNoSuitableRuntime]);
    return false;
  }
  // A home found through a relative JvmPath is handed on absolute: the JVM and the application may
  // change the current directory before they use it.
  if (!g_discovered_java_home.empty() && !IsAbsolute(g_discovered_java_home)) {
    g_discovered_java_home = FullPath(g_discovered_java_home);
  }
  config.JvmPath = std::move(*library);
  return true;
}

}  // namespace stub
