// The start-up sequence shared by both entry points: launch mode, working directory, configuration,
// service switches, single instance (or the hand-off to the running one) and splash (windowed build),
// then the Java application.
#pragma once

#include <string>
#include <vector>

namespace stub {

// Runs the whole launch and returns the process exit code: 0 after a normal return from main, a
// handled service switch or a refused second instance; -1 when the JVM cannot be created or main
// cannot be run to a normal return. args[0] stands for the program and is never passed to main.
int RunLauncher(bool windowed, const std::vector<std::string>& args);

}  // namespace stub
