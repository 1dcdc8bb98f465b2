// The one registry key class of the launcher: open or create a key in a given view, read and write
// string and DWORD values, enumerate subkeys. Texts are UTF-8; the key is closed with its owner.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/handle_win.h"

namespace stub {

class RegKey {
 public:
  RegKey() = default;

  // Opens an existing key with the given access (KEY_WOW64_* flags choose the view). On failure the
  // key is empty and the status is returned (and set as the thread's last error).
  LSTATUS Open(HKEY root, const std::string& path, REGSAM access);
  // Creates the key, or opens it when it exists, non-volatile, with the given access.
  LSTATUS Create(HKEY root, const std::string& path, REGSAM access);

  explicit operator bool() const { return static_cast<bool>(key_); }

  // A REG_SZ or REG_EXPAND_SZ value (not expanded) of at most max_units UTF-16 units with its
  // terminator; nullopt when missing, of another type or longer.
  std::optional<std::string> ReadString(const char* name, std::size_t max_units) const;
  // The subkey names in enumeration order, up to the first that cannot be enumerated.
  std::vector<std::string> SubkeyNames() const;

  // Each returns the status, also set as the thread's last error so that a report can name it.
  LSTATUS WriteString(const char* name, const std::string& text, DWORD type = REG_SZ) const;
  LSTATUS WriteDword(const char* name, DWORD value) const;

 private:
  ScopedRegKey key_;
};

}  // namespace stub
