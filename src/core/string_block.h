// String-table resource blocks, read by the launcher (its configuration) and by the configuration tool
// (the launcher it edits) through this one decoder. A block holds sixteen strings, each a 16-bit
// length followed by that many UTF-16 code units; string ID n lives in block n / 16 + 1 at index
// n % 16. The launcher reads its strings this way instead of through the user-interface library's
// LoadStringA, which would make the console build load that library (and, under some systems,
// initialise a whole windowing layer) only to read text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace stub {

inline constexpr unsigned kStringsPerBlock = 16;

// The block (the resource's name) and the index inside it of a string ID.
constexpr std::uint16_t StringBlockId(int string_id) { return static_cast<std::uint16_t>(string_id / 16 + 1); }
constexpr unsigned StringBlockIndex(int string_id) { return static_cast<unsigned>(string_id % 16); }

// Reads the string that starts at offset into text and moves offset past it; false, with offset and
// text unspecified, when the block of size bytes ends inside the string.
bool ReadBlockString(const void* block, std::size_t size, std::size_t& offset, std::u16string& text);

// String `index` (0 to 15) of the block, or an empty string when the block ends before it.
std::u16string StringFromBlock(const void* block, std::size_t size, unsigned index);

}  // namespace stub
