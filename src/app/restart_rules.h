// When the application may have its launcher start it again. A restart is a new process, so the
// count of recent restarts travels to it in an environment variable: the tick counts (milliseconds
// since the system started, the same in every process) of the restarts so far, oldest first.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace stub {

// The variable that carries the restart times to the restarted launcher, which takes it out of its
// own environment at once, so that no process the application starts inherits it.
inline constexpr char kRestartTimesVariable[] = "STUB_RESTART_TIMES";
inline constexpr int kMaxRestarts = 5;
inline constexpr std::uint64_t kRestartWindowMs = 60000;

// One restart asked for at `now`, after the restarts that `previous` carries (decimal tick counts
// separated by commas; anything else in it is ignored). nullopt when kMaxRestarts of them fall within
// the kRestartWindowMs before now; else the text for the new process: those within the window and now.
std::optional<std::string> NextRestartTimes(std::string_view previous, std::uint64_t now);

}  // namespace stub
