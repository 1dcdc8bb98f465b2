// The Environment setting: NAME=value lines that the launcher applies to its own environment before
// anything reads it, so that the runtime search, %NAME% in other settings and the JVM all see them.
#pragma once

#include <string>
#include <string_view>

namespace stub {

// The process environment as the assignments need it (names compare without regard to case): a
// variable's value, "" when unset; setting a value, or with nullptr removing the variable.
using EnvironmentGetter = std::string (*)(const std::string& name);
using EnvironmentSetter = bool (*)(const std::string& name, const std::string* value);

// Applies the lines of `lines` (separated by LF; a CR before it is ignored) in order. Each value's
// %NAME% references expand against the environment as the lines before it left it (%JAVA_HOME% too:
// no runtime has been chosen yet); a value that expands to nothing removes the variable. A line
// without '=' or with nothing before it is skipped.
void ApplyEnvironment(std::string_view lines, EnvironmentGetter get, EnvironmentSetter set);

}  // namespace stub
