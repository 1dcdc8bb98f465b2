// Hosting the JVM: the runtime library, the one virtual machine of the process, the service console
// and the stream redirection. JvmHostState is written once, on the creating thread, before any other
// thread may use it.
#include "jvm/jvm_host.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "core/launch_config.h"
#include "core/reporting.h"
#include "core/win32_handle.h"
#include "core/tokenizer.h"
#include "jvm/jni_guard.h"
#include "jvm/jvm_host_state.h"
#include "jvm/jvm_options.h"
#include "runtime/runtime_discovery.h"

namespace stub {
namespace {

constexpr char kConsoleOutput[] = "CONOUT$";

// The C runtime a runtime was built with, kept in its bin folder; loaded from there first so that the
// library finds them whatever the system has installed.
constexpr const char* kRuntimeCompanions[] = {"vcruntime140.dll", "vcruntime140_1.dll", "msvcp140.dll"};

JvmHostState g_host_state;

class Win32ClassPathFileSystem : public ClassPathFileSystem {
 public:
  EntryKind Classify(const std::string& path, unsigned long& error) const override {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      error = ::GetLastError();
      return EntryKind::kInaccessible;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::kDirectory : EntryKind::kFile;
  }

  bool List(const std::string& directory, const std::function<void(const std::string&, bool)>& visit,
            unsigned long& error) const override {
    WIN32_FIND_DATAA item;
    ScopedFindHandle find(::FindFirstFileA((directory + "\\*.*").c_str(), &item));
    if (!find) {
      error = ::GetLastError();
      return error == ERROR_NO_MORE_FILES || error == ERROR_FILE_NOT_FOUND;
    }
    do {
      visit(item.cFileName, (item.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    } while (::FindNextFileA(find.get(), &item));
    error = ::GetLastError();
    return error == ERROR_NO_MORE_FILES;
  }
};

class LaunchReporter : public AssemblyReporter {
 public:
  void SystemError(unsigned long code) override { ReportText(true, SystemErrorText(code)); }
  void Error(const std::string& text) override { ReportText(true, text); }
};

// getenv ignores the letter case of names on Windows, as configured references expect.
std::string EnvironmentValue(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  return value != nullptr ? value : "";
}

bool BuildJvmOptions() {
  LaunchConfiguration& config = LaunchConfig();
  const JvmOptionInputs inputs{config.JvmOptions, config.ClassPath, DiscoveredJavaHome(), config.FileAccessErrorMessage,
                               EnvironmentValue};
  const Win32ClassPathFileSystem fs;
  LaunchReporter reporter;
  std::string options;
  if (!AssembleJvmOptions(inputs, fs, reporter, options)) return false;
  config.JvmOptions = std::move(options);
  return true;
}

void TraceLoad(const std::string& path, const std::string& outcome) {
  if (SearchTrace* trace = ActiveTrace()) trace->Line(TraceLine("load", "", path, "", outcome));
}

// A library built for another machine fails to load with a bare "bad format"; say what it is instead.
bool RefuseForeignLibrary(const std::string& path) {
  const std::optional<std::uint16_t> machine = LibraryMachine(path);
  if (!machine || *machine == 0 || *machine == kLauncherMachine) return false;
  ReportError(LaunchConfig().JvmErrorMessages[kUnableToLoadJvm], path);
  ReportText(true, ForeignLibraryText(path, *machine, kLauncherMachine));
  TraceLoad(path, "refused: other bitness: " + MachineName(*machine) + " library");
  return true;
}

bool IsExistingFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// jvm.dll imports the C runtime DLLs kept in the runtime's bin folder, and the JVM loads more of its
// libraries from there later; that folder is on no search path of this process, so it is added for
// the process's life (this also takes the current directory off the search path).
void PrepareRuntimeFolder(const std::string& library) {
  const std::string folder = RuntimeBinFolder(library);
  const std::string bin = FullPath(folder.empty() ? "." : folder);
  ::SetDllDirectoryA(bin.c_str());
  TraceLoad(bin, "DLL folder");
  for (const char* name : kRuntimeCompanions) {
    const std::string path = bin + "\\" + name;
    if (!IsExistingFile(path)) continue;
    // Deliberately never freed: the runtime uses them until the process ends.
    TraceLoad(path, ::LoadLibraryA(path.c_str()) != nullptr ? "preloaded" : "preload failed");
  }
}

// The system's text for a failed load; some texts name the file as "%1".
std::string LoadErrorText(DWORD error, const std::string& path) {
  std::string text = SystemErrorText(error);
  for (std::size_t at = text.find("%1"); at != std::string::npos; at = text.find("%1", at + path.size())) {
    text.replace(at, 2, path);
  }
  return text;
}

bool LoadJvmLibrary() {
  const LaunchConfiguration& config = LaunchConfig();
  if (RefuseForeignLibrary(config.JvmPath)) return false;
  // A DLL that the library imports and that cannot be found is reported here, not in a system dialog.
  ::SetErrorMode(::SetErrorMode(SEM_FAILCRITICALERRORS) | SEM_FAILCRITICALERRORS);
  PrepareRuntimeFolder(config.JvmPath);
  g_host_state.library = ::LoadLibraryA(config.JvmPath.c_str());
  if (g_host_state.library == nullptr) {
    const std::string reason = LoadErrorText(::GetLastError(), config.JvmPath);
    ReportError(config.JvmErrorMessages[kUnableToLoadJvm], config.JvmPath);
    ReportText(true, reason);
    TraceLoad(config.JvmPath, "load error: " + reason);
    return false;
  }
  TraceLoad(config.JvmPath, "loaded");
  // Both entry points are required, although only the first is called: a library without the
  // second is not a complete JNI invocation interface.
  g_host_state.create_java_vm = reinterpret_cast<CreateJavaVmFunction>(
      reinterpret_cast<void*>(::GetProcAddress(g_host_state.library, "JNI_CreateJavaVM")));
  g_host_state.get_default_init_args = reinterpret_cast<GetDefaultInitArgsFunction>(
      reinterpret_cast<void*>(::GetProcAddress(g_host_state.library, "JNI_GetDefaultJavaVMInitArgs")));
  if (g_host_state.create_java_vm == nullptr || g_host_state.get_default_init_args == nullptr) {
    ReportError(config.JvmErrorMessages[kNoJniInterfaces], config.JvmPath);
    return false;
  }
  return true;
}

// The option texts and the array live as long as the process: the JVM may keep pointers into them.
bool CreateVirtualMachine() {
  static std::vector<std::string> tokens;
  static std::vector<JavaVMOption> options;
  const LaunchConfiguration& config = LaunchConfig();
  tokens = TokenizeArguments(config.JvmOptions, /*reserve_slot=*/false);
  options.assign(tokens.size(), JavaVMOption{});
  for (std::size_t i = 0; i < tokens.size(); ++i) options[i].optionString = tokens[i].data();

  JavaVMInitArgs args{};
  args.version = JNI_VERSION_1_2;
  args.nOptions = static_cast<jint>(options.size());
  args.options = options.empty() ? nullptr : options.data();
  args.ignoreUnrecognized = JNI_TRUE;
  void* env = nullptr;
  if (g_host_state.create_java_vm(&g_host_state.vm, &env, &args) != JNI_OK) {
    ReportError(config.JvmErrorMessages[kUnableToCreateJvm], config.JvmPath);
    return false;
  }
  g_host_state.env = static_cast<JNIEnv*>(env);
  return true;
}

// A service keeps running when the interactive user logs off: the logoff event stops here instead of
// reaching the handlers the JVM installed, which would end the process.
BOOL WINAPI LogoffFilter(DWORD ctrl_type) { return ctrl_type == CTRL_LOGOFF_EVENT ? TRUE : FALSE; }

void SetUpServiceConsole() {
  ::AllocConsole();
  ::SetConsoleCtrlHandler(LogoffFilter, TRUE);
  std::freopen(kConsoleOutput, "a", stdout);
  std::freopen(kConsoleOutput, "a", stderr);
  RedirectJavaStream(g_host_state.env, kConsoleOutput, "setOut");
  RedirectJavaStream(g_host_state.env, kConsoleOutput, "setErr");
}

}  // namespace

const JvmHostState& HostState() { return g_host_state; }

bool ChangeToWorkingDirectory() {
  const LaunchConfiguration& config = LaunchConfig();
  if (::SetCurrentDirectoryA(config.WorkingDirectory.c_str())) return true;
  ReportLastError();
  ReportError(config.FileAccessErrorMessage, config.WorkingDirectory);
  return false;
}

bool CreateJvm(bool with_service_console) {
  if (LaunchConfig().ChangeDirectoryBeforeJvm && !ChangeToWorkingDirectory()) return false;
  if (!ResolveJvmLibrary()) return false;
  if (!LoadJvmLibrary()) return false;
  if (!BuildJvmOptions()) return false;
  if (!CreateVirtualMachine()) return false;
  if (with_service_console) SetUpServiceConsole();
  return true;
}

void DestroyJvm() {
  g_host_state.vm->functions->DetachCurrentThread(g_host_state.vm);
  // Waits until the application's last non-daemon thread has ended.
  g_host_state.vm->functions->DestroyJavaVM(g_host_state.vm);
  ::FreeLibrary(g_host_state.library);
}

}  // namespace stub
