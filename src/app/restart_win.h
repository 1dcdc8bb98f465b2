// Starting the launcher again when the application asks for it with its RestartExitCode: the same
// program, arguments and starting directory, in a new process, once this one has let go of its
// single-instance mutex.
#pragma once

#include <string>

#include "core/handle_win.h"
#include "jvm/jvm_host.h"

namespace stub {

// Takes the restart times that a restarting launcher handed to this process out of the environment;
// "" for a process that was not started as a restart.
std::string TakeRestartTimes();

// What a restart needs, kept for the life of the process: the status that asks for it, the directory
// the launcher was started from, the restart times this process was handed, the message for a refused
// restart, and the single-instance mutex to release first (null when none is held).
struct RestartPlan {
  int status;
  const std::string& start_directory;
  const std::string& previous_times;
  const std::string& limit_message;
  ScopedHandle* instance_mutex;
};

// Keeps the plan and returns the exit hook that carries it out: on the plan's status the JVM's exit
// ends in a restart and exit code 0, or, past the limit, in the limit message and the status itself;
// any other status ends the process as the JVM would.
JvmExitHook ArmRestart(const RestartPlan& plan);

}  // namespace stub
