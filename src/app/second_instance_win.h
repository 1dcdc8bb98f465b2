// A second start of the windowed launcher that hands its arguments to the running instance instead of
// being refused. The running instance keeps a message-only window named after its single-instance
// mutex; a second start finds it on its own desktop, so only the same session reaches it, and sends
// the arguments with WM_COPYDATA. The running instance calls the configured method with them on a
// thread of its own attached to the JVM, and brings its window to the front.
#pragma once

#include <string>
#include <vector>

#include "jvm/main_class_runner.h"

namespace stub {

// In the second start: hands args to the running instance of the application whose single-instance
// mutex has this name, and lets that instance take the foreground. True when it took them; false
// when the arguments are more than a command line holds or no instance answered within a few
// seconds (one still starting has until then to open its window).
bool HandToRunningInstance(const std::string& instance_name, const std::vector<std::string>& args);

// In the running instance, once it holds the mutex: opens the window on a thread of its own, which
// takes arguments from then on and keeps them until the JVM exists.
void StartSecondInstanceListener(const std::string& instance_name, const MethodReference& method);

// The JVM exists: the listener calls the method, attached for each call, with every argument list that has
// come and comes, one at a time, in the order they came. While a call runs it answers no one.
void OpenSecondInstanceListener();

}  // namespace stub
