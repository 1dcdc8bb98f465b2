// Service-mode decisions without system calls; see the header for the contracts.
#include "service/service_rules.h"

#include "core/message_format.h"

namespace stub {
namespace {

constexpr std::string_view kEventLogKeyPrefix = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
constexpr std::string_view kServiceKeyPrefix = "SYSTEM\\CurrentControlSet\\Services\\";
constexpr std::uint32_t kOwnProcessService = 0x10;

}  // namespace

ServiceSwitchKind RecognizeServiceSwitch(const std::vector<std::string>& args, const std::string& install_switch,
                                         const std::string& uninstall_switch, const std::string& service_switch) {
  if (args.size() != 2) return ServiceSwitchKind::kNone;
  const std::string* const switches[] = {&install_switch, &uninstall_switch, &service_switch};
  constexpr ServiceSwitchKind kKinds[] = {ServiceSwitchKind::kInstall, ServiceSwitchKind::kUninstall,
                                          ServiceSwitchKind::kRun};
  for (int i = 0; i < 3; ++i) {
    if (!switches[i]->empty() && args[1] == *switches[i]) return kKinds[i];
  }
  return ServiceSwitchKind::kNone;
}

std::string InstallLimitViolation(const std::string& service_name, const std::string& executable_path,
                                  const std::string& service_switch) {
  // The texts name the limits as numbers of their own, so that no number formatting is needed.
  static_assert(kMaxServiceNameLength == 216 && kMaxServiceCommandPartsLength == 268, "the refusals name the limits");
  // The service manager starts the program with the switch as its one argument; an empty one, or
  // one that the command line splits, would start the application as a console program instead.
  if (service_switch.empty() || service_switch.find_first_of(" \t") != std::string::npos) {
    return FormatMessageText(
        "The service switch \"%s\" is empty or holds a space; the service cannot be installed.", {service_switch});
  }
  if (service_name.size() > kMaxServiceNameLength) {
    return "The service name is longer than 216 characters and cannot be installed.";
  }
  if (executable_path.size() + service_switch.size() > kMaxServiceCommandPartsLength) {
    return FormatMessageText(
        "The program path and the service switch are longer than 268 characters together; the service "
        "cannot be installed from %s.",
        {executable_path});
  }
  return std::string();
}

std::string ComposeServiceCommandLine(const std::string& executable_path, const std::string& service_switch) {
  std::string command_line;
  command_line.reserve(executable_path.size() + service_switch.size() + 3);
  command_line.append("\"").append(executable_path).append("\" ").append(service_switch);
  return command_line;
}

std::string EventLogSourceKeyPath(const std::string& service_name) {
  return std::string(kEventLogKeyPrefix).append(service_name);
}

std::string ServiceKeyPath(const std::string& service_name) {
  return std::string(kServiceKeyPrefix).append(service_name);
}

std::uint32_t StopTimeMs(int stop_seconds) {
  constexpr int kDefaultSeconds = 30;
  constexpr int kMaxSeconds = 24 * 60 * 60;  // keeps every sum with the margin within 32 bits
  const int seconds = stop_seconds <= 0 ? kDefaultSeconds : stop_seconds > kMaxSeconds ? kMaxSeconds : stop_seconds;
  return static_cast<std::uint32_t>(seconds) * 1000u;
}

ServiceStatusBook::ServiceStatusBook(bool preshutdown_offered)
    : record_{kOwnProcessService, kServiceStopped, kAcceptStop | (preshutdown_offered ? kAcceptPreshutdown : kAcceptShutdown),
              0, 0, 0, 0} {}

ServiceStatusRecord ServiceStatusBook::Running() {
  record_.current_state = kServiceRunning;
  return record_;
}

bool ServiceStatusBook::BeginStop(std::uint32_t stop_ms, ServiceStatusRecord& record) {
  if (record_.current_state != kServiceRunning) return false;
  record_.current_state = kServiceStopPending;
  record_.check_point = 1;
  record_.wait_hint = stop_ms + kStopMarginMs;
  record = record_;
  return true;
}

bool ServiceStatusBook::Progress(std::uint32_t remaining_ms, ServiceStatusRecord& record) {
  if (record_.current_state != kServiceStopPending) return false;
  ++record_.check_point;
  record_.wait_hint = remaining_ms + kStopMarginMs;
  record = record_;
  return true;
}

ServiceStatusRecord ServiceStatusBook::Stopped(ServiceEnd end) {
  if (record_.current_state == kServiceStopped) return record_;
  const auto code = static_cast<std::uint32_t>(end);
  record_.current_state = kServiceStopped;
  record_.controls_accepted = 0;
  record_.win32_exit_code = code == 0 ? 0 : kErrorServiceSpecific;
  record_.service_specific_exit_code = code;
  record_.check_point = 0;
  record_.wait_hint = 0;
  return record_;
}

bool IsStopControl(std::uint32_t control) {
  return control == kControlStop || control == kControlShutdown || control == kControlPreshutdown;
}

bool ApplicationLifecycle::BeginMain() {
  int expected = kCreating;
  return phase_.compare_exchange_strong(expected, kMainBegun);
}

StopRoute ApplicationLifecycle::RouteStop() {
  int expected = kCreating;
  if (phase_.compare_exchange_strong(expected, kStoppedBeforeMain) || expected == kStoppedBeforeMain) {
    return StopRoute::kMainNotBegun;
  }
  return expected == kMainBegun ? StopRoute::kDeliver : StopRoute::kNoJvm;
}

bool ApplicationLifecycle::EnterJvm() {
  callers_.fetch_add(1);
  if (phase_.load() == kMainBegun) return true;
  callers_.fetch_sub(1);
  return false;
}

void ApplicationLifecycle::LeaveJvm() { callers_.fetch_sub(1); }

bool ApplicationLifecycle::EndJvm() {
  phase_.store(kGone);
  return callers_.load() == 0;
}

}  // namespace stub
