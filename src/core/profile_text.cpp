// Profile parsing; see the header for the rules it keeps.
#include "core/profile_text.h"

#include "core/text.h"

namespace stub {
namespace {

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// The next line at pos, without its end; pos moves past it.
std::string_view NextLine(std::string_view text, std::size_t& pos) {
  const std::size_t end = text.find_first_of("\r\n", pos);
  const std::string_view line = text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
  pos = end == std::string_view::npos ? text.size() : end + 1;
  if (end != std::string_view::npos && text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
  return line;
}

}  // namespace

std::optional<std::string> ProfileValue(std::string_view text, std::string_view section, std::string_view key) {
  bool in_section = false;
  bool section_seen = false;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::string_view line = Trim(NextLine(text, pos));
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      if (section_seen) return std::nullopt;  // only the first section of that name is read
      const std::size_t close = line.find(']');
      in_section = EqualsIgnoringAsciiCase(Trim(line.substr(1, close == std::string_view::npos ? close : close - 1)),
                                           section);
      section_seen = in_section;
      continue;
    }
    if (!in_section) continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    if (EqualsIgnoringAsciiCase(Trim(line.substr(0, equals)), key)) {
      return std::string(Unquote(Trim(line.substr(equals + 1))));
    }
  }
  return std::nullopt;
}

}  // namespace stub
