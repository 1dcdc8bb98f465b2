// A small reader that turns a fuzz input into the structured values a target needs: bytes, bounded
// numbers, and texts drawn from an alphabet. Once the input is used up every read gives
// zero or the empty text, so any input decodes to some value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fuzzing {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }

  // A number from 0 to `limit` inclusive.
  std::size_t Below(std::size_t limit) { return limit == 0 ? 0 : Byte() % (limit + 1); }

  bool Bool() { return (Byte() & 1) != 0; }

  // Up to `max_length` characters, each picked from `alphabet` by one input byte.
  std::string FromAlphabet(std::string_view alphabet, std::size_t max_length) {
    std::string text(Below(max_length), '\0');
    for (char& c : text) c = alphabet[Byte() % alphabet.size()];
    return text;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

}  // namespace fuzzing
