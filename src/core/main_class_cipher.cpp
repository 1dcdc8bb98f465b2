// The main-class cipher: a repeating 17-byte key stream (16 key characters and the key's own
// terminating zero, so every 17th byte passes unchanged) XORed over the class name's bytes.
#include "core/main_class_cipher.h"

namespace stub {
namespace {

constexpr char kMainClassKey[] = "Tq5kWb719Hxr3062";
constexpr std::size_t kKeyStreamLength = sizeof(kMainClassKey);  // 17: the terminator takes part

unsigned char KeyByte(std::size_t k) { return static_cast<unsigned char>(kMainClassKey[k % kKeyStreamLength]); }

}  // namespace

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string DecodeMainClass(std::string_view hex_digits) {
  std::string name;
  for (std::size_t k = 0; 2 * k + 1 < hex_digits.size() && k < kMaxMainClassLength; ++k) {
    const int high = HexDigitValue(hex_digits[2 * k]);
    const int low = HexDigitValue(hex_digits[2 * k + 1]);
    if (high < 0 || low < 0) break;
    const auto byte = static_cast<unsigned char>((high * 16 + low) ^ KeyByte(k));
    if (byte == 0) break;
    name.push_back(static_cast<char>(byte));
  }
  return name;
}

std::string EncipherMainClass(std::string_view class_name) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(class_name.size() * 2);
  for (std::size_t k = 0; k < class_name.size(); ++k) {
    const auto byte = static_cast<unsigned char>(static_cast<unsigned char>(class_name[k]) ^ KeyByte(k));
    hex.push_back(kDigits[byte >> 4]);
    hex.push_back(kDigits[byte & 0xF]);
  }
  return hex;
}

}  // namespace stub
