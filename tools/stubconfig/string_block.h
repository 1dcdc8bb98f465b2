// String-table blocks as the tool edits them: all sixteen strings at once, read through the launcher's
// own decoder (core/string_block.h). The launcher reads its settings from these blocks as UTF-16 and
// works in UTF-8, so the tool stores every configuration text as the UTF-16 of its UTF-8.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "byte_order.h"
#include "core/string_block.h"

namespace stubconfig {

using StringBlock = std::array<std::u16string, stub::kStringsPerBlock>;
using stub::StringBlockId;
using stub::StringBlockIndex;

// Reads the sixteen strings of a block. Returns false when the data ends inside a string; bytes
// after the sixteenth string are ignored, as the loader ignores them.
bool DecodeStringBlock(const Bytes& data, StringBlock* block);

Bytes EncodeStringBlock(const StringBlock& block);

}  // namespace stubconfig
