// The rules of the launcher's log files (SystemOutFile, SystemErrFile): when the launcher takes the
// standard streams over, how a file is rolled (name -> name.1 -> ... -> name.N, the oldest deleted),
// and where inside a chunk of output a roll falls, so that each file ends at a line end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace stub {

struct LogRollSettings {
  std::uint64_t roll_bytes = 0;  // LogRollBytes; 0: never by size
  int keep = 0;                  // LogKeep; 0: the file is emptied at start
};

// Whether the launcher owns the log files and feeds them from the standard streams, rather than
// handing Java a file stream of its own: when rolling is asked for, when both streams name one file
// (two Java file streams over one file would overwrite each other), or when there is no console, so
// that what the JVM writes itself reaches the files too. Without a log file, never.
bool LauncherOwnsLogs(const std::string& out_file, const std::string& err_file, bool same_file,
                      const LogRollSettings& roll, bool has_console);

// "<name>.<index>".
std::string RolledLogName(const std::string& name, int index);

// One step of a roll: `from` renamed to `to`, or, with `to` empty, `from` deleted.
struct LogRollStep {
  std::string from;
  std::string to;
};

// The steps that roll `name` keeping `keep` rolled files (at least one), in order: the oldest
// deleted, each other moved up by one, `name` itself becoming name.1.
std::vector<LogRollStep> LogRollSteps(const std::string& name, int keep);

// How much of a chunk goes into the current file, and whether the file is rolled after it: the roll
// comes at the first line end at which the file has reached roll_bytes. A file that has passed twice
// roll_bytes without a line end is rolled at the end of the chunk, so that output without line ends
// still rolls.
struct LogChunkSplit {
  std::size_t bytes;
  bool roll;
};
LogChunkSplit SplitLogChunk(std::string_view chunk, std::uint64_t file_size, std::uint64_t roll_bytes);

}  // namespace stub
