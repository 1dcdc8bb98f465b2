#include "core/string_block.h"

#include <gtest/gtest.h>

#include <vector>

namespace stub {
namespace {

std::vector<unsigned char> Block(const std::vector<std::u16string>& strings) {
  std::vector<unsigned char> bytes;
  for (std::size_t i = 0; i < 16; ++i) {
    const std::u16string text = i < strings.size() ? strings[i] : u"";
    bytes.push_back(static_cast<unsigned char>(text.size() & 0xFF));
    bytes.push_back(static_cast<unsigned char>(text.size() >> 8));
    for (char16_t c : text) {
      bytes.push_back(static_cast<unsigned char>(c & 0xFF));
      bytes.push_back(static_cast<unsigned char>(c >> 8));
    }
  }
  return bytes;
}

TEST(StringBlock, ReadsEachStringOfTheBlock) {
  const auto block = Block({u"first", u"", u"\u00e9t\u00e9 \\path\\", std::u16string(1023, u'x')});
  EXPECT_EQ(StringFromBlock(block.data(), block.size(), 0), u"first");
  EXPECT_EQ(StringFromBlock(block.data(), block.size(), 1), u"");
  EXPECT_EQ(StringFromBlock(block.data(), block.size(), 2), u"\u00e9t\u00e9 \\path\\");
  EXPECT_EQ(StringFromBlock(block.data(), block.size(), 3), std::u16string(1023, u'x'));
  EXPECT_EQ(StringFromBlock(block.data(), block.size(), 15), u"");
}

TEST(StringBlock, TruncatedBlocksGiveEmptyStringsInsteadOfReadingPastTheEnd) {
  const auto block = Block({u"abc", u"defg"});
  for (std::size_t size = 0; size < 10; ++size) {
    const std::u16string first = StringFromBlock(block.data(), size, 0);
    EXPECT_EQ(first, size >= 8 ? u"abc" : u"") << size;
  }
  EXPECT_EQ(StringFromBlock(block.data(), 10, 1), u"");
  EXPECT_EQ(StringFromBlock(block.data(), 18, 1), u"defg");
  const unsigned char claims_too_much[] = {0xFF, 0xFF, 'a', 0};
  EXPECT_EQ(StringFromBlock(claims_too_much, sizeof claims_too_much, 0), u"");
  EXPECT_EQ(StringFromBlock(nullptr, 0, 0), u"");
}

}  // namespace
}  // namespace stub
