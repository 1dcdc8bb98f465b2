// The two process paths the launcher reads, each without a length limit, so that a deep directory is
// never cut into the path of a different one.
#pragma once

#include <string>

namespace stub {

// The executable's full path; empty, with the thread's last error set, when it cannot be read.
std::string ExecutablePath();

// The current directory; empty, with the thread's last error set, when it cannot be read.
std::string CurrentDirectory();

}  // namespace stub
