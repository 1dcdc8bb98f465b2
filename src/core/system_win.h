// The launcher's edge to the Win32 system services it shares between modules: text in UTF-8 on this
// side, wide (UTF-16) calls on the other, every length-reporting call read through one growing
// buffer. Every other module that calls Win32 does so in a file named *_win.cpp; everything else is
// portable and tested natively.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace stub {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wide characters are UTF-16 code units");

// A UTF-16 text as the wide calls take it, and the other way round.
inline const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
std::u16string WideOf(const std::string& utf8);
std::string Utf8Of(const wchar_t* wide, std::size_t length);
std::string Utf8Of(const wchar_t* wide);

// Reads a text through a call that writes at most `capacity` units into `buffer` and returns the
// length written, or, when the buffer is too small, a length of `capacity` or more (the size it
// needs, or the capacity itself for calls that only truncate). Grows and retries until the text
// fits; "" (with the last error kept) when the call returns 0.
template <typename Call>
std::string ReadGrowing(Call call) {
  std::u16string buffer(MAX_PATH, u'\0');
  for (;;) {
    const DWORD capacity = static_cast<DWORD>(buffer.size());
    const DWORD length = call(reinterpret_cast<wchar_t*>(&buffer[0]), capacity);
    if (length < capacity) return Utf8Of(reinterpret_cast<const wchar_t*>(buffer.data()), length);
    buffer.resize(length > capacity ? length + 1 : 2 * capacity);
  }
}

// The executable's full path; empty, with the last error set, when it cannot be read.
std::string ExecutablePath();

// The current directory; empty, with the last error set, when it cannot be read.
std::string CurrentDirectory();
bool SetCurrentDirectoryTo(const std::string& path);

// The path made absolute against the current directory; unchanged when that fails.
std::string FullPath(const std::string& path);

// The 8.3 form of an existing path; nullopt when the volume keeps no short names for it.
std::optional<std::string> ShortPath(const std::string& path);

// A process environment variable (name compared without regard to case); "" when unset or empty.
std::string EnvironmentValue(const std::string& name);

// Sets (or, with nullptr, removes) a variable of the process environment.
bool SetEnvironmentValue(const std::string& name, const std::string* value);

// The file attributes, or INVALID_FILE_ATTRIBUTES with the last error set.
DWORD FileAttributes(const std::string& path);
bool IsDirectory(const std::string& path);
bool IsExistingFile(const std::string& path);

// Up to `limit` bytes from the start of a file (at `offset`); nullopt when it cannot be opened or read.
std::optional<std::string> ReadFileBytes(const std::string& path, std::size_t limit, unsigned long offset = 0);

// UTF-8 of a text in the process's ANSI code page (legacy files).
std::string Utf8OfAnsi(std::string_view ansi);

// The text in the process's ANSI code page, the encoding the JVM decodes its options with; nullopt
// when the code page cannot carry every character.
std::optional<std::string> AnsiOf(const std::string& utf8);

// The system's text for a Win32 error code, without its trailing line break; "System error <code>."
// when the system has none.
std::string SystemErrorText(unsigned long code);

}  // namespace stub
