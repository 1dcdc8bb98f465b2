// NextToken over arbitrary text and delimiter sets (the first byte tells how many of the following
// bytes form the set): pieces are never empty, never hold a delimiter, and the splitter always ends.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/tokenizer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t set_size = data[0] % 8;
  if (size < 1 + set_size) return 0;
  std::string delimiters(reinterpret_cast<const char*>(data + 1), set_size);
  delimiters = delimiters.c_str();  // a C string ends at its first zero
  std::string text(reinterpret_cast<const char*>(data + 1 + set_size), size - 1 - set_size);
  const std::size_t length = std::strlen(text.c_str());

  char* cursor = nullptr;
  std::size_t pieces = 0;
  while (char* piece = stub::NextToken(text.data(), delimiters.c_str(), &cursor)) {
    if (*piece == '\0' || std::strpbrk(piece, delimiters.c_str()) != nullptr) std::abort();
    if (piece < text.data() || piece >= text.data() + length) std::abort();
    if (++pieces > length) std::abort();
  }
  if (cursor != nullptr) std::abort();
  return 0;
}
