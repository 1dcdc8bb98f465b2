// TokenizeArguments over arbitrary text: no token may hold more than the text, the reserved slot only
// prepends an empty element, and every token's characters come from the text in order.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/tokenizer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto tokens = stub::TokenizeArguments(text, false);
  const auto with_slot = stub::TokenizeArguments(text, true);
  if (with_slot.size() != tokens.size() + 1 || !with_slot[0].empty()) std::abort();
  std::size_t total = 0;
  std::size_t pos = 0;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (with_slot[i + 1] != tokens[i]) std::abort();
    total += tokens[i].size();
    for (char c : tokens[i]) {
      pos = text.find(c, pos);
      if (pos == std::string_view::npos) std::abort();
      ++pos;
    }
  }
  if (total > size) std::abort();
  return 0;
}
