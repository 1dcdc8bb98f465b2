// The service runtime. Threads: the main thread sits in the dispatcher and receives the controls;
// ServiceMain runs on a thread of the platform; ServiceWorker hosts the Java application; each stop
// or shutdown control starts one StopRequester and one StopWatchdog. They share only the values of
// the anonymous namespace below, each an atomic, and take no lock.
//
// Handle lifetime: the stop event and the event source are never closed while the service runs.
// After ServiceMain returns, a watchdog or a late worker may still signal or report in the moments
// before the process ends; both handles therefore stay open until the process ends and the system
// releases them. Only the dispatcher's failure path, where no other thread exists, deregisters its
// event source.
#include "service/service_runtime.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "core/launch_config.h"
#include "core/message_format.h"
#include "core/reporting.h"
#include "core/tokenizer.h"
#include "core/win32_handle.h"
#include "jvm/jvm_host.h"
#include "jvm/main_class_runner.h"
#include "service/service_rules.h"

namespace stub {
namespace {

// Where the worker's virtual machine is, so that a stop request neither runs ahead of its creation
// nor calls into it once it has been destroyed.
enum JvmPhase : int { kJvmCreating, kJvmRunning, kJvmGone };

std::atomic<std::uint32_t> g_state{kServiceStopped};
std::atomic<SERVICE_STATUS_HANDLE> g_status_handle{nullptr};
std::atomic<HANDLE> g_stop_event{nullptr};         // auto-reset; ServiceMain is its only waiter
std::atomic<HANDLE> g_jvm_settled_event{nullptr};  // manual-reset; set once creation has ended
std::atomic<int> g_jvm_phase{kJvmCreating};
std::atomic<bool> g_outcome{false};

void ReportCurrentStatus() {
  const ServiceStatusRecord record = StatusRecordFor(g_state.load());
  SERVICE_STATUS status = {record.service_type,
                           record.current_state,
                           record.controls_accepted,
                           record.win32_exit_code,
                           record.service_specific_exit_code,
                           record.check_point,
                           record.wait_hint};
  ::SetServiceStatus(g_status_handle.load(), &status);
}

void ReportState(std::uint32_t state) {
  g_state.store(state);
  ReportCurrentStatus();
}

void SignalEvent(const std::atomic<HANDLE>& event) {
  const HANDLE handle = event.load();
  if (handle != nullptr) ::SetEvent(handle);
}

// The thread runs on after its handle is closed here; nobody waits for it by handle.
bool StartThread(LPTHREAD_START_ROUTINE procedure) {
  ScopedHandle thread(::CreateThread(nullptr, 0, procedure, nullptr, 0, nullptr));
  if (!thread) {
    ReportLastError();
    return false;
  }
  return true;
}

void RunJavaApplication() {
  const LaunchConfiguration& config = LaunchConfig();
  g_outcome.store(true);
  const bool created = CreateJvm(/*with_service_console=*/true);
  g_outcome.store(created);
  g_jvm_phase.store(created ? kJvmRunning : kJvmGone);
  SignalEvent(g_jvm_settled_event);
  if (!created) return;
  g_outcome.store(RunMainClass(TokenizeArguments(config.ServiceStartArguments, false), /*as_stopper=*/false));
  g_jvm_phase.store(kJvmGone);
  DestroyJvm();
}

DWORD WINAPI ServiceWorker(LPVOID) {
  RunJavaApplication();
  SignalEvent(g_stop_event);
  return 0;
}

void RequestApplicationStop() {
  const LaunchConfiguration& config = LaunchConfig();
  // A stop that arrives while the worker is still creating the virtual machine waits for it; with no
  // virtual machine (never created, or already torn down) there is nothing to ask and the worker's
  // own result stands.
  const HANDLE settled = g_jvm_settled_event.load();
  if (settled != nullptr) ::WaitForSingleObject(settled, INFINITE);
  if (g_jvm_phase.load() != kJvmRunning) return;
  if (config.ServiceStopWithSystemExit) {
    g_outcome.store(RequestJvmExit());
    return;
  }
  g_outcome.store(RunMainClass(TokenizeArguments(config.ServiceStopArguments, false), /*as_stopper=*/true));
}

DWORD WINAPI StopRequester(LPVOID) {
  RequestApplicationStop();
  return 0;
}

DWORD WINAPI StopWatchdog(LPVOID) {
  // Formatted before the sleep: when the watchdog wakes the process may already be ending and the
  // configuration no longer there to read.
  const LaunchConfiguration& config = LaunchConfig();
  const std::string timeout_text = FormatMessageText(config.ServiceStopTimeoutMessage, {config.ServiceName});
  ::Sleep(kStopWatchdogMs);
  ReportText(true, timeout_text);
  SignalEvent(g_stop_event);
  return 0;
}

void WINAPI ServiceControlHandler(DWORD control) {
  if (!IsStopControl(control) || g_state.load() == kServiceStopped) {
    ReportCurrentStatus();
    return;
  }
  ReportState(kServiceStopPending);
  StartThread(StopRequester);
  const bool watchdog_started = StartThread(StopWatchdog);
  // Without a watchdog nothing would bound the stop, so the service ends at once.
  if (!watchdog_started) SignalEvent(g_stop_event);
}

// Both events are created before the service reports running, so that a stop control arriving at
// once finds them. They are never closed (see the top of the file).
bool CreateServiceEvents() {
  const HANDLE stop_event = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (stop_event == nullptr) {
    ReportLastError();
    return false;
  }
  g_stop_event.store(stop_event);
  const HANDLE settled_event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (settled_event == nullptr) {
    ReportLastError();
    return false;
  }
  g_jvm_settled_event.store(settled_event);
  return true;
}

void RunService() {
  const LaunchConfiguration& config = LaunchConfig();
  // Never deregistered while the process lives (see the top of the file).
  const HANDLE event_source = ::RegisterEventSourceA(nullptr, config.ServiceName.c_str());
  if (event_source == nullptr) return;
  SetEventSource(event_source);

  g_status_handle.store(::RegisterServiceCtrlHandlerA(config.ServiceName.c_str(), ServiceControlHandler));
  ReportInfo(config.ServiceStartedMessage, config.ServiceName);
  ReportState(kServiceRunning);
  if (CreateServiceEvents() && StartThread(ServiceWorker)) ::WaitForSingleObject(g_stop_event.load(), INFINITE);

  if (g_outcome.load()) {
    ReportInfo(config.ServiceStoppedMessage, config.ServiceName);
  } else {
    ReportError(config.ServiceStartFailedMessage, config.ServiceName);
  }
  ReportState(kServiceStopped);
}

void WINAPI ServiceMain(DWORD, LPSTR*) { RunService(); }

}  // namespace

void StartServiceDispatcher() {
  SetLaunchMode(kServiceMode);
  std::string service_name = LaunchConfig().ServiceName;
  SERVICE_TABLE_ENTRYA table[] = {{service_name.data(), ServiceMain}, {nullptr, nullptr}};
  if (::StartServiceCtrlDispatcherA(table)) return;
  const DWORD error = ::GetLastError();

  ScopedEventSource event_source(::RegisterEventSourceA(nullptr, service_name.c_str()));
  if (!event_source) return;
  SetEventSource(event_source.get());
  ReportText(true, SystemErrorText(error));
  SetEventSource(nullptr);
}

}  // namespace stub
