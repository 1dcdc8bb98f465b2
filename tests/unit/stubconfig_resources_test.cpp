// The configuration tool's binary side: string blocks, the resource section model, the PE checksum
// and whole-image stamping, on small synthetic PE images built here.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/config_layout.h"
#include "launcher_resources.h"
#include "pe_image.h"
#include "resource_tree.h"
#include "string_block.h"
#include "stub_images.h"

namespace stubconfig {
namespace {

using namespace stubconfig::sample;

std::size_t IndexOfSetting(std::string_view name) {
  return static_cast<std::size_t>(stub::FindSettingByName(name) - stub::kSettingLayouts);
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
  StampExpectation expected;
  std::string error;
  EXPECT_TRUE(StampLauncher(stub, request, &out, &expected, &error)) << error;
  EXPECT_EQ(LoaderRuleViolation(out), "");
  return out;
}

// Why stamping one setting into the stub is refused; a refusal writes nothing.
std::string Refusal(const Bytes& stub, int id = 1040) {
  StampRequest request;
  request.texts[id] = "x";
  Bytes out;
  StampExpectation expected;
  std::string error;
  EXPECT_FALSE(StampLauncher(stub, request, &out, &expected, &error)) << id;
  EXPECT_TRUE(out.empty());
  return error;
}

ResourceTree Loaded(const Bytes& image) {
  ResourceTree tree;
  std::string error;
  EXPECT_TRUE(LoadResourceTree(image, &tree, &error)) << error;
  return tree;
}

std::vector<std::string> Configuration(const Bytes& image) {
  std::vector<std::string> stored;
  std::vector<std::string> warnings;
  std::string error;
  EXPECT_TRUE(ReadLauncherConfiguration(image, &stored, &warnings, &error)) << error;
  return stored;
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

constexpr std::uint32_t kSectionRva = 0x1000;

// A section with one type and one name, whose language directory lists `languages` data entries that
// all describe the same `blob_size` bytes; or one whose names all point at one name string.
Bytes SharedDataSection(std::uint16_t languages, std::uint32_t blob_size) {
  Bytes section(16 + 8 + 16 + 8 + 16 + 8 * std::size_t{languages}, 0);
  PutU16(section, 14, 1);
  PutU32(section, 16, 6);
  PutU32(section, 20, 24 | 0x80000000u);
  PutU16(section, 24 + 14, 1);
  PutU32(section, 24 + 16, 1);
  PutU32(section, 24 + 20, 48 | 0x80000000u);
  PutU16(section, 48 + 14, languages);
  const std::size_t entries = section.size();
  section.resize(entries + 16 * std::size_t{languages}, 0);
  const std::size_t blob = section.size();
  section.resize(blob + blob_size, 0x5A);
  for (std::uint16_t i = 0; i < languages; ++i) {
    PutU32(section, 64 + 8 * std::size_t{i}, i);
    PutU32(section, 68 + 8 * std::size_t{i}, static_cast<std::uint32_t>(entries + 16 * std::size_t{i}));
    PutU32(section, entries + 16 * std::size_t{i}, static_cast<std::uint32_t>(kSectionRva + blob));
    PutU32(section, entries + 16 * std::size_t{i} + 4, blob_size);
  }
  return section;
}

Bytes SharedNameSection(std::uint16_t names, std::uint16_t name_length) {
  Bytes section = SharedDirectorySection(1, names, 16);
  const std::uint32_t name_at = static_cast<std::uint32_t>(section.size());
  AppendU16(section, name_length);
  section.resize(section.size() + 2 * std::size_t{name_length}, 'n');
  for (std::uint16_t i = 0; i < names; ++i) PutU32(section, 24 + 16 + 8 * std::size_t{i}, name_at | 0x80000000u);
  return section;
}

TEST(ResourceTree, ReadsNoMoreThanTheSectionHoldsAndEachDirectoryOnce) {
  struct Case {
    const char* what;
    Bytes section;
    const char* expected_error;  // nullptr: parses
  };
  const Case cases[] = {
      {"2000 types x 2000 names", SharedDirectorySection(2000, 2000, 0), "is reached twice"},
      {"65535 types x 65535 names", SharedDirectorySection(65535, 65535, 0), "is reached twice"},
      {"names sharing a language directory", SharedDirectorySection(1, 2000, 0), "is reached twice"},
      {"types sharing a name directory", SharedDirectorySection(2, 10, 16), "is reached twice"},
      {"overlapping language directories", SharedDirectorySection(1, 2000, 2), "larger than its section"},
      {"one blob behind many data entries", SharedDataSection(64, 4096), "larger than its section"},
      {"one long name behind many entries", SharedNameSection(64, 2000), "larger than its section"},
      {"separate language directories", SharedDirectorySection(1, 2000, 16), nullptr},
      {"one blob, one data entry", SharedDataSection(1, 4096), nullptr},
  };
  for (const Case& c : cases) {
    ResourceTree tree;
    std::string error;
    EXPECT_EQ(ParseResourceTree(c.section, kSectionRva, &tree, &error), c.expected_error == nullptr) << c.what;
    if (c.expected_error) {
      EXPECT_NE(error.find(c.expected_error), std::string::npos) << c.what << ": " << error;
    }
  }
}

TEST(PeImage, MapsNoMoreZerosBeyondTheRawDataThanTheFileHasBytes) {
  Bytes image = BuildImage(StubResources(), true, false);
  const std::size_t rsrc_header = SectionTableAt(true) + 40;
  PeImage headers;
  Bytes section;
  std::string error;
  for (const std::uint32_t virtual_size : {0x10000u, 0x7FFFFFFFu}) {
    PutU32(image, rsrc_header + 8, virtual_size);
    ASSERT_TRUE(ParsePeImage(image, &headers, &error)) << error;
    const bool fits = virtual_size - GetU32(image, rsrc_header + 16) <= image.size();
    EXPECT_EQ(ReadMappedSectionTail(image, headers, 0x2000, &section, &error), fits) << virtual_size;
    if (fits) {
      EXPECT_EQ(section.size(), virtual_size);
    }
  }
  EXPECT_NE(error.find("implausibly large"), std::string::npos) << error;
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
      request.texts[1376] = "Caf\u00E9 \u20AC \U0001F600";
      ResourceTree tree = Loaded(StampChecked(stub, request));
      EXPECT_EQ(StringOf(tree, 1040), u"C:\\Program Files\\Java\\jvm.dll");
      EXPECT_EQ(StringOf(tree, 1184), u"");
      EXPECT_EQ(StringOf(tree, 1376), u"Caf\u00E9 \u20AC \U0001F600");
      EXPECT_EQ(StringOf(tree, 1056), u"default JvmOptions");
      EXPECT_EQ(StringOf(tree, 1025), u"neighbour");
      EXPECT_EQ(StringOf(tree, 1040, 0x407), u"deutsch");
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
  std::vector<std::string> long_texts;
  for (const stub::SettingLayout& layout : stub::kSettingLayouts) long_texts.push_back(all_long.texts[layout.id]);
  EXPECT_EQ(Configuration(grown), long_texts);

  // The moved section is now last, so later edits, larger or smaller, happen in place.
  StampRequest small;
  for (const stub::SettingLayout& layout : stub::kSettingLayouts) small.texts[layout.id] = "";
  small.texts[1168] = "41";
  const Bytes shrunk = StampChecked(grown, small);
  EXPECT_LT(shrunk.size(), grown.size());
  ASSERT_TRUE(ParsePeImage(shrunk, &image, &error));
  EXPECT_EQ(image.sections.size(), 4u);
  const Bytes regrown = StampChecked(shrunk, all_long);
  EXPECT_EQ(Configuration(regrown), long_texts);
  EXPECT_EQ(regrown, StampChecked(grown, all_long));

  // A section that shrinks in place before .reloc still reaches it (StampChecked checks the rules).
  const Bytes large_stub = BuildImage(StubResources(long_texts), true, true);
  ASSERT_TRUE(ParsePeImage(StampChecked(large_stub, small), &image, &error));
  EXPECT_EQ(image.sections.size(), 3u);  // rewritten in place
}

TEST(LoaderRules, EachRuleFailsOnAnImageThatBreaksItAndWriteRefusesThatStub) {
  const Bytes original = BuildImage(StubResources(), true, true);
  ASSERT_EQ(LoaderRuleViolation(original), "");
  const std::size_t table = SectionTableAt(true);
  const std::size_t opt = kFileHeaderAt + 20;
  const std::size_t directories = opt + 112;
  const auto section = [&](std::size_t index, std::size_t field) { return table + 40 * index + field; };
  struct Case {
    const char* what;
    std::size_t at;
    std::uint32_t value;
    const char* rule;
  };
  const Case cases[] = {
      {"a hole between .rsrc and .reloc", section(2, 12), GetU32(original, section(2, 12)) + 0x1000, "starts at"},
      {"a first section inside the headers", section(0, 12), 0, "starts at 0x0, not at 0x1000"},
      {"sections out of order", section(0, 12), 0x9000, "starts at"},
      {"SizeOfImage past the last section", opt + 56, GetU32(original, opt + 56) + 0x1000, "SizeOfImage"},
      {"SizeOfHeaders off the file alignment", opt + 60, 0x300, "SizeOfHeaders 0x300 is not a multiple"},
      {"SizeOfHeaders short of the section table", opt + 60, 0, "does not hold the section table"},
      {"raw data off the file alignment", section(0, 20), 0x500, "PointerToRawData 0x500"},
      {"a raw size off the file alignment", section(0, 16), 0x100, "SizeOfRawData 0x100"},
      {"raw data inside the headers", section(0, 20), 0x200, "raw data starts inside the headers"},
      {"raw data past the end of the file", section(2, 16), 0x400, "past the end of the file"},
      {"the resource directory beyond the image", directories + 20, 0x100000, "data directory 2"},
      {"the certificate table beyond the file", directories + 36, 0x100000, "lies outside the file"},
      {"a wrong checksum", opt + 64, 1, "checksum 0x1 is wrong"},
  };
  for (const Case& c : cases) {
    Bytes stub = original;
    PutU32(stub, c.at, c.value);
    if (c.at != opt + 64) PutU32(stub, opt + 64, ComputePeChecksum(stub, opt + 64));
    EXPECT_NE(LoaderRuleViolation(stub).find(c.rule), std::string::npos) << c.what << ": " << LoaderRuleViolation(stub);
    EXPECT_NE(Refusal(stub), "") << c.what;
  }
}

TEST(StampLauncher, RefusesEveryStubThatDumpRefusesWithTheSameMessage) {
  ResourceTree truncated_block = StubResources();
  Bytes& block =
      truncated_block[ResourceName::Id(kRtString)][ResourceName::Id(StringBlockId(1056))][ResourceName::Id(0)].bytes;
  block.resize(block.size() - 1);
  ResourceTree block_of_zero_length = StubResources();
  block_of_zero_length[ResourceName::Id(kRtString)][ResourceName::Id(StringBlockId(1712))][ResourceName::Id(0)]
      .bytes = {};
  for (const ResourceTree& tree : {truncated_block, block_of_zero_length}) {
    const Bytes stub = BuildImage(tree, false, true);
    std::vector<std::string> stored;
    std::vector<std::string> warnings;
    std::string dump_error;
    ASSERT_FALSE(ReadLauncherConfiguration(stub, &stored, &warnings, &dump_error));
    EXPECT_NE(dump_error.find("is malformed"), std::string::npos) << dump_error;
    for (const int id : {1056, 1712, 1040}) EXPECT_EQ(Refusal(stub, id), dump_error);  // the broken block or another
  }
}

TEST(StampLauncher, CheckOfTheWrittenImageFindsEveryDifference) {
  const Bytes stub = BuildImage(StubResources(), true, true);
  StampRequest request;
  request.texts[1184] = "app options";
  Bytes out;
  StampExpectation expected;
  std::string error;
  ASSERT_TRUE(StampLauncher(stub, request, &out, &expected, &error)) << error;
  ASSERT_TRUE(CheckStampedImage(out, expected, &error)) << error;
  PeImage image;
  ASSERT_TRUE(ParsePeImage(out, &image, &error));
  const std::size_t checksum = ChecksumOffset(image);
  const Bytes needle = EncodeStringBlock(BlockWith(0, u"app options"));
  const std::size_t text_at = std::search(out.begin(), out.end(), needle.begin(), needle.end()) - out.begin() + 2;
  ASSERT_LT(text_at, out.size());

  Bytes changed_text = out;
  changed_text[text_at] = 'A';
  PutU32(changed_text, checksum, ComputePeChecksum(changed_text, checksum));
  Bytes wrong_checksum = out;
  PutU32(wrong_checksum, checksum, GetU32(out, checksum) + 1);
  Bytes no_checksum = out;
  PutU32(no_checksum, checksum, 0);
  StampExpectation other_setting = expected;
  other_setting.stored[IndexOfSetting("SplashText")] = "other";
  StampExpectation other_resource = expected;
  other_resource.resources[ResourceName::Id(kRtBitmap)].clear();
  struct Case {
    const char* what;
    const Bytes& image;
    const StampExpectation& expected;
    const char* expected_error;
  };
  const Case cases[] = {
      {"a changed string", changed_text, expected, "does not carry the intended resources"},
      {"a wrong checksum", wrong_checksum, expected, "checksum"},
      {"no checksum", no_checksum, expected, "carries a wrong checksum"},
      {"another setting expected", out, other_setting, "does not carry the intended SplashText"},
      {"other resources expected", out, other_resource, "does not carry the intended resources"},
      {"a cut image", Bytes(out.begin(), out.begin() + 0x300), expected, "does not read back"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(CheckStampedImage(c.image, c.expected, &error)) << c.what;
    EXPECT_NE(error.find(c.expected_error), std::string::npos) << c.what << ": " << error;
  }
}

// The group's name is matched as the resource loader does, without regard to ASCII case; the new
// group and its images take the old group's language.
TEST(StampLauncher, ReplacesMainIconAndSplashBitmap) {
  for (const char16_t* old_name : {u"MAINICON", u"mainicon"}) {
    const ResourceName language = ResourceName::Id(old_name[0] == u'm' ? 0x409 : 0);
    ResourceTree resources = StubResources();
    NameMap& groups = resources.at(ResourceName::Id(kRtGroupIcon));
    auto old_group = groups.extract(ResourceName::Name(u"MAINICON"));
    old_group.key() = ResourceName::Name(old_name);
    old_group.mapped() = {{language, old_group.mapped().at(ResourceName::Id(0))}};
    groups.insert(std::move(old_group));
    for (int id : {1, 2}) {
      LanguageMap& image = resources.at(ResourceName::Id(kRtIcon)).at(ResourceName::Id(id));
      image = {{language, image.at(ResourceName::Id(0))}};
    }
    const Bytes stub = BuildImage(resources, true, true);
    std::vector<IconImage> icon(2);
    icon[0].width = 16;
    icon[0].data = Bytes(40, 1);
    icon[1].width = 48;
    icon[1].data = Bytes(60, 2);
    const Bytes dib = {40, 0, 0, 0, 9, 9};
    StampRequest request;
    request.icon = &icon;
    request.splash_dib = &dib;
    const ResourceTree tree = Loaded(StampChecked(stub, request));
    const NameMap& icons = tree.at(ResourceName::Id(kRtIcon));
    ASSERT_EQ(icons.size(), 3u);  // the old group's two images replaced, the other group's image kept
    EXPECT_EQ(icons.at(ResourceName::Id(7)).at(ResourceName::Id(0)).bytes, Data("other group's icon").bytes);
    const LanguageMap* group = FindResource(tree, ResourceName::Id(kRtGroupIcon), ResourceName::Name(u"MAINICON"));
    ASSERT_NE(group, nullptr);
    const Bytes& directory = group->at(language).bytes;  // its entries: fuzz_icon_file
    ASSERT_EQ(directory.size(), 6u + 2 * 14);
    for (std::size_t i = 0; i < 2; ++i) {
      EXPECT_EQ(icons.at(ResourceName::Id(GetU16(directory, 6 + i * 14 + 12))).at(language).bytes, icon[i].data);
    }
    const LanguageMap* bitmap = FindResource(tree, ResourceName::Id(kRtBitmap), ResourceName::Id(kSplashBitmapId));
    EXPECT_EQ(bitmap->at(ResourceName::Id(0)).bytes, dib);
    EXPECT_EQ(tree.at(ResourceName::Id(kRtGroupIcon)).size(), 1u) << "the old group is gone, whatever its case";
  }
}

TEST(StampLauncher, ReplacesManifestAndVersionInformationEachByOneResource) {
  ResourceTree resources = StubResources(ValidStoredTexts());
  // A second language of each: a replacement leaves one resource, in the first language.
  resources[ResourceName::Id(kRtManifest)][ResourceName::Id(kManifestId)][ResourceName::Id(0x409)] = Data("old");
  resources[ResourceName::Id(kRtVersion)][ResourceName::Id(kVersionInfoId)][ResourceName::Id(0x407)] = Data("old");
  const Bytes stub = BuildImage(resources, false, true);
  const Bytes manifest = Data("<assembly/>").bytes;  // checked by the caller, not here
  VersionStrings version;
  version[kFileVersionKey] = "2.5";
  version[FindVersionKey("FileDescription")] = "Caf\u00E9 \U0001F600";
  StampRequest request;
  request.manifest = &manifest;
  request.version_info = version;
  const Bytes out = StampChecked(stub, request);
  const ResourceTree tree = Loaded(out);
  const auto only = [&tree](int type, int id) {  // the one resource of that type and ID, language neutral
    const LanguageMap* languages = FindResource(tree, ResourceName::Id(type), ResourceName::Id(id));
    return languages && languages->size() == 1 ? languages->at(ResourceName::Id(0)).bytes : Bytes{};
  };
  EXPECT_EQ(only(kRtManifest, kManifestId), manifest);
  EXPECT_EQ(only(kRtVersion, kVersionInfoId), EncodeVersionResource(version));

  // dump shows the version information the tool wrote, and not the launcher's own.
  std::string ini;
  std::vector<std::string> warnings;
  std::string error;
  ASSERT_TRUE(DumpLauncher(out, &ini, &warnings, &error)) << error;
  EXPECT_NE(ini.find("\n\n[VersionInfo]\nFileVersion=2.5\nFileDescription=Caf\u00E9 \U0001F600\n"), std::string::npos)
      << ini;
  EXPECT_TRUE(warnings.empty());
  ASSERT_TRUE(DumpLauncher(stub, &ini, &warnings, &error)) << error;
  EXPECT_EQ(ini.find("VersionInfo"), std::string::npos) << ini;
  EXPECT_TRUE(warnings.empty());
}

TEST(StampLauncher, DumpWarnsAboutVersionInformationItCannotReadAndStillDumps) {
  ResourceTree resources = StubResources(ValidStoredTexts());
  resources[ResourceName::Id(kRtVersion)][ResourceName::Id(kVersionInfoId)][ResourceName::Id(0)] = Data("\x04");
  std::string ini;
  std::vector<std::string> warnings;
  std::string error;
  ASSERT_TRUE(DumpLauncher(BuildImage(resources, true, false), &ini, &warnings, &error)) << error;
  EXPECT_EQ(warnings, std::vector<std::string>{"the version information is cut short; not shown"});
  EXPECT_EQ(ini.find("VersionInfo"), std::string::npos);
  EXPECT_EQ(ini.rfind("[Launcher]\n", 0), 0u);
}

TEST(StampLauncher, RefusesUnsuitableStubs) {
  const Bytes good = BuildImage(StubResources(), true, true);
  Bytes signed_stub = good;
  PutU32(signed_stub, 0x84 + 20 + 112 + 4 * 8 + 4, 0x100);
  Bytes dll = good;
  PutU16(dll, 0x84 + 18, 0x2022);
  Bytes overlapping = good;
  PutU32(overlapping, SectionTableAt(true) + 8, 0x1001);  // .text reaches into .rsrc at 0x2000
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
      {"sections overlapping in memory", overlapping, "sections .text and .rsrc overlap in memory"},
      {"signed", signed_stub, "is Authenticode-signed"},
      {"English table only", BuildImage(english, true, false), "carries no language-neutral launcher string table"},
      {"other strings only", BuildImage(unrelated, true, false), "carries no language-neutral launcher string table"},
  };
  for (const Case& c : cases) EXPECT_NE(Refusal(c.stub).find(c.expected_error), std::string::npos) << c.what;
}

TEST(IconAndBitmapFiles, AcceptWellFormedFilesAndRefuseOthers) {
  Bytes ico = {0, 0, 1, 0, 1, 0, 32, 32, 0, 0, 1, 0, 32, 0, 40, 0, 0, 0, 22, 0, 0, 0};
  Bytes dib(40, 0);
  dib[0] = 40;
  ico.insert(ico.end(), dib.begin(), dib.end());
  std::vector<IconImage> images;  // what an accepted file yields: fuzz_icon_file
  std::string error;
  ASSERT_TRUE(ParseIconFile(ico, &images, &error)) << error;
  Bytes bad_offset = ico;
  bad_offset[18] = 23;
  Bytes not_dib = ico;
  not_dib[22] = 41;
  for (const Bytes& bad : {Bytes{}, Bytes{0, 0, 2, 0, 1, 0}, Bytes{0, 0, 1, 0, 0, 0}, bad_offset, not_dib}) {
    EXPECT_FALSE(ParseIconFile(bad, &images, &error));
  }
  Bytes empty_image = ico;
  empty_image[14] = 0;
  EXPECT_FALSE(ParseIconFile(empty_image, &images, &error));
  EXPECT_EQ(error, "icon image 1 lies outside the file");

  Bytes bmp = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0};
  bmp.insert(bmp.end(), dib.begin(), dib.end());
  bmp.push_back(0x7F);
  Bytes packed;
  ASSERT_TRUE(ParseBitmapFile(bmp, &packed, &error)) << error;
  EXPECT_EQ(packed, Bytes(bmp.begin() + 14, bmp.end()));
  Bytes core = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 26, 0, 0, 0, 12, 0, 0, 0, 1, 0, 1, 0, 1, 0, 24, 0, 1, 2, 3, 0};
  ASSERT_TRUE(ParseBitmapFile(core, &packed, &error)) << "the 12-byte header of OS/2 bitmaps: " << error;
  EXPECT_EQ(packed, Bytes(core.begin() + 14, core.end()));
  Bytes short_header = bmp;
  short_header[14] = 200;
  Bytes below_core = core;
  below_core[14] = 11;
  for (const Bytes& bad : {Bytes{}, Bytes(60, 'B'), short_header, below_core}) {
    EXPECT_FALSE(ParseBitmapFile(bad, &packed, &error));
  }
}

}  // namespace
}  // namespace stubconfig
