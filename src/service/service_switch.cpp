// Recognition of the three service switches and the handling of each. Every outcome has been reported
// where it arose; the caller only learns whether the command line was a switch.
#include "service/service_switch.h"

#include "core/launch_config.h"
#include "core/reporting.h"
#include "service/service_install.h"
#include "service/service_rules.h"
#include "service/service_runtime.h"

namespace stub {
namespace {

// The limits are checked before the existence query, so that an over-long name is refused with its
// reason rather than failing the query without a word.
void InstallUnlessPresent(const LaunchConfiguration& config) {
  std::string executable_path;
  if (!InstallLimitsHold(config.ServiceName(), executable_path)) return;
  switch (QueryServiceExists(config.ServiceName())) {
    case ServicePresence::kAbsent:
      if (InstallService(config.ServiceName(), config.ServiceDescription(), executable_path)) {
        ReportInfo(config.ServiceInstalledMessage(), config.ServiceName());
      }
      break;
    case ServicePresence::kPresent:
      ReportError(config.ServiceExistsMessage(), config.ServiceName());
      break;
    case ServicePresence::kUnknown:
      break;
  }
}

}  // namespace

bool DispatchServiceSwitch(const std::vector<std::string>& args) {
  const LaunchConfiguration& config = LaunchConfig();
  switch (RecognizeServiceSwitch(args, config.InstallSwitch(), config.UninstallSwitch(), config.ServiceSwitch())) {
    case ServiceSwitchKind::kNone:
      return false;
    case ServiceSwitchKind::kInstall:
      InstallUnlessPresent(config);
      return true;
    case ServiceSwitchKind::kUninstall:
      if (UninstallService(config.ServiceName())) ReportInfo(config.ServiceUninstalledMessage(), config.ServiceName());
      return true;
    case ServiceSwitchKind::kRun:
      StartServiceDispatcher();
      return true;
  }
  return false;
}

}  // namespace stub
