// Hosting the JVM: the runtime library, the one virtual machine of the process, the service console,
// the working directory and the options as the JVM decodes them. The host state is written once, on
// the creating thread, before any other thread may use it.
#include "jvm/jvm_host.h"

#include <windows.h>

#include "core/handle_win.h"
#include "core/log_output.h"
#include "core/message_format.h"
#include "core/reporting.h"
#include "core/system_win.h"
#include "core/text.h"
#include "jvm/jni_guard.h"
#include "jvm/jvm_options.h"
#include "runtime/runtime_discovery.h"

namespace stub {
namespace {

using CreateJavaVmFunction = jint(JNICALL*)(JavaVM**, void**, void*);

// The C runtime DLLs a current jvm.dll imports, kept in the runtime's bin folder.
constexpr const char* kRuntimeCompanions[] = {"vcruntime140.dll", "vcruntime140_1.dll", "msvcp140.dll"};
constexpr char kConsoleOutput[] = "CONOUT$";
// The JNI version the JVM is created with, and so the one every later thread attaches with: a runtime
// ignores the name of a thread attached with a version it does not know (MinJavaVersion 0x00110000, for
// Java 17, is none), and the stop would then run as "Thread-1".
constexpr jint kJniVersion = JNI_VERSION_1_2;

struct JvmHostState {
  const JvmSettings* settings = nullptr;
  ScopedModule library;
  CreateJavaVmFunction create_java_vm = nullptr;
  JavaVM* vm = nullptr;   // usable from any thread
  JNIEnv* env = nullptr;  // valid only on the creating thread
  std::string library_path;
  // The JVM may keep pointers into the option texts and their array for its whole life.
  std::vector<std::string> option_texts;
  std::vector<JavaVMOption> options;
};

// Never destroyed: the JVM's threads may outlive every static destructor of the process.
JvmHostState& Host() {
  static JvmHostState* const state = new JvmHostState;
  return *state;
}

class Win32ClassPathFileSystem : public ClassPathFileSystem {
 public:
  EntryKind Classify(const std::string& path, unsigned long& error) const override {
    const DWORD attributes = FileAttributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      error = ::GetLastError();
      return EntryKind::kInaccessible;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::kDirectory : EntryKind::kFile;
  }
  bool List(const std::string& directory, const std::function<void(const std::string&, bool)>& visit,
            unsigned long& error) const override {
    WIN32_FIND_DATAW item;
    ScopedFindHandle find(::FindFirstFileW(Wide(WideOf(JoinPath(directory, "*.*"))), &item));
    if (!find) {
      error = ::GetLastError();
      return error == ERROR_NO_MORE_FILES || error == ERROR_FILE_NOT_FOUND;
    }
    do {
      visit(Utf8Of(item.cFileName), (item.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    } while (::FindNextFileW(find.get(), &item));
    error = ::GetLastError();
    return error == ERROR_NO_MORE_FILES;
  }
  // The directory itself, whatever path reaches it: its volume's serial number and its file index, so
  // that a link or junction back to a folder above is seen for what it is. A folder that cannot be
  // opened is known by its name, compared as the file system compares names (without regard to case).
  std::string Identity(const std::string& path) const override {
    const ScopedHandle directory(::CreateFileW(Wide(WideOf(path)), 0,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (directory && ::GetFileInformationByHandle(directory.get(), &info)) {
      // Raw bytes behind a '*', which no full path begins with: formatting them would bring the C
      // runtime's printf machinery into the launcher for nothing.
      std::string identity(1, '*');
      for (const DWORD part : {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow}) {
        for (int shift = 0; shift < 32; shift += 8) identity += static_cast<char>((part >> shift) & 0xff);
      }
      return identity;
    }
    std::string full = FullPath(path);
    while (full.size() > 3 && (full.back() == '\\' || full.back() == '/')) full.pop_back();
    for (char& c : full) c = AsciiLower(c);
    return full;
  }
};

class LaunchReporter : public AssemblyReporter {
 public:
  void SystemError(unsigned long code) override { ReportSystemError(code); }
  void Error(const std::string& text) override { ReportText(true, text); }
};

class AnsiCodePage : public OptionCodePage {
 public:
  std::optional<std::string> Encode(const std::string& utf8) const override { return AnsiOf(utf8); }
  std::optional<std::string> ShortForm(const std::string& path) const override { return ShortPath(path); }
};

bool ChangeToWorkingDirectory(const JvmSettings& settings) {
  if (SetCurrentDirectoryTo(settings.working_directory)) return true;
  ReportLastError();
  ReportError(settings.file_access_message, settings.working_directory);
  return false;
}

void TraceLoad(const std::string& path, const char* outcome) {
  if (SearchTrace* trace = ActiveTrace()) trace->Line(TraceLine("load", "", path, "", outcome));
}

// A library built for another machine fails to load with a bare "bad format"; say what it is instead.
bool RefuseForeignLibrary(const std::string& path, JvmMessages messages) {
  const std::optional<std::uint16_t> machine = LibraryMachine(path);
  if (!machine || *machine == 0 || *machine == kLauncherMachine) return false;
  ReportError(messages[kUnableToLoadJvm], path);
  ReportText(true, ForeignLibraryText(path, *machine, kLauncherMachine));
  TraceLoad(path, FormatMessageText("refused: other machine: %s library", {MachineName(*machine)}).c_str());
  return true;
}

// jvm.dll imports the C runtime DLLs kept in the runtime's bin folder, and the JVM loads more of its
// libraries from there later; that folder is on no search path of this process, so it is added for
// the process's life (this also takes the current directory off the search path).
void PrepareRuntimeFolder(const std::string& library) {
  std::string folder = RuntimeBinFolder(library);
  if (folder.empty()) folder.push_back('.');
  const std::string bin = FullPath(folder);
  ::SetDllDirectoryW(Wide(WideOf(bin)));
  TraceLoad(bin, "DLL folder");
  for (const char* name : kRuntimeCompanions) {
    const std::string path = JoinPath(bin, name);
    if (!IsExistingFile(path)) continue;
    // Deliberately never freed: the runtime uses them until the process ends.
    TraceLoad(path, ::LoadLibraryW(Wide(WideOf(path))) != nullptr ? "preloaded" : "preload failed");
  }
}

// The system's text for a failed load; some texts name the file as "%1".
std::string LoadErrorText(DWORD error, const std::string& path) {
  const std::string text = SystemErrorText(error);
  std::string named;
  std::size_t from = 0;
  for (std::size_t at = text.find("%1"); at != std::string::npos; at = text.find("%1", from)) {
    named.append(text, from, at - from).append(path);
    from = at + 2;
  }
  return named.append(text, from, std::string::npos);
}

bool LoadJvmLibrary(const std::string& path) {
  JvmHostState& host = Host();
  JvmMessages messages = host.settings->main.messages;
  host.library_path = path;
  if (RefuseForeignLibrary(path, messages)) return false;
  // A DLL that the library imports and that cannot be found is reported here, not in a system dialog.
  ::SetErrorMode(::SetErrorMode(SEM_FAILCRITICALERRORS) | SEM_FAILCRITICALERRORS);
  PrepareRuntimeFolder(path);
  // The library is loaded by the full path of the file the search checked: a relative name, resolved
  // against the directory current now (as it was for the check), would otherwise be looked for beside
  // the executable first. Messages keep the name as configured.
  host.library.reset(::LoadLibraryW(Wide(WideOf(FullPath(path)))));
  if (!host.library) {
    const std::string reason = LoadErrorText(::GetLastError(), path);
    ReportError(messages[kUnableToLoadJvm], path);
    ReportText(true, reason);
    TraceLoad(path, FormatMessageText("load error: %s", {reason}).c_str());
    return false;
  }
  TraceLoad(path, "loaded");
  // Both entry points are required, although only the first is called: a library without the second
  // is not a complete JNI invocation interface.
  host.create_java_vm = reinterpret_cast<CreateJavaVmFunction>(
      reinterpret_cast<void*>(::GetProcAddress(host.library.get(), "JNI_CreateJavaVM")));
  if (host.create_java_vm == nullptr || ::GetProcAddress(host.library.get(), "JNI_GetDefaultJavaVMInitArgs") == nullptr) {
    ReportError(messages[kNoJniInterfaces], path);
    return false;
  }
  return true;
}

// The final options in the encoding the JVM decodes them with (the ANSI code page); false, reported,
// when an entry cannot be accessed or an option cannot be carried by that code page.
bool BuildJvmOptions(const JvmSettings& settings, const std::string& java_home, std::vector<std::string>& options) {
  const JvmOptionInputs inputs{settings.jvm_options, settings.class_path, java_home, settings.file_access_message,
                               EnvironmentValue};
  const Win32ClassPathFileSystem fs;
  LaunchReporter reporter;
  std::vector<std::string> assembled;
  if (!AssembleJvmOptions(inputs, fs, reporter, assembled)) return false;
  if (!settings.caller_directory.empty()) PlaceApplicationIn(settings.caller_directory, FullPath, assembled);
  return EncodeJvmOptions(assembled, AnsiCodePage(), reporter, options);
}

bool CreateVirtualMachine(JvmExitHook exit_hook) {
  static char exit_option[] = "exit";
  JvmHostState& host = Host();
  std::vector<std::string>& texts = host.option_texts;
  std::vector<JavaVMOption>& options = host.options;
  options = std::vector<JavaVMOption>(texts.size() + (exit_hook != nullptr ? 1 : 0));
  for (std::size_t i = 0; i < texts.size(); ++i) options[i].optionString = &texts[i][0];
  if (exit_hook != nullptr) options.back() = JavaVMOption{exit_option, reinterpret_cast<void*>(exit_hook)};

  JavaVMInitArgs args{};
  args.version = kJniVersion;
  args.nOptions = static_cast<jint>(options.size());
  args.options = options.empty() ? nullptr : options.data();
  args.ignoreUnrecognized = JNI_TRUE;
  void* env = nullptr;
  if (host.create_java_vm(&host.vm, &env, &args) != JNI_OK) {
    ReportError(host.settings->main.messages[kUnableToCreateJvm], host.library_path);
    return false;
  }
  host.env = static_cast<JNIEnv*>(env);
  return true;
}

// A service keeps running when the interactive user logs off, and at shutdown it is stopped by the
// service manager's control, as a stop request stops it: both events stop here, since this handler is
// registered after the JVM's and so asked first, instead of reaching the JVM's, which would end the
// process (logoff in an interactive window station, as older runtimes do everywhere) or run System.exit
// beside the stop (shutdown). Hence no -Xrs (see README, "Running as a service").
BOOL WINAPI ServiceConsoleEventFilter(DWORD ctrl_type) {
  return ctrl_type == CTRL_LOGOFF_EVENT || ctrl_type == CTRL_SHUTDOWN_EVENT ? TRUE : FALSE;
}

// A stream that goes to a log file of the launcher's keeps going there.
void SetUpServiceConsole() {
  ::AllocConsole();
  ::SetConsoleCtrlHandler(ServiceConsoleEventFilter, TRUE);
  ReclaimStandardStreams();
  const JvmHostState& host = Host();
  const JniSteps steps{host.env, host.settings->main.messages};
  if (!OwnsStandardStream(false)) {
    ::_wfreopen(L"CONOUT$", L"a", stdout);
    RedirectJavaStream(steps, kConsoleOutput, "setOut");
  }
  if (!OwnsStandardStream(true)) {
    ::_wfreopen(L"CONOUT$", L"a", stderr);
    RedirectJavaStream(steps, kConsoleOutput, "setErr");
  }
}

// With the log files the launcher's, System.exit must not end the process before their writers have
// written what the application wrote last.
void JNICALL FlushLogsAndExit(jint status) {
  FlushLogs();
  ::ExitProcess(static_cast<UINT>(status));
}

// The application's own run in the caller's directory. The stream files are the launcher's
// configuration, so they stay where the configuration puts them: made absolute before the move.
bool RunMainInCallerDirectory(const JvmSettings& settings, MainCall& call) {
  const std::string out = settings.main.system_out_file.empty() ? "" : FullPath(settings.main.system_out_file);
  const std::string err = settings.main.system_err_file.empty() ? "" : FullPath(settings.main.system_err_file);
  if (!SetCurrentDirectoryTo(settings.caller_directory)) {
    ReportLastError();
    ReportError(settings.file_access_message, settings.caller_directory);
    return false;
  }
  call.user_dir = settings.caller_directory;
  const MainSettings main{settings.main.main_class, settings.main.app_options, out, err, settings.main.messages};
  return InvokeMain(Host().env, main, call);
}

}  // namespace

bool CreateJvm(const JvmSettings& settings, bool with_service_console, JvmExitHook exit_hook) {
  JvmHostState& host = Host();
  host.settings = &settings;
  StartLogWriters();
  const bool own_logs = OwnsStandardStream(false) || OwnsStandardStream(true);
  if (exit_hook == nullptr && own_logs) exit_hook = FlushLogsAndExit;
  if (settings.change_directory_before_jvm && !ChangeToWorkingDirectory(settings)) return false;
  const std::optional<ResolvedRuntime> runtime = ResolveJvmLibrary(settings.runtime);
  if (!runtime || !LoadJvmLibrary(runtime->library)) return false;
  if (!BuildJvmOptions(settings, runtime->java_home, host.option_texts)) return false;
  if (!CreateVirtualMachine(exit_hook)) return false;
  if (with_service_console) SetUpServiceConsole();
  return true;
}

bool RunMainClass(const std::vector<std::string>& args, bool as_stopper, MainGate may_begin) {
  const JvmHostState& host = Host();
  const JvmSettings& settings = *host.settings;
  // Streams the launcher's log files own stay at the JVM's defaults, which write to those files.
  const bool own_logs = OwnsStandardStream(false) || OwnsStandardStream(true);
  MainCall call{args, "", /*redirect=*/!as_stopper && !own_logs, may_begin};
  if (!as_stopper && !settings.caller_directory.empty()) return RunMainInCallerDirectory(settings, call);
  if (!as_stopper && !settings.working_directory.empty() && !settings.change_directory_before_jvm &&
      !ChangeToWorkingDirectory(settings)) {
    return false;
  }
  call.user_dir = CurrentDirectory();
  if (call.user_dir.empty()) {
    ReportLastError();
    ReportError(settings.file_access_message, settings.working_directory);
    return false;
  }
  return as_stopper ? InvokeMainAsStopper(host.vm, kJniVersion, settings.main, call)
                    : InvokeMain(host.env, settings.main, call);
}

bool RequestJvmExit() { return CallSystemExit(Host().vm, kJniVersion, Host().settings->main.messages); }

void ShutDownJvm() {
  JavaVM* vm = Host().vm;
  vm->functions->DetachCurrentThread(vm);
  // Waits until the application's last non-daemon thread has ended.
  vm->functions->DestroyJavaVM(vm);
}

void UnloadJvm() { Host().library.reset(); }

void DestroyJvm() {
  ShutDownJvm();
  UnloadJvm();
}

bool RunJavaApplication(const JvmSettings& settings, const std::vector<std::string>& args, JvmExitHook exit_hook) {
  if (!CreateJvm(settings, /*with_service_console=*/false, exit_hook)) return false;
  const bool ran = RunMainClass(args, /*as_stopper=*/false);
  DestroyJvm();
  return ran;
}

}  // namespace stub
