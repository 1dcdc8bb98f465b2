// String-table blocks. A block holds sixteen length-prefixed UTF-16 strings; string ID n lives in
// block n / 16 + 1 at index n % 16. The launcher reads its settings from these blocks as UTF-16 and
// works in UTF-8, so the tool stores every configuration text as the UTF-16 of its UTF-8.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "byte_order.h"

namespace stubconfig {

using StringBlock = std::array<std::u16string, 16>;

inline constexpr std::uint16_t StringBlockId(int string_id) { return static_cast<std::uint16_t>(string_id / 16 + 1); }
inline constexpr std::size_t StringBlockIndex(int string_id) { return static_cast<std::size_t>(string_id % 16); }

// Reads the sixteen strings of a block. Returns false when the data ends inside a string; bytes
// after the sixteenth string are ignored, as the loader ignores them.
bool DecodeStringBlock(const Bytes& data, StringBlock* block);

Bytes EncodeStringBlock(const StringBlock& block);

}  // namespace stubconfig
