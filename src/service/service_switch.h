// The service switches: install, uninstall, and the switch with which the Service Control Manager
// starts the program.
#pragma once

#include <string>
#include <vector>

#include "service/service_install.h"
#include "service/service_runtime.h"

namespace stub {

// What the service switches take from the configuration; the service run's own settings come apart.
struct ServiceSwitches {
  ServiceEntry entry;                   // its service_switch is the switch of a service run
  const std::string& install_switch;    // InstallSwitch
  const std::string& uninstall_switch;  // UninstallSwitch
  const std::string& installed_message;
  const std::string& exists_message;
  const std::string& uninstalled_message;
};

// True when args holds exactly one argument after the program slot and it is one of the configured
// switches, which has then been handled (install, uninstall or a whole service run with run's
// settings); false otherwise.
[[nodiscard]] bool DispatchServiceSwitch(const ServiceSwitches& switches, const ServiceSettings& run,
                                         const std::vector<std::string>& args);

}  // namespace stub
