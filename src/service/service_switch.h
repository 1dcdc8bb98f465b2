// The service switches: install, uninstall, and the switch with which the Service Control Manager
// starts the program.
#pragma once

#include <string>
#include <vector>

namespace stub {

// True when args holds exactly one argument after the program slot and it is one of the configured
// switches, which has then been handled (install, uninstall or a whole service run); false otherwise.
bool DispatchServiceSwitch(const std::vector<std::string>& args);

}  // namespace stub
