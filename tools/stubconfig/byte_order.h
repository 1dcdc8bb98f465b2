// Little-endian field access for the PE and resource formats, and the one way their readers fail.
// Readers check bounds themselves before calling Get*; the helpers here only keep the byte order in
// one place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace stubconfig {

using Bytes = std::vector<std::uint8_t>;

// Stores message as the reason of a failed read or edit and returns false, for `return Fail(...)`.
inline bool Fail(std::string* error, const std::string& message) {
  *error = message;
  return false;
}

// True when [offset, offset + length) lies inside a buffer of `size` bytes, without overflow.
inline bool InBounds(std::size_t size, std::size_t offset, std::size_t length) {
  return offset <= size && length <= size - offset;
}

inline std::uint16_t GetU16(const Bytes& b, std::size_t offset) {
  return static_cast<std::uint16_t>(b[offset] | (b[offset + 1] << 8));
}

inline std::uint32_t GetU32(const Bytes& b, std::size_t offset) {
  return static_cast<std::uint32_t>(b[offset]) | (static_cast<std::uint32_t>(b[offset + 1]) << 8) |
         (static_cast<std::uint32_t>(b[offset + 2]) << 16) | (static_cast<std::uint32_t>(b[offset + 3]) << 24);
}

inline void PutU16(Bytes& b, std::size_t offset, std::uint16_t value) {
  b[offset] = static_cast<std::uint8_t>(value);
  b[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void PutU32(Bytes& b, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) b[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void AppendU16(Bytes& b, std::uint16_t value) {
  b.push_back(static_cast<std::uint8_t>(value));
  b.push_back(static_cast<std::uint8_t>(value >> 8));
}

inline void AppendU32(Bytes& b, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline std::size_t AlignUp(std::size_t value, std::size_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

}  // namespace stubconfig
