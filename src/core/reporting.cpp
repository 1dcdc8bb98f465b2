// Message delivery. The launch mode and the event source are read at every report because a service
// run switches to the event log after start-up, and several threads report without a lock.
#include "core/reporting.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

namespace stub {
namespace {

std::atomic<int> g_launch_mode{kConsoleMode};
std::atomic<void*> g_event_source{nullptr};

constexpr DWORD kInfoEventId = 0x40000001;
constexpr DWORD kErrorEventId = 0xC0000002;
constexpr UINT kInfoBoxStyle = MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND;  // 0x10040
constexpr UINT kErrorBoxStyle = MB_OK | MB_ICONERROR | MB_SETFOREGROUND;       // 0x10010

void ShowInfoBox(const std::string& text) { ::MessageBoxA(nullptr, text.c_str(), "Information", kInfoBoxStyle); }

void ShowErrorBox(const std::string& text) { ::MessageBoxA(nullptr, text.c_str(), "Error", kErrorBoxStyle); }

void WriteEvent(bool is_error, const std::string& text) {
  const char* strings[] = {text.c_str()};
  ::ReportEventA(static_cast<HANDLE>(g_event_source.load()), is_error ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE,
                 0, is_error ? kErrorEventId : kInfoEventId, nullptr, 1, 0, strings, nullptr);
}

}  // namespace

void SetLaunchMode(int mode) { g_launch_mode.store(mode); }
int GetLaunchMode() { return g_launch_mode.load(); }
void SetEventSource(void* event_source) { g_event_source.store(event_source); }
void* GetEventSource() { return g_event_source.load(); }

void ReportText(bool is_error, const std::string& text) {
  switch (g_launch_mode.load()) {
    case kConsoleMode: {
      // The text and one line feed, flushed at once so that the launcher's lines keep their place
      // among the Java program's own. Written without printf: the C++ runtime here replaces the
      // printf family with a much larger one of its own.
      FILE* stream = is_error ? stderr : stdout;
      std::fputs(text.c_str(), stream);
      std::fputc('\n', stream);
      std::fflush(stream);
      break;
    }
    case kWindowedMode:
      is_error ? ShowErrorBox(text) : ShowInfoBox(text);
      break;
    case kServiceMode:
      WriteEvent(is_error, text);
      break;
    default:
      break;
  }
}

std::string SystemErrorText(unsigned long code) {
  std::string text(kMaxMessageLength + 1, '\0');
  const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text.data(),
                                        static_cast<DWORD>(text.size()), nullptr);
  if (length == 0) return FormatMessageText("System error %s.", {std::to_string(code)});
  // The system's texts end in a line break of their own; a report is one line, and the console
  // adds its own line end (a second one would also reach the stream as CR CR LF).
  DWORD end = length;
  while (end > 0 && (text[end - 1] == '\r' || text[end - 1] == '\n')) --end;
  text.resize(end);
  return text;
}

void ReportLastError() {
  const DWORD code = ::GetLastError();
  ReportText(true, SystemErrorText(code));
}

}  // namespace stub
