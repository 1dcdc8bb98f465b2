// UTF-8 and UTF-16 conversions written out by hand: the system's converters either replace unpaired
// surrogates (losing a file name) or differ between versions, and these run natively in the tests.
#include "core/text.h"

#include <cstdint>

namespace stub {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }
bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Decodes one character at pos, advancing pos. Shortest forms only; a surrogate is accepted when
// allow_surrogates (the generalised form); anything else yields nothing and advances one byte.
bool DecodeUtf8(std::string_view text, std::size_t& pos, char32_t& c, bool allow_surrogates) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) {
    c = lead;
    ++pos;
    return true;
  }
  std::size_t length = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, minimum = 0x80, c = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, minimum = 0x800, c = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, minimum = 0x10000, c = lead & 0x07;
  } else {
    ++pos;
    return false;
  }
  if (pos + length > text.size()) {
    ++pos;
    return false;
  }
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[pos + i]);
    if (!IsContinuation(byte)) {
      ++pos;
      return false;
    }
    c = (c << 6) | (byte & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || (IsSurrogate(c) && !allow_surrogates)) {
    ++pos;
    return false;
  }
  pos += length;
  return true;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 | (c >> 10));
    out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
  }
}


}  // namespace

std::u16string Utf16FromUtf8(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    char32_t c = 0;
    AppendUtf16(out, DecodeUtf8(utf8, pos, c, true) ? c : kReplacement);
  }
  return out;
}

std::string Utf8FromUtf16(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t c = utf16[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (utf16[++i] - 0xDC00);
    }
    AppendUtf8(out, c);
  }
  return out;
}

bool IsValidUtf8(std::string_view bytes) {
  for (std::size_t pos = 0; pos < bytes.size();) {
    char32_t c = 0;
    if (!DecodeUtf8(bytes, pos, c, false)) return false;
  }
  return true;
}

std::string ModifiedUtf8FromUtf8(std::string_view utf8) {
  std::string out;
  for (char16_t unit : Utf16FromUtf8(utf8)) {
    if (unit == 0) {
      out += "\xC0\x80";
    } else {
      AppendUtf8(out, unit);  // each surrogate of a pair as its own three bytes
    }
  }
  return out;
}

DecodedText DecodeTextFile(std::string_view bytes) {
  const auto starts_with = [&bytes](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
  if (starts_with("\xEF\xBB\xBF")) return {TextEncoding::kUtf8, std::string(bytes.substr(3))};
  const bool little = starts_with("\xFF\xFE");
  if (little || starts_with("\xFE\xFF")) {
    std::u16string units;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      const auto first = static_cast<unsigned char>(bytes[i]);
      const auto second = static_cast<unsigned char>(bytes[i + 1]);
      units += static_cast<char16_t>(little ? first | (second << 8) : (first << 8) | second);
    }
    return {little ? TextEncoding::kUtf16Le : TextEncoding::kUtf16Be, Utf8FromUtf16(units)};
  }
  if (IsValidUtf8(bytes)) return {TextEncoding::kUtf8, std::string(bytes)};
  return {TextEncoding::kLegacy, std::string()};
}

std::string DecimalText(unsigned long value) {
  char digits[24];
  char* first = digits + sizeof digits;
  do {
    *--first = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  return std::string(first, digits + sizeof digits);
}

std::string JoinPath(const std::string& folder, const char* name) {
  std::string path = folder;
  path += '\\';
  path += name;
  return path;
}

bool IsFullyQualifiedPath(std::string_view path) {
  const auto separator = [](char c) { return c == '\\' || c == '/'; };
  if (path.size() >= 2 && separator(path[0]) && separator(path[1])) return true;
  return path.size() >= 3 && path[1] == ':' && separator(path[2]);
}

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

bool EndsWithIgnoringAsciiCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && EqualsIgnoringAsciiCase(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace stub
