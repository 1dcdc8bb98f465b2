// Delivery of every user-visible message by launch mode: a message box in the windowed build, a line
// on standard output or standard error in the console build, an event-log record in a service run.
// Callers never choose the channel. Delivery failures are not detected. Texts are UTF-8 and may hold
// any character.
#pragma once

#include <string>
#include <string_view>

#include "core/message_format.h"

namespace stub {

enum LaunchMode : int {
  kConsoleMode = 0,
  kWindowedMode = 1,
  kServiceMode = 2,
};

// The mode in force decides every later delivery; it may change between two reports.
void SetLaunchMode(int mode);
int GetLaunchMode();

// The event-log source used in service mode; null until the service registers it.
void SetEventSource(void* event_source);
void* GetEventSource();

// Delivers one finished text by the current launch mode; a mode other than 0, 1, 2 delivers nothing.
// On a console the text is written as characters; to a file or a pipe as UTF-8 bytes.
void ReportText(bool is_error, const std::string& text);

// Formats a configured message ("%s" takes the arguments in order) and delivers it.
template <typename... Args>
void ReportInfo(std::string_view format, const Args&... args) {
  ReportText(false, FormatMessageText(format, {std::string_view(args)...}));
}
template <typename... Args>
void ReportError(std::string_view format, const Args&... args) {
  ReportText(true, FormatMessageText(format, {std::string_view(args)...}));
}

// Delivers, as an error, the system's text for a Win32 error code (or "System error <code>." when the
// system has none); ReportLastError for the calling thread's last error.
void ReportSystemError(unsigned long code);
void ReportLastError();

}  // namespace stub
