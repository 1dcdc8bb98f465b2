#include "core/main_class_cipher.h"

#include <gtest/gtest.h>

#include <string>

namespace stub {
namespace {

TEST(MainClassCipher, RoundTripsThroughTheStoredForm) {
  const std::string names[] = {"com.harbordesk.MainApp", "a", "Main", "x.y.z.VeryLongClassNameThatWrapsTheKeyStream",
                               std::string(kMaxMainClassLength, 'q')};
  for (const std::string& name : names) {
    const std::string stored = EncipherMainClass(name);
    EXPECT_EQ(stored.size(), name.size() * 2);
    EXPECT_EQ(stored.find_first_not_of("0123456789ABCDEF"), std::string::npos) << stored;
    EXPECT_EQ(DecodeMainClass(stored), name);
  }
}

TEST(MainClassCipher, KeyStreamRepeatsEverySeventeenBytesAndPassesTheSeventeenth) {
  // The seventeenth key byte is the key's terminating zero, so that byte is stored as itself.
  const std::string name(34, 'A');
  const std::string stored = EncipherMainClass(name);
  EXPECT_EQ(stored.substr(0, 2), "15");   // 'A' ^ 'T'
  EXPECT_EQ(stored.substr(32, 2), "41");  // position 16: unchanged
  EXPECT_EQ(stored.substr(34, 2), "15");  // position 17: the stream starts over
  EXPECT_EQ(stored.substr(66, 2), "41");
}

TEST(MainClassCipher, MalformedStoredFormsDecodeToADefinedPrefix) {
  const std::string stored = EncipherMainClass("com.Main");
  EXPECT_EQ(DecodeMainClass(stored + "4"), "com.Main");  // odd trailing digit ignored
  std::string lower = stored;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(DecodeMainClass(lower), "com.Main");                                     // either letter case
  EXPECT_EQ(DecodeMainClass(stored.substr(0, 6) + "ZZ" + stored.substr(8)), "com");  // stops at a non-digit
  EXPECT_EQ(DecodeMainClass(""), "");
  EXPECT_EQ(DecodeMainClass("5"), "");

  const std::string too_long = EncipherMainClass(std::string(300, 'b'));
  EXPECT_EQ(DecodeMainClass(too_long), std::string(kMaxMainClassLength, 'b'));

  // A pair that deciphers to zero ends the name, as it would end a C string.
  EXPECT_EQ(DecodeMainClass("54" + stored), "");  // 'T' ^ 'T' == 0 at position 0
}

TEST(MainClassCipher, HexDigitValues) {
  const std::pair<char, int> cases[] = {{'0', 0}, {'9', 9}, {'A', 10}, {'f', 15}, {'G', -1}, {' ', -1}, {'/', -1}};
  for (const auto& [c, value] : cases) EXPECT_EQ(HexDigitValue(c), value) << c;
}

}  // namespace
}  // namespace stub
