#include "core/text.h"

#include <gtest/gtest.h>

namespace stub {
namespace {

TEST(Text, Utf8AndUtf16RoundTripEveryPlane) {
  const std::pair<std::string, std::u16string> cases[] = {
      {"", u""},
      {"plain ASCII", u"plain ASCII"},
      {"Zo\xC3\xAB caf\xC3\xA9", u"Zo\u00EB caf\u00E9"},
      {"\xE6\x97\xA5\xE6\x9C\xAC", u"\u65E5\u672C"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
      // The last and first code point of each length, and supplementary ones whose low ten bits are all set.
      {"\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80", u"\u007F\u0080\u07FF\u0800"},
      {"\xEF\xBF\xBF\xF0\x90\x80\x80", u"\uFFFF\U00010000"},
      {"\xF0\x9F\x8F\xBF\xF4\x8F\xBF\xBF", u"\U0001F3FF\U0010FFFF"},
  };
  for (const auto& [utf8, utf16] : cases) {
    EXPECT_EQ(Utf16FromUtf8(utf8), utf16) << utf8;
    EXPECT_EQ(Utf8FromUtf16(utf16), utf8) << utf8;
  }
}

TEST(Text, UnpairedSurrogatesSurviveTheRoundTrip) {
  // A Windows file name may hold them; the name must come back the same.
  for (const std::u16string& name : {std::u16string(u"a\xD800z"), std::u16string(u"\xDC00"), std::u16string(u"\xDBFF")}) {
    const std::string utf8 = Utf8FromUtf16(name);
    EXPECT_EQ(utf8.size(), name.size() + 2);
    EXPECT_FALSE(IsValidUtf8(utf8));
    EXPECT_EQ(Utf16FromUtf8(utf8), name);
  }
}

TEST(Text, MalformedBytesBecomeOneReplacementEach) {
  const std::pair<std::string, std::u16string> cases[] = {
      {"\xFF", u"\uFFFD"},
      {"a\x80z", u"a\uFFFDz"},
      {"\xC3", u"\uFFFD"},                      // cut short
      {"\xC0\xAF", u"\uFFFD\uFFFD"},            // overlong '/'
      {"\xC1\xBF", u"\uFFFD\uFFFD"},            // overlong U+007F
      {"\xF8\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // no lead byte of five bytes
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
      {"\xE2\x82", u"\uFFFD\uFFFD"},
  };
  for (const auto& [utf8, utf16] : cases) EXPECT_EQ(Utf16FromUtf8(utf8), utf16);
}

TEST(Text, ValidUtf8IsStrict) {
  EXPECT_TRUE(IsValidUtf8("caf\xC3\xA9 \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF"));
  EXPECT_FALSE(IsValidUtf8("caf\xE9"));          // Windows-1252
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));     // a surrogate
  EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));     // overlong
}

TEST(Text, ModifiedUtf8CarriesNulAndSupplementaryCharactersAsJniExpects) {
  EXPECT_EQ(ModifiedUtf8FromUtf8("com/x/Caf\xC3\xA9"), "com/x/Caf\xC3\xA9");
  EXPECT_EQ(ModifiedUtf8FromUtf8(std::string("a\0b", 3)), "a\xC0\x80" "b");
  EXPECT_EQ(ModifiedUtf8FromUtf8("\xF0\x9F\x98\x80"), "\xED\xA0\xBD\xED\xB8\x80");
}

TEST(Text, TextFilesAreDecodedByTheirMarkOrAsUtf8) {
  struct Case {
    std::string bytes;
    TextEncoding encoding;
    std::string utf8;
  };
  const Case cases[] = {
      {"\xEF\xBB\xBFk=caf\xC3\xA9", TextEncoding::kUtf8, "k=caf\xC3\xA9"},
      {"k=caf\xC3\xA9", TextEncoding::kUtf8, "k=caf\xC3\xA9"},
      {std::string("\xFF\xFEk\0=\0\xE9\0", 8), TextEncoding::kUtf16Le, "k=\xC3\xA9"},
      {std::string("\xFE\xFF\0k\0=\xD8\x3D\xDE\x00", 10), TextEncoding::kUtf16Be, "k=\xF0\x9F\x98\x80"},
      {"k=caf\xE9", TextEncoding::kLegacy, ""},
      {"", TextEncoding::kUtf8, ""},
  };
  for (const Case& c : cases) {
    const DecodedText decoded = DecodeTextFile(c.bytes);
    EXPECT_EQ(decoded.encoding, c.encoding) << c.bytes;
    EXPECT_EQ(decoded.utf8, c.utf8) << c.bytes;
  }
}

TEST(Text, AsciiCaseFoldLeavesOtherBytesAlone) {
  EXPECT_TRUE(EqualsIgnoringAsciiCase("Application Configuration", "application CONFIGURATION"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("\xC3\x89", "\xC3\xA9"));  // É and é are not folded
  EXPECT_TRUE(EndsWithIgnoringAsciiCase("lib\\X.JAR", ".jar"));
  EXPECT_FALSE(EndsWithIgnoringAsciiCase("jar", ".jar"));
}

TEST(Text, DecimalTextWritesEveryDigitOfTheNumber) {
  const std::pair<unsigned long, const char*> cases[] = {
      {0, "0"}, {7, "7"}, {10, "10"}, {1063, "1063"}, {4294967295ul, "4294967295"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(DecimalText(value), text) << value;
}

}  // namespace
}  // namespace stub
