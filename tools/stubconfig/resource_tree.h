// An in-memory model of a PE resource section (type -> name -> language -> data) and its conversion
// from and to the section's binary form. The tool edits this model and writes a whole new section,
// so the original section's layout never constrains what can be changed.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "byte_order.h"

namespace stubconfig {

inline constexpr std::uint16_t kRtIcon = 3;
inline constexpr std::uint16_t kRtBitmap = 2;
inline constexpr std::uint16_t kRtString = 6;
inline constexpr std::uint16_t kRtGroupIcon = 14;
inline constexpr std::uint16_t kLangNeutral = 0;

// A directory key: either a numeric ID or a name (UTF-16).
struct ResourceName {
  bool is_string = false;
  std::uint16_t id = 0;
  std::u16string name;

  static ResourceName Id(std::uint16_t id);
  static ResourceName Name(std::u16string name);

  // Named entries sort before IDs, as the loader's binary search expects; names case-insensitively
  // (ASCII letters folded), IDs ascending.
  bool operator<(const ResourceName& other) const;
  bool operator==(const ResourceName& other) const;
};

struct ResourceData {
  Bytes bytes;
  std::uint32_t code_page = 0;

  bool operator==(const ResourceData& other) const { return bytes == other.bytes && code_page == other.code_page; }
};

using LanguageMap = std::map<ResourceName, ResourceData>;
using NameMap = std::map<ResourceName, LanguageMap>;
using ResourceTree = std::map<ResourceName, NameMap>;

// Parses a resource section image. `section` holds the bytes from the resource directory's RVA
// `section_rva` onwards; every data entry must point inside it. Returns false with `error` set on any
// malformed structure (out-of-bounds offset, wrong nesting, duplicate key, a directory reached twice,
// more directories, names and data than the section holds), so the tree stays within a small
// multiple of the section's size.
bool ParseResourceTree(const Bytes& section, std::uint32_t section_rva, ResourceTree* tree, std::string* error);

// The binary form of `tree` for a section that will be mapped at `section_rva`; its size does not
// depend on `section_rva`.
Bytes SerializeResourceTree(const ResourceTree& tree, std::uint32_t section_rva);

// The languages' data of one resource, or nullptr when type or name is absent.
const LanguageMap* FindResource(const ResourceTree& tree, const ResourceName& type, const ResourceName& name);

}  // namespace stubconfig
