// Registry access through the wide calls. A value is read with its real size, so a text stored
// without its terminator is never read past its end.
#include "core/registry_win.h"

#include "core/system_win.h"

namespace stub {
namespace {

LSTATUS Kept(LSTATUS status) {
  if (status != ERROR_SUCCESS) ::SetLastError(static_cast<DWORD>(status));
  return status;
}

}  // namespace

LSTATUS RegKey::Open(HKEY root, const std::string& path, REGSAM access) {
  return Kept(::RegOpenKeyExW(root, Wide(WideOf(path)), 0, access, key_.put()));
}

LSTATUS RegKey::Create(HKEY root, const std::string& path, REGSAM access) {
  return Kept(::RegCreateKeyExW(root, Wide(WideOf(path)), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                                key_.put(), nullptr));
}

std::optional<std::string> RegKey::ReadString(const char* name, std::size_t max_units) const {
  const std::u16string wide_name = WideOf(name);
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExW(key_.get(), Wide(wide_name), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || size > max_units * sizeof(wchar_t)) {
    return std::nullopt;
  }
  std::u16string data(size / sizeof(wchar_t) + 1, u'\0');
  if (::RegQueryValueExW(key_.get(), Wide(wide_name), nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  // The text ends at its first terminator, or with the data.
  std::size_t length = 0;
  while (length < size / sizeof(wchar_t) && data[length] != u'\0') ++length;
  if (length >= max_units) return std::nullopt;  // no room left for the terminator
  return Utf8Of(Wide(data), length);
}

std::vector<std::string> RegKey::SubkeyNames() const {
  std::vector<std::string> names;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];  // the longest key name the registry allows, with its terminator
    DWORD length = sizeof name / sizeof name[0];
    if (::RegEnumKeyExW(key_.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.push_back(Utf8Of(name, length));
  }
  return names;
}

LSTATUS RegKey::WriteString(const char* name, const std::string& text, DWORD type) const {
  const std::u16string wide = WideOf(text);
  return Kept(::RegSetValueExW(key_.get(), Wide(WideOf(name)), 0, type, reinterpret_cast<const BYTE*>(Wide(wide)),
                               static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))));
}

LSTATUS RegKey::WriteDword(const char* name, DWORD value) const {
  return Kept(::RegSetValueExW(key_.get(), Wide(WideOf(name)), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                               sizeof value));
}

}  // namespace stub
