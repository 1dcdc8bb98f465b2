// VS_VERSIONINFO is a tree of blocks, each a length, a value length, a type (0 binary, 1 text), a
// NUL-terminated UTF-16 key, then its value and its children, every one of them starting on a 32-bit
// boundary: the root holds VS_FIXEDFILEINFO and the blocks StringFileInfo (string tables, one per
// translation, holding the strings) and VarFileInfo (the list of translations).
#include "version_info.h"

#include "core/text.h"
#include "launcher_ini.h"

namespace stubconfig {
namespace {

constexpr std::size_t kBlockHeaderSize = 6;
constexpr std::size_t kFixedInfoSize = 52;
constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr std::uint32_t kFixedInfoStructVersion = 0x00010000;
constexpr std::uint32_t kFileFlagsMask = 0x3F;  // VS_FFI_FILEFLAGSMASK
constexpr std::uint32_t kFileOsNtWindows32 = 0x00040004;
constexpr std::uint32_t kFileTypeApplication = 1;
constexpr std::uint16_t kBinaryValue = 0;
constexpr std::uint16_t kTextValue = 1;

void AppendUtf16(Bytes& out, std::u16string_view text) {
  for (char16_t unit : text) AppendU16(out, static_cast<std::uint16_t>(unit));
}

void PadTo4(Bytes& out) { out.resize(AlignUp(out.size(), 4), 0); }

// One block: header, key, value and children, each aligned. A block's length runs to the end of its
// last child; the padding after it belongs to the parent.
Bytes MakeBlock(std::u16string_view key, std::uint16_t type, std::uint16_t value_length, const Bytes& value,
                const std::vector<Bytes>& children) {
  Bytes out(kBlockHeaderSize, 0);
  PutU16(out, 2, value_length);
  PutU16(out, 4, type);
  AppendUtf16(out, key);
  AppendU16(out, 0);
  PadTo4(out);
  out.insert(out.end(), value.begin(), value.end());
  for (const Bytes& child : children) {
    PadTo4(out);
    out.insert(out.end(), child.begin(), child.end());
  }
  PutU16(out, 0, static_cast<std::uint16_t>(out.size()));
  return out;
}

Bytes FixedInfo(const VersionNumbers& file, const VersionNumbers& product) {
  Bytes out;
  AppendU32(out, kFixedInfoSignature);
  AppendU32(out, kFixedInfoStructVersion);
  for (const VersionNumbers* numbers : {&file, &product}) {
    AppendU32(out, (std::uint32_t{(*numbers)[0]} << 16) | (*numbers)[1]);
    AppendU32(out, (std::uint32_t{(*numbers)[2]} << 16) | (*numbers)[3]);
  }
  AppendU32(out, kFileFlagsMask);
  AppendU32(out, 0);  // flags
  AppendU32(out, kFileOsNtWindows32);
  AppendU32(out, kFileTypeApplication);
  AppendU32(out, 0);  // subtype
  AppendU32(out, 0);  // date, high
  AppendU32(out, 0);  // date, low
  return out;
}

std::string TranslationKey(std::uint16_t language, std::uint16_t code_page) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string key;
  for (const std::uint16_t part : {language, code_page}) {
    for (int shift = 12; shift >= 0; shift -= 4) key += kHex[(part >> shift) & 0xF];
  }
  return key;
}

struct Block {
  std::size_t end = 0;
  std::uint16_t value_length = 0;
  std::uint16_t type = 0;
  std::u16string key;
  std::size_t value_begin = 0;
  std::size_t children_begin = 0;
};

// Reads the block at `at`, which must end by `limit`.
bool ReadBlock(const Bytes& data, std::size_t at, std::size_t limit, Block* block, std::string* error) {
  const std::size_t length = GetU16(data, at);
  if (length < kBlockHeaderSize || length > limit - at) {
    *error = "a block's length leaves the block that holds it";
    return false;
  }
  block->end = at + length;
  block->value_length = GetU16(data, at + 2);
  block->type = GetU16(data, at + 4);
  block->key.clear();
  std::size_t pos = at + kBlockHeaderSize;
  for (; pos + 2 <= block->end && GetU16(data, pos) != 0; pos += 2)
    block->key += static_cast<char16_t>(GetU16(data, pos));
  block->value_begin = std::min(AlignUp(pos + 2, 4), block->end);
  const std::size_t value_bytes = std::size_t{block->value_length} * (block->type == kTextValue ? 2 : 1);
  block->children_begin = std::min(AlignUp(block->value_begin + value_bytes, 4), block->end);
  return true;
}

// Calls `take` for each child of `parent`; stops at the first failure. Zero lengths are trailing
// padding, which some resource compilers leave.
template <typename Take>
bool ForEachChild(const Bytes& data, const Block& parent, std::string* error, Take take) {
  for (std::size_t pos = parent.children_begin; pos + kBlockHeaderSize <= parent.end;) {
    if (GetU16(data, pos) == 0) break;
    Block child;
    if (!ReadBlock(data, pos, parent.end, &child, error) || !take(child)) return false;
    pos = AlignUp(child.end, 4);
  }
  return true;
}

// A text value: UTF-16 units up to the first NUL or the end of the block, whatever its value length
// says (compilers disagree on whether it counts bytes or characters).
std::string TextValue(const Bytes& data, const Block& block) {
  std::u16string text;
  for (std::size_t pos = block.value_begin; pos + 2 <= block.end && GetU16(data, pos) != 0; pos += 2) {
    text += static_cast<char16_t>(GetU16(data, pos));
  }
  return stub::Utf8FromUtf16(text);
}

VersionNumbers NumbersAt(const Bytes& data, std::size_t at) {
  const std::uint32_t high = GetU32(data, at);
  const std::uint32_t low = GetU32(data, at + 4);
  return {static_cast<std::uint16_t>(high >> 16), static_cast<std::uint16_t>(high),
          static_cast<std::uint16_t>(low >> 16), static_cast<std::uint16_t>(low)};
}

bool ReadStringFileInfo(const Bytes& data, const Block& info, VersionResource* resource, std::string* error) {
  return ForEachChild(data, info, error, [&](const Block& table_block) {
    VersionStringTable table;
    table.key = stub::Utf8FromUtf16(table_block.key);
    const bool read = ForEachChild(data, table_block, error, [&](const Block& string) {
      table.strings.emplace_back(stub::Utf8FromUtf16(string.key), TextValue(data, string));
      return true;
    });
    resource->tables.push_back(std::move(table));
    return read;
  });
}

bool ReadVarFileInfo(const Bytes& data, const Block& info, VersionResource* resource, std::string* error) {
  return ForEachChild(data, info, error, [&](const Block& var) {
    if (var.key != u"Translation") return true;
    const std::size_t end = std::min(var.end, var.value_begin + var.value_length);
    for (std::size_t pos = var.value_begin; pos + 4 <= end; pos += 4) {
      resource->translations.emplace_back(GetU16(data, pos), GetU16(data, pos + 2));
    }
    return true;
  });
}

void WarnAboutVersionText(const VersionResource& resource, const VersionStrings& section, std::size_t key,
                          std::vector<std::string>* warnings) {
  const VersionNumbers& numbers = key == kFileVersionKey ? resource.file_version : resource.product_version;
  const std::string numeric = FormatVersionNumbers(numbers);
  const std::string name(kVersionKeys[key]);
  const char* what = key == kFileVersionKey ? "file" : "product";
  VersionNumbers from_text{};
  if (!section[key]) {
    if (numbers != VersionNumbers{}) {
      warnings->push_back(std::string("the numeric ") + what + " version is " + numeric + " but no " + name +
                          " text names it; write would make it 0.0.0.0");
    }
  } else if (ParseVersionNumbers(*section[key], &from_text) && from_text != numbers) {
    warnings->push_back(name + " " + *section[key] + " differs from the numeric " + what + " version " + numeric +
                        "; write would make the number " + FormatVersionNumbers(from_text));
  }
}

}  // namespace

std::size_t FindVersionKey(std::string_view name) {
  std::size_t index = 0;
  while (index < kVersionKeyCount && kVersionKeys[index] != name) ++index;
  return index;
}

bool ParseVersionNumbers(std::string_view text, VersionNumbers* numbers) {
  *numbers = VersionNumbers{};
  std::size_t part = 0;
  std::uint32_t value = 0;
  bool digits = false;
  for (char c : text) {
    if (c == '.') {
      if (!digits || ++part == numbers->size()) return false;
      digits = false;
      value = 0;
    } else if (c >= '0' && c <= '9') {
      value = value * 10 + static_cast<std::uint32_t>(c - '0');
      if (value > 0xFFFF) return false;
      (*numbers)[part] = static_cast<std::uint16_t>(value);
      digits = true;
    } else {
      return false;
    }
  }
  return digits;
}

std::string FormatVersionNumbers(const VersionNumbers& numbers) {
  return std::to_string(numbers[0]) + "." + std::to_string(numbers[1]) + "." + std::to_string(numbers[2]) + "." +
         std::to_string(numbers[3]);
}

Bytes EncodeVersionResource(const VersionStrings& strings) {
  VersionNumbers file{};
  VersionNumbers product{};
  if (strings[kFileVersionKey]) ParseVersionNumbers(*strings[kFileVersionKey], &file);
  if (strings[kProductVersionKey]) ParseVersionNumbers(*strings[kProductVersionKey], &product);
  std::vector<Bytes> string_blocks;
  for (std::size_t key = 0; key < kVersionKeyCount; ++key) {
    if (!strings[key]) continue;
    const std::u16string name = stub::Utf16FromUtf8(kVersionKeys[key]);
    std::u16string value = stub::Utf16FromUtf8(*strings[key]);
    value += u'\0';
    Bytes text;
    AppendUtf16(text, value);
    string_blocks.push_back(MakeBlock(name, kTextValue, static_cast<std::uint16_t>(value.size()), text, {}));
  }
  const std::u16string table_key = stub::Utf16FromUtf8(TranslationKey(kVersionLanguage, kVersionCodePage));
  const Bytes table = MakeBlock(table_key, kTextValue, 0, {}, string_blocks);
  Bytes translation;
  AppendU16(translation, kVersionLanguage);
  AppendU16(translation, kVersionCodePage);
  const Bytes var = MakeBlock(u"Translation", kBinaryValue, 4, translation, {});
  return MakeBlock(
      u"VS_VERSION_INFO", kBinaryValue, kFixedInfoSize, FixedInfo(file, product),
      {MakeBlock(u"StringFileInfo", kTextValue, 0, {}, {table}), MakeBlock(u"VarFileInfo", kTextValue, 0, {}, {var})});
}

bool DecodeVersionResource(const Bytes& data, VersionResource* resource, std::string* error) {
  *resource = VersionResource();
  Block root;
  if (data.size() < kBlockHeaderSize || !ReadBlock(data, 0, data.size(), &root, error)) {
    *error = "the version information is cut short";
    return false;
  }
  if (root.value_length < kFixedInfoSize || !InBounds(root.end, root.value_begin, kFixedInfoSize) ||
      GetU32(data, root.value_begin) != kFixedInfoSignature) {
    *error = "the version information has no fixed part (VS_FIXEDFILEINFO)";
    return false;
  }
  resource->file_version = NumbersAt(data, root.value_begin + 8);
  resource->product_version = NumbersAt(data, root.value_begin + 16);
  return ForEachChild(data, root, error, [&](const Block& child) {
    if (child.key == u"StringFileInfo") return ReadStringFileInfo(data, child, resource, error);
    if (child.key == u"VarFileInfo") return ReadVarFileInfo(data, child, resource, error);
    return true;
  });
}

std::optional<VersionStrings> VersionSectionOf(const VersionResource& resource, std::vector<std::string>* warnings) {
  if (resource.translations.empty() || resource.translations[0] != std::make_pair(kVersionLanguage, kVersionCodePage)) {
    return std::nullopt;
  }
  const std::string key = TranslationKey(kVersionLanguage, kVersionCodePage);
  VersionStrings section;
  bool other_translations = resource.translations.size() > 1;
  bool table_seen = false;
  for (const VersionStringTable& table : resource.tables) {
    if (table_seen || !stub::EqualsIgnoringAsciiCase(table.key, key)) {
      other_translations = true;
      continue;
    }
    table_seen = true;
    for (const auto& [name, value] : table.strings) {
      const std::size_t index = FindVersionKey(name);
      if (index == kVersionKeyCount || section[index]) {
        warnings->push_back("version information holds " +
                            std::string(index == kVersionKeyCount ? "a string" : "a second string") + " named \"" +
                            PrintableText(name) + "\", which write would not keep");
        continue;
      }
      section[index] = value;
    }
  }
  if (other_translations) {
    warnings->push_back("version information holds other translations than " + key + ", which write would not keep");
  }
  WarnAboutVersionText(resource, section, kFileVersionKey, warnings);
  WarnAboutVersionText(resource, section, kProductVersionKey, warnings);
  return section;
}

}  // namespace stubconfig
