// String blocks: decoded by the launcher's reader, encoded here, as only the tool writes them.
#include "string_block.h"

namespace stubconfig {

bool DecodeStringBlock(const Bytes& data, StringBlock* block) {
  std::size_t offset = 0;
  for (std::u16string& text : *block) {
    if (!stub::ReadBlockString(data.data(), data.size(), offset, text)) return false;
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
