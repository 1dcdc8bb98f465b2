// The restart limit. Times that lie ahead of now (the system was restarted since, or the text was
// not ours) count as out of the window, so that nothing stale can block a restart for long.
#include "app/restart_rules.h"

namespace stub {
namespace {

// A field of decimal digits that fits 64 bits; false for anything else.
bool ReadTime(std::string_view field, std::uint64_t& value) {
  if (field.empty() || field.size() > 19) return false;
  value = 0;
  for (char c : field) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return true;
}

void AppendDecimal(std::string& text, std::uint64_t value) {
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count > 0) text.push_back(digits[--count]);
}

}  // namespace

std::optional<std::string> NextRestartTimes(std::string_view previous, std::uint64_t now) {
  std::string next;
  int recent = 0;
  for (std::size_t from = 0; from <= previous.size();) {
    std::size_t end = previous.find(',', from);
    if (end == std::string_view::npos) end = previous.size();
    std::uint64_t time = 0;
    if (ReadTime(previous.substr(from, end - from), time) && time <= now && now - time < kRestartWindowMs) {
      ++recent;
      AppendDecimal(next, time);
      next.push_back(',');
    }
    from = end + 1;
  }
  if (recent >= kMaxRestarts) return std::nullopt;
  AppendDecimal(next, now);
  return next;
}

}  // namespace stub
