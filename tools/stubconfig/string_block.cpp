// String blocks and the Windows-1252 mapping used for every configuration text.
#include "string_block.h"

namespace stubconfig {
namespace {

// Windows-1252 bytes 0x80..0x9F; the undefined ones map to themselves.
constexpr char16_t kHighControlRange[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

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

std::u16string AnsiToUtf16(std::string_view ansi) {
  std::u16string text;
  text.reserve(ansi.size());
  for (char c : ansi) {
    const auto byte = static_cast<unsigned char>(c);
    text.push_back(byte >= 0x80 && byte <= 0x9F ? kHighControlRange[byte - 0x80] : static_cast<char16_t>(byte));
  }
  return text;
}

bool Utf16ToAnsi(std::u16string_view text, std::string* ansi) {
  bool exact = true;
  ansi->clear();
  for (char16_t c : text) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      ansi->push_back(static_cast<char>(c));
      continue;
    }
    char mapped = '?';
    for (int i = 0; i < 32; ++i) {
      if (kHighControlRange[i] == c) mapped = static_cast<char>(0x80 + i);
    }
    if (mapped == '?') exact = false;
    ansi->push_back(mapped);
  }
  return exact;
}

}  // namespace stubconfig
