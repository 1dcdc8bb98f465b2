// Installation and removal through the Service Control Manager and the registry. The key paths and the
// command line are composed by service_rules only after the limits have been checked, so no text is
// ever cut to fit.
#include "service/service_install.h"

#include <windows.h>

#include <string>

#include "core/launch_config.h"
#include "core/reporting.h"
#include "core/win32_handle.h"
#include "core/win32_paths.h"
#include "service/service_rules.h"

namespace stub {
namespace {

constexpr DWORD kTypesSupported = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;

// Read without a length limit, so that a long path is refused by the limit check with its real
// length instead of being cut into the path of some other file.
bool ReadExecutablePath(std::string& path) {
  path = ExecutablePath();
  if (!path.empty()) return true;
  ReportLastError();
  return false;
}

// The program path, read and checked together with the name against the install limits; reports why
// when they are exceeded.
bool ReadInstallablePath(const std::string& service_name, std::string& executable_path) {
  if (!ReadExecutablePath(executable_path)) return false;
  const std::string refusal = InstallLimitViolation(service_name, executable_path, LaunchConfig().ServiceSwitch);
  if (refusal.empty()) return true;
  ReportError(refusal);
  return false;
}

// The registry functions return their status instead of setting the thread's last error; it is
// stored there so that the caller's ReportLastError names the real cause.
bool RegistryCallSucceeded(LSTATUS status) {
  if (status == ERROR_SUCCESS) return true;
  ::SetLastError(static_cast<DWORD>(status));
  return false;
}

int CreateRegistryKey(HKEY root, const std::string& key_path) {
  HKEY raw_key = nullptr;
  const LSTATUS status = ::RegCreateKeyExA(root, key_path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                           nullptr, &raw_key, nullptr);
  ScopedRegKey key(raw_key);
  return RegistryCallSucceeded(status) ? 0 : -1;
}

int WriteRegistryValue(HKEY root, const std::string& key_path, const char* value_name, DWORD type, const BYTE* data,
                       DWORD size) {
  HKEY raw_key = nullptr;
  const LSTATUS open_status = ::RegOpenKeyExA(root, key_path.c_str(), 0, KEY_WRITE, &raw_key);
  ScopedRegKey key(raw_key);
  if (!RegistryCallSucceeded(open_status)) return -1;
  const LSTATUS set_status = ::RegSetValueExA(key.get(), value_name, 0, type, data, size);
  return RegistryCallSucceeded(set_status) ? 0 : 1;
}

int WriteRegistryExpandString(HKEY root, const std::string& key_path, const char* value_name, const std::string& text) {
  return WriteRegistryValue(root, key_path, value_name, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>(text.size() + 1));
}

int WriteRegistryDword(HKEY root, const std::string& key_path, const char* value_name, DWORD number) {
  return WriteRegistryValue(root, key_path, value_name, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                            sizeof(number));
}

bool CreateServiceEntry(const std::string& service_name, const std::string& command_line) {
  ScopedServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
  if (!manager) {
    ReportLastError();
    return false;
  }
  const DWORD start_type = LaunchConfig().ServiceManualStart ? SERVICE_DEMAND_START : SERVICE_AUTO_START;
  ScopedServiceHandle service(::CreateServiceA(
      manager.get(), service_name.c_str(), service_name.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
      start_type, SERVICE_ERROR_NORMAL, command_line.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  if (!service) {
    ReportLastError();
    return false;
  }
  return true;
}

bool WriteServiceRegistryValues(const std::string& service_name, const std::string& description,
                                const std::string& executable_path) {
  const std::string event_log_key = EventLogSourceKeyPath(service_name);
  if (CreateRegistryKey(HKEY_LOCAL_MACHINE, event_log_key) != 0 ||
      WriteRegistryExpandString(HKEY_LOCAL_MACHINE, event_log_key, "EventMessageFile", executable_path) != 0 ||
      WriteRegistryDword(HKEY_LOCAL_MACHINE, event_log_key, "TypesSupported", kTypesSupported) != 0) {
    ReportLastError();
    return false;
  }
  if (description.empty()) return true;
  if (WriteRegistryExpandString(HKEY_LOCAL_MACHINE, ServiceKeyPath(service_name), "Description", description) != 0) {
    ReportLastError();
    return false;
  }
  return true;
}

}  // namespace

int QueryServiceExists(const std::string& service_name) {
  ScopedServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
  if (!manager) return -1;
  ScopedServiceHandle service(::OpenServiceA(manager.get(), service_name.c_str(), SERVICE_QUERY_CONFIG));
  if (service) return 1;
  return ::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? 0 : -1;
}

bool InstallLimitsHold(const std::string& service_name) {
  std::string executable_path;
  return ReadInstallablePath(service_name, executable_path);
}

int InstallService(const std::string& service_name, const std::string& description) {
  std::string executable_path;
  if (!ReadInstallablePath(service_name, executable_path)) return -1;
  const std::string command_line = ComposeServiceCommandLine(executable_path, LaunchConfig().ServiceSwitch);
  if (!CreateServiceEntry(service_name, command_line)) return -1;
  return WriteServiceRegistryValues(service_name, description, executable_path) ? 0 : -1;
}

int UninstallService(const std::string& service_name) {
  ScopedServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) {
    ReportLastError();
    return -1;
  }
  ScopedServiceHandle service(::OpenServiceA(manager.get(), service_name.c_str(), DELETE));
  if (!service || !::DeleteService(service.get())) {
    ReportLastError();
    return -1;
  }
  return 0;
}

}  // namespace stub
