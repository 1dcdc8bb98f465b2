// A second start's block as the running instance receives it, from any bytes (read as UTF-16 units):
// what decodes encodes back to the very same block, so no two blocks mean the same arguments and no
// argument is changed on the way.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/hand_off.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string block(size / 2, u'\0');
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  const std::optional<stub::HandOff> hand_off = stub::DecodeHandOff(block);
  if (!hand_off) return 0;
  if (stub::EncodeHandOff(*hand_off) != block) std::abort();
  return 0;
}
