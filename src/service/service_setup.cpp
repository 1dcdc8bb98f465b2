// Installation's decisions; see the header for the contracts.
#include "service/service_setup.h"

#include <vector>

#include "core/message_format.h"
#include "core/reporting.h"
#include "core/text.h"
#include "service/service_rules.h"

namespace stub {
namespace {

bool EqualsIgnoringCase(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return i == a.size() && b[i] == '\0';
}

std::string Trimmed(const std::string& text, std::size_t from, std::size_t to) {
  while (from < to && (text[from] == ' ' || text[from] == '\t')) ++from;
  while (to > from && (text[to - 1] == ' ' || text[to - 1] == '\t')) --to;
  return text.substr(from, to - from);
}

// The password must not outlive its use in any buffer of ours; volatile keeps the stores.
void Wipe(std::u16string& secret) {
  volatile char16_t* unit = secret.empty() ? nullptr : &secret[0];
  for (std::size_t i = 0; i < secret.size(); ++i) unit[i] = 0;
  secret.clear();
}

void WarnNotApplied(const ServiceSetup& setup, const char* item, unsigned long error) {
  ReportError(setup.not_applied_message, item);
  ReportSystemError(error);
}

void ApplyItem(const ServiceSetup& setup, ServiceManagerCalls& calls, const char* item, std::uint32_t level,
               const void* info) {
  if (const unsigned long error = calls.ChangeConfig2(level, info)) WarnNotApplied(setup, item, error);
}

// Failure actions: the manager restarts the service after each failure, the count starting again after a
// day; the flag makes a stop with a non-zero exit code count as a failure, not only a crash.
void ApplyRecovery(const ServiceSetup& setup, ServiceManagerCalls& calls) {
  const std::uint32_t delay_ms = static_cast<std::uint32_t>(setup.restart_seconds) * 1000u;
  ScAction actions[3] = {{kActionRestart, delay_ms}, {kActionRestart, delay_ms}, {kActionRestart, delay_ms}};
  const FailureActions failure_actions{kFailureResetSeconds, nullptr, nullptr, 3, actions};
  ApplyItem(setup, calls, "ServiceRestartSeconds", kConfigFailureActions, &failure_actions);
  const FailureActionsFlag flag{1};
  ApplyItem(setup, calls, "ServiceRestartSeconds (failures that are not crashes)", kConfigFailureActionsFlag, &flag);
}

void ApplyOptionalItems(const ServiceSetup& setup, ServiceManagerCalls& calls) {
  // Windows takes delayed start only for automatic services; a demand-start service ignores the setting.
  if (setup.delayed_start && !setup.manual_start) {
    const DelayedAutoStartInfo delayed{1};
    ApplyItem(setup, calls, "ServiceDelayedStart", kConfigDelayedAutoStart, &delayed);
  }
  if (setup.restart_seconds > 0) ApplyRecovery(setup, calls);
  if (setup.stop_seconds > 0) {
    const PreshutdownInfo preshutdown{StopTimeMs(setup.stop_seconds) + kStopMarginMs};
    ApplyItem(setup, calls, "ServiceStopSeconds", kConfigPreshutdownInfo, &preshutdown);
  }
}

}  // namespace

ServiceAccountName ResolveServiceAccount(const std::string& configured) {
  const std::string account = Trimmed(configured, 0, configured.size());
  for (const char* system : {"", "LocalSystem", ".\\LocalSystem", "NT AUTHORITY\\SYSTEM"}) {
    if (EqualsIgnoringCase(account, system)) return {std::string(), false};
  }
  for (const char* built_in : {"LocalService", "NetworkService"}) {
    const std::string full = std::string("NT AUTHORITY\\") + built_in;
    if (EqualsIgnoringCase(account, built_in) || EqualsIgnoringCase(account, full.c_str())) return {full, false};
  }
  // A virtual account has no password and needs no right granted: Windows manages both.
  const std::string virtual_prefix = "NT SERVICE\\";
  if (account.size() > virtual_prefix.size() &&
      EqualsIgnoringCase(account.substr(0, virtual_prefix.size()), virtual_prefix.c_str())) {
    return {account, false};
  }
  return {account, true};
}

std::u16string DependencyList(const std::string& configured) {
  std::u16string list;
  for (std::size_t from = 0; from <= configured.size();) {
    std::size_t end = configured.find(';', from);
    if (end == std::string::npos) end = configured.size();
    const std::string name = Trimmed(configured, from, end);
    if (!name.empty()) list.append(Utf16FromUtf8(name)).push_back(u'\0');
    from = end + 1;
  }
  if (!list.empty()) list.push_back(u'\0');
  return list;
}

bool CreateConfiguredService(const std::string& name, const std::string& command_line, const ServiceSetup& setup,
                             ServiceManagerCalls& calls) {
  const ServiceAccountName account = ResolveServiceAccount(setup.account);
  std::u16string password;
  if (account.is_user && !calls.ReadPassword(FormatMessageText(setup.password_prompt, {account.name}), password)) {
    ReportError(setup.needs_console_message, account.name);
    return false;
  }
  const ServiceCreation creation{name, command_line, setup.manual_start ? kDemandStart : kAutoStart,
                                 DependencyList(setup.dependencies), account.name};
  const unsigned long error = calls.CreateServiceEntry(creation, account.is_user ? password.c_str() : nullptr);
  Wipe(password);
  if (error != 0) {
    ReportSystemError(error);
    return false;
  }
  if (account.is_user) {
    if (const unsigned long refused = calls.GrantServiceLogonRight(account.name)) {
      WarnNotApplied(setup, "ServiceAccount (the right to log on as a service)", refused);
    } else {
      ReportInfo(setup.logon_right_message, account.name);
    }
  }
  ApplyOptionalItems(setup, calls);
  return true;
}

}  // namespace stub
