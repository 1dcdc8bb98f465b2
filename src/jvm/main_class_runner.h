// Running the configured main class, and the two ways a service run asks the application to stop.
#pragma once

#include <string>
#include <vector>

namespace stub {

// Asked once everything is ready, just before main is entered: false keeps main from being entered.
using MainGate = bool (*)();

// Calls the main class's static main with args (or, when args is empty, the tokens of AppOptions).
// As a stopper the call runs on a newly attached thread. True when main returned without a pending
// Java exception, or when may_begin kept it from being entered; every failure has been reported.
bool RunMainClass(const std::vector<std::string>& args, bool as_stopper, MainGate may_begin = nullptr);

// Attaches the calling thread and calls System.exit(0); when that succeeds the process ends inside the
// call. False (reported) when the call could not be made or came back with an exception.
bool RequestJvmExit();

}  // namespace stub
