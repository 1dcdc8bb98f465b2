// The start-up sequence. Every later stage reports its own failure; this file only orders the stages
// and turns their outcome into the exit code.
#include "app/launcher.h"

#include <windows.h>
#include <shobjidl.h>

#include "app/restart_win.h"
#include "app/second_instance_win.h"
#include "app/stage_settings.h"
#include "core/app_user_model_id.h"
#include "core/environment.h"
#include "core/handle_win.h"
#include "core/launch_config.h"
#include "core/log_output.h"
#include "core/reporting.h"
#include "core/system_win.h"
#include "jvm/jvm_host.h"
#include "service/service_switch.h"
#include "splash/splash_rules.h"
#include "splash/splash_window.h"

namespace stub {
namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = -1;

// A failure here is not reported: relative settings then resolve against whatever directory the
// process was started in.
void ChangeToExecutableDirectory() {
  const std::string path = ExecutablePath();
  const std::size_t slash = path.rfind('\\');
  if (slash != std::string::npos) SetCurrentDirectoryTo(path.substr(0, slash));
}

class Win32ShellIdentity : public ShellIdentity {
 public:
  void SetExplicitAppUserModelId(const std::u16string& id) override {
    ::SetCurrentProcessExplicitAppUserModelID(Wide(id));
  }
};

// Creating the mutex and testing whether it already existed is one atomic step, so two instances
// started at the same moment cannot both pass. A refused start hands its arguments to the running
// instance when a method takes them, and is only reported when that instance does not take them.
bool AdmitSingleInstance(const LaunchConfiguration& config, const std::vector<std::string>& main_args,
                         ScopedHandle& mutex) {
  ::SetLastError(ERROR_SUCCESS);
  mutex.reset(::CreateMutexW(nullptr, TRUE, Wide(WideOf(config.MainClass()))));
  if (::GetLastError() != ERROR_ALREADY_EXISTS) return true;
  mutex.reset();
  if (config.SecondInstanceMethod().empty() || !HandToRunningInstance(config.MainClass(), main_args)) {
    ReportError(config.AlreadyRunningMessage());
  }
  return false;
}

// A reference that names no class and method still reaches the JVM, which reports the class it cannot find.
MethodReference SecondInstanceMethodOf(const LaunchConfiguration& config) {
  return ParseMethodReference(config.SecondInstanceMethod()).value_or(MethodReference{config.SecondInstanceMethod(), ""});
}

// The run with a second-instance listener: it may call into the JVM from the moment the JVM exists,
// and stays attached and perhaps inside the runtime until the process ends, so the library is never
// unloaded.
bool RunJavaApplicationListening(const JvmSettings& settings, const std::vector<std::string>& args,
                                 JvmExitHook exit_hook) {
  if (!CreateJvm(settings, /*with_service_console=*/false, exit_hook)) return false;
  OpenSecondInstanceListener();
  const bool ran = RunMainClass(args, /*as_stopper=*/false);
  ShutDownJvm();
  return ran;
}

// The one argument that names a service switch, as DispatchServiceSwitch recognises it.
bool IsSwitch(const std::vector<std::string>& args, const std::string& which) {
  return args.size() == 2 && args[1] == which;
}

}  // namespace

int RunLauncher(bool windowed, const std::vector<std::string>& args) {
  SetLaunchMode(windowed ? LaunchMode::kWindowed : LaunchMode::kConsole);
  // Read before anything moves: the directory the launcher was started from, and what a restarting
  // launcher handed on (taken out of the environment, so that no process of the application inherits it).
  const std::string start_directory = CurrentDirectory();
  const std::string restart_times = TakeRestartTimes();
  ChangeToExecutableDirectory();
  const LaunchConfiguration& config = LoadLaunchConfiguration();
  // Before anything reads the environment: the runtime search, %NAME% references, the JVM.
  ApplyEnvironment(config.Environment(), EnvironmentValue, SetEnvironmentValue);
  // Before any window of the process exists, message boxes included: Windows reads the ID when a
  // window first appears on the taskbar.
  Win32ShellIdentity shell;
  ApplyAppUserModelId(config.AppUserModelId(), shell);
  const std::string no_directory;
  const JvmSettings jvm = JvmSettingsOf(config, no_directory);
  // The log pipes replace the standard handles before any other C runtime (the JVM's) is loaded and
  // binds them; installing or removing the service writes no log.
  const bool service = !config.ServiceName().empty();
  const bool service_run = service && IsSwitch(args, config.ServiceSwitch());
  if (!service || service_run || !(IsSwitch(args, config.InstallSwitch()) || IsSwitch(args, config.UninstallSwitch()))) {
    TakeOverStandardStreams(*new LogSettings(LogSettingsOf(config)), !windowed && !service_run);
  }

  if (!config.ServiceName().empty() &&
      DispatchServiceSwitch(ServiceSwitchesOf(config), ServiceSettingsOf(config, jvm), args)) {
    return kExitSuccess;
  }

  const std::vector<std::string> main_args(args.empty() ? args.end() : args.begin() + 1, args.end());
  ScopedHandle instance_mutex;
  bool listening = false;
  if (windowed) {
    if (!config.AllowMultipleInstances()) {
      if (!AdmitSingleInstance(config, main_args, instance_mutex)) return kExitSuccess;
      listening = !config.SecondInstanceMethod().empty();
      if (listening) StartSecondInstanceListener(config.MainClass(), SecondInstanceMethodOf(config));
    }
    // A negative SplashSeconds counts as 0: without ShowSplash nothing would ever close that splash.
    if (SplashWanted(config.ShowSplash(), config.SplashSeconds())) StartSplash(SplashSettingsOf(config));
  }

  const bool in_caller_directory = config.IsGiven(Setting::UseCallerDirectory) && config.UseCallerDirectory();
  const JvmSettings application = JvmSettingsOf(config, in_caller_directory ? start_directory : no_directory);
  const RestartPlan restart{config.RestartExitCode(), start_directory, restart_times, config.RestartLimitMessage(),
                            &instance_mutex};
  const JvmExitHook exit_hook = config.IsGiven(Setting::RestartExitCode) ? ArmRestart(restart) : nullptr;
  const bool ran = listening ? RunJavaApplicationListening(application, main_args, exit_hook)
                             : RunJavaApplication(application, main_args, exit_hook);
  EndSplash();
  FlushLogs();
  return ran ? kExitSuccess : kExitFailure;
}

}  // namespace stub
