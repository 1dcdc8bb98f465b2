// Each struct takes exactly the settings its stage reads, as references to the configuration's own
// texts; a setting a stage does not name here never reaches it.
#include "app/stage_settings.h"

namespace stub {

JvmSettings JvmSettingsOf(const LaunchConfiguration& config, const std::string& caller_directory) {
  return JvmSettings{
      RuntimeSettings{config.MinJavaVersionNumber(), config.JvmPath(), config.JvmSearchMode(),
                      config.JvmErrorMessages(kNoSuitableRuntime), config.JavaDownloadUrl(),
                      config.JavaDownloadMessage()},
      config.JvmOptions(),
      config.ClassPath(),
      config.WorkingDirectory(),
      caller_directory,
      config.ChangeDirectoryBeforeJvm(),
      config.FileAccessErrorMessage(),
      MainSettings{config.MainClass(), config.AppOptions(), config.SystemOutFile(), config.SystemErrFile(),
                   JvmMessages(&config.JvmErrorMessages(JvmErrorMessage(0)))}};
}

ServiceSwitches ServiceSwitchesOf(const LaunchConfiguration& config) {
  return ServiceSwitches{
      ServiceEntry{config.ServiceName(), config.ServiceDescription(), config.ServiceSwitch(),
                   ServiceSetup{config.ServiceAccount(), config.ServiceDependencies(), config.ServiceManualStart(),
                                config.ServiceDelayedStart(), config.ServiceRestartSeconds(),
                                config.ServiceStopSeconds(), config.ServiceSettingNotAppliedMessage(),
                                config.ServicePasswordPrompt(), config.ServicePasswordNeedsConsoleMessage(),
                                config.ServiceLogonRightGrantedMessage()}},
      config.InstallSwitch(),
      config.UninstallSwitch(),
      config.ServiceInstalledMessage(),
      config.ServiceExistsMessage(),
      config.ServiceUninstalledMessage()};
}

ServiceSettings ServiceSettingsOf(const LaunchConfiguration& config, const JvmSettings& jvm) {
  return ServiceSettings{config.ServiceName(),
                         config.ServiceStartArguments(),
                         config.ServiceStopArguments(),
                         config.ServiceStopWithSystemExit(),
                         config.ServiceStopSeconds(),
                         config.ServiceStartedMessage(),
                         config.ServiceStoppedMessage(),
                         config.ServiceStartFailedMessage(),
                         config.ServiceStopTimeoutMessage(),
                         config.ServiceFailedMessage(),
                         config.ServiceEndedAfterTimeoutMessage(),
                         jvm};
}

SplashSettings SplashSettingsOf(const LaunchConfiguration& config) {
  return SplashSettings{config.SplashText(), config.ShowSplash(), config.SplashSeconds()};
}

LogSettings LogSettingsOf(const LaunchConfiguration& config) {
  // A negative size or count means none, as 0 does.
  const int roll_bytes = config.LogRollBytes();
  return LogSettings{config.SystemOutFile(), config.SystemErrFile(), config.WorkingDirectory(),
                     LogRollSettings{roll_bytes > 0 ? static_cast<std::uint64_t>(roll_bytes) : 0u,
                                     config.LogKeep() > 0 ? config.LogKeep() : 0},
                     config.LogWriteFailedMessage()};
}

}  // namespace stub
