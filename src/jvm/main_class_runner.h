// Running the configured main class, and the two ways a service run asks the application to stop.
#pragma once

#include <string>
#include <vector>

namespace stub {

// Calls the main class's static main with args (or, when args is empty, the tokens of AppOptions).
// As a stopper the call runs on a newly attached thread. True when main returned without a pending
// Java exception; every failure has been reported.
bool RunMainClass(const std::vector<std::string>& args, bool as_stopper);

// Attaches the calling thread and calls System.exit(0); when that succeeds the process ends inside the
// call. False (reported) when the call could not be made or came back with an exception.
bool RequestJvmExit();

}  // namespace stub
