// The configuration tool's binary side: string blocks, the resource section model, the PE checksum
// and whole-image stamping, on small synthetic PE images built here.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/config_layout.h"
#include "launcher_resources.h"
#include "pe_image.h"
#include "resource_tree.h"
#include "string_block.h"

namespace stubconfig {
namespace {

constexpr std::uint32_t kSectionAlignment = 0x1000;
constexpr std::uint32_t kFileAlignment = 0x200;

ResourceData Data(std::string text) { return ResourceData{Bytes(text.begin(), text.end()), 0}; }

StringBlock BlockWith(std::size_t index, std::u16string text) {
  StringBlock block;
  block[index] = std::move(text);
  return block;
}

// A small tree with what a launcher stub carries besides its configuration.
ResourceTree StubResources() {
  ResourceTree tree;
  for (const stub::SettingLayout& layout : stub::kSettingLayouts) {
    StringBlock block = BlockWith(0, u"default " + AnsiToUtf16(layout.name));
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
  return tree;
}

// A minimal executable: .text, .rsrc holding `tree`, and optionally a .reloc section after it, which
// is the order the mingw-w64 linker produces.
Bytes BuildImage(const ResourceTree& tree, bool pe32_plus, bool reloc_after_rsrc) {
  const std::size_t optional_size = pe32_plus ? 240 : 224;
  const std::size_t sections = reloc_after_rsrc ? 3 : 2;
  Bytes file(0x400, 0);
  file[0] = 'M';
  file[1] = 'Z';
  PutU32(file, 0x3C, 0x80);
  std::copy_n("PE\0\0", 4, file.begin() + 0x80);
  const std::size_t coff = 0x84;
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

  const Bytes rsrc = SerializeResourceTree(tree, 0x2000);
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

std::u16string StringOf(const ResourceTree& tree, int id, std::uint16_t language = 0) {
  const LanguageMap* languages = FindResource(tree, ResourceName::Id(kRtString), ResourceName::Id(StringBlockId(id)));
  if (languages == nullptr || !languages->count(ResourceName::Id(language))) return u"<absent>";
  StringBlock block;
  EXPECT_TRUE(DecodeStringBlock(languages->at(ResourceName::Id(language)).bytes, &block));
  return block[StringBlockIndex(id)];
}

// Stamps and checks the invariants every stamped image must keep.
Bytes StampChecked(const Bytes& stub, const StampRequest& request) {
  Bytes out;
  std::string error;
  EXPECT_TRUE(StampLauncher(stub, request, &out, &error)) << error;
  PeImage image;
  EXPECT_TRUE(ParsePeImage(out, &image, &error)) << error;
  EXPECT_EQ(GetU32(out, ChecksumOffset(image)), ComputePeChecksum(out, ChecksumOffset(image)));
  std::uint32_t end = 0;
  for (const PeSection& s : image.sections) {
    EXPECT_EQ(s.raw_pointer % kFileAlignment, 0u) << s.name;
    EXPECT_EQ(s.raw_size % kFileAlignment, 0u) << s.name;
    EXPECT_EQ(s.virtual_address % kSectionAlignment, 0u) << s.name;
    EXPECT_LE(std::size_t{s.raw_pointer} + s.raw_size, out.size()) << s.name;
    EXPECT_GE(s.virtual_address, end) << s.name << " overlaps the section before it";
    end = static_cast<std::uint32_t>(AlignUp(std::size_t{s.virtual_address} + s.virtual_size, kSectionAlignment));
  }
  EXPECT_EQ(GetU32(out, image.optional_header_offset + 56), end);
  return out;
}

TEST(StringBlock, EncodesSixteenLengthPrefixedStringsAndDecodesThemBack) {
  StringBlock block;
  block[0] = u"ab";
  block[15] = u"\u20AC";
  const Bytes data = EncodeStringBlock(block);
  const Bytes expected = {2, 0, 'a', 0, 'b', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,    0,
                          0, 0, 0,   0, 0,   0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0xAC, 0x20};
  EXPECT_EQ(data, expected);
  StringBlock decoded;
  ASSERT_TRUE(DecodeStringBlock(data, &decoded));
  EXPECT_EQ(decoded, block);
  EXPECT_FALSE(DecodeStringBlock(Bytes(data.begin(), data.end() - 1), &decoded));
  EXPECT_FALSE(DecodeStringBlock(Bytes(30, 0), &decoded));
}

TEST(StringBlock, MapsWindows1252BothWays) {
  struct Case {
    std::string ansi;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"C:\\a b", u"C:\\a b"}, {"\x80", u"\u20AC"}, {"\x81", u"\u0081"}, {"\x9F", u"\u0178"},
      {"\xE9", u"\u00E9"},     {"\xFF", u"\u00FF"}, {"", u""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AnsiToUtf16(c.ansi), c.utf16) << c.ansi;
    std::string back;
    EXPECT_TRUE(Utf16ToAnsi(c.utf16, &back));
    EXPECT_EQ(back, c.ansi);
  }
  std::string lossy;
  EXPECT_FALSE(Utf16ToAnsi(u"a\u4E2Db", &lossy));
  EXPECT_EQ(lossy, "a?b");
}

TEST(ResourceTree, SerializesAndParsesBackTheSameTree) {
  const ResourceTree tree = StubResources();
  for (std::uint32_t rva : {0x2000u, 0x41000u}) {
    const Bytes section = SerializeResourceTree(tree, rva);
    EXPECT_EQ(section.size(), SerializeResourceTree(tree, 0x1000).size());
    ResourceTree parsed;
    std::string error;
    ASSERT_TRUE(ParseResourceTree(section, rva, &parsed, &error)) << error;
    EXPECT_TRUE(parsed == tree);
  }
}

TEST(ResourceTree, OrdersNamedEntriesFirstAndIdsAscending) {
  ResourceTree tree;
  tree[ResourceName::Id(10)][ResourceName::Id(1)][ResourceName::Id(0)] = Data("x");
  tree[ResourceName::Id(2)][ResourceName::Id(1)][ResourceName::Id(0)] = Data("x");
  tree[ResourceName::Name(u"b")][ResourceName::Id(1)][ResourceName::Id(0)] = Data("x");
  tree[ResourceName::Name(u"A")][ResourceName::Id(1)][ResourceName::Id(0)] = Data("x");
  const Bytes section = SerializeResourceTree(tree, 0);
  EXPECT_EQ(GetU16(section, 12), 2);  // named entries
  EXPECT_EQ(GetU16(section, 14), 2);  // ID entries
  const auto name_at = [&](std::size_t entry) {
    return GetU16(section, (GetU32(section, 16 + 8 * entry) & 0x7FFFFFFF) + 2);
  };
  EXPECT_EQ(name_at(0), u'A');
  EXPECT_EQ(name_at(1), u'b');
  EXPECT_EQ(GetU32(section, 16 + 8 * 2), 2u);
  EXPECT_EQ(GetU32(section, 16 + 8 * 3), 10u);
}

TEST(ResourceTree, RefusesMalformedSectionsWithoutReadingOutOfBounds) {
  ResourceTree small;
  small[ResourceName::Id(kRtString)][ResourceName::Name(u"N")][ResourceName::Id(0)] = Data("data");
  const Bytes good = SerializeResourceTree(small, 0x3000);
  struct Corruption {
    const char* what;
    std::size_t offset;
    std::uint32_t value;
  };
  const Corruption cases[] = {
      {"too many root entries", 14, 0xFFFF},       {"subdirectory offset past the end", 20, 0x80000000u | 0xFFFF},
      {"type entry pointing at a leaf", 20, 0x40}, {"name string past the end", 16 + 8 + 16, 0x8000FFFF},
      {"data outside the section", 0, 0},  // patched below: the data entry's RVA
  };
  for (const Corruption& c : cases) {
    Bytes bad = good;
    std::size_t offset = c.offset;
    std::uint32_t value = c.value;
    if (std::string(c.what) == "data outside the section") {
      offset = GetU32(good, 48 + 16 + 4);  // root, name and language directories of one entry each
      value = 0x2FFF;
      ASSERT_EQ(GetU32(good, offset), 0x3000u + good.size() - 8);
    }
    PutU32(bad, offset, value);
    ResourceTree parsed;
    std::string error;
    EXPECT_FALSE(ParseResourceTree(bad, 0x3000, &parsed, &error)) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
  }
  // Every cut before the end of the data ("data" is followed by four bytes of alignment padding).
  for (std::size_t size = 0; size < good.size() - 4; ++size) {
    ResourceTree parsed;
    std::string error;
    EXPECT_FALSE(ParseResourceTree(Bytes(good.begin(), good.begin() + size), 0x3000, &parsed, &error)) << size;
  }
}

TEST(PeChecksum, FoldsCarriesSkipsTheChecksumFieldAndAddsTheLength) {
  struct Case {
    Bytes file;
    std::size_t checksum_offset;
    std::uint32_t expected;
  };
  const Case cases[] = {
      {{0x01, 0x00, 0x02, 0x00}, 100, 0x0003 + 4},
      {{0xFF, 0xFF, 0x02, 0x00}, 100, 0x0002 + 4},  // 0xFFFF + 2 = 0x10001, folded to 2
      {{0x01, 0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x02, 0x00}, 2, 0x0003 + 8},
      {{0x34, 0x12, 0x05}, 100, 0x1234 + 0x05 + 3},  // an odd final byte counts as a low byte
      {{}, 0, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ComputePeChecksum(c.file, c.checksum_offset), c.expected);
}

TEST(StampLauncher, WritesSettingsAndKeepsEverythingElse) {
  for (const bool pe32_plus : {true, false}) {
    for (const bool reloc_after : {true, false}) {
      const Bytes stub = BuildImage(StubResources(), pe32_plus, reloc_after);
      StampRequest request;
      request.texts[1040] = "C:\\Program Files\\Java\\jvm.dll";
      request.texts[1184] = "";
      request.texts[1376] = "Caf\xE9 \x80";
      const Bytes out = StampChecked(stub, request);
      ResourceTree tree;
      std::string error;
      ASSERT_TRUE(LoadResourceTree(out, &tree, &error)) << error;
      EXPECT_EQ(StringOf(tree, 1040), u"C:\\Program Files\\Java\\jvm.dll");
      EXPECT_EQ(StringOf(tree, 1184), u"");
      EXPECT_EQ(StringOf(tree, 1376), u"Caf\u00E9 \u20AC");
      EXPECT_EQ(StringOf(tree, 1056), u"default JvmOptions");
      EXPECT_EQ(StringOf(tree, 1025), u"neighbour");
      EXPECT_EQ(StringOf(tree, 1040, 0x407), u"deutsch");
      ResourceTree expected = StubResources();
      expected.at(ResourceName::Id(kRtString)).clear();
      tree.at(ResourceName::Id(kRtString)).clear();
      EXPECT_TRUE(tree == expected) << "resources other than strings changed";
    }
  }
}

TEST(StampLauncher, GrowsShrinksAndRestampsAcrossSectionMoves) {
  const Bytes stub = BuildImage(StubResources(), true, true);
  StampRequest all_long;
  for (const stub::SettingLayout& layout : stub::kSettingLayouts) {
    all_long.texts[layout.id] = std::string(stub::kMaxSettingLength, static_cast<char>('A' + layout.id % 26));
  }
  const Bytes grown = StampChecked(stub, all_long);
  PeImage image;
  std::string error;
  ASSERT_TRUE(ParsePeImage(grown, &image, &error));
  ASSERT_EQ(image.sections.size(), 4u);
  EXPECT_EQ(image.sections[1].name, ".rsrcold");
  EXPECT_EQ(image.sections[3].name, ".rsrc");
  EXPECT_EQ(image.sections[2].virtual_address, GetU32(stub, 0x84 + 20 + 40 * 0 + 240 + 40 * 2 + 12));
  std::vector<std::string> stored;
  std::vector<std::string> warnings;
  ASSERT_TRUE(ReadLauncherConfiguration(grown, &stored, &warnings, &error)) << error;
  for (std::size_t i = 0; i < stub::kSettingCount; ++i)
    EXPECT_EQ(stored[i], all_long.texts[stub::kSettingLayouts[i].id]);

  // The moved section is now last, so later edits, larger or smaller, happen in place.
  StampRequest small;
  for (const stub::SettingLayout& layout : stub::kSettingLayouts) small.texts[layout.id] = "";
  small.texts[1168] = "41";
  const Bytes shrunk = StampChecked(grown, small);
  EXPECT_LT(shrunk.size(), grown.size());
  ASSERT_TRUE(ParsePeImage(shrunk, &image, &error));
  EXPECT_EQ(image.sections.size(), 4u);
  const Bytes regrown = StampChecked(shrunk, all_long);
  ASSERT_TRUE(ReadLauncherConfiguration(regrown, &stored, &warnings, &error)) << error;
  EXPECT_EQ(stored[9], all_long.texts[1168]);
  EXPECT_EQ(regrown, StampChecked(grown, all_long));
}

TEST(StampLauncher, ReplacesMainIconAndSplashBitmap) {
  const Bytes stub = BuildImage(StubResources(), true, true);
  std::vector<IconImage> icon(2);
  icon[0].width = 16;
  icon[0].data = Bytes(40, 1);
  icon[1].width = 48;
  icon[1].data = Bytes(60, 2);
  const Bytes dib = {40, 0, 0, 0, 9, 9};
  StampRequest request;
  request.icon = &icon;
  request.splash_dib = &dib;
  const Bytes out = StampChecked(stub, request);
  ResourceTree tree;
  std::string error;
  ASSERT_TRUE(LoadResourceTree(out, &tree, &error)) << error;
  const NameMap& icons = tree.at(ResourceName::Id(kRtIcon));
  ASSERT_EQ(icons.size(), 3u);  // the old group's two images replaced, the other group's image kept
  EXPECT_EQ(icons.at(ResourceName::Id(7)).at(ResourceName::Id(0)).bytes, Data("other group's icon").bytes);
  const LanguageMap* group = FindResource(tree, ResourceName::Id(kRtGroupIcon), ResourceName::Name(u"MAINICON"));
  ASSERT_NE(group, nullptr);
  const Bytes& directory = group->at(ResourceName::Id(0)).bytes;
  ASSERT_EQ(directory.size(), 6u + 2 * 14);
  EXPECT_EQ(GetU16(directory, 4), 2);
  for (std::size_t i = 0; i < 2; ++i) {
    const std::size_t entry = 6 + i * 14;
    EXPECT_EQ(directory[entry], icon[i].width);
    EXPECT_EQ(GetU32(directory, entry + 8), icon[i].data.size());
    EXPECT_EQ(icons.at(ResourceName::Id(GetU16(directory, entry + 12))).at(ResourceName::Id(0)).bytes, icon[i].data);
  }
  EXPECT_EQ(
      FindResource(tree, ResourceName::Id(kRtBitmap), ResourceName::Id(kSplashBitmapId))->at(ResourceName::Id(0)).bytes,
      dib);
}

TEST(StampLauncher, RefusesUnsuitableStubs) {
  const Bytes good = BuildImage(StubResources(), true, true);
  Bytes signed_stub = good;
  PutU32(signed_stub, 0x84 + 20 + 112 + 4 * 8 + 4, 0x100);
  Bytes dll = good;
  PutU16(dll, 0x84 + 18, 0x2022);
  ResourceTree english;
  english[ResourceName::Id(kRtString)][ResourceName::Id(StringBlockId(1024))][ResourceName::Id(0x409)].bytes =
      EncodeStringBlock(BlockWith(0, u"x"));
  ResourceTree unrelated;
  unrelated[ResourceName::Id(kRtString)][ResourceName::Id(1)][ResourceName::Id(0)].bytes =
      EncodeStringBlock(StringBlock());
  struct Case {
    const char* what;
    Bytes stub;
    const char* expected_error;
  };
  const Case cases[] = {
      {"text file", Bytes(200, 'a'), "not a PE executable"},
      {"truncated", Bytes(good.begin(), good.begin() + 0x90), "not a PE executable"},
      {"DLL", dll, "not a PE executable"},
      {"signed", signed_stub, "is Authenticode-signed"},
      {"English table only", BuildImage(english, true, false), "carries no language-neutral launcher string table"},
      {"other strings only", BuildImage(unrelated, true, false), "carries no language-neutral launcher string table"},
  };
  for (const Case& c : cases) {
    StampRequest request;
    request.texts[1040] = "x";
    Bytes out;
    std::string error;
    EXPECT_FALSE(StampLauncher(c.stub, request, &out, &error)) << c.what;
    EXPECT_NE(error.find(c.expected_error), std::string::npos) << c.what << ": " << error;
    EXPECT_TRUE(out.empty()) << c.what;
  }
}

TEST(IconAndBitmapFiles, AcceptWellFormedFilesAndRefuseOthers) {
  Bytes ico = {0, 0, 1, 0, 1, 0, 32, 32, 0, 0, 1, 0, 32, 0, 40, 0, 0, 0, 22, 0, 0, 0};
  Bytes dib(40, 0);
  dib[0] = 40;
  ico.insert(ico.end(), dib.begin(), dib.end());
  std::vector<IconImage> images;
  std::string error;
  ASSERT_TRUE(ParseIconFile(ico, &images, &error)) << error;
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].width, 32);
  EXPECT_EQ(images[0].bit_count, 32);
  EXPECT_EQ(images[0].data, dib);
  Bytes bad_offset = ico;
  bad_offset[18] = 23;
  Bytes not_dib = ico;
  not_dib[22] = 41;
  for (const Bytes& bad : {Bytes{}, Bytes{0, 0, 2, 0, 1, 0}, Bytes{0, 0, 1, 0, 0, 0}, bad_offset, not_dib}) {
    EXPECT_FALSE(ParseIconFile(bad, &images, &error));
  }

  Bytes bmp = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0};
  bmp.insert(bmp.end(), dib.begin(), dib.end());
  bmp.push_back(0x7F);
  Bytes packed;
  ASSERT_TRUE(ParseBitmapFile(bmp, &packed, &error)) << error;
  EXPECT_EQ(packed, Bytes(bmp.begin() + 14, bmp.end()));
  Bytes short_header = bmp;
  short_header[14] = 200;
  for (const Bytes& bad : {Bytes{}, Bytes(60, 'B'), short_header}) EXPECT_FALSE(ParseBitmapFile(bad, &packed, &error));
}

}  // namespace
}  // namespace stubconfig
