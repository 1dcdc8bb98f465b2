// Argument and delimiter splitting. The quoting rules are deliberately simple (no backslash escapes,
// quotes toggle wherever they appear) because configured executables rely on exactly these tokens.
#include "core/tokenizer.h"

#include <cstring>

namespace stub {
namespace {

constexpr char kSpace = ' ';
constexpr char kQuote = '"';

// The token text[start, end).
std::string StoreToken(std::string_view text, std::size_t start, std::size_t end) {
  if (start < end && text[start] == kQuote) {
    // A token that opens with a quote loses its first and last characters, whatever the last is.
    return end - start < 2 ? std::string() : std::string(text.substr(start + 1, end - start - 2));
  }
  return std::string(text.substr(start, end - start));
}

}  // namespace

std::vector<std::string> TokenizeArguments(std::string_view text, bool reserve_slot) {
  std::vector<std::string> tokens;
  if (reserve_slot) tokens.emplace_back();

  std::size_t pos = text.find_first_not_of(kSpace);
  if (pos == std::string_view::npos) {
    // Nothing but spaces still makes one empty token; the empty text makes none.
    if (!text.empty()) tokens.emplace_back();
    return tokens;
  }

  bool inside_quotes = false;
  bool last_was_space = false;
  std::size_t start = pos;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c == kSpace) {
      last_was_space = true;
      if (!inside_quotes) {
        tokens.push_back(StoreToken(text, start, pos));
        start = pos + 1;
      }
    } else {
      last_was_space = false;
      if (c == kQuote) inside_quotes = !inside_quotes;
    }
  }
  // A text that ends in a space (even one inside an unmatched quote) has no final token.
  if (!last_was_space) tokens.push_back(StoreToken(text, start, text.size()));
  return tokens;
}

char* NextToken(char* text, const char* delimiters, char** cursor) {
  if (text == nullptr || (*cursor != nullptr && **cursor == '\0')) {
    *cursor = nullptr;
    return nullptr;
  }
  char* start = *cursor != nullptr ? *cursor : text;
  start += std::strspn(start, delimiters);
  if (*start == '\0') {
    *cursor = nullptr;
    return nullptr;
  }
  char* end = std::strpbrk(start, delimiters);
  if (end != nullptr) {
    *end = '\0';
    *cursor = end + 1;
  } else {
    *cursor = start + std::strlen(start);
  }
  return start;
}

std::string_view StripProgramName(std::string_view command_line) {
  constexpr std::string_view kBlanks = " \t";
  std::size_t pos = command_line.find_first_not_of(kBlanks);
  if (pos == std::string_view::npos) return {};
  if (command_line[pos] == kQuote) {
    const std::size_t close = command_line.find(kQuote, pos + 1);
    pos = close == std::string_view::npos ? command_line.size() : close + 1;
  } else {
    pos = command_line.find_first_of(kBlanks, pos);
    if (pos == std::string_view::npos) pos = command_line.size();
  }
  pos = command_line.find_first_not_of(kBlanks, pos);
  return pos == std::string_view::npos ? std::string_view() : command_line.substr(pos);
}

}  // namespace stub
