// The start-up sequence. Every later stage reports its own failure; this file only orders the stages
// and turns their outcome into the exit code.
#include "app/launcher.h"

#include <windows.h>

#include "app/second_instance_win.h"
#include "app/stage_settings.h"
#include "core/environment.h"
#include "core/handle_win.h"
#include "core/launch_config.h"
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

}  // namespace

int RunWindowedApplication(const LaunchConfiguration& config, const JvmSettings& jvm,
                           const std::vector<std::string>& main_args) {
  ScopedHandle instance_mutex;
  bool listening = false;
  if (!config.AllowMultipleInstances()) {
    if (!AdmitSingleInstance(config, main_args, instance_mutex)) return kExitSuccess;
    listening = !config.SecondInstanceMethod().empty();
    if (listening) StartSecondInstanceListener(config.MainClass(), SecondInstanceMethodOf(config));
  }
  // A negative SplashSeconds counts as 0: without ShowSplash nothing would ever close that splash.
  if (SplashWanted(config.ShowSplash(), config.SplashSeconds())) StartSplash(SplashSettingsOf(config));

  if (!listening) return RunJavaApplication(jvm, main_args) ? kExitSuccess : kExitFailure;
  if (!CreateJvm(jvm, /*with_service_console=*/false)) return kExitFailure;
  OpenSecondInstanceListener();
  const bool ran = RunMainClass(main_args, /*as_stopper=*/false);
  // The listener stays attached and may be inside the runtime until the process ends, so the
  // library is never unloaded.
  ShutDownJvm();
  return ran ? kExitSuccess : kExitFailure;
}

int RunLauncher(ApplicationRun windowed_run, const std::vector<std::string>& args) {
  SetLaunchMode(windowed_run != nullptr ? LaunchMode::kWindowed : LaunchMode::kConsole);
  ChangeToExecutableDirectory();
  const LaunchConfiguration& config = LoadLaunchConfiguration();
  // Before anything reads the environment: the runtime search, %NAME% references, the JVM.
  ApplyEnvironment(config.Environment(), EnvironmentValue, SetEnvironmentValue);
  const JvmSettings jvm = JvmSettingsOf(config);

  if (!config.ServiceName().empty() &&
      DispatchServiceSwitch(ServiceSwitchesOf(config), ServiceSettingsOf(config, jvm), args)) {
    return kExitSuccess;
  }

  const std::vector<std::string> main_args(args.empty() ? args.end() : args.begin() + 1, args.end());
  if (windowed_run != nullptr) return windowed_run(config, jvm, main_args);
  return RunJavaApplication(jvm, main_args) ? kExitSuccess : kExitFailure;
}

}  // namespace stub
