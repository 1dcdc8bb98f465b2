// The service runtime. Threads: the main thread sits in the dispatcher and receives the controls;
// ServiceMain runs on a thread of the platform; ServiceWorker hosts the Java application; the first stop,
// shutdown or pre-shutdown control starts one StopWatchdog, which also reports the stop's progress, and,
// while the application can still be asked, one StopRequester; the JVM calls ServiceExitHook on a thread
// of its own when the application calls System.exit. They share only the values of the anonymous
// namespace below, each an atomic or safe for concurrent use; the status record alone is kept under a
// lock, so that no report of progress can follow the stopped state.
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
static_assert(kControlStop == SERVICE_CONTROL_STOP && kControlShutdown == SERVICE_CONTROL_SHUTDOWN &&
                  kControlPreshutdown == SERVICE_CONTROL_PRESHUTDOWN,
              "stop controls");
static_assert(kAcceptStop == SERVICE_ACCEPT_STOP && kAcceptShutdown == SERVICE_ACCEPT_SHUTDOWN &&
                  kAcceptPreshutdown == SERVICE_ACCEPT_PRESHUTDOWN && kErrorServiceSpecific == ERROR_SERVICE_SPECIFIC_ERROR,
              "controls accepted, exit code");
static_assert(sizeof(ServiceStatusRecord) == sizeof(SERVICE_STATUS), "SERVICE_STATUS, field for field");

// Set once, before the dispatcher starts any thread, and never destroyed: a late worker or watchdog may
// still read it while the process ends.
const ServiceSettings* g_settings = nullptr;
SRWLOCK g_status_lock = SRWLOCK_INIT;
ServiceStatusBook g_status;  // under g_status_lock
std::atomic<SERVICE_STATUS_HANDLE> g_status_handle{nullptr};
std::atomic<HANDLE> g_stop_event{nullptr};  // auto-reset; ServiceMain is its only waiter
std::atomic<std::uint32_t> g_end{static_cast<std::uint32_t>(ServiceEnd::kClean)};
std::atomic<bool> g_service_ended{false};
ApplicationLifecycle g_lifecycle;

class StatusLock {
 public:
  StatusLock() { ::AcquireSRWLockExclusive(&g_status_lock); }
  ~StatusLock() { ::ReleaseSRWLockExclusive(&g_status_lock); }
  StatusLock(const StatusLock&) = delete;
  StatusLock& operator=(const StatusLock&) = delete;
};

// Under g_status_lock. A system before Windows Vista refuses the pre-shutdown control with
// ERROR_INVALID_PARAMETER; the service then takes the shutdown control instead.
void SendStatus(const ServiceStatusRecord& record) {
  SERVICE_STATUS status = {record.service_type,
                           record.current_state,
                           record.controls_accepted,
                           record.win32_exit_code,
                           record.service_specific_exit_code,
                           record.check_point,
                           record.wait_hint};
  if (::SetServiceStatus(g_status_handle.load(), &status) || ::GetLastError() != ERROR_INVALID_PARAMETER ||
      (record.controls_accepted & SERVICE_ACCEPT_PRESHUTDOWN) == 0) {
    return;
  }
  ServiceStatusBook fallback(/*preshutdown_offered=*/false);
  status.dwControlsAccepted = fallback.Current().controls_accepted;
  ::SetServiceStatus(g_status_handle.load(), &status);
  g_status = fallback;
  if (record.current_state == kServiceRunning) g_status.Running();
}

// The first cause of failure is the one reported; the watchdog's end overrides it, since the watchdog
// is what ended the process.
void RecordEnd(ServiceEnd end) {
  std::uint32_t expected = static_cast<std::uint32_t>(ServiceEnd::kClean);
  g_end.compare_exchange_strong(expected, static_cast<std::uint32_t>(end));
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

// Logs how the service ended and reports it stopped with that end's exit codes. Once only: ServiceMain
// after its wait and the exit hook may both get here.
void EndService() {
  if (g_service_ended.exchange(true)) return;
  FlushLogs();
  const ServiceSettings& settings = *g_settings;
  const auto end = static_cast<ServiceEnd>(g_end.load());
  switch (end) {
    case ServiceEnd::kClean:
      ReportInfo(settings.stopped_message, settings.name);
      break;
    case ServiceEnd::kJvmNotCreated:
      ReportError(settings.start_failed_message, settings.name);
      break;
    case ServiceEnd::kStopTimedOut:
      ReportError(settings.ended_after_timeout_message, settings.name);
      break;
    default:
      ReportError(settings.failed_message, settings.name);
      break;
  }
  const StatusLock lock;
  SendStatus(g_status.Stopped(end));
}

// Called by the JVM once System.exit has run the application's shutdown hooks, on a thread of the
// JVM's own that must not use JNI any more. The service reports its end itself, so that the manager
// records a stop (status 0: the stop request's, or the application's own orderly exit) or a failure
// with its code (any other status), and applies its recovery actions to the latter; the process then
// ends with the status, as the JVM would have ended it.
void JNICALL ServiceExitHook(jint status) {
  if (status != 0) RecordEnd(ServiceEnd::kExitStatus);
  EndService();
  ::ExitProcess(static_cast<UINT>(status));
}

bool BeginApplicationMain() { return g_lifecycle.BeginMain(); }

void RunJavaApplication() {
  const ServiceSettings& settings = *g_settings;
  if (!CreateJvm(settings.jvm, /*with_service_console=*/true, ServiceExitHook)) {
    RecordEnd(ServiceEnd::kJvmNotCreated);
    g_lifecycle.EndJvm();
    return;
  }
  if (!RunMainClass(TokenizeArguments(settings.start_arguments, false), /*as_stopper=*/false, BeginApplicationMain)) {
    RecordEnd(ServiceEnd::kMainFailed);
  }
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
  const bool asked = settings.stop_with_system_exit
                         ? RequestJvmExit()
                         : RunMainClass(TokenizeArguments(settings.stop_arguments, false), /*as_stopper=*/true);
  if (!asked) RecordEnd(ServiceEnd::kStopNotDelivered);
}

DWORD WINAPI StopRequester(LPVOID) {
  if (g_lifecycle.EnterJvm()) {
    AskApplicationToStop();
    g_lifecycle.LeaveJvm();
  }
  return 0;
}

// Bounds the stop by the stop time, and meanwhile tells the manager every second that the stop is
// progressing, so that Windows (also at shutdown, up to the pre-shutdown time) waits for it.
DWORD WINAPI StopWatchdog(LPVOID) {
  // Formatted before the wait: when the watchdog wakes the process may already be ending.
  const std::string timeout_text = FormatMessageText(g_settings->stop_timeout_message, {g_settings->name});
  const std::uint32_t stop_ms = StopTimeMs(g_settings->stop_seconds);
  for (std::uint32_t waited = 0; waited < stop_ms;) {
    const std::uint32_t step = stop_ms - waited < kStopProgressMs ? stop_ms - waited : kStopProgressMs;
    ::Sleep(step);
    waited += step;
    const StatusLock lock;
    ServiceStatusRecord record;
    if (!g_status.Progress(stop_ms - waited, record)) return 0;
    SendStatus(record);
  }
  g_end.store(static_cast<std::uint32_t>(ServiceEnd::kStopTimedOut));
  ReportText(true, timeout_text);
  SignalStopEvent();
  return 0;
}

// Only the first stop control starts the stop; later ones (a shutdown during a stop) have the status
// reported again, as any other control.
DWORD WINAPI ServiceControlHandler(DWORD control, DWORD, LPVOID, LPVOID) {
  ServiceStatusRecord record;
  bool begun = false;
  {
    const StatusLock lock;
    begun = IsStopControl(control) && g_status.BeginStop(StopTimeMs(g_settings->stop_seconds), record);
    SendStatus(begun ? record : g_status.Current());
  }
  if (!begun) return NO_ERROR;
  // Routed here, before the manager hears back, so that a stop that comes while the JVM is being
  // created keeps the application's main from beginning.
  if (g_lifecycle.RouteStop() == StopRoute::kDeliver) StartThread(StopRequester);
  // Without a watchdog nothing would bound the stop, so the service ends at once.
  if (!StartThread(StopWatchdog)) SignalStopEvent();
  return NO_ERROR;
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

  g_status_handle.store(
      ::RegisterServiceCtrlHandlerExW(Wide(WideOf(settings.name)), ServiceControlHandler, nullptr));
  ReportInfo(settings.started_message, settings.name);
  // Before the running state is reported: from then on the manager passes stop controls on, and each
  // needs the event.
  const bool ready = CreateStopEvent();
  {
    const StatusLock lock;
    SendStatus(g_status.Running());
  }
  if (!ready || !StartThread(ServiceWorker)) RecordEnd(ServiceEnd::kJvmNotCreated);
  else ::WaitForSingleObject(g_stop_event.load(), INFINITE);
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
