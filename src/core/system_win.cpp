// The shared Win32 edge: wide calls only, texts converted once, here.
#include "core/system_win.h"

#include "core/handle_win.h"
#include "core/message_format.h"
#include "core/text.h"

namespace stub {

void CloseKeepingLastError(void (*close)(void*), void* handle) {
  const DWORD last_error = ::GetLastError();
  close(handle);
  ::SetLastError(last_error);
}

std::u16string WideOf(const std::string& utf8) { return Utf16FromUtf8(utf8); }

std::string Utf8Of(const wchar_t* wide, std::size_t length) {
  return Utf8FromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(wide), length));
}

std::string Utf8Of(const wchar_t* wide) { return Utf8Of(wide, wide != nullptr ? ::wcslen(wide) : 0); }

std::string ExecutablePath() {
  return ReadGrowing([](wchar_t* buffer, DWORD capacity) { return ::GetModuleFileNameW(nullptr, buffer, capacity); });
}

std::string CurrentDirectory() {
  return ReadGrowing([](wchar_t* buffer, DWORD capacity) { return ::GetCurrentDirectoryW(capacity, buffer); });
}

bool SetCurrentDirectoryTo(const std::string& path) { return ::SetCurrentDirectoryW(Wide(WideOf(path))) != FALSE; }

std::string FullPath(const std::string& path) {
  const std::u16string wide = WideOf(path);
  std::string full = ReadGrowing(
      [&wide](wchar_t* buffer, DWORD capacity) { return ::GetFullPathNameW(Wide(wide), capacity, buffer, nullptr); });
  return full.empty() ? path : full;
}

std::optional<std::string> ShortPath(const std::string& path) {
  const std::u16string wide = WideOf(path);
  std::string short_path = ReadGrowing(
      [&wide](wchar_t* buffer, DWORD capacity) { return ::GetShortPathNameW(Wide(wide), buffer, capacity); });
  if (short_path.empty()) return std::nullopt;
  return short_path;
}

std::string EnvironmentValue(const std::string& name) {
  const std::u16string wide = WideOf(name);
  return ReadGrowing(
      [&wide](wchar_t* buffer, DWORD capacity) { return ::GetEnvironmentVariableW(Wide(wide), buffer, capacity); });
}

bool SetEnvironmentValue(const std::string& name, const std::string* value) {
  return ::SetEnvironmentVariableW(Wide(WideOf(name)), value != nullptr ? Wide(WideOf(*value)) : nullptr) != FALSE;
}

DWORD FileAttributes(const std::string& path) { return ::GetFileAttributesW(Wide(WideOf(path))); }

bool IsDirectory(const std::string& path) {
  const DWORD attributes = FileAttributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsExistingFile(const std::string& path) {
  const DWORD attributes = FileAttributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::optional<std::string> ReadFileBytes(const std::string& path, std::size_t limit, unsigned long offset) {
  const ScopedHandle file(::CreateFileW(Wide(WideOf(path)), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  std::string bytes(limit, '\0');
  OVERLAPPED at{};
  at.Offset = offset;
  DWORD read = 0;
  if (!::ReadFile(file.get(), &bytes[0], static_cast<DWORD>(limit), &read, &at)) return std::nullopt;
  bytes.resize(read);
  return bytes;
}

std::string Utf8OfAnsi(std::string_view ansi) {
  if (ansi.empty()) return std::string();
  const int length = static_cast<int>(ansi.size());
  const int units = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, nullptr, 0);
  std::u16string wide(static_cast<std::size_t>(units > 0 ? units : 0), u'\0');
  ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, reinterpret_cast<wchar_t*>(&wide[0]), units);
  return Utf8FromUtf16(wide);
}

std::optional<std::string> AnsiOf(const std::string& utf8) {
  // A system whose ANSI code page is UTF-8 takes the text as it is (and refuses the flags below).
  if (::GetACP() == CP_UTF8) return utf8;
  const std::u16string wide = WideOf(utf8);
  if (wide.empty()) return std::string();
  const int units = static_cast<int>(wide.size());
  // No best-fit mapping: an 'é' silently turned into 'e' would name another file.
  BOOL lossy = FALSE;
  const int length = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, Wide(wide), units, nullptr, 0, nullptr, &lossy);
  if (length <= 0 || lossy) return std::nullopt;
  std::string ansi(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, Wide(wide), units, &ansi[0], length, nullptr, nullptr);
  return ansi;
}

std::string SystemErrorText(unsigned long code) {
  wchar_t* text = nullptr;
  const DWORD length =
      ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                       nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&text), 0,
                       nullptr);
  if (length == 0) return FormatMessageText("System error %s.", {DecimalText(code)});
  std::string message = Utf8Of(text, length);
  ::LocalFree(text);
  // The system's texts end in a line break of their own; a report is one line, and the console adds
  // its own line end.
  while (!message.empty() && (message.back() == '\r' || message.back() == '\n')) message.pop_back();
  return message;
}

}  // namespace stub
