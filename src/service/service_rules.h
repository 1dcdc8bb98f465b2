// The decisions of service mode that need no system call: which switch a command line names, the
// limits that installation texts must respect, the texts installation composes, the status record
// reported for each service state, and how a stop request and the Java application's life meet.
// Kept apart from the Win32 code so that they are tested natively.
#pragma once

#include <atomic>
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
ServiceSwitchKind RecognizeServiceSwitch(const std::vector<std::string>& args, const std::string& install_switch,
                                         const std::string& uninstall_switch, const std::string& service_switch);

// The longest texts installation accepts: the event-log key path (55-character prefix plus the name)
// and the quoted command line (two quotes and a space around path and switch) each fit 271 characters.
inline constexpr std::size_t kMaxServiceNameLength = 216;
inline constexpr std::size_t kMaxServiceCommandPartsLength = 268;

// "" when the name, the executable path and the switch fit the limits above; otherwise the error text
// that names the limit exceeded. Nothing longer than the limits is ever composed from them.
std::string InstallLimitViolation(const std::string& service_name, const std::string& executable_path,
                                  const std::string& service_switch);

// The installed command line: the executable path in double quotes, one space, the switch.
std::string ComposeServiceCommandLine(const std::string& executable_path, const std::string& service_switch);

// Registry key paths below HKEY_LOCAL_MACHINE: the event-log source and the service's own key.
std::string EventLogSourceKeyPath(const std::string& service_name);
std::string ServiceKeyPath(const std::string& service_name);

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
inline constexpr std::uint32_t kControlPreshutdown = 0xF;
inline constexpr std::uint32_t kAcceptStop = 1;
inline constexpr std::uint32_t kAcceptShutdown = 4;
inline constexpr std::uint32_t kAcceptPreshutdown = 0x100;
inline constexpr std::uint32_t kErrorServiceSpecific = 1066;  // ERROR_SERVICE_SPECIFIC_ERROR

// The stop watchdog's time for ServiceStopSeconds (0 or less: 30 seconds). Windows is asked to wait that
// long and a margin more, so that a stop that hangs is ended by the watchdog, which says so, not by
// Windows.
std::uint32_t StopTimeMs(int stop_seconds);
inline constexpr std::uint32_t kStopMarginMs = 10000;
// How often a stop in progress tells the manager that it is still progressing.
inline constexpr std::uint32_t kStopProgressMs = 1000;

// How a service run ended; the value is the service-specific exit code reported with
// ERROR_SERVICE_SPECIFIC_ERROR (a clean end reports no error at all).
enum class ServiceEnd : std::uint32_t {
  kClean = 0,             // main returned, or the application stopped on request or exited with 0
  kJvmNotCreated = 1,     // no runtime, or the JVM could not be created
  kMainFailed = 2,        // main could not be run or ended with an exception
  kExitStatus = 3,        // the application called System.exit with a non-zero status
  kStopTimedOut = 4,      // the application did not stop within the stop time and was ended
  kStopNotDelivered = 5,  // the stop request itself failed (stop arguments' main or System.exit)
};

// The service's status as reported to the manager, and how it changes. Not thread-safe: the caller
// serialises every call and reports each record returned.
class ServiceStatusBook {
 public:
  // The controls accepted: stop and pre-shutdown, or stop and shutdown where Windows refuses the
  // pre-shutdown control (it offers it since Windows Vista).
  explicit ServiceStatusBook(bool preshutdown_offered = true);

  ServiceStatusRecord Running();
  // The first stop control: stop pending, check point 1, a wait hint covering the stop time. False for
  // later stop controls and after the end, which change nothing.
  bool BeginStop(std::uint32_t stop_ms, ServiceStatusRecord& record);
  // While the stop is pending: the next check point, the wait hint covering the time that remains.
  // False once the service has stopped, so that no late report follows the stopped state.
  bool Progress(std::uint32_t remaining_ms, ServiceStatusRecord& record);
  // Stopped, with the exit codes of end; the current record (unchanged) once already stopped.
  ServiceStatusRecord Stopped(ServiceEnd end);
  // The record last reported.
  const ServiceStatusRecord& Current() const { return record_; }

 private:
  ServiceStatusRecord record_;
};

// True for the controls that ask the service to end (stop, shutdown, pre-shutdown); any other control
// only has the current status reported again.
bool IsStopControl(std::uint32_t control);

// Where a stop control finds the Java application.
enum class StopRoute {
  kMainNotBegun,  // main had not begun and now never will; the worker takes the JVM down at once
  kDeliver,       // main has begun, and may have returned while the JVM waits for the application's
                  // threads: the application must be asked to stop
  kNoJvm,         // the JVM was never created, or is gone: there is nobody to ask
};

// How the service worker and the stop requests agree, without a lock, on whether a stop still has an
// application to reach and whether the runtime library may be unloaded. One object per service run;
// every member may be called from any thread.
class ApplicationLifecycle {
 public:
  // The worker, just before it enters main: true when main may begin; false when a stop came first,
  // and main then never begins.
  bool BeginMain();

  // The control handler, at every stop or shutdown control.
  StopRoute RouteStop();

  // A stop requester, before it calls into the JVM: true when it may, and LeaveJvm must then follow
  // once it is out again; false when the JVM is gone (or main never began).
  bool EnterJvm();
  void LeaveJvm();

  // The worker, once its JVM is gone (creation failed, or DestroyJavaVM returned). From now on
  // EnterJvm refuses; true when no stop requester is still inside the runtime, so that its library may
  // be unloaded.
  bool EndJvm();

 private:
  enum Phase : int { kCreating, kStoppedBeforeMain, kMainBegun, kGone };
  // Sequentially consistent on purpose: EnterJvm writes callers_ then reads phase_, EndJvm writes
  // phase_ then reads callers_, so at least one of the two sees the other.
  std::atomic<int> phase_{kCreating};
  std::atomic<int> callers_{0};
};

}  // namespace stub
