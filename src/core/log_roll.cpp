// Log rolling arithmetic, apart from the files themselves.
#include "core/log_roll.h"

#include "core/text.h"

namespace stub {

bool LauncherOwnsLogs(const std::string& out_file, const std::string& err_file, bool same_file,
                      const LogRollSettings& roll, bool has_console) {
  if (out_file.empty() && err_file.empty()) return false;
  return roll.roll_bytes > 0 || roll.keep > 0 || same_file || !has_console;
}

std::string RolledLogName(const std::string& name, int index) {
  return name + "." + DecimalText(static_cast<unsigned long>(index));
}

std::vector<LogRollStep> LogRollSteps(const std::string& name, int keep) {
  if (keep < 1) keep = 1;
  std::vector<LogRollStep> steps;
  steps.push_back({RolledLogName(name, keep), std::string()});
  for (int index = keep - 1; index >= 1; --index) {
    steps.push_back({RolledLogName(name, index), RolledLogName(name, index + 1)});
  }
  steps.push_back({name, RolledLogName(name, 1)});
  return steps;
}

LogChunkSplit SplitLogChunk(std::string_view chunk, std::uint64_t file_size, std::uint64_t roll_bytes) {
  if (roll_bytes == 0 || file_size + chunk.size() < roll_bytes) return {chunk.size(), false};
  const std::size_t from = file_size >= roll_bytes ? 0 : static_cast<std::size_t>(roll_bytes - file_size - 1);
  const std::size_t line_end = chunk.find('\n', from);
  if (line_end != std::string_view::npos) return {line_end + 1, true};
  return {chunk.size(), file_size + chunk.size() >= 2 * roll_bytes};
}

}  // namespace stub
