// A structured mutation for the executable targets: random bytes of a 200 KB launcher rarely land on
// the few header fields that matter, so two bytes of the input may instead name a section-table field
// and a value from the set that breaks assumptions (zero, the file's size, just past it, 2^31 - 1, all
// ones). The other fields stay as they were; the seeds leave the two bytes zero, which changes nothing.
#pragma once

#include <cstdint>

#include "byte_order.h"
#include "pe_image.h"

namespace fuzzing {

// Applies the mutation `selector` names (its high bit set) with the value `value` picks. Returns
// whether the image was changed.
inline bool MutateSectionHeader(stubconfig::Bytes& image, std::uint8_t selector, std::uint8_t value) {
  using stubconfig::GetU16;
  using stubconfig::GetU32;
  if (!(selector & 0x80) || image.size() < 0x40) return false;
  const std::size_t pe = GetU32(image, 0x3C);
  if (!stubconfig::InBounds(image.size(), pe, 24)) return false;
  const std::size_t sections = GetU16(image, pe + 6);
  const std::size_t table = pe + 24 + GetU16(image, pe + 20);
  if (sections == 0) return false;
  const std::size_t header = table + 40 * ((selector & 0x0F) % sections);
  // VirtualSize, VirtualAddress, SizeOfRawData, PointerToRawData
  const std::size_t field = header + 8 + 4 * ((selector >> 4) & 0x3);
  if (!stubconfig::InBounds(image.size(), field, 4)) return false;
  const std::uint32_t size = static_cast<std::uint32_t>(image.size());
  const std::uint32_t old = GetU32(image, field);
  const std::uint32_t values[] = {0, size, size + 1, 0x7FFFFFFF, 0xFFFFFFFF, old + 0x200, old / 2, old * 2};
  stubconfig::PutU32(image, field, values[value % 8]);
  return true;
}

// Sets a nonzero checksum to the image's true one, so that an input whose edit byte or mutation
// changed the file reaches the rules that follow the checksum instead of stopping at it.
inline void CorrectChecksum(stubconfig::Bytes& image) {
  if (image.size() < 0x40) return;
  const std::size_t at = std::size_t{stubconfig::GetU32(image, 0x3C)} + 24 + 64;
  if (stubconfig::InBounds(image.size(), at, 4) && stubconfig::GetU32(image, at) != 0) {
    stubconfig::PutU32(image, at, stubconfig::ComputePeChecksum(image, at));
  }
}

}  // namespace fuzzing
