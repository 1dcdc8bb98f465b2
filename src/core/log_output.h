// The launcher's log files. When it owns them (LauncherOwnsLogs), the process's standard output and
// error become pipes, one per distinct file, before any runtime binds them: the JVM's own output,
// System.out and System.err (left at the JVM's defaults, which write to those handles) and the C
// runtime's stdout and stderr all reach the files, in the order written. A writer thread per file
// drains its pipe into the file, rolls it, and never stops draining, so that a file that cannot be
// written never blocks the application: the failure is reported once, the output dropped, and writing
// resumes when the file can be written again.
#pragma once

#include <string>

#include "core/log_roll.h"

namespace stub {

struct LogSettings {
  const std::string& out_file;           // SystemOutFile
  const std::string& err_file;           // SystemErrFile
  const std::string& working_directory;  // relative file names resolve against it
  LogRollSettings roll;                  // LogRollBytes, LogKeep
  const std::string& write_failed_message;
};

// Replaces the standard handles and the C runtime's descriptors 1 and 2 by the pipes of the files the
// launcher owns; has_console false for a service or the windowed launcher. Call once, early, before
// any other C runtime is loaded. True when the launcher owns the streams now.
bool TakeOverStandardStreams(const LogSettings& settings, bool has_console);

// Whether the launcher owns that standard stream.
bool OwnsStandardStream(bool is_error);

// Puts the pipes back as the standard handles after something (AllocConsole) replaced them.
void ReclaimStandardStreams();

// Opens the files (rolling or emptying them) and starts the writers; once, and only when owned.
void StartLogWriters();

// Returns once everything written to the owned streams so far is in the files, or after a bounded
// wait when a file cannot take it.
void FlushLogs();

}  // namespace stub
