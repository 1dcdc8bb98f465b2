// The Win32 side of runtime discovery: the vendor keys in the registry view of the launcher's own
// bitness, the file tests (existence, the machine a library is built for, the release file), the
// environment, and the trace file.
#include "runtime/runtime_discovery.h"

#include <windows.h>

#include "core/handle_win.h"
#include "core/registry_win.h"
#include "core/message_format.h"
#include "core/reporting.h"
#include "core/system_win.h"
#include "core/text.h"
#include "core/variables.h"

namespace stub {
namespace {

// A 32-bit launcher reads what 32-bit installers wrote and a 64-bit one what 64-bit installers
// wrote: a runtime registered in the other view could not be loaded into this process anyway.
constexpr REGSAM kOwnRegistryView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
constexpr std::size_t kSmallFileLimit = 16 * 1024;

RegKey OpenKey(RegistryRoot root, const std::string& key_path) {
  RegKey key;
  key.Open(root == RegistryRoot::kLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, key_path,
           KEY_READ | kOwnRegistryView);
  return key;
}

class Win32RuntimeRegistry : public RuntimeRegistry {
 public:
  bool ReadString(RegistryRoot root, const std::string& key_path, const char* value_name, std::size_t buffer_size,
                  std::string& value) const override {
    value.clear();
    const RegKey key = OpenKey(root, key_path);
    if (!key) return false;
    std::optional<std::string> text = key.ReadString(value_name, buffer_size);
    if (!text) return false;
    value = std::move(*text);
    return true;
  }

  std::optional<std::vector<std::string>> SubkeyNames(RegistryRoot root, const std::string& key_path) const override {
    const RegKey key = OpenKey(root, key_path);
    if (!key) return std::nullopt;
    return key.SubkeyNames();
  }
};

class Win32RuntimeFiles : public RuntimeFiles {
 public:
  std::optional<std::uint16_t> LibraryMachine(const std::string& path) const override {
    return stub::LibraryMachine(path);
  }
  bool IsDirectory(const std::string& path) const override { return stub::IsDirectory(path); }
  std::string ReadSmallFile(const std::string& path) const override {
    return ReadFileBytes(path, kSmallFileLimit).value_or(std::string());
  }
};

// Opened at the first trace request; the file stays open for the process's life and every line is
// written at once, since the process may end inside the JVM without coming back here.
class FileTrace : public SearchTrace {
 public:
  bool Open() {
    const std::string target = EnvironmentValue("STUB_TRACE");
    if (target.empty()) return false;
    if (target == "-") {
      file_ = ::GetStdHandle(STD_ERROR_HANDLE);
      return file_ != nullptr && file_ != INVALID_HANDLE_VALUE;
    }
    owned_.reset(::CreateFileW(Wide(WideOf(target)), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    file_ = owned_.get();
    return static_cast<bool>(owned_);
  }
  void Line(const std::string& line) override {
    const std::string text = line + "\r\n";
    DWORD written = 0;
    ::WriteFile(file_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }

 private:
  ScopedHandle owned_;
  HANDLE file_ = nullptr;
};

FileTrace g_trace;
enum class TraceState { kUnknown, kOn, kOff } g_trace_state = TraceState::kUnknown;

}  // namespace

std::optional<std::uint16_t> LibraryMachine(const std::string& path) {
  const std::optional<std::string> dos_header = ReadFileBytes(path, 64);
  if (!dos_header) return std::nullopt;
  const std::optional<std::uint32_t> offset = PeHeaderOffset(*dos_header);
  if (!offset) return 0;
  const std::optional<std::string> pe_header = ReadFileBytes(path, 6, *offset);
  return pe_header ? PeMachine(*pe_header).value_or(0) : 0;
}

SearchTrace* ActiveTrace() {
  if (g_trace_state == TraceState::kUnknown) g_trace_state = g_trace.Open() ? TraceState::kOn : TraceState::kOff;
  return g_trace_state == TraceState::kOn ? &g_trace : nullptr;
}

std::optional<ResolvedRuntime> ResolveJvmLibrary(const RuntimeSettings& settings) {
  const Win32RuntimeRegistry registry;
  const Win32RuntimeFiles files;
  const std::string java_home_env = EnvironmentValue("JAVA_HOME");
  const RuntimeSearch search{registry,
                             files,
                             RequiredVersion(settings.min_java_version),
                             ExpandVariables(settings.jvm_path, java_home_env, EnvironmentValue),
                             java_home_env,
                             kLauncherMachine,
                             ActiveTrace()};
  std::optional<ResolvedRuntime> runtime = ChooseJvmLibrary(search, settings.search_mode);
  if (!runtime) {
    ReportErrorWithAddress(FormatMessageText(settings.no_runtime_message, {}), settings.download_url,
                           settings.download_message);
    return std::nullopt;
  }
  // A home found through a relative JvmPath is handed on absolute: the JVM and the application may
  // change the current directory before they use it.
  std::string& home = runtime->java_home;
  if (!home.empty() && !IsFullyQualifiedPath(home)) home = FullPath(home);
  return runtime;
}

}  // namespace stub
