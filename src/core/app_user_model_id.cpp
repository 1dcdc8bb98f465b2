// The ID's rule. Windows refuses an ID that breaks it, so a configuration that did would leave the
// taskbar guessing again without a word; the configuration tool says so instead.
#include "core/app_user_model_id.h"

#include "core/text.h"

namespace stub {

std::string AppUserModelIdProblem(std::string_view id) {
  if (id.find(' ') != std::string_view::npos) return "may not contain spaces (Windows refuses such an ID)";
  if (Utf16FromUtf8(id).size() > kMaxAppUserModelIdLength) {
    return "is longer than the 128 characters Windows takes";
  }
  return {};
}

bool ApplyAppUserModelId(const std::string& id, ShellIdentity& shell) {
  if (id.empty() || !AppUserModelIdProblem(id).empty()) return false;
  shell.SetExplicitAppUserModelId(Utf16FromUtf8(id));
  return true;
}

}  // namespace stub
