// Reading one string of a string-table resource block. The launcher reads its configuration this way
// instead of through the user-interface library's LoadStringA, which would make the console build
// load that library (and, under some systems, initialise a whole windowing layer) only to read text.
#pragma once

#include <cstddef>
#include <string>

namespace stub {

// A block holds 16 strings, each a 16-bit length followed by that many UTF-16 code units; string
// `index` (0 to 15) of the block, or an empty string when the block ends before it.
std::u16string StringFromBlock(const void* block, std::size_t size, unsigned index);

}  // namespace stub
