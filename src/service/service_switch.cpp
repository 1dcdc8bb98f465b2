// Recognition of the three service switches and the handling of each. Every outcome has been reported
// where it arose; the caller only learns whether the command line was a switch.
#include "service/service_switch.h"

#include "core/reporting.h"
#include "service/service_rules.h"

namespace stub {
namespace {

// The limits are checked before the existence query, so that an over-long name is refused with its
// reason rather than failing the query without a word.
void InstallUnlessPresent(const ServiceSwitches& switches) {
  const ServiceEntry& entry = switches.entry;
  std::string executable_path;
  if (!InstallLimitsHold(entry, executable_path)) return;
  switch (QueryServiceExists(entry.name)) {
    case ServicePresence::kAbsent:
      if (InstallService(entry, executable_path)) ReportInfo(switches.installed_message, entry.name);
      break;
    case ServicePresence::kPresent:
      ReportError(switches.exists_message, entry.name);
      break;
    case ServicePresence::kUnknown:
      break;
  }
}

}  // namespace

bool DispatchServiceSwitch(const ServiceSwitches& switches, const ServiceSettings& run,
                           const std::vector<std::string>& args) {
  const ServiceEntry& entry = switches.entry;
  switch (RecognizeServiceSwitch(args, switches.install_switch, switches.uninstall_switch, entry.service_switch)) {
    case ServiceSwitchKind::kNone:
      return false;
    case ServiceSwitchKind::kInstall:
      InstallUnlessPresent(switches);
      return true;
    case ServiceSwitchKind::kUninstall:
      if (UninstallService(entry.name)) ReportInfo(switches.uninstalled_message, entry.name);
      return true;
    case ServiceSwitchKind::kRun:
      StartServiceDispatcher(run);
      return true;
  }
  return false;
}

}  // namespace stub
