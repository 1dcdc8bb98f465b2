#include "core/tokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace stub {
namespace {

using Tokens = std::vector<std::string>;

struct TokenizeCase {
  const char* text;
  Tokens tokens;
};

// Q stands for a double quote and _ for a space in the names of the binding examples.
TEST(Tokenizer, SplitsExactlyByTheBindingRules) {
  const TokenizeCase cases[] = {
      {"", {}},
      {" ", {""}},
      {"   ", {""}},
      {"a", {"a"}},
      {"a b c", {"a", "b", "c"}},
      {"  a b", {"a", "b"}},
      {"a  b", {"a", "", "b"}},  // a__b
      {"a  ", {"a", ""}},        // a__
      {"a ", {"a"}},             // a_
      {"-Dname=\"a b\"", {"-Dname=\"a b\""}},
      {"\"a b\"", {"a b"}},         // Qa_bQ
      {"\"ab\"cd", {"ab\"c"}},      // QabQcd
      {"\"\"", {""}},               // QQ
      {"x \"ab", {"x", "a"}},       // x_Qab
      {"x \"ab ", {"x"}},           // x_Qab_
      {"a \"", {"a", ""}},          // a_Q
      {"\"a b\" c", {"a b", "c"}},  // Qa_bQ_c
      {"a\tb", {"a\tb"}},
      {"C:\\dir\\x.jar \\\"y", {"C:\\dir\\x.jar", "\\\"y"}},
      {"-Xmx512m  \"-Djava.class.path=.;a b\"", {"-Xmx512m", "", "-Djava.class.path=.;a b"}},
  };
  for (const TokenizeCase& c : cases) {
    EXPECT_EQ(TokenizeArguments(c.text, false), c.tokens) << "text: [" << c.text << "]";
  }
}

TEST(Tokenizer, ReservedSlotPrecedesTheTokens) {
  EXPECT_EQ(TokenizeArguments("", true), Tokens{""});
  EXPECT_EQ(TokenizeArguments("  ", true), (Tokens{"", ""}));
  EXPECT_EQ(TokenizeArguments("one two three", true), (Tokens{"", "one", "two", "three"}));
}

std::vector<std::string> SplitAll(std::string text, const char* delimiters) {
  std::vector<std::string> pieces;
  char* cursor = nullptr;
  while (char* piece = NextToken(text.data(), delimiters, &cursor)) pieces.emplace_back(piece);
  EXPECT_EQ(cursor, nullptr);
  return pieces;
}

TEST(Tokenizer, NextTokenSkipsRunsOfDelimitersAtEitherEnd) {
  EXPECT_EQ(SplitAll(";;a;;b;", ";"), (Tokens{"a", "b"}));
  EXPECT_EQ(SplitAll(".;Classes\\\r\nlib\\x.jar\n", ";\r\n"), (Tokens{".", "Classes\\", "lib\\x.jar"}));
  EXPECT_EQ(SplitAll("a b; c", ";"), (Tokens{"a b", " c"}));
  EXPECT_EQ(SplitAll(";;;", ";"), Tokens{});
  EXPECT_EQ(SplitAll("", ";"), Tokens{});
}

TEST(Tokenizer, NextTokenStartsOverAfterReportingTheEnd) {
  std::string text = "a;b";
  char* cursor = nullptr;
  ASSERT_STREQ(NextToken(text.data(), ";", &cursor), "a");
  ASSERT_STREQ(NextToken(text.data(), ";", &cursor), "b");
  ASSERT_EQ(NextToken(text.data(), ";", &cursor), nullptr);
  EXPECT_STREQ(NextToken(text.data(), ";", &cursor), "a");
  EXPECT_EQ(NextToken(nullptr, ";", &cursor), nullptr);
  EXPECT_EQ(cursor, nullptr);
}

TEST(Tokenizer, StripProgramNameLeavesTheArguments) {
  const std::pair<const char*, const char*> cases[] = {
      {"prog.exe a b", "a b"},
      {"  \t\"C:\\Program Files\\app.exe\"  \t -x \"y z\"", "-x \"y z\""},
      {"\"C:\\app.exe\"x y", "x y"},
      {"app.exe", ""},
      {"app.exe   ", ""},
      {"\"unterminated name", ""},
      {"", ""},
  };
  for (const auto& [line, args] : cases) EXPECT_EQ(StripProgramName(line), args) << line;
}

}  // namespace
}  // namespace stub
