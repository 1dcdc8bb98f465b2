// The decisions of service mode that need no system call: which switch a command line names, the
// limits that installation texts must respect, the texts installation composes, and the status
// record reported for each service state. Kept apart from the Win32 code so that they are tested
// natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace stub {

enum class ServiceSwitchKind { kNone, kInstall, kUninstall, kRun };

// The switch named by args, which must hold exactly one argument after the program slot; compared
// byte for byte, install first, then uninstall, then run. An empty configured switch never matches,
// so that an empty argument cannot install or remove a service by accident.
ServiceSwitchKind RecognizeServiceSwitch(const std::vector<std::string>& args, std::string_view install_switch,
                                         std::string_view uninstall_switch, std::string_view service_switch);

// The longest texts installation accepts: the event-log key path (55-character prefix plus the name)
// and the quoted command line (two quotes and a space around path and switch) each fit 271 characters.
inline constexpr std::size_t kMaxServiceNameLength = 216;
inline constexpr std::size_t kMaxServiceCommandPartsLength = 268;

// "" when the name, the executable path and the switch fit the limits above; otherwise the error text
// that names the limit exceeded. Nothing longer than the limits is ever composed from them.
std::string InstallLimitViolation(std::string_view service_name, std::string_view executable_path,
                                  std::string_view service_switch);

// The installed command line: the executable path in double quotes, one space, the switch.
std::string ComposeServiceCommandLine(std::string_view executable_path, std::string_view service_switch);

// Registry key paths below HKEY_LOCAL_MACHINE: the event-log source and the service's own key.
std::string EventLogSourceKeyPath(std::string_view service_name);
std::string ServiceKeyPath(std::string_view service_name);

// The platform's service status record, field for field, without the platform header.
struct ServiceStatusRecord {
  std::uint32_t service_type;
  std::uint32_t current_state;
  std::uint32_t controls_accepted;
  std::uint32_t win32_exit_code;
  std::uint32_t service_specific_exit_code;
  std::uint32_t check_point;
  std::uint32_t wait_hint;
};

inline constexpr std::uint32_t kServiceStopped = 1;
inline constexpr std::uint32_t kServiceStopPending = 3;
inline constexpr std::uint32_t kServiceRunning = 4;
inline constexpr std::uint32_t kControlStop = 1;
inline constexpr std::uint32_t kControlShutdown = 5;
// Longer than the stop watchdog's 30 seconds, so that the manager never gives up first.
inline constexpr std::uint32_t kStopWaitHintMs = 40000;
inline constexpr std::uint32_t kStopWatchdogMs = 30000;

// The whole record reported in a state: only the state and its wait hint vary; the service is always
// an own-process service accepting stop and shutdown, with exit codes and check point 0.
ServiceStatusRecord StatusRecordFor(std::uint32_t state);

// True for the controls that ask the service to end (stop, shutdown); any other control only has the
// current status reported again.
bool IsStopControl(std::uint32_t control);

}  // namespace stub
