// Installation and removal through the Service Control Manager and the registry. The key paths and the
// command line are composed by service_rules only after the limits have been checked, so no text is
// ever cut to fit.
#include "service/service_install.h"

#include <windows.h>

#include <string>

#include "core/handle_win.h"
#include "core/registry_win.h"
#include "core/reporting.h"
#include "core/system_win.h"
#include "service/service_rules.h"

namespace stub {
namespace {

constexpr DWORD kTypesSupported = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;

ScopedServiceHandle OpenManager(DWORD access) { return ScopedServiceHandle(::OpenSCManagerW(nullptr, nullptr, access)); }

bool CreateServiceEntry(const ServiceEntry& entry, const std::string& command_line) {
  const ScopedServiceHandle manager = OpenManager(SC_MANAGER_CREATE_SERVICE);
  if (!manager) {
    ReportLastError();
    return false;
  }
  const std::u16string name = WideOf(entry.name);
  const DWORD start_type = entry.manual_start ? SERVICE_DEMAND_START : SERVICE_AUTO_START;
  const ScopedServiceHandle service(::CreateServiceW(manager.get(), Wide(name), Wide(name), SERVICE_ALL_ACCESS,
                                                     SERVICE_WIN32_OWN_PROCESS, start_type, SERVICE_ERROR_NORMAL,
                                                     Wide(WideOf(command_line)), nullptr, nullptr, nullptr, nullptr,
                                                     nullptr));
  if (!service) {
    ReportLastError();
    return false;
  }
  return true;
}

// Each registry step sets the thread's last error on failure, so the report names the real cause.
bool WriteServiceRegistryValues(const std::string& service_name, const std::string& description,
                                const std::string& executable_path) {
  RegKey event_source;
  if (event_source.Create(HKEY_LOCAL_MACHINE, EventLogSourceKeyPath(service_name), KEY_ALL_ACCESS) != ERROR_SUCCESS ||
      event_source.WriteString("EventMessageFile", executable_path, REG_EXPAND_SZ) != ERROR_SUCCESS ||
      event_source.WriteDword("TypesSupported", kTypesSupported) != ERROR_SUCCESS) {
    ReportLastError();
    return false;
  }
  if (description.empty()) return true;
  RegKey service;
  if (service.Open(HKEY_LOCAL_MACHINE, ServiceKeyPath(service_name), KEY_WRITE) != ERROR_SUCCESS ||
      service.WriteString("Description", description, REG_EXPAND_SZ) != ERROR_SUCCESS) {
    ReportLastError();
    return false;
  }
  return true;
}

}  // namespace

ServicePresence QueryServiceExists(const std::string& service_name) {
  const ScopedServiceHandle manager = OpenManager(SC_MANAGER_CREATE_SERVICE);
  if (!manager) return ServicePresence::kUnknown;
  const ScopedServiceHandle service(::OpenServiceW(manager.get(), Wide(WideOf(service_name)), SERVICE_QUERY_CONFIG));
  if (service) return ServicePresence::kPresent;
  return ::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? ServicePresence::kAbsent : ServicePresence::kUnknown;
}

// The path is checked together with the name against the install limits, so that a long path is
// refused with its real length instead of being cut into the path of some other file.
bool InstallLimitsHold(const ServiceEntry& entry, std::string& executable_path) {
  executable_path = ExecutablePath();
  if (executable_path.empty()) {
    ReportLastError();
    return false;
  }
  const std::string refusal = InstallLimitViolation(entry.name, executable_path, entry.service_switch);
  if (refusal.empty()) return true;
  ReportError(refusal);
  return false;
}

bool InstallService(const ServiceEntry& entry, const std::string& executable_path) {
  const std::string command_line = ComposeServiceCommandLine(executable_path, entry.service_switch);
  return CreateServiceEntry(entry, command_line) &&
         WriteServiceRegistryValues(entry.name, entry.description, executable_path);
}

bool UninstallService(const std::string& service_name) {
  const ScopedServiceHandle manager = OpenManager(SC_MANAGER_ALL_ACCESS);
  if (!manager) {
    ReportLastError();
    return false;
  }
  const ScopedServiceHandle service(::OpenServiceW(manager.get(), Wide(WideOf(service_name)), DELETE));
  if (!service || !::DeleteService(service.get())) {
    ReportLastError();
    return false;
  }
  return true;
}

}  // namespace stub
