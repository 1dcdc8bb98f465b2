// The restart limit. Times that lie ahead of now (the system was restarted since, or the text was
// not ours) count as out of the window, so that nothing stale can block a restart for long.
#include "app/restart_rules.h"

#include <vector>

namespace stub {
namespace {

std::vector<std::uint64_t> RecentTimes(std::string_view text, std::uint64_t now) {
  std::vector<std::uint64_t> times;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find(',', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view field = text.substr(pos, end - pos);
    std::uint64_t value = 0;
    bool valid = !field.empty() && field.size() <= 19;
    for (char c : field) {
      valid = valid && c >= '0' && c <= '9';
      value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (valid && value <= now && now - value < kRestartWindowMs) times.push_back(value);
    pos = end + 1;
  }
  return times;
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
  const std::vector<std::uint64_t> times = RecentTimes(previous, now);
  if (times.size() >= static_cast<std::size_t>(kMaxRestarts)) return std::nullopt;
  std::string next;
  for (const std::uint64_t time : times) {
    AppendDecimal(next, time);
    next.push_back(',');
  }
  AppendDecimal(next, now);
  return next;
}

}  // namespace stub
