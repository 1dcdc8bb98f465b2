// String-table blocks are read bounds-checked: a malformed block yields empty strings, never a read
// past its end.
#include "core/string_block.h"

namespace stub {
namespace {

char16_t CodeUnitAt(const unsigned char* bytes, std::size_t offset) {
  return static_cast<char16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

}  // namespace

std::u16string StringFromBlock(const void* block, std::size_t size, unsigned index) {
  const auto* bytes = static_cast<const unsigned char*>(block);
  std::size_t offset = 0;
  for (unsigned i = 0; i < 16; ++i) {
    if (offset + 2 > size) return std::u16string();
    const std::size_t length = CodeUnitAt(bytes, offset);
    offset += 2;
    if (offset + 2 * length > size) return std::u16string();
    if (i == index) {
      std::u16string text(length, u'\0');
      for (std::size_t k = 0; k < length; ++k) text[k] = CodeUnitAt(bytes, offset + 2 * k);
      return text;
    }
    offset += 2 * length;
  }
  return std::u16string();
}

}  // namespace stub
