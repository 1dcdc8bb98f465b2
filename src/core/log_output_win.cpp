// The log pipes and their writers. Each pipe's reading end is overlapped, so that its writer can tell,
// while a read is pending, that everything written so far has reached the file (FlushLogs).
#include "core/log_output.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string_view>

#include "core/handle_win.h"
#include "core/reporting.h"
#include "core/system_win.h"
#include "core/text.h"

namespace stub {
namespace {

constexpr DWORD kChunkBytes = 1024 * 1024;
constexpr DWORD kPipeBytes = 1024 * 1024;
constexpr ULONGLONG kRetryMillis = 1000;
constexpr DWORD kFlushMillis = 10000;

struct LogSink {
  std::string path;
  ScopedHandle read_end;
  HANDLE write_end = INVALID_HANDLE_VALUE;  // the standard handle: never closed
  ScopedHandle file;
  std::uint64_t size = 0;
  ULONGLONG retry_at = 0;
  bool reported = false;
  ScopedHandle flush_request;  // auto-reset
  ScopedHandle flushed;        // auto-reset
};

struct LogState {
  const LogSettings* settings = nullptr;
  LogSink sinks[2];
  int sink_count = 0;
  int stream_sink[2] = {-1, -1};  // output, error
  bool started = false;
  SRWLOCK flush_lock = SRWLOCK_INIT;
};

// Never destroyed: the writers run until the process ends.
LogState& Logs() {
  static LogState* const state = new LogState;
  return *state;
}

// A relative name is taken against the working directory, where the JVM's own file stream would
// have opened it.
std::string ResolveLogPath(const std::string& name, const std::string& working_directory) {
  if (name.empty() || IsFullyQualifiedPath(name) || name[0] == '\\' || name[0] == '/') return FullPath(name);
  const std::string base = working_directory.empty() ? CurrentDirectory() : FullPath(working_directory);
  return FullPath(JoinPath(base, name.c_str()));
}

bool CreateLogPipe(LogSink& sink, int number) {
  const std::u16string name = WideOf("\\\\.\\pipe\\stub-log-" + DecimalText(::GetCurrentProcessId()) + "-" +
                                     DecimalText(static_cast<unsigned long>(number)));
  sink.read_end.reset(::CreateNamedPipeW(
      Wide(name), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0, kPipeBytes, 0, nullptr));
  if (!sink.read_end) return false;
  // Inheritable, as standard handles are: a child process started with them writes to the log too.
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  sink.write_end = ::CreateFileW(Wide(name), GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  sink.flush_request.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  sink.flushed.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  return sink.write_end != INVALID_HANDLE_VALUE && sink.flush_request && sink.flushed;
}

// The C runtime's descriptor too, for what is written through stdout and stderr.
void ReplaceStream(bool is_error, HANDLE write_end) {
  HANDLE copy = nullptr;
  if (::DuplicateHandle(::GetCurrentProcess(), write_end, ::GetCurrentProcess(), &copy, 0, TRUE,
                        DUPLICATE_SAME_ACCESS)) {
    const int temporary = ::_open_osfhandle(reinterpret_cast<intptr_t>(copy), _O_WRONLY | _O_BINARY);
    if (temporary >= 0) {
      ::_dup2(temporary, is_error ? 2 : 1);
      ::_close(temporary);
    } else {
      ::CloseHandle(copy);
    }
  }
  ::SetStdHandle(is_error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE, write_end);
}

DWORD WINAPI ReportFailureThread(void* path) {
  const std::string* name = static_cast<std::string*>(path);
  ReportError(Logs().settings->write_failed_message, *name);
  delete name;
  return 0;
}

// On a thread of its own: a message box must not keep the writer from draining its pipe.
void ReportFailureOnce(LogSink& sink) {
  if (sink.reported) return;
  sink.reported = true;
  std::string* path = new std::string(sink.path);
  const ScopedHandle thread(::CreateThread(nullptr, 0, ReportFailureThread, path, 0, nullptr));
  if (!thread) delete path;
}

void Fail(LogSink& sink) {
  sink.file.reset();
  sink.retry_at = ::GetTickCount64() + kRetryMillis;
  ReportFailureOnce(sink);
}

bool OpenLogFile(LogSink& sink, DWORD disposition) {
  sink.file.reset(::CreateFileW(Wide(WideOf(sink.path)), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size = {};
  if (!sink.file || !::GetFileSizeEx(sink.file.get(), &size)) {
    Fail(sink);
    return false;
  }
  sink.size = static_cast<std::uint64_t>(size.QuadPart);
  return true;
}

// A step whose file is missing is no failure: fewer files exist than are kept.
void Roll(LogSink& sink, int keep) {
  sink.file.reset();
  for (const LogRollStep& step : LogRollSteps(sink.path, keep)) {
    if (step.to.empty()) {
      ::DeleteFileW(Wide(WideOf(step.from)));
    } else {
      ::MoveFileExW(Wide(WideOf(step.from)), Wide(WideOf(step.to)), MOVEFILE_REPLACE_EXISTING);
    }
  }
  // A file another program holds open without sharing deletion stays; writing goes on at its end.
  OpenLogFile(sink, OPEN_ALWAYS);
}

void WriteToLog(LogSink& sink, std::string_view data) {
  const LogRollSettings& roll = Logs().settings->roll;
  while (!data.empty()) {
    if (!sink.file) {
      if (::GetTickCount64() < sink.retry_at || !OpenLogFile(sink, OPEN_ALWAYS)) return;  // dropped
      sink.reported = false;
    }
    const LogChunkSplit split = SplitLogChunk(data, sink.size, roll.roll_bytes);
    DWORD written = 0;
    if (!::WriteFile(sink.file.get(), data.data(), static_cast<DWORD>(split.bytes), &written, nullptr) ||
        written != split.bytes) {
      Fail(sink);
      return;
    }
    sink.size += written;
    data.remove_prefix(split.bytes);
    if (split.roll) Roll(sink, roll.keep);
  }
}

DWORD WINAPI WriterThread(void* parameter) {
  LogSink& sink = *static_cast<LogSink*>(parameter);
  std::string buffer(kChunkBytes, '\0');
  const ScopedHandle read_done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OVERLAPPED connect = {};
  connect.hEvent = read_done.get();
  ::ConnectNamedPipe(sink.read_end.get(), &connect);  // the writing end is connected already
  for (;;) {
    OVERLAPPED read = {};
    read.hEvent = read_done.get();
    DWORD got = 0;
    if (!::ReadFile(sink.read_end.get(), &buffer[0], kChunkBytes, &got, &read)) {
      if (::GetLastError() != ERROR_IO_PENDING) return 0;
      const HANDLE events[] = {read_done.get(), sink.flush_request.get()};
      // The read event comes first: data that has arrived is written before a flush is confirmed.
      DWORD which;
      while ((which = ::WaitForMultipleObjects(2, events, FALSE, INFINITE)) == WAIT_OBJECT_0 + 1) {
        ::SetEvent(sink.flushed.get());
      }
      if (which != WAIT_OBJECT_0) return 0;
      if (!::GetOverlappedResult(sink.read_end.get(), &read, &got, FALSE)) return 0;
    }
    WriteToLog(sink, std::string_view(buffer.data(), got));
  }
}

}  // namespace

bool TakeOverStandardStreams(const LogSettings& settings, bool has_console) {
  LogState& logs = Logs();
  logs.settings = &settings;
  const std::string paths[2] = {
      settings.out_file.empty() ? "" : ResolveLogPath(settings.out_file, settings.working_directory),
      settings.err_file.empty() ? "" : ResolveLogPath(settings.err_file, settings.working_directory)};
  const bool same = !paths[0].empty() && EqualsIgnoringAsciiCase(paths[0], paths[1]);
  if (!LauncherOwnsLogs(settings.out_file, settings.err_file, same, settings.roll, has_console)) return false;
  for (int stream = 0; stream < 2; ++stream) {
    if (paths[stream].empty()) continue;
    if (stream == 1 && same) {
      logs.stream_sink[1] = 0;
      continue;
    }
    LogSink& sink = logs.sinks[logs.sink_count];
    sink.path = paths[stream];
    if (!CreateLogPipe(sink, logs.sink_count)) return false;
    logs.stream_sink[stream] = logs.sink_count++;
  }
  // The launcher's own messages keep going where standard output and error went before.
  KeepReportStreams();
  ReclaimStandardStreams();
  return true;
}

bool OwnsStandardStream(bool is_error) { return Logs().stream_sink[is_error ? 1 : 0] >= 0; }

void ReclaimStandardStreams() {
  const LogState& logs = Logs();
  for (int stream = 0; stream < 2; ++stream) {
    if (logs.stream_sink[stream] >= 0) ReplaceStream(stream == 1, logs.sinks[logs.stream_sink[stream]].write_end);
  }
}

void StartLogWriters() {
  LogState& logs = Logs();
  if (logs.started) return;
  logs.started = true;
  for (int i = 0; i < logs.sink_count; ++i) {
    LogSink& sink = logs.sinks[i];
    // At start the file is rolled when files are kept, else emptied.
    if (logs.settings->roll.keep > 0 && IsExistingFile(sink.path)) {
      Roll(sink, logs.settings->roll.keep);
    } else {
      OpenLogFile(sink, CREATE_ALWAYS);
    }
    const ScopedHandle thread(::CreateThread(nullptr, 0, WriterThread, &sink, 0, nullptr));
  }
}

void FlushLogs() {
  LogState& logs = Logs();
  if (!logs.started) return;
  std::fflush(nullptr);
  ::AcquireSRWLockExclusive(&logs.flush_lock);
  for (int i = 0; i < logs.sink_count; ++i) {
    ::SetEvent(logs.sinks[i].flush_request.get());
    ::WaitForSingleObject(logs.sinks[i].flushed.get(), kFlushMillis);
  }
  ::ReleaseSRWLockExclusive(&logs.flush_lock);
}

}  // namespace stub
