// Message formatting without printf: a configured "%d" or "%n" must not read or write through
// arguments that were never passed.
#include "core/message_format.h"

namespace stub {

std::string FormatMessageText(std::string_view format, std::initializer_list<std::string_view> args) {
  std::string text;
  auto next_arg = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    if (c == '%' && i + 1 < format.size() && format[i + 1] == 's') {
      if (next_arg != args.end()) text.append(*next_arg++);
      ++i;
    } else if (c == '%' && i + 1 < format.size() && format[i + 1] == '%') {
      text.push_back('%');
      ++i;
    } else {
      text.push_back(c);
    }
    if (text.size() >= kMaxMessageLength) break;
  }
  if (text.size() > kMaxMessageLength) text.resize(kMaxMessageLength);
  return text;
}

}  // namespace stub
