// Message delivery. The launch mode and the event source are read at every report because a service
// run switches to the event log after start-up, and several threads report without a lock.
#include "core/reporting.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <atomic>

#include "core/message_format.h"
#include "core/system_win.h"

namespace stub {
namespace {

std::atomic<LaunchMode> g_launch_mode{LaunchMode::kConsole};
std::atomic<void*> g_event_source{nullptr};
std::atomic<HANDLE> g_report_streams[2] = {{nullptr}, {nullptr}};  // output, error; null: the current ones

constexpr DWORD kInfoEventId = 0x40000001;
constexpr DWORD kErrorEventId = 0xC0000002;
constexpr UINT kInfoBoxStyle = MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND;  // 0x10040
constexpr UINT kErrorBoxStyle = MB_OK | MB_ICONERROR | MB_SETFOREGROUND;       // 0x10010

// One line, written at once so that the launcher's lines keep their place among the Java program's
// own. A console takes characters, so any text shows as it is; a file or a pipe gets UTF-8, the one
// encoding that carries every character and that a reader can tell by itself.
void WriteLine(bool is_error, const std::string& text) {
  const HANDLE kept = g_report_streams[is_error ? 1 : 0].load();
  const HANDLE stream = kept != nullptr ? kept : ::GetStdHandle(is_error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  const std::string line = text + "\r\n";
  DWORD mode = 0;
  DWORD written = 0;
  if (::GetConsoleMode(stream, &mode)) {
    const std::u16string characters = WideOf(line);
    ::WriteConsoleW(stream, Wide(characters), static_cast<DWORD>(characters.size()), &written, nullptr);
  } else {
    ::WriteFile(stream, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }
}

void WriteEvent(bool is_error, const std::string& text) {
  const std::u16string wide = WideOf(text);
  const wchar_t* strings[] = {Wide(wide)};
  ::ReportEventW(static_cast<HANDLE>(g_event_source.load()), is_error ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE,
                 0, is_error ? kErrorEventId : kInfoEventId, nullptr, 1, 0, strings, nullptr);
}

// The shell may hand the address to a handler that it activates through COM, which must therefore be
// initialised on the calling thread first.
void OpenAddress(const std::string& address) {
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  ::ShellExecuteW(nullptr, L"open", Wide(WideOf(address)), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace

void KeepReportStreams() {
  g_report_streams[0].store(::GetStdHandle(STD_OUTPUT_HANDLE));
  g_report_streams[1].store(::GetStdHandle(STD_ERROR_HANDLE));
}

void SetLaunchMode(LaunchMode mode) { g_launch_mode.store(mode); }
LaunchMode GetLaunchMode() { return g_launch_mode.load(); }
void SetEventSource(void* event_source) { g_event_source.store(event_source); }
void* GetEventSource() { return g_event_source.load(); }

void ReportText(bool is_error, const std::string& text) {
  switch (g_launch_mode.load()) {
    case LaunchMode::kConsole:
      WriteLine(is_error, text);
      break;
    case LaunchMode::kWindowed:
      ::MessageBoxW(nullptr, Wide(WideOf(text)), is_error ? L"Error" : L"Information",
                    is_error ? kErrorBoxStyle : kInfoBoxStyle);
      break;
    case LaunchMode::kService:
      WriteEvent(is_error, text);
      break;
  }
}

void ReportErrorWithAddress(const std::string& text, const std::string& address, const std::string& question) {
  if (address.empty()) return ReportText(true, text);
  switch (g_launch_mode.load()) {
    case LaunchMode::kConsole:
      WriteLine(true, text);
      WriteLine(true, address);
      break;
    case LaunchMode::kWindowed: {
      const std::string box = text + "\n\n" + FormatMessageText(question, {address});
      if (::MessageBoxW(nullptr, Wide(WideOf(box)), L"Error", MB_YESNO | MB_ICONERROR | MB_SETFOREGROUND) == IDYES) {
        OpenAddress(address);
      }
      break;
    }
    case LaunchMode::kService:
      WriteEvent(true, text + "\r\n" + address);
      break;
  }
}

void ReportSystemError(unsigned long code) { ReportText(true, SystemErrorText(code)); }

void ReportLastError() { ReportSystemError(::GetLastError()); }

}  // namespace stub
