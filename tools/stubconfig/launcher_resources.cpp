// Launcher resource edits. The string table is identified as the launcher's by the blocks of the
// configuration IDs (1024 and up); other blocks, languages and resource types pass through untouched.
#include "launcher_resources.h"

#include <cstdio>
#include <set>

#include "core/config_layout.h"
#include "core/text.h"
#include "pe_image.h"
#include "string_block.h"

namespace stubconfig {
namespace {

constexpr std::size_t kIconDirSize = 6;
constexpr std::size_t kIconDirEntrySize = 16;
constexpr std::size_t kGroupEntrySize = 14;
constexpr std::size_t kBitmapFileHeaderSize = 14;

std::string HexLanguage(const ResourceName& language) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(language.id));
  return language.is_string ? "\"named\"" : text;
}

bool IsMainIconName(const ResourceName& name) {
  const std::u16string expected = kMainIconName;
  if (!name.is_string || name.name.size() != expected.size()) return false;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const char16_t c = name.name[i];
    if ((c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c) != expected[i]) return false;
  }
  return true;
}

bool HasNeutralLauncherBlock(const ResourceTree& tree) {
  for (const stub::SettingLayout& layout : stub::kSettingLayouts) {
    const LanguageMap* languages =
        FindResource(tree, ResourceName::Id(kRtString), ResourceName::Id(StringBlockId(layout.id)));
    if (languages && languages->count(ResourceName::Id(kLangNeutral))) return true;
  }
  return false;
}

// Removes the RT_ICON images a group-icon resource lists, in the group's language.
void RemoveGroupImages(ResourceTree* tree, const ResourceName& language, const Bytes& group) {
  auto icons = tree->find(ResourceName::Id(kRtIcon));
  if (icons == tree->end() || group.size() < kIconDirSize) return;
  const std::size_t count = GetU16(group, 4);
  for (std::size_t i = 0; i < count && InBounds(group.size(), kIconDirSize + i * kGroupEntrySize, kGroupEntrySize);
       ++i) {
    const auto image = icons->second.find(ResourceName::Id(GetU16(group, kIconDirSize + i * kGroupEntrySize + 12)));
    if (image == icons->second.end()) continue;
    image->second.erase(language);
    if (image->second.empty()) icons->second.erase(image);
  }
  if (icons->second.empty()) tree->erase(icons);
}

// The size of the certificate table, where an Authenticode signature lives; 0 for an unsigned image.
std::uint32_t SignatureSize(const Bytes& exe, const PeImage& image) {
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
  GetDataDirectory(exe, image, kSecurityDirectoryIndex, &offset, &size);
  return size;
}

}  // namespace

bool ParseIconFile(const Bytes& ico, std::vector<IconImage>* images, std::string* error) {
  images->clear();
  if (ico.size() < kIconDirSize || GetU16(ico, 0) != 0 || GetU16(ico, 2) != 1) return Fail(error, "not an icon file");
  const std::size_t count = GetU16(ico, 4);
  if (count == 0) return Fail(error, "icon file holds no images");
  if (!InBounds(ico.size(), kIconDirSize, count * kIconDirEntrySize)) return Fail(error, "icon directory is truncated");
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = kIconDirSize + i * kIconDirEntrySize;
    const std::uint32_t size = GetU32(ico, at + 8);
    const std::uint32_t offset = GetU32(ico, at + 12);
    if (size == 0 || !InBounds(ico.size(), offset, size)) {
      return Fail(error, "icon image " + std::to_string(i + 1) + " lies outside the file");
    }
    IconImage image;
    image.width = ico[at];
    image.height = ico[at + 1];
    image.color_count = ico[at + 2];
    image.planes = GetU16(ico, at + 4);
    image.bit_count = GetU16(ico, at + 6);
    image.data.assign(ico.begin() + offset, ico.begin() + offset + size);
    const bool dib = size >= 40 && GetU32(image.data, 0) == 40;
    const bool png =
        size >= 8 && image.data[0] == 0x89 && image.data[1] == 'P' && image.data[2] == 'N' && image.data[3] == 'G';
    if (!dib && !png) return Fail(error, "icon image " + std::to_string(i + 1) + " is neither a DIB nor a PNG");
    images->push_back(std::move(image));
  }
  return true;
}

bool ParseBitmapFile(const Bytes& bmp, Bytes* dib, std::string* error) {
  if (bmp.size() < kBitmapFileHeaderSize + 12 || bmp[0] != 'B' || bmp[1] != 'M') return Fail(error, "not a BMP file");
  const std::uint32_t header = GetU32(bmp, kBitmapFileHeaderSize);
  if (header < 12 || !InBounds(bmp.size(), kBitmapFileHeaderSize, header))
    return Fail(error, "BMP file has a truncated bitmap header");
  dib->assign(bmp.begin() + kBitmapFileHeaderSize, bmp.end());
  return true;
}

void SetConfigurationText(ResourceTree* tree, int string_id, std::string_view utf8) {
  ResourceData& data =
      (*tree)[ResourceName::Id(kRtString)][ResourceName::Id(StringBlockId(string_id))][ResourceName::Id(kLangNeutral)];
  StringBlock block;
  // A block that cannot be read holds nothing worth keeping; it is rebuilt from empty strings.
  if (!DecodeStringBlock(data.bytes, &block)) block = StringBlock();
  block[StringBlockIndex(string_id)] = stub::Utf16FromUtf8(utf8);
  data.bytes = EncodeStringBlock(block);
}

void ReplaceMainIcon(ResourceTree* tree, const std::vector<IconImage>& images) {
  ResourceName language = ResourceName::Id(kLangNeutral);
  NameMap& groups = (*tree)[ResourceName::Id(kRtGroupIcon)];
  bool language_taken = false;
  for (auto it = groups.begin(); it != groups.end();) {
    if (!IsMainIconName(it->first)) {
      ++it;
      continue;
    }
    for (const auto& [group_language, data] : it->second) {
      if (!language_taken) language = group_language;
      language_taken = true;
      RemoveGroupImages(tree, group_language, data.bytes);
    }
    it = groups.erase(it);
  }

  NameMap& icons = (*tree)[ResourceName::Id(kRtIcon)];
  Bytes group;
  AppendU16(group, 0);
  AppendU16(group, 1);
  AppendU16(group, static_cast<std::uint16_t>(images.size()));
  std::uint16_t next_id = 1;
  for (const IconImage& image : images) {
    while (icons.count(ResourceName::Id(next_id))) ++next_id;
    icons[ResourceName::Id(next_id)][language].bytes = image.data;
    group.push_back(image.width);
    group.push_back(image.height);
    group.push_back(image.color_count);
    group.push_back(0);
    AppendU16(group, image.planes);
    AppendU16(group, image.bit_count);
    AppendU32(group, static_cast<std::uint32_t>(image.data.size()));
    AppendU16(group, next_id);
  }
  groups[ResourceName::Name(kMainIconName)][language].bytes = std::move(group);
}

void ReplaceResource(ResourceTree* tree, std::uint16_t type, std::uint16_t id, const Bytes& data) {
  LanguageMap& languages = (*tree)[ResourceName::Id(type)][ResourceName::Id(id)];
  const ResourceName language = languages.empty() ? ResourceName::Id(kLangNeutral) : languages.begin()->first;
  languages.clear();
  languages[language].bytes = data;
}

bool LoadResourceTree(const Bytes& exe, ResourceTree* tree, std::string* error) {
  PeImage image;
  if (!ParsePeImage(exe, &image, error)) return false;
  std::uint32_t rva = 0;
  std::uint32_t size = 0;
  GetDataDirectory(exe, image, kResourceDirectoryIndex, &rva, &size);
  if (rva == 0) return Fail(error, "carries no resources, so no launcher string table");
  Bytes section;
  if (!ReadMappedSectionTail(exe, image, rva, &section, error)) return false;
  return ParseResourceTree(section, rva, tree, error);
}

bool ReadLauncherConfiguration(const Bytes& exe, std::vector<std::string>* stored, std::vector<std::string>* warnings,
                               std::string* error) {
  ResourceTree tree;
  return LoadResourceTree(exe, &tree, error) && ConfigurationFromTree(tree, stored, warnings, error);
}

bool ConfigurationFromTree(const ResourceTree& tree, std::vector<std::string>* stored,
                           std::vector<std::string>* warnings, std::string* error) {
  stored->assign(stub::kSettingCount, std::string());
  bool found = false;
  std::set<std::uint16_t> reported_languages;
  for (std::size_t i = 0; i < stub::kSettingCount; ++i) {
    const stub::SettingLayout& layout = stub::kSettingLayouts[i];
    const LanguageMap* languages =
        FindResource(tree, ResourceName::Id(kRtString), ResourceName::Id(StringBlockId(layout.id)));
    if (languages == nullptr || languages->empty()) continue;
    auto chosen = languages->find(ResourceName::Id(kLangNeutral));
    if (chosen == languages->end()) {
      chosen = languages->begin();
      if (reported_languages.insert(chosen->first.id).second) {
        warnings->push_back("string table is in language " + HexLanguage(chosen->first) + ", not language neutral");
      }
    }
    StringBlock block;
    if (!DecodeStringBlock(chosen->second.bytes, &block)) {
      return Fail(error, "string block " + std::to_string(StringBlockId(layout.id)) + " is malformed");
    }
    found = true;
    (*stored)[i] = stub::Utf8FromUtf16(block[StringBlockIndex(layout.id)]);
  }
  if (!found) return Fail(error, "carries no launcher string table (IDs from 1024)");
  return true;
}

std::optional<VersionStrings> VersionInfoFromTree(const ResourceTree& tree, std::vector<std::string>* warnings) {
  const LanguageMap* languages = FindResource(tree, ResourceName::Id(kRtVersion), ResourceName::Id(kVersionInfoId));
  if (languages == nullptr || languages->empty()) return std::nullopt;
  auto chosen = languages->find(ResourceName::Id(kLangNeutral));
  if (chosen == languages->end()) chosen = languages->begin();
  VersionResource resource;
  std::string problem;
  if (!DecodeVersionResource(chosen->second.bytes, &resource, &problem)) {
    warnings->push_back(problem + "; not shown");
    return std::nullopt;
  }
  return VersionSectionOf(resource, warnings);
}

bool DumpLauncher(const Bytes& exe, std::string* ini, std::vector<std::string>* warnings, std::string* error) {
  ResourceTree tree;
  std::vector<std::string> stored;
  if (!LoadResourceTree(exe, &tree, error) || !ConfigurationFromTree(tree, &stored, warnings, error)) return false;
  const std::optional<VersionStrings> version_info = VersionInfoFromTree(tree, warnings);
  *ini = FormatLauncherIni(stored, version_info, warnings);
  // A comment, so that the output still reads back as a configuration.
  PeImage image;
  std::string unused;
  const std::uint32_t signature = ParsePeImage(exe, &image, &unused) ? SignatureSize(exe, image) : 0;
  *ini += signature == 0 ? "\n; Authenticode signature: none\n"
                         : "\n; Authenticode signature: present (" + std::to_string(signature) +
                               "-byte certificate table); write takes only unsigned stubs\n";
  return true;
}

void AddConfiguration(const LauncherIni& ini, StampRequest* request) {
  for (const IniEntry& entry : ini.settings) request->texts[entry.layout->id] = StoredText(*entry.layout, entry.value);
  if (ini.version_info) request->version_info = ini.version_info;
}

bool StampLauncher(const Bytes& stub, const StampRequest& request, Bytes* out, StampExpectation* expected,
                   std::string* error) {
  PeImage image;
  if (!ParsePeImage(stub, &image, error)) return false;
  if (SignatureSize(stub, image) != 0) {
    return Fail(error,
                "is Authenticode-signed; editing it would invalidate the signature (stamp an unsigned stub, then sign "
                "the result)");
  }
  if (const std::string rule = LoaderRuleViolation(stub); !rule.empty()) {
    return Fail(error, "Windows would not load it: " + rule);
  }
  ResourceTree tree;
  if (!LoadResourceTree(stub, &tree, error)) return false;
  if (!HasNeutralLauncherBlock(tree))
    return Fail(error, "carries no language-neutral launcher string table (IDs from 1024)");
  // What `dump` refuses, `write` refuses too: a block the launcher cannot read is not silently rebuilt.
  StampExpectation expectation;
  std::vector<std::string> ignored_warnings;
  if (!ConfigurationFromTree(tree, &expectation.stored, &ignored_warnings, error)) return false;
  for (const auto& [id, text] : request.texts) {
    SetConfigurationText(&tree, id, text);
    if (const stub::SettingLayout* layout = stub::FindSettingById(id)) {
      expectation.stored[static_cast<std::size_t>(layout - stub::kSettingLayouts)] = text;
    }
  }
  if (request.icon) ReplaceMainIcon(&tree, *request.icon);
  if (request.splash_dib) ReplaceResource(&tree, kRtBitmap, kSplashBitmapId, *request.splash_dib);
  if (request.manifest) ReplaceResource(&tree, kRtManifest, kManifestId, *request.manifest);
  if (request.version_info) {
    ReplaceResource(&tree, kRtVersion, kVersionInfoId, EncodeVersionResource(*request.version_info));
  }
  Bytes result = stub;
  if (!WriteResourceSection(&result, tree, error)) return false;
  expectation.resources = std::move(tree);
  if (!CheckStampedImage(result, expectation, error)) return false;
  *out = std::move(result);
  *expected = std::move(expectation);
  return true;
}

bool CheckStampedImage(const Bytes& image, const StampExpectation& expected, std::string* error) {
  ResourceTree tree;
  if (!LoadResourceTree(image, &tree, error)) return Fail(error, "written image does not read back: " + *error);
  if (!(tree == expected.resources)) return Fail(error, "written image does not carry the intended resources");
  std::vector<std::string> stored;
  std::vector<std::string> warnings;
  if (!ConfigurationFromTree(tree, &stored, &warnings, error)) {
    return Fail(error, "written image does not read back: " + *error);
  }
  for (std::size_t i = 0; i < stub::kSettingCount; ++i) {
    if (stored[i] != expected.stored[i]) {
      return Fail(error, "written image does not carry the intended " + std::string(stub::kSettingLayouts[i].name));
    }
  }
  if (const std::string rule = LoaderRuleViolation(image); !rule.empty()) {
    return Fail(error, "written image would not load on Windows: " + rule);
  }
  PeImage headers;
  if (!ParsePeImage(image, &headers, error) ||
      GetU32(image, ChecksumOffset(headers)) != ComputePeChecksum(image, ChecksumOffset(headers))) {
    return Fail(error, "written image carries a wrong checksum");
  }
  return true;
}

}  // namespace stubconfig
