// Delivery of every user-visible message by launch mode: a message box in the windowed build, a line
// on standard output or standard error in the console build, an event-log record in a service run.
// Callers never choose the channel. Delivery failures are not detected. Texts are UTF-8 and may hold
// any character.
#pragma once

#include <string>

namespace stub {

enum class LaunchMode { kConsole, kWindowed, kService };

// The mode in force decides every later delivery; it may change between two reports.
void SetLaunchMode(LaunchMode mode);
LaunchMode GetLaunchMode();

// The event-log source used in service mode; null until the service registers it.
void SetEventSource(void* event_source);
void* GetEventSource();

// From now on console reports go to the standard output and error as they are now, also after the
// log files have taken those handles over.
void KeepReportStreams();

// Delivers one finished text by the current launch mode. On a console the text is written as characters; to a file or a pipe as UTF-8 bytes.
void ReportText(bool is_error, const std::string& text);

// Formats a configured message ("%s" takes the argument, where there is one) and delivers it.
void ReportInfo(const std::string& format, const std::string& arg);
void ReportError(const std::string& format);
void ReportError(const std::string& format, const std::string& arg);

// Delivers an error that an address can help with. The windowed build asks in the same box whether to
// open the address (the question a format whose "%s" takes it) and opens it on yes; a console gets the
// address on a line of its own after the text; the event log, one record with both. Without an
// address, ReportText(true, text).
void ReportErrorWithAddress(const std::string& text, const std::string& address, const std::string& question);

// Delivers, as an error, the system's text for a Win32 error code (or "System error <code>." when the
// system has none); ReportLastError for the calling thread's last error.
void ReportSystemError(unsigned long code);
void ReportLastError();

}  // namespace stub
