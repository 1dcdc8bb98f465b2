// What installing the service asks of the Service Control Manager, decided without a system call: the
// account and its password, the dependency list, and the optional configuration items (delayed start,
// failure actions, the pre-shutdown time). The calls go through ServiceManagerCalls, so that a test
// sees exactly the structures Windows would receive. Every outcome is reported here, once.
#pragma once

#include <cstdint>
#include <string>

namespace stub {

// The platform's structures for ChangeServiceConfig2W, field for field (the Win32 side checks the
// layouts), without the platform header.
struct DelayedAutoStartInfo {  // SERVICE_DELAYED_AUTO_START_INFO
  std::int32_t delayed_auto_start;
};
struct ScAction {  // SC_ACTION
  std::uint32_t type;
  std::uint32_t delay_ms;
};
struct FailureActions {  // SERVICE_FAILURE_ACTIONSW
  std::uint32_t reset_period_seconds;
  char16_t* reboot_message;
  char16_t* command;
  std::uint32_t action_count;
  ScAction* actions;
};
struct FailureActionsFlag {  // SERVICE_FAILURE_ACTIONS_FLAG
  std::int32_t on_non_crash_failures;
};
struct PreshutdownInfo {  // SERVICE_PRESHUTDOWN_INFO
  std::uint32_t timeout_ms;
};

inline constexpr std::uint32_t kConfigFailureActions = 2;
inline constexpr std::uint32_t kConfigDelayedAutoStart = 3;
inline constexpr std::uint32_t kConfigFailureActionsFlag = 4;
inline constexpr std::uint32_t kConfigPreshutdownInfo = 7;
inline constexpr std::uint32_t kActionRestart = 1;
inline constexpr std::uint32_t kAutoStart = 2;
inline constexpr std::uint32_t kDemandStart = 3;
// A failure count older than a day starts again from the first action.
inline constexpr std::uint32_t kFailureResetSeconds = 24 * 60 * 60;

// CreateServiceW's variable parameters; the others are always an own-process service with normal
// error control and every access right, display name = name.
struct ServiceCreation {
  std::string name;
  std::string command_line;
  std::uint32_t start_type;
  std::u16string dependencies;  // each name NUL-terminated, the list ended by one more NUL; empty: none
  std::string account;          // empty: the local system account
};

// The Win32 calls of an installation. Results are 0 or the system's error code.
class ServiceManagerCalls {
 public:
  virtual ~ServiceManagerCalls() = default;
  // Creates the service and keeps it open for ChangeConfig2; password null for accounts without one.
  virtual unsigned long CreateServiceEntry(const ServiceCreation& creation, const char16_t* password) = 0;
  // ChangeServiceConfig2W on the service just created, with one of the structures above.
  virtual unsigned long ChangeConfig2(std::uint32_t level, const void* info) = 0;
  // Grants the account the right to log on as a service (SeServiceLogonRight).
  virtual unsigned long GrantServiceLogonRight(const std::string& account) = 0;
  // Shows the prompt on the console and reads one line without echo; false when there is no console.
  virtual bool ReadPassword(const std::string& prompt, std::u16string& password) = 0;
};

// What installation takes from the configuration besides name and command line.
struct ServiceSetup {
  const std::string& account;       // ServiceAccount
  const std::string& dependencies;  // ServiceDependencies
  bool manual_start;                // ServiceManualStart
  bool delayed_start;               // ServiceDelayedStart
  int restart_seconds;              // ServiceRestartSeconds
  int stop_seconds;                 // ServiceStopSeconds
  const std::string& not_applied_message;
  const std::string& password_prompt;
  const std::string& needs_console_message;
  const std::string& logon_right_message;
};

// How an account runs the service: the name handed to the manager ("" for the local system account),
// and whether it is a user's account, which needs a password and the right to log on as a service.
struct ServiceAccountName {
  std::string name;
  bool is_user;
};
ServiceAccountName ResolveServiceAccount(const std::string& configured);

// ServiceDependencies as the manager takes it: names separated by ';' (blanks around them dropped),
// each NUL-terminated, one more NUL at the end; empty when none is named.
std::u16string DependencyList(const std::string& configured);

// Creates the service through calls (asking a user account's password first) and applies the optional
// items. False, reported, when the service was not created; an item the manager refuses leaves the
// service installed, with a warning that names it. The password is wiped before this returns.
[[nodiscard]] bool CreateConfiguredService(const std::string& name, const std::string& command_line,
                                           const ServiceSetup& setup, ServiceManagerCalls& calls);

}  // namespace stub
