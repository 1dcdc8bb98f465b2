// The main class is stored in the string table as hexadecimal digits of its dotted name XORed with a
// fixed key stream, so that the class name is not readable in the executable as plain text.
#pragma once

#include <string>
#include <string_view>

namespace stub {

// Longest class name the stored form can carry (510 hexadecimal digits).
inline constexpr std::size_t kMaxMainClassLength = 255;

// Deciphers a stored main-class entry into the dotted class name.
// Digit pairs are read from the start while both characters are hexadecimal digits (either letter
// case); an odd trailing digit, or anything after the first pair that is not two hex digits, is
// ignored. At most kMaxMainClassLength bytes are decoded, and a decoded zero byte ends the name.
std::string DecodeMainClass(std::string_view hex_digits);

// The inverse: the stored form (uppercase hexadecimal) of a dotted class name. The caller keeps the
// name within kMaxMainClassLength bytes; longer names are not representable.
std::string EncipherMainClass(std::string_view class_name);

// The digit value of a hexadecimal digit of either case, or -1 for any other character.
int HexDigitValue(char c);

}  // namespace stub
