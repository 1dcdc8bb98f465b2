// The service runtime. Threads: the main thread sits in the dispatcher and receives the controls;
// ServiceMain runs on a thread of the platform; ServiceWorker hosts the Java application; a stop or
// shutdown control starts one StopWatchdog and, while the application can still be asked, one
// StopRequester; with ServiceStopWithSystemExit the JVM may call ServiceExitHook on a thread of its
// own. They share only the values of the anonymous namespace below, each an atomic or safe for
// concurrent use, and take no lock.
//
// A stop reaches the application from the moment its main has begun until its JVM is gone, that is
// also while DestroyJavaVM waits for the threads that main left running; a stop that comes earlier
// keeps main from beginning at all (ApplicationLifecycle).
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

#include "core/message_format.h"
#include "core/reporting.h"
#include "core/tokenizer.h"
#include "core/handle_win.h"
#include "core/log_output.h"
#include "core/system_win.h"
#include "jvm/jvm_host.h"
#include "service/service_rules.h"

namespace stub {
namespace {

// The portable rules carry the platform's numbers without its header; they must stay the same numbers.
static_assert(kServiceStopped == SERVICE_STOPPED && kServiceStopPending == SERVICE_STOP_PENDING &&
                  kServiceRunning == SERVICE_RUNNING,
              "service states");
static_assert(kControlStop == SERVICE_CONTROL_STOP && kControlShutdown == SERVICE_CONTROL_SHUTDOWN, "stop controls");
static_assert(sizeof(ServiceStatusRecord) == sizeof(SERVICE_STATUS), "SERVICE_STATUS, field for field");

// Set once, before the dispatcher starts any thread, and never destroyed: a late worker or watchdog may
// still read it while the process ends.
const ServiceSettings* g_settings = nullptr;
std::atomic<std::uint32_t> g_state{kServiceStopped};
std::atomic<SERVICE_STATUS_HANDLE> g_status_handle{nullptr};
std::atomic<HANDLE> g_stop_event{nullptr};  // auto-reset; ServiceMain is its only waiter
std::atomic<bool> g_outcome{false};
std::atomic<bool> g_service_ended{false};
ApplicationLifecycle g_lifecycle;

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

void SignalStopEvent() {
  const HANDLE handle = g_stop_event.load();
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

// Logs how the service ended and reports it stopped. Once only: ServiceMain after its wait and the
// exit hook may both get here.
void EndService() {
  if (g_service_ended.exchange(true)) return;
  FlushLogs();
  const ServiceSettings& settings = *g_settings;
  if (g_outcome.load()) {
    ReportInfo(settings.stopped_message, settings.name);
  } else {
    ReportError(settings.start_failed_message, settings.name);
  }
  ReportState(kServiceStopped);
}

// Called by the JVM once System.exit has run the application's shutdown hooks, on a thread of the
// JVM's own that must not use JNI any more. Status 0, the stop request's (or the application's own
// orderly exit), ends the service as any stop does, so that the manager records a stop rather than
// an unexpected end. Any other status is the application failing on its own: the JVM ends the
// process with it, and the manager sees the failure (and applies its recovery actions) as before.
void JNICALL ServiceExitHook(jint status) {
  if (status != 0) {
    FlushLogs();
    return;
  }
  EndService();
  ::ExitProcess(0);
}

bool BeginApplicationMain() { return g_lifecycle.BeginMain(); }

void RunJavaApplication() {
  const ServiceSettings& settings = *g_settings;
  g_outcome.store(true);
  const bool created = CreateJvm(settings.jvm, /*with_service_console=*/true,
                                 settings.stop_with_system_exit ? ServiceExitHook : nullptr);
  g_outcome.store(created);
  if (!created) {
    g_lifecycle.EndJvm();
    return;
  }
  g_outcome.store(
      RunMainClass(TokenizeArguments(settings.start_arguments, false), /*as_stopper=*/false, BeginApplicationMain));
  ShutDownJvm();
  // A stop requester that came in while the JVM was ending may still be inside the runtime; the
  // library then stays loaded until the process ends, moments later.
  if (g_lifecycle.EndJvm()) UnloadJvm();
}

DWORD WINAPI ServiceWorker(LPVOID) {
  RunJavaApplication();
  SignalStopEvent();
  return 0;
}

void AskApplicationToStop() {
  const ServiceSettings& settings = *g_settings;
  if (settings.stop_with_system_exit) {
    g_outcome.store(RequestJvmExit());
    return;
  }
  g_outcome.store(RunMainClass(TokenizeArguments(settings.stop_arguments, false), /*as_stopper=*/true));
}

DWORD WINAPI StopRequester(LPVOID) {
  if (g_lifecycle.EnterJvm()) {
    AskApplicationToStop();
    g_lifecycle.LeaveJvm();
  }
  return 0;
}

DWORD WINAPI StopWatchdog(LPVOID) {
  // Formatted before the sleep: when the watchdog wakes the process may already be ending.
  const std::string timeout_text = FormatMessageText(g_settings->stop_timeout_message, {g_settings->name});
  ::Sleep(kStopWatchdogMs);
  ReportText(true, timeout_text);
  SignalStopEvent();
  return 0;
}

void WINAPI ServiceControlHandler(DWORD control) {
  if (!IsStopControl(control) || g_state.load() == kServiceStopped) {
    ReportCurrentStatus();
    return;
  }
  ReportState(kServiceStopPending);
  // Routed here, before the manager hears back, so that a stop that comes while the JVM is being
  // created keeps the application's main from beginning.
  if (g_lifecycle.RouteStop() == StopRoute::kDeliver) StartThread(StopRequester);
  // Without a watchdog nothing would bound the stop, so the service ends at once.
  if (!StartThread(StopWatchdog)) SignalStopEvent();
}

// Never closed (see the top of the file).
bool CreateStopEvent() {
  const HANDLE stop_event = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (stop_event == nullptr) {
    ReportLastError();
    return false;
  }
  g_stop_event.store(stop_event);
  return true;
}

void RunService() {
  const ServiceSettings& settings = *g_settings;
  // Never deregistered while the process lives (see the top of the file).
  const HANDLE event_source = ::RegisterEventSourceW(nullptr, Wide(WideOf(settings.name)));
  if (event_source == nullptr) return;
  SetEventSource(event_source);

  g_status_handle.store(::RegisterServiceCtrlHandlerW(Wide(WideOf(settings.name)), ServiceControlHandler));
  ReportInfo(settings.started_message, settings.name);
  // Before the running state is reported: from then on the manager passes stop controls on, and each
  // needs the event.
  const bool ready = CreateStopEvent();
  ReportState(kServiceRunning);
  if (ready && StartThread(ServiceWorker)) ::WaitForSingleObject(g_stop_event.load(), INFINITE);
  EndService();
}

void WINAPI ServiceMain(DWORD, LPWSTR*) { RunService(); }

}  // namespace

void StartServiceDispatcher(const ServiceSettings& settings) {
  g_settings = new ServiceSettings(settings);
  SetLaunchMode(LaunchMode::kService);
  std::u16string service_name = WideOf(settings.name);
  SERVICE_TABLE_ENTRYW table[] = {{reinterpret_cast<wchar_t*>(&service_name[0]), ServiceMain}, {nullptr, nullptr}};
  if (::StartServiceCtrlDispatcherW(table)) return;
  const DWORD error = ::GetLastError();

  ScopedEventSource event_source(::RegisterEventSourceW(nullptr, Wide(service_name)));
  if (!event_source) return;
  SetEventSource(event_source.get());
  ReportSystemError(error);
  SetEventSource(nullptr);
}

}  // namespace stub
