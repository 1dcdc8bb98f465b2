// The application user model ID that groups and pins a process's windows on the taskbar: Windows'
// rule for it, and setting it through a seam, since the shell call behind it is all platform (and
// Wine only stubs it) while what it is handed is ours to get right.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace stub {

// Windows takes at most 128 characters (UTF-16 code units) and no spaces.
inline constexpr std::size_t kMaxAppUserModelIdLength = 128;

// "" when the ID follows Windows' rule, else what breaks it.
std::string AppUserModelIdProblem(std::string_view id);

// The shell call that sets the process's explicit application user model ID.
class ShellIdentity {
 public:
  virtual ~ShellIdentity() = default;
  virtual void SetExplicitAppUserModelId(const std::u16string& id) = 0;
};

// Hands a configured ID to the shell, as UTF-16; nothing for an empty ID or one that breaks the rule
// (which the configuration tool refuses to write). True when the ID was handed over.
bool ApplyAppUserModelId(const std::string& id, ShellIdentity& shell);

}  // namespace stub
