// Small synthetic launcher images for the configuration tool's unit tests and fuzz targets: a resource
// tree with what a launcher stub carries, and a minimal PE32 or PE32+ executable around any tree, in
// the section order the mingw-w64 linker produces.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/config_layout.h"
#include "core/text.h"
#include "launcher_ini.h"
#include "launcher_resources.h"
#include "pe_image.h"
#include "resource_tree.h"
#include "string_block.h"
#include "version_info.h"

namespace stubconfig::sample {

inline constexpr std::uint32_t kSectionAlignment = 0x1000;
inline constexpr std::uint32_t kFileAlignment = 0x200;
inline constexpr std::size_t kFileHeaderAt = 0x84;  // the COFF header, after "PE\0\0" at 0x80

// The text as a UTF-16 file of that byte order, with its byte-order mark.
inline std::string Utf16File(std::u16string_view text, bool little_endian = true) {
  std::string bytes = little_endian ? "\xFF\xFE" : "\xFE\xFF";
  for (char16_t unit : text) {
    bytes += {static_cast<char>(unit >> (little_endian ? 0 : 8)), static_cast<char>(unit >> (little_endian ? 8 : 0))};
  }
  return bytes;
}

inline ResourceData Data(const std::string& text) { return ResourceData{Bytes(text.begin(), text.end()), 0}; }

inline StringBlock BlockWith(std::size_t index, std::u16string text) {
  StringBlock block;
  block[index] = std::move(text);
  return block;
}

// Stored texts that are all valid for their kind: each names its setting, and the free texts carry
// the characters a value is taken verbatim with (spaces at either end, backslash, '=', quotes, %%)
// and characters beyond ASCII, inside and outside the Basic Multilingual Plane.
inline std::vector<std::string> ValidStoredTexts() {
  std::vector<std::string> stored;
  for (const stub::SettingLayout& layout : stub::kSettingLayouts) {
    switch (layout.kind) {
      case stub::SettingKind::kFlag:
      case stub::SettingKind::kOptInFlag:
        stored.push_back("1");
        break;
      case stub::SettingKind::kInteger:  // a restart code of 0 would restart every orderly exit
        stored.push_back(std::string_view(layout.name) == "RestartExitCode" ? "-07" : "-0");
        break;
      case stub::SettingKind::kVersion:
        stored.push_back("0x00010004");
        break;
      case stub::SettingKind::kEnciphered:
        stored.push_back(StoredText(layout, "org.d\u00E9mo.Main"));
        break;
      case stub::SettingKind::kLines:
        stored.push_back("APP=C:\\d\u00E9mo \U0001F600\nPATH=%APP%\\bin;%PATH%\nREMOVED=");
        break;
      default:
        if (std::string_view(layout.name) == "AppUserModelId") {  // no spaces, as Windows takes it
          stored.push_back("Vendor.App.\u00E9\U0001F600");
          break;
        }
        if (std::string_view(layout.name) == "JavaDownloadUrl") {
          stored.push_back("https://example.com/java?%%=\u00E9");
          break;
        }
        if (std::string_view(layout.name) == "ServiceSwitch") {  // one word: the service's command line
          stored.push_back("-\u00E9\U0001F600%%=\"");
          break;
        }
        stored.push_back(" " + std::string(layout.name) + "\\ = \"%%\" \u00E9\u65E5\U0001F600 ");
        break;
    }
  }
  return stored;
}

// Version information as a launcher's own resource script makes it: US English, Unicode (the tool's
// own is language neutral).
inline Bytes LauncherOwnVersionResource() {
  VersionStrings strings;
  strings[kFileVersionKey] = "1.0.0";
  strings[kProductVersionKey] = "1.0.0";
  strings[FindVersionKey("FileDescription")] = "Java application launcher (console)";
  Bytes data = EncodeVersionResource(strings);
  const std::u16string neutral = u"000004B0";
  const std::u16string english = u"040904B0";
  const Bytes from(reinterpret_cast<const std::uint8_t*>(neutral.data()),
                   reinterpret_cast<const std::uint8_t*>(neutral.data() + neutral.size()));
  const auto at = std::search(data.begin(), data.end(), from.begin(), from.end());
  for (std::size_t i = 0; i < english.size(); ++i) PutU16(data, (at - data.begin()) + 2 * i, english[i]);
  PutU16(data, data.size() - 4, 0x0409);  // the Translation value, the last four bytes
  return data;
}

inline constexpr char kSampleManifest[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" "
    "manifestVersion=\"1.0\"><trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\"><security><requestedPrivileges>"
    "<requestedExecutionLevel level=\"asInvoker\"/></requestedPrivileges></security></trustInfo></assembly>";

// Every setting with the given stored text (by default "default <Name>") in its neutral block, a
// neighbour string in the first block, a German block, group icon MAINICON with two images and
// another group's image, the splash bitmap, a named custom resource, and the launcher's own manifest
// and version information.
inline ResourceTree StubResources(const std::vector<std::string>& stored = {}) {
  ResourceTree tree;
  for (std::size_t i = 0; i < stub::kSettingCount; ++i) {
    const stub::SettingLayout& layout = stub::kSettingLayouts[i];
    StringBlock block =
        BlockWith(0, stub::Utf16FromUtf8(i < stored.size() ? stored[i] : "default " + std::string(layout.name)));
    if (layout.id == 1024) block[1] = u"neighbour";
    tree[ResourceName::Id(kRtString)][ResourceName::Id(StringBlockId(layout.id))][ResourceName::Id(0)].bytes =
        EncodeStringBlock(block);
  }
  tree[ResourceName::Id(kRtString)][ResourceName::Id(StringBlockId(1040))][ResourceName::Id(0x407)].bytes =
      EncodeStringBlock(BlockWith(0, u"deutsch"));
  tree[ResourceName::Id(kRtIcon)][ResourceName::Id(1)][ResourceName::Id(0)] = Data("old icon 1");
  tree[ResourceName::Id(kRtIcon)][ResourceName::Id(2)][ResourceName::Id(0)] = Data("old icon 2");
  tree[ResourceName::Id(kRtIcon)][ResourceName::Id(7)][ResourceName::Id(0)] = Data("other group's icon");
  Bytes group = {0, 0, 1, 0, 2, 0};
  for (std::uint16_t id : {1, 2}) {
    group.insert(group.end(), {16, 16, 0, 0, 1, 0, 32, 0, 10, 0, 0, 0});
    AppendU16(group, id);
  }
  tree[ResourceName::Id(kRtGroupIcon)][ResourceName::Name(u"MAINICON")][ResourceName::Id(0)].bytes = group;
  tree[ResourceName::Id(kRtBitmap)][ResourceName::Id(kSplashBitmapId)][ResourceName::Id(0)] = Data("old bitmap");
  tree[ResourceName::Name(u"CUSTOM")][ResourceName::Name(u"Payload")][ResourceName::Id(0x409)] = Data("keep me");
  tree[ResourceName::Id(kRtManifest)][ResourceName::Id(kManifestId)][ResourceName::Id(0)] = Data(kSampleManifest);
  tree[ResourceName::Id(kRtVersion)][ResourceName::Id(kVersionInfoId)][ResourceName::Id(0)].bytes =
      LauncherOwnVersionResource();
  return tree;
}

// Where BuildImage puts the section table.
inline std::size_t SectionTableAt(bool pe32_plus) { return kFileHeaderAt + 20 + (pe32_plus ? 240 : 224); }

// A minimal executable: .text, then .rsrc holding the tree (mapped at 0x2000), and optionally a .reloc
// section after it.
inline Bytes BuildImage(const ResourceTree& tree, bool pe32_plus, bool reloc_after_rsrc) {
  const Bytes rsrc = SerializeResourceTree(tree, 0x2000);
  const std::size_t optional_size = pe32_plus ? 240 : 224;
  const std::size_t sections = reloc_after_rsrc ? 3 : 2;
  Bytes file(0x400, 0);
  file[0] = 'M';
  file[1] = 'Z';
  PutU32(file, 0x3C, 0x80);
  std::copy_n("PE\0\0", 4, file.begin() + 0x80);
  const std::size_t coff = kFileHeaderAt;
  PutU16(file, coff, pe32_plus ? 0x8664 : 0x14C);
  PutU16(file, coff + 2, static_cast<std::uint16_t>(sections));
  PutU16(file, coff + 16, static_cast<std::uint16_t>(optional_size));
  PutU16(file, coff + 18, 0x0022);
  const std::size_t opt = coff + 20;
  PutU16(file, opt, pe32_plus ? 0x20B : 0x10B);
  PutU32(file, opt + 32, kSectionAlignment);
  PutU32(file, opt + 36, kFileAlignment);
  PutU32(file, opt + 60, 0x400);
  PutU32(file, opt + (pe32_plus ? 108 : 92), 16);
  const std::size_t directories = opt + (pe32_plus ? 112 : 96);

  struct Section {
    const char* name;
    std::uint32_t rva;
    Bytes data;
  };
  std::vector<Section> list = {{".text", 0x1000, Bytes(0x30, 0xC3)}, {".rsrc", 0x2000, rsrc}};
  if (reloc_after_rsrc)
    list.push_back(
        {".reloc", static_cast<std::uint32_t>(AlignUp(0x2000 + rsrc.size(), kSectionAlignment)), Bytes(12, 0x11)});
  std::size_t header = opt + optional_size;
  for (const Section& s : list) {
    const std::uint32_t raw_pointer = static_cast<std::uint32_t>(file.size());
    file.insert(file.end(), s.data.begin(), s.data.end());
    file.resize(AlignUp(file.size(), kFileAlignment), 0);
    std::copy_n(s.name, std::char_traits<char>::length(s.name), file.begin() + header);
    PutU32(file, header + 8, static_cast<std::uint32_t>(s.data.size()));
    PutU32(file, header + 12, s.rva);
    PutU32(file, header + 16, static_cast<std::uint32_t>(file.size() - raw_pointer));
    PutU32(file, header + 20, raw_pointer);
    PutU32(file, header + 36, 0x40000040);
    header += 40;
  }
  PutU32(file, directories + 16, 0x2000);
  PutU32(file, directories + 20, static_cast<std::uint32_t>(rsrc.size()));
  PutU32(file, opt + 56,
         static_cast<std::uint32_t>(AlignUp(list.back().rva + list.back().data.size(), kSectionAlignment)));
  PutU32(file, opt + 64, ComputePeChecksum(file, opt + 64));
  return file;
}

// A resource section whose root lists `types` IDs that all lead to one name directory of `names` IDs;
// name i leads to an empty language directory at `language_step` * i bytes after the first one. A
// step of 0 makes every name reach the same language directory; a step below 16 makes them overlap.
inline Bytes SharedDirectorySection(std::uint16_t types, std::uint16_t names, std::uint32_t language_step) {
  Bytes section(16 + 8 * std::size_t{types}, 0);
  PutU16(section, 14, types);
  const std::uint32_t name_directory = static_cast<std::uint32_t>(section.size());
  const std::uint32_t first_language = name_directory + 16 + 8 * std::uint32_t{names};
  for (std::uint16_t i = 0; i < types; ++i) {
    PutU32(section, 16 + 8 * std::size_t{i}, i + 1u);
    PutU32(section, 20 + 8 * std::size_t{i}, name_directory | 0x80000000u);
  }
  section.resize(first_language + language_step * std::size_t{names} + 16, 0);
  PutU16(section, name_directory + 14, names);
  for (std::uint16_t i = 0; i < names; ++i) {
    PutU32(section, name_directory + 16 + 8 * std::size_t{i}, i + 1u);
    PutU32(section, name_directory + 20 + 8 * std::size_t{i}, (first_language + language_step * i) | 0x80000000u);
  }
  return section;
}

}  // namespace stubconfig::sample
