// The start-up sequence shared by both entry points: launch mode, working directory, configuration,
// service switches, single instance (or the hand-off to the running one) and splash (windowed build),
// then the Java application.
#pragma once

#include <string>
#include <vector>

#include "core/launch_config.h"
#include "jvm/jvm_host.h"

namespace stub {

// What follows the service switches: the Java application run to its end, and the exit code.
using ApplicationRun = int (*)(const LaunchConfiguration& config, const JvmSettings& jvm,
                               const std::vector<std::string>& main_args);

// The windowed build's run: the single-instance rule, the hand-off to a running instance and the
// splash before the JVM. Named by the windowed entry alone, so that the console build carries none of it.
int RunWindowedApplication(const LaunchConfiguration& config, const JvmSettings& jvm,
                           const std::vector<std::string>& main_args);

// Runs the whole launch and returns the process exit code: 0 after a normal return from main, a
// handled service switch or a refused second instance; -1 when the JVM cannot be created or main
// cannot be run to a normal return. args[0] stands for the program and is never passed to main.
// windowed_run is RunWindowedApplication in the windowed build and null in the console build.
int RunLauncher(ApplicationRun windowed_run, const std::vector<std::string>& args);

}  // namespace stub
