// Installation and removal through the Service Control Manager and the registry. The key paths and the
// command line are composed by service_rules only after the limits have been checked, so no text is
// ever cut to fit.
#include "service/service_install.h"

#include <windows.h>
#include <ntsecapi.h>

#include <cstddef>
#include <string>

#include "core/handle_win.h"
#include "core/registry_win.h"
#include "core/reporting.h"
#include "core/system_win.h"
#include "service/service_rules.h"
#include "service/service_setup.h"

namespace stub {
namespace {

constexpr DWORD kTypesSupported = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;

ScopedServiceHandle OpenManager(DWORD access) { return ScopedServiceHandle(::OpenSCManagerW(nullptr, nullptr, access)); }

// The portable mirrors are handed to ChangeServiceConfig2W as they are.
static_assert(sizeof(DelayedAutoStartInfo) == sizeof(SERVICE_DELAYED_AUTO_START_INFO) &&
                  sizeof(ScAction) == sizeof(SC_ACTION) && sizeof(FailureActionsFlag) == sizeof(SERVICE_FAILURE_ACTIONS_FLAG) &&
                  sizeof(PreshutdownInfo) == sizeof(SERVICE_PRESHUTDOWN_INFO),
              "configuration structures, field for field");
static_assert(sizeof(FailureActions) == sizeof(SERVICE_FAILURE_ACTIONSW) &&
                  offsetof(FailureActions, reboot_message) == offsetof(SERVICE_FAILURE_ACTIONSW, lpRebootMsg) &&
                  offsetof(FailureActions, action_count) == offsetof(SERVICE_FAILURE_ACTIONSW, cActions) &&
                  offsetof(FailureActions, actions) == offsetof(SERVICE_FAILURE_ACTIONSW, lpsaActions),
              "SERVICE_FAILURE_ACTIONSW, field for field");
static_assert(kConfigFailureActions == SERVICE_CONFIG_FAILURE_ACTIONS &&
                  kConfigDelayedAutoStart == SERVICE_CONFIG_DELAYED_AUTO_START_INFO &&
                  kConfigFailureActionsFlag == SERVICE_CONFIG_FAILURE_ACTIONS_FLAG &&
                  kConfigPreshutdownInfo == SERVICE_CONFIG_PRESHUTDOWN_INFO && kActionRestart == SC_ACTION_RESTART &&
                  kAutoStart == SERVICE_AUTO_START && kDemandStart == SERVICE_DEMAND_START,
              "configuration levels and values");

using ScopedPolicy = UniqueHandle<LSA_HANDLE, ::LsaClose>;

class Win32ServiceManager : public ServiceManagerCalls {
 public:
  unsigned long CreateServiceEntry(const ServiceCreation& creation, const char16_t* password) override {
    const ScopedServiceHandle manager = OpenManager(SC_MANAGER_CREATE_SERVICE);
    if (!manager) return ::GetLastError();
    const std::u16string name = WideOf(creation.name);
    const std::u16string account = WideOf(creation.account);
    service_.reset(::CreateServiceW(
        manager.get(), Wide(name), Wide(name), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, creation.start_type,
        SERVICE_ERROR_NORMAL, Wide(WideOf(creation.command_line)), nullptr, nullptr,
        creation.dependencies.empty() ? nullptr : reinterpret_cast<const wchar_t*>(creation.dependencies.c_str()),
        account.empty() ? nullptr : Wide(account), reinterpret_cast<const wchar_t*>(password)));
    return service_ ? 0 : ::GetLastError();
  }

  unsigned long ChangeConfig2(std::uint32_t level, const void* info) override {
    return ::ChangeServiceConfig2W(service_.get(), level, const_cast<void*>(info)) ? 0 : ::GetLastError();
  }

  unsigned long GrantServiceLogonRight(const std::string& account) override {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sid_size = sizeof sid;
    wchar_t domain[256];
    DWORD domain_size = 256;
    SID_NAME_USE use;
    if (!::LookupAccountNameW(nullptr, Wide(WideOf(account)), sid, &sid_size, domain, &domain_size, &use)) {
      return ::GetLastError();
    }
    LSA_OBJECT_ATTRIBUTES attributes{};
    ScopedPolicy policy;
    NTSTATUS status = ::LsaOpenPolicy(nullptr, &attributes, POLICY_LOOKUP_NAMES | POLICY_CREATE_ACCOUNT, policy.put());
    if (status != 0) return ::LsaNtStatusToWinError(status);
    wchar_t right_name[] = L"SeServiceLogonRight";
    LSA_UNICODE_STRING right{static_cast<USHORT>(sizeof right_name - sizeof(wchar_t)),
                             static_cast<USHORT>(sizeof right_name), right_name};
    status = ::LsaAddAccountRights(policy.get(), sid, &right, 1);
    return status == 0 ? 0 : ::LsaNtStatusToWinError(status);
  }

  // Read from the console itself, not standard input, with echo off; the buffer is wiped on every path.
  bool ReadPassword(const std::string& prompt, std::u16string& password) override {
    const ScopedHandle input(::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
    const ScopedHandle output(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    DWORD mode = 0;
    if (!input || !output || !::GetConsoleMode(input.get(), &mode)) return false;
    const std::u16string shown = WideOf(prompt);
    DWORD written = 0;
    ::WriteConsoleW(output.get(), Wide(shown), static_cast<DWORD>(shown.size()), &written, nullptr);
    ::SetConsoleMode(input.get(), (mode | ENABLE_LINE_INPUT) & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    wchar_t buffer[256];
    DWORD read = 0;
    const bool ok = ::ReadConsoleW(input.get(), buffer, 256, &read, nullptr) != 0;
    ::SetConsoleMode(input.get(), mode);
    ::WriteConsoleW(output.get(), L"\r\n", 2, &written, nullptr);
    while (read > 0 && (buffer[read - 1] == L'\n' || buffer[read - 1] == L'\r')) --read;
    password.reserve(256);
    if (ok) password.assign(reinterpret_cast<const char16_t*>(buffer), read);
    ::SecureZeroMemory(buffer, sizeof buffer);
    return ok;
  }

 private:
  ScopedServiceHandle service_;
};

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
  {
    // The service handle is closed before the registry is written, as the manager expects of its keys.
    Win32ServiceManager manager;
    if (!CreateConfiguredService(entry.name, command_line, entry.setup, manager)) return false;
  }
  return WriteServiceRegistryValues(entry.name, entry.description, executable_path);
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
