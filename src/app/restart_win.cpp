// The restart itself. The exit hook runs on a thread of the JVM's own, after the application's
// shutdown hooks, and must not use JNI; the main thread is still inside the JVM, so the plan it
// handed over (and the mutex it refers to) is still alive.
#include "app/restart_win.h"

#include <windows.h>

#include "app/restart_rules.h"
#include "core/log_output.h"
#include "core/reporting.h"
#include "core/system_win.h"

namespace stub {
namespace {

const RestartPlan* g_plan = nullptr;

// A standard handle of this process, made inheritable so that the new process writes where this one did.
HANDLE InheritedStdHandle(DWORD which) {
  const HANDLE handle = ::GetStdHandle(which);
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
    ::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  }
  return handle;
}

// The same executable with the same command line, started where this launcher was started (not in
// the folder it moved to), sharing its console and its standard handles.
bool StartAgain(const std::string& times) {
  ::SetEnvironmentVariableW(Wide(WideOf(kRestartTimesVariable)), Wide(WideOf(times)));
  std::u16string command_line(reinterpret_cast<const char16_t*>(::GetCommandLineW()));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = InheritedStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = InheritedStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = InheritedStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(Wide(WideOf(ExecutablePath())), reinterpret_cast<wchar_t*>(&command_line[0]), nullptr,
                        nullptr, TRUE, 0, nullptr, Wide(WideOf(g_plan->start_directory)), &startup, &process)) {
    return false;
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return true;
}

void JNICALL RestartExitHook(jint status) {
  // Before the process ends or its successor rolls the log files at its start.
  FlushLogs();
  const RestartPlan& plan = *g_plan;
  if (status != plan.status) return;
  const std::optional<std::string> times = NextRestartTimes(plan.previous_times, ::GetTickCount64());
  if (!times) {
    ReportError(plan.limit_message);
    ::ExitProcess(static_cast<UINT>(status));
  }
  // Released first: the new process must find no instance running.
  if (plan.instance_mutex != nullptr) plan.instance_mutex->reset();
  if (!StartAgain(*times)) {
    ReportLastError();
    ::ExitProcess(static_cast<UINT>(status));
  }
  ::ExitProcess(0);
}

}  // namespace

std::string TakeRestartTimes() {
  const std::string times = EnvironmentValue(kRestartTimesVariable);
  if (!times.empty()) ::SetEnvironmentVariableW(Wide(WideOf(kRestartTimesVariable)), nullptr);
  return times;
}

JvmExitHook ArmRestart(const RestartPlan& plan) {
  g_plan = &plan;
  return RestartExitHook;
}

}  // namespace stub
