// Resource section reading and writing. The written layout is: all directory tables (root, then the
// name level, then the language level), then the name strings, then the data entries, then the data
// blobs, each blob aligned to 8 bytes as resource compilers do.
#include "resource_tree.h"

#include <algorithm>
#include <set>
#include <vector>

namespace stubconfig {
namespace {

constexpr std::size_t kDirectoryHeaderSize = 16;
constexpr std::size_t kDirectoryEntrySize = 8;
constexpr std::size_t kDataEntrySize = 16;
constexpr std::uint32_t kHighBit = 0x80000000u;

char16_t FoldAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

// In a section that resource compilers write, every directory, name string, data entry and data blob
// has bytes of its own, so reading the whole tree touches at most the section's size in bytes.
// Charging every read against that budget, and refusing a directory reached a second time, keeps a
// crafted section whose entries all point at one large directory from multiplying into a tree many
// times larger than the file.
struct ParseState {
  const Bytes& section;
  std::uint32_t section_rva;
  std::size_t budget;
  std::set<std::uint32_t> directories_seen;
  std::string* error;

  bool Fail(const std::string& message) { return stubconfig::Fail(error, message); }

  bool Charge(std::size_t bytes) {
    if (bytes > budget) return Fail("resource tree is larger than its section (entries reached more than once)");
    budget -= bytes;
    return true;
  }
};

struct RawEntry {
  ResourceName name;
  bool is_directory;
  std::uint32_t offset;
};

bool ReadName(ParseState& state, std::uint32_t offset, std::u16string* name) {
  if (!InBounds(state.section.size(), offset, 2)) return state.Fail("resource name outside the section");
  const std::uint16_t length = GetU16(state.section, offset);
  if (!InBounds(state.section.size(), offset + 2, std::size_t{length} * 2)) {
    return state.Fail("resource name outside the section");
  }
  if (!state.Charge(2 + std::size_t{length} * 2)) return false;
  name->clear();
  for (std::size_t i = 0; i < length; ++i)
    name->push_back(static_cast<char16_t>(GetU16(state.section, offset + 2 + 2 * i)));
  return true;
}

// Hands each entry of the directory at `offset` to `take`, in order, without collecting them first: a
// directory may list 131,070 entries. Stops at the first failure.
template <typename Take>
bool ForEachEntry(ParseState& state, std::uint32_t offset, Take take) {
  if (!InBounds(state.section.size(), offset, kDirectoryHeaderSize))
    return state.Fail("resource directory outside the section");
  if (!state.directories_seen.insert(offset).second) {
    return state.Fail("resource directory at offset " + std::to_string(offset) + " is reached twice");
  }
  const std::size_t count = std::size_t{GetU16(state.section, offset + 12)} + GetU16(state.section, offset + 14);
  const std::size_t first = offset + kDirectoryHeaderSize;
  if (!InBounds(state.section.size(), first, count * kDirectoryEntrySize)) {
    return state.Fail("resource directory entries outside the section");
  }
  if (!state.Charge(kDirectoryHeaderSize + count * kDirectoryEntrySize)) return false;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = first + i * kDirectoryEntrySize;
    const std::uint32_t name_field = GetU32(state.section, at);
    const std::uint32_t target = GetU32(state.section, at + 4);
    RawEntry entry;
    if (name_field & kHighBit) {
      entry.name.is_string = true;
      if (!ReadName(state, name_field & ~kHighBit, &entry.name.name)) return false;
    } else {
      if (name_field > 0xFFFF) return state.Fail("resource ID out of range");
      entry.name.id = static_cast<std::uint16_t>(name_field);
    }
    entry.is_directory = (target & kHighBit) != 0;
    entry.offset = target & ~kHighBit;
    if (!take(entry)) return false;
  }
  return true;
}

bool ReadLeaf(ParseState& state, std::uint32_t offset, ResourceData* data) {
  if (!InBounds(state.section.size(), offset, kDataEntrySize))
    return state.Fail("resource data entry outside the section");
  const std::uint32_t rva = GetU32(state.section, offset);
  const std::uint32_t size = GetU32(state.section, offset + 4);
  if (rva < state.section_rva || !InBounds(state.section.size(), rva - state.section_rva, size)) {
    return state.Fail("resource data outside the resource section");
  }
  if (!state.Charge(kDataEntrySize + std::size_t{size})) return false;
  const auto begin = state.section.begin() + (rva - state.section_rva);
  data->bytes.assign(begin, begin + size);
  data->code_page = GetU32(state.section, offset + 8);
  return true;
}

bool ReadLanguages(ParseState& state, std::uint32_t offset, LanguageMap* languages) {
  return ForEachEntry(state, offset, [&](RawEntry& entry) {
    if (entry.is_directory) return state.Fail("resource tree nested deeper than three levels");
    ResourceData data;
    if (!ReadLeaf(state, entry.offset, &data)) return false;
    if (!languages->emplace(std::move(entry.name), std::move(data)).second) {
      return state.Fail("duplicate resource language");
    }
    return true;
  });
}

bool ReadNames(ParseState& state, std::uint32_t offset, NameMap* names) {
  return ForEachEntry(state, offset, [&](RawEntry& entry) {
    if (!entry.is_directory) return state.Fail("resource without a language level");
    LanguageMap languages;
    if (!ReadLanguages(state, entry.offset, &languages)) return false;
    if (!names->emplace(std::move(entry.name), std::move(languages)).second) {
      return state.Fail("duplicate resource name");
    }
    return true;
  });
}

// Byte counts of each region of the serialized section, computed before anything is written so
// that every offset is known when its referrer is emitted.
struct Layout {
  std::size_t directories = 0;
  std::size_t strings = 0;
  std::size_t entries = 0;
};

void AddName(const ResourceName& name, Layout* layout) {
  if (name.is_string) layout->strings += 2 + 2 * name.name.size();
}

std::size_t DirectorySize(std::size_t count) { return kDirectoryHeaderSize + count * kDirectoryEntrySize; }

class Serializer {
 public:
  Serializer(const ResourceTree& tree, std::uint32_t section_rva) : tree_(tree), section_rva_(section_rva) {}

  Bytes Run() {
    Layout layout;
    layout.directories = DirectorySize(tree_.size());
    for (const auto& [type, names] : tree_) {
      AddName(type, &layout);
      layout.directories += DirectorySize(names.size());
      for (const auto& [name, languages] : names) {
        AddName(name, &layout);
        layout.directories += DirectorySize(languages.size());
        for (const auto& language : languages) {
          AddName(language.first, &layout);
          layout.entries += kDataEntrySize;
        }
      }
    }
    next_directory_ = 0;
    next_string_ = layout.directories;
    next_entry_ = AlignUp(layout.directories + layout.strings, 4);
    next_data_ = AlignUp(next_entry_ + layout.entries, 8);
    out_.assign(next_data_, 0);

    const std::size_t root = Reserve(tree_.size());
    std::size_t slot = 0;
    std::vector<std::pair<std::size_t, const NameMap*>> name_dirs;
    for (const auto& [type, names] : tree_) {
      const std::size_t dir = Reserve(names.size());
      WriteEntry(root, slot++, type, static_cast<std::uint32_t>(dir) | kHighBit);
      name_dirs.emplace_back(dir, &names);
    }
    std::vector<std::pair<std::size_t, const LanguageMap*>> language_dirs;
    for (const auto& [dir, names] : name_dirs) {
      slot = 0;
      for (const auto& [name, languages] : *names) {
        const std::size_t lang_dir = Reserve(languages.size());
        WriteEntry(dir, slot++, name, static_cast<std::uint32_t>(lang_dir) | kHighBit);
        language_dirs.emplace_back(lang_dir, &languages);
      }
    }
    for (const auto& [dir, languages] : language_dirs) {
      slot = 0;
      for (const auto& [language, data] : *languages) {
        WriteEntry(dir, slot++, language, static_cast<std::uint32_t>(WriteLeaf(data)));
      }
    }
    out_.resize(AlignUp(out_.size(), 8), 0);
    return std::move(out_);
  }

 private:
  std::size_t Reserve(std::size_t count) {
    const std::size_t at = next_directory_;
    next_directory_ += DirectorySize(count);
    return at;
  }

  void WriteEntry(std::size_t dir, std::size_t slot, const ResourceName& name, std::uint32_t target) {
    // Named entries come first in each map, so counting them while writing gives the header counts.
    const std::size_t at = dir + kDirectoryHeaderSize + slot * kDirectoryEntrySize;
    const std::size_t count_field = dir + (name.is_string ? 12 : 14);
    PutU16(out_, count_field, static_cast<std::uint16_t>(GetU16(out_, count_field) + 1));
    PutU32(out_, at, name.is_string ? (static_cast<std::uint32_t>(WriteString(name.name)) | kHighBit) : name.id);
    PutU32(out_, at + 4, target);
  }

  std::size_t WriteString(const std::u16string& text) {
    const std::size_t at = next_string_;
    PutU16(out_, at, static_cast<std::uint16_t>(text.size()));
    for (std::size_t i = 0; i < text.size(); ++i) PutU16(out_, at + 2 + 2 * i, text[i]);
    next_string_ += 2 + 2 * text.size();
    return at;
  }

  std::size_t WriteLeaf(const ResourceData& data) {
    const std::size_t entry = next_entry_;
    next_entry_ += kDataEntrySize;
    const std::size_t at = AlignUp(out_.size(), 8);
    out_.resize(at, 0);
    out_.insert(out_.end(), data.bytes.begin(), data.bytes.end());
    PutU32(out_, entry, static_cast<std::uint32_t>(section_rva_ + at));
    PutU32(out_, entry + 4, static_cast<std::uint32_t>(data.bytes.size()));
    PutU32(out_, entry + 8, data.code_page);
    return entry;
  }

  const ResourceTree& tree_;
  std::uint32_t section_rva_;
  Bytes out_;
  std::size_t next_directory_ = 0;
  std::size_t next_string_ = 0;
  std::size_t next_entry_ = 0;
  std::size_t next_data_ = 0;
};

}  // namespace

ResourceName ResourceName::Id(std::uint16_t id) {
  ResourceName name;
  name.id = id;
  return name;
}

ResourceName ResourceName::Name(std::u16string text) {
  ResourceName name;
  name.is_string = true;
  name.name = std::move(text);
  return name;
}

bool ResourceName::operator<(const ResourceName& other) const {
  if (is_string != other.is_string) return is_string;
  if (!is_string) return id < other.id;
  const bool folded_less =
      std::lexicographical_compare(name.begin(), name.end(), other.name.begin(), other.name.end(),
                                   [](char16_t a, char16_t b) { return FoldAscii(a) < FoldAscii(b); });
  const bool folded_greater =
      std::lexicographical_compare(other.name.begin(), other.name.end(), name.begin(), name.end(),
                                   [](char16_t a, char16_t b) { return FoldAscii(a) < FoldAscii(b); });
  if (folded_less || folded_greater) return folded_less;
  return name < other.name;
}

bool ResourceName::operator==(const ResourceName& other) const {
  return is_string == other.is_string && (is_string ? name == other.name : id == other.id);
}

bool ParseResourceTree(const Bytes& section, std::uint32_t section_rva, ResourceTree* tree, std::string* error) {
  ParseState state{section, section_rva, section.size(), {}, error};
  tree->clear();
  return ForEachEntry(state, 0, [&](RawEntry& type) {
    if (!type.is_directory) return state.Fail("resource type without a name level");
    NameMap names;
    if (!ReadNames(state, type.offset, &names)) return false;
    if (!tree->emplace(std::move(type.name), std::move(names)).second) return state.Fail("duplicate resource type");
    return true;
  });
}

Bytes SerializeResourceTree(const ResourceTree& tree, std::uint32_t section_rva) {
  return Serializer(tree, section_rva).Run();
}

const LanguageMap* FindResource(const ResourceTree& tree, const ResourceName& type, const ResourceName& name) {
  const auto type_it = tree.find(type);
  if (type_it == tree.end()) return nullptr;
  const auto name_it = type_it->second.find(name);
  return name_it == type_it->second.end() ? nullptr : &name_it->second;
}

}  // namespace stubconfig
