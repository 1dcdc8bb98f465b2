// String-table blocks are read bounds-checked: a malformed block yields no string past its end.
#include "core/string_block.h"

namespace stub {

bool ReadBlockString(const void* block, std::size_t size, std::size_t& offset, std::u16string& text) {
  const auto* bytes = static_cast<const unsigned char*>(block);
  const auto unit_at = [bytes](std::size_t at) { return static_cast<char16_t>(bytes[at] | (bytes[at + 1] << 8)); };
  if (offset > size || size - offset < 2) return false;
  const std::size_t length = unit_at(offset);
  offset += 2;
  if ((size - offset) / 2 < length) return false;
  text.assign(length, u'\0');
  for (std::size_t k = 0; k < length; ++k) text[k] = unit_at(offset + 2 * k);
  offset += 2 * length;
  return true;
}

std::u16string StringFromBlock(const void* block, std::size_t size, unsigned index) {
  std::u16string text;
  std::size_t offset = 0;
  for (unsigned i = 0; i <= index && i < kStringsPerBlock; ++i) {
    if (!ReadBlockString(block, size, offset, text)) return std::u16string();
  }
  return index < kStringsPerBlock ? text : std::u16string();
}

}  // namespace stub
