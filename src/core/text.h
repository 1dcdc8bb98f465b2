// Text encodings. Inside the launcher every text is UTF-8 in a std::string; the system speaks UTF-16
// and Java's invocation interface modified UTF-8, so the conversions live here, portable and tested
// natively. UTF-8 is read and written in its generalised form that also carries unpaired surrogates
// (as Windows file names may hold them), so that a name converted there and back is the same name.
#pragma once

#include <string>
#include <string_view>

namespace stub {

// UTF-16 of UTF-8 text. A byte sequence that is no UTF-8 becomes U+FFFD, one per byte.
std::u16string Utf16FromUtf8(std::string_view utf8);

// UTF-8 of UTF-16 text; an unpaired surrogate is written as its own three-byte sequence.
std::string Utf8FromUtf16(std::u16string_view utf16);

// True when the bytes are well-formed UTF-8 (shortest forms, no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// The modified UTF-8 that JNI takes for class, method and signature names: NUL as two bytes and each
// character above U+FFFF as its two surrogates.
std::string ModifiedUtf8FromUtf8(std::string_view utf8);

// How a text file's bytes are encoded: by their byte-order mark, else UTF-8 when they are valid UTF-8;
// otherwise the file predates Unicode and its legacy code page must decide (kLegacy).
enum class TextEncoding { kUtf8, kUtf16Le, kUtf16Be, kLegacy };

struct DecodedText {
  TextEncoding encoding;
  std::string utf8;  // the text without its byte-order mark; empty for kLegacy
};
DecodedText DecodeTextFile(std::string_view bytes);

// The decimal digits of a number.
std::string DecimalText(unsigned long value);

// The one path join: folder + '\\' + name.
std::string JoinPath(const std::string& folder, const char* name);

// The one rule for a path that names its place on its own: a drive, a colon and a separator ("C:\x"),
// or two leading separators (a UNC or device path). Anything else ("x", "\x", "C:x") depends on the
// current directory or drive and is made full by the system before it is kept.
bool IsFullyQualifiedPath(std::string_view path);

// The one trim: text without its leading and trailing spaces and tabs.
std::string_view Trim(std::string_view text);

// The one ASCII case fold: letters A-Z become a-z, every other byte stays.
char AsciiLower(char c);
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);
bool EndsWithIgnoringAsciiCase(std::string_view text, std::string_view suffix);

}  // namespace stub
