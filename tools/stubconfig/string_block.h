// String-table blocks and the ANSI text they carry. A block holds sixteen length-prefixed UTF-16
// strings; string ID n lives in block n / 16 + 1 at index n % 16. The launcher reads the strings with
// LoadStringA, so the tool treats configuration text as Windows-1252 (the Western ANSI code page),
// which is what a Western Windows and Wine's default locale convert it back to.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "byte_order.h"

namespace stubconfig {

using StringBlock = std::array<std::u16string, 16>;

inline constexpr std::uint16_t StringBlockId(int string_id) { return static_cast<std::uint16_t>(string_id / 16 + 1); }
inline constexpr std::size_t StringBlockIndex(int string_id) { return static_cast<std::size_t>(string_id % 16); }

// Reads the sixteen strings of a block. Returns false when the data ends inside a string; bytes
// after the sixteenth string are ignored, as the loader ignores them.
bool DecodeStringBlock(const Bytes& data, StringBlock* block);

Bytes EncodeStringBlock(const StringBlock& block);

// Windows-1252 to UTF-16. The five bytes 1252 leaves undefined map to the control characters of the
// same value, as Windows' own conversion does, so every byte survives the round trip.
std::u16string AnsiToUtf16(std::string_view ansi);

// UTF-16 to Windows-1252. Characters without a Windows-1252 form become '?'; returns false when that
// happened.
bool Utf16ToAnsi(std::u16string_view text, std::string* ansi);

}  // namespace stubconfig
