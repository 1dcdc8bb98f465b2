// The start-up sequence. Every later stage reports its own failure; this file only orders the stages
// and turns their outcome into the exit code.
#include "app/launcher.h"

#include <windows.h>

#include "app/stage_settings.h"
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

// Creating the mutex and testing whether it already existed is one atomic step, so two instances
// started at the same moment cannot both pass.
bool AdmitSingleInstance(const LaunchConfiguration& config, ScopedHandle& mutex) {
  ::SetLastError(ERROR_SUCCESS);
  mutex.reset(::CreateMutexW(nullptr, TRUE, Wide(WideOf(config.MainClass()))));
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    mutex.reset();
    ReportError(config.AlreadyRunningMessage());
    return false;
  }
  return true;
}

// The one argument that names a service switch, as DispatchServiceSwitch recognises it.
bool IsSwitch(const std::vector<std::string>& args, const std::string& which) {
  return args.size() == 2 && args[1] == which;
}

}  // namespace

int RunLauncher(bool windowed, const std::vector<std::string>& args) {
  SetLaunchMode(windowed ? LaunchMode::kWindowed : LaunchMode::kConsole);
  ChangeToExecutableDirectory();
  const LaunchConfiguration& config = LoadLaunchConfiguration();
  // Before anything reads the environment: the runtime search, %NAME% references, the JVM.
  ApplyEnvironment(config.Environment(), EnvironmentValue, SetEnvironmentValue);
  const JvmSettings jvm = JvmSettingsOf(config);
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

  ScopedHandle instance_mutex;
  if (windowed) {
    if (!config.AllowMultipleInstances() && !AdmitSingleInstance(config, instance_mutex)) return kExitSuccess;
    // A negative SplashSeconds counts as 0: without ShowSplash nothing would ever close that splash.
    if (SplashWanted(config.ShowSplash(), config.SplashSeconds())) StartSplash(SplashSettingsOf(config));
  }

  const std::vector<std::string> main_args(args.empty() ? args.end() : args.begin() + 1, args.end());
  const bool ran = RunJavaApplication(jvm, main_args);
  FlushLogs();
  return ran ? kExitSuccess : kExitFailure;
}

}  // namespace stub
