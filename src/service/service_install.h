// Installing the launcher as a Windows service and removing it again: the service itself, its
// event-log source and its description. Every failure is reported here, once, in the current
// launch mode; callers only see the result.
#pragma once

#include <string>

#include "service/service_setup.h"

namespace stub {

// What installation takes from the configuration.
struct ServiceEntry {
  const std::string& name;            // ServiceName
  const std::string& description;     // ServiceDescription
  const std::string& service_switch;  // ServiceSwitch, the installed command line's argument
  ServiceSetup setup;                 // account, dependencies, start and recovery
};

enum class ServicePresence { kAbsent, kPresent, kUnknown };

// Whether the service exists; kUnknown when that cannot be told (nothing is reported).
ServicePresence QueryServiceExists(const std::string& service_name);

// The program path to install, read without a length limit; false, after reporting why (the path
// cannot be read, or which limit is exceeded), when it cannot serve: the service name or the program
// path and the service switch are too long to be installed. Nothing has been touched then.
[[nodiscard]] bool InstallLimitsHold(const ServiceEntry& entry, std::string& executable_path);

// Creates the service (command line: the quoted program path that InstallLimitsHold gave, space, the
// service switch) as CreateConfiguredService does, its event-log source values and, when the description
// is not empty, its "Description". True on success; a service created before a later step failed
// stays installed.
[[nodiscard]] bool InstallService(const ServiceEntry& entry, const std::string& executable_path);

// Deletes the service; the event-log source key is left for a later installation. True on success.
[[nodiscard]] bool UninstallService(const std::string& service_name);

}  // namespace stub
