// Text output of the tool. Everything it prints is UTF-8; on Windows, text for a console window is
// written as characters instead, since a console shows bytes in its own code page.
#pragma once

#include <string_view>

namespace stubconfig {

enum class Stream { kOutput, kError };

// Writes `utf8` to standard output or standard error; returns false when that failed.
bool WriteText(Stream stream, std::string_view utf8);

}  // namespace stubconfig
