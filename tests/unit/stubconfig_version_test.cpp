// What the configuration tool writes besides the settings: the version information resource, as it
// writes it and reads it back, and the manifests it accepts for --manifest.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "manifest.h"
#include "stub_images.h"
#include "version_info.h"

namespace stubconfig {
namespace {

using namespace std::string_literals;

TEST(VersionNumbers, ReadOneToFourDottedNumbersUpTo65535) {
  struct Case {
    const char* text;
    bool valid;
    VersionNumbers numbers;
  };
  const Case cases[] = {
      {"1", true, {1, 0, 0, 0}},
      {"1.2", true, {1, 2, 0, 0}},
      {"1.2.3", true, {1, 2, 3, 0}},
      {"65535.0.00012.65535", true, {65535, 0, 12, 65535}},
      {"000000000000000007", true, {7, 0, 0, 0}},
      {"", false, {}},
      {"1.2.3.4.5", false, {}},
      {"65536", false, {}},
      {"99999999999999999999", false, {}},
      {"1..2", false, {}},
      {".1", false, {}},
      {"1.", false, {}},
      {" 1", false, {}},
      {"1-beta", false, {}},
      {"+1", false, {}},
  };
  for (const Case& c : cases) {
    VersionNumbers numbers;
    EXPECT_EQ(ParseVersionNumbers(c.text, &numbers), c.valid) << c.text;
    if (c.valid) {
      EXPECT_EQ(numbers, c.numbers) << c.text;
    }
  }
  EXPECT_EQ(FormatVersionNumbers({1, 22, 333, 65535}), "1.22.333.65535");
}

VersionStrings EveryKey() {
  VersionStrings strings;
  for (std::size_t key = 0; key < kVersionKeyCount; ++key) {
    strings[key] = std::string(kVersionKeys[key]) + " \u00E9\u65E5\U0001F600";
  }
  strings[kFileVersionKey] = "1.2.3.4";
  strings[kProductVersionKey] = "10.0";
  strings[FindVersionKey("Comments")] = "";
  return strings;
}

// Written in the tool's own translation, language neutral Unicode; the round trip of other strings is
// fuzz_stubconfig_write's.
TEST(VersionResource, WhatTheToolWritesReadsBackAsTheSameSection) {
  const Bytes data = EncodeVersionResource(EveryKey());
  EXPECT_EQ(GetU16(data, 0), data.size());
  VersionResource resource;
  std::string error;
  ASSERT_TRUE(DecodeVersionResource(data, &resource, &error)) << error;
  EXPECT_EQ(resource.translations, (std::vector<std::pair<std::uint16_t, std::uint16_t>>{{0x0000, 1200}}));
  ASSERT_EQ(resource.tables.size(), 1u);
  EXPECT_EQ(resource.tables[0].key, "000004B0");
  std::vector<std::string> warnings;
  EXPECT_EQ(VersionSectionOf(resource, &warnings), EveryKey());
  EXPECT_TRUE(warnings.empty()) << warnings[0];
  EXPECT_EQ(resource.file_version, (VersionNumbers{1, 2, 3, 4}));
  EXPECT_EQ(resource.product_version, (VersionNumbers{10, 0, 0, 0}));
  ASSERT_EQ(resource.tables[0].strings.size(), kVersionKeyCount);
  for (std::size_t key = 0; key < kVersionKeyCount; ++key)
    EXPECT_EQ(resource.tables[0].strings[key].first, kVersionKeys[key]);
}

TEST(VersionResource, SectionWarnsAboutWhatWritingItBackWouldNotReproduce) {
  struct Case {
    const char* what;
    void (*change)(VersionResource*);
    const char* warning;
  };
  const Case cases[] = {
      {"numbers beside the text", [](VersionResource* r) { r->file_version[3] = 9; },
       "FileVersion 1.2.3.4 differs from the numeric file version 1.2.3.9; write would make the number 1.2.3.4"},
      {"numbers without a text",
       [](VersionResource* r) {
         r->tables[0].strings.erase(r->tables[0].strings.begin() + 1);
         r->product_version = {3, 0, 0, 0};
       },
       "the numeric product version is 3.0.0.0 but no ProductVersion text names it; write would make it 0.0.0.0"},
      {"a string of another name", [](VersionResource* r) { r->tables[0].strings.emplace_back("Private\x01", "x"); },
       "version information holds a string named \"Private\\x01\", which write would not keep"},
      {"a string twice", [](VersionResource* r) { r->tables[0].strings.push_back(r->tables[0].strings[3]); },
       "version information holds a second string named \"ProductName\", which write would not keep"},
      {"another translation", [](VersionResource* r) { r->translations.emplace_back(0x0407, 1252); },
       "version information holds other translations than 000004B0, which write would not keep"},
      {"another string table",
       [](VersionResource* r) {
         r->tables.push_back({"04070000", {}});
       },
       "version information holds other translations than 000004B0, which write would not keep"},
  };
  for (const Case& c : cases) {
    VersionResource resource;
    std::string error;
    ASSERT_TRUE(DecodeVersionResource(EncodeVersionResource(EveryKey()), &resource, &error));
    c.change(&resource);
    std::vector<std::string> warnings;
    EXPECT_TRUE(VersionSectionOf(resource, &warnings)) << c.what;
    EXPECT_EQ(warnings, std::vector<std::string>{c.warning}) << c.what;
  }
}

TEST(VersionResource, MalformedDataIsRefusedWithoutReadingPastIt) {
  const Bytes good = EncodeVersionResource(EveryKey());
  VersionResource resource;
  std::string error;
  // Every cut: the root's length then leaves the data.
  for (std::size_t size = 0; size < good.size(); ++size) {
    EXPECT_FALSE(DecodeVersionResource(Bytes(good.begin(), good.begin() + size), &resource, &error)) << size;
  }
  struct Corruption {
    const char* what;
    std::size_t offset;
    std::uint16_t value;
    const char* expected_error;
  };
  const Corruption cases[] = {
      {"no fixed part", 2, 0, "has no fixed part"},
      {"wrong signature", 40, 0x1234, "has no fixed part"},
      {"a child longer than its parent", 92, 0xFFFF, "a block's length leaves the block that holds it"},
      {"a child shorter than its header", 92, 3, "a block's length leaves the block that holds it"},
  };
  for (const Corruption& c : cases) {
    Bytes bad = good;
    PutU16(bad, c.offset, c.value);
    EXPECT_FALSE(DecodeVersionResource(bad, &resource, &error)) << c.what;
    EXPECT_NE(error.find(c.expected_error), std::string::npos) << c.what << ": " << error;
  }
  // A zero length ends a block's children, as trailing padding does.
  Bytes padded = good;
  padded.resize(padded.size() + 8, 0);
  PutU16(padded, 0, static_cast<std::uint16_t>(padded.size()));
  ASSERT_TRUE(DecodeVersionResource(padded, &resource, &error)) << error;
  EXPECT_EQ(resource.translations.size(), 1u);
}

TEST(Manifest, AcceptsWellFormedAssembliesAndNamesWhatIsWrongWithOthers) {
  const std::string head = "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">";
  struct Case {
    std::string text;
    const char* problem;  // nullptr: accepted; else a prefix of the problem
  };
  const Case cases[] = {
      {sample::kSampleManifest, nullptr},
      {"\xEF\xBB\xBF" + std::string(sample::kSampleManifest), nullptr},
      {"<!-- c --><?pi x?>\r\n<asmv1:assembly xmlns:asmv1='urn:schemas-microsoft-com:asm.v1' manifestVersion='1.0'>"
       "<x a=\"&amp;&#x41;&#66;&lt;\"><![CDATA[ <not markup> ]]>t&gt;</x></asmv1:assembly>\n<!-- after -->\n",
       nullptr},
      {head + "<description>Caf\u00E9 \U0001F600</description></assembly>", nullptr},
      {"<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>" + head + "</assembly>", nullptr},
      {"\xFF\xFE<\0", "UTF-16 text; save it as UTF-8"},
      {head + "\xE9</assembly>", "not UTF-8 text"},
      {head + "\n\x01</assembly>", "line 2: a control character, which XML text cannot hold"},
      {" \r\n", "empty"},
      {"<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + head + "</assembly>",
       "line 1: the declaration names the encoding \"UTF-16\"; a manifest is UTF-8"},
      {"<assembly manifestVersion=\"1.0\"/>",
       "line 1: the root element <assembly> is not in the namespace urn:schemas-microsoft-com:asm.v1"},
      {"<assembly xmlns=\"urn:schemas-microsoft-com:asm.v3\" manifestVersion=\"1.0\"/>", "line 1: the root element"},
      {"<a:assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\"/>",
       "line 1: the root element <a:assembly> is not in the namespace"},
      {"<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\"/>",
       "line 1: the root element <assembly> does not say manifestVersion=\"1.0\""},
      {"<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"2.0\"/>", "line 1: the root element"},
      {"<application/>", "line 1: the root element is <application>, not <assembly>"},
      {head + "\n<trustInfo>", "line 2: element <trustInfo> is not closed"},
      {head + "\n<a><b></a></assembly>", "line 2: end tag </a> does not close <b>"},
      {head + "<a x=\"1\" x=\"2\"/></assembly>", "line 1: attribute x appears twice"},
      {head + "<a x=1/></assembly>", "line 1: attribute value of x is not quoted"},
      {head + "<a x=\"1\"y=\"2\"/></assembly>", "line 1: attribute y is not separated"},
      {head + "<a x=\"<\"/></assembly>", "line 1: '<' inside the value of attribute x"},
      {head + "&nbsp;</assembly>", "line 1: unknown reference &nbsp;"},
      {head + "&#0;</assembly>", "line 1: unknown reference &#0;"},
      {head + "&#6A;</assembly>", "line 1: unknown reference &#6A;"},  // decimal: no letters
      {head + "a & b</assembly>", "line 1: '&' starts no reference"},
      {head + "a < b</assembly>", "line 1: '<' starts no tag"},
      {head + "a ]]> b</assembly>", "line 1: \"]]>\" in text"},
      {head + "</assembly>\ntext", "line 2: text after the end of the root element"},
      {head + "</assembly>" + head + "</assembly>", "line 1: text after the end of the root element"},
      {"<!DOCTYPE assembly>" + head + "</assembly>", "line 1: a document type declaration"},
      {head + "<!-- a -- b --></assembly>", "line 1: \"--\" inside a comment"},
      {head + "<!-- open", "line 1: comment is not closed"},
      {head + "<![CDATA[ open", "line 1: CDATA section is not closed"},
      {head + "<?xml version=\"1.0\"?></assembly>", "line 1: an XML declaration that is not at the start"},
      {"text" + head + "</assembly>", "line 1: no root element where one is expected"},
  };
  for (const Case& c : cases) {
    const std::string problem = ManifestProblem(c.text);
    if (c.problem == nullptr) {
      EXPECT_EQ(problem, "") << c.text;
    } else {
      EXPECT_EQ(problem.rfind(c.problem, 0), 0u) << c.text << "\nproblem: " << problem;
    }
  }
  EXPECT_EQ(ManifestToEmbed("\xEF\xBB\xBF<assembly/>"), "<assembly/>");
  EXPECT_EQ(ManifestToEmbed("<assembly/>"), "<assembly/>");
}

}  // namespace
}  // namespace stubconfig
