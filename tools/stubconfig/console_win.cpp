// On Windows a console gets characters (WriteConsoleW); a file or pipe gets the UTF-8 bytes, with
// the C runtime's text mode turning line ends into CR LF as Windows tools write them.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "console.h"
#include "core/text.h"

namespace stubconfig {

bool WriteText(Stream stream, std::string_view utf8) {
  std::FILE* file = stream == Stream::kOutput ? stdout : stderr;
  HANDLE handle = ::GetStdHandle(stream == Stream::kOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode)) {
    std::fflush(file);
    const std::u16string units = stub::Utf16FromUtf8(utf8);
    const std::wstring text(units.begin(), units.end());
    // Older consoles refuse very long writes, so the text goes in pieces.
    constexpr std::size_t kPiece = 8192;
    for (std::size_t at = 0, length = 0; at < text.size(); at += length) {
      length = std::min(kPiece, text.size() - at);
      if (length > 1 && text[at + length - 1] >= 0xD800 && text[at + length - 1] <= 0xDBFF) --length;  // keep pairs
      DWORD written = 0;
      if (!::WriteConsoleW(handle, text.data() + at, static_cast<DWORD>(length), &written, nullptr)) return false;
    }
    return true;
  }
  return std::fwrite(utf8.data(), 1, utf8.size(), file) == utf8.size() && std::fflush(file) == 0;
}

}  // namespace stubconfig
