// String blocks: sixteen strings, each a 16-bit length and that many UTF-16 code units.
#include "string_block.h"

namespace stubconfig {

bool DecodeStringBlock(const Bytes& data, StringBlock* block) {
  std::size_t offset = 0;
  for (std::u16string& text : *block) {
    if (!InBounds(data.size(), offset, 2)) return false;
    const std::size_t length = GetU16(data, offset);
    offset += 2;
    if (!InBounds(data.size(), offset, length * 2)) return false;
    text.clear();
    for (std::size_t i = 0; i < length; ++i) text.push_back(static_cast<char16_t>(GetU16(data, offset + 2 * i)));
    offset += length * 2;
  }
  return true;
}

Bytes EncodeStringBlock(const StringBlock& block) {
  Bytes data;
  for (const std::u16string& text : block) {
    AppendU16(data, static_cast<std::uint16_t>(text.size()));
    for (char16_t c : text) AppendU16(data, static_cast<std::uint16_t>(c));
  }
  return data;
}

}  // namespace stubconfig
