// FormatMessageText over arbitrary formats and zero to three arguments (the first byte tells how
// many; formats and arguments are separated by zero bytes). Each text lies in a buffer of exactly its
// own size, so that a read past an argument, or past the last one, is caught by the sanitizers. The
// result must equal a reference model: "%s" takes the next argument or nothing, "%%" is one percent
// sign, everything else is copied, and the whole is cut to the message limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/message_format.h"

namespace {

// A text in a heap block of exactly its length, without a terminator.
class ExactText {
 public:
  explicit ExactText(const std::string& text) : bytes_(new char[text.size()]), size_(text.size()) {
    text.copy(bytes_.get(), size_);
  }
  std::string_view view() const { return std::string_view(bytes_.get(), size_); }

 private:
  std::unique_ptr<char[]> bytes_;
  std::size_t size_;
};

std::string Model(std::string_view format, const std::vector<std::string_view>& args) {
  std::string out;
  std::size_t next = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    const bool directive = format[i] == '%' && i + 1 < format.size();
    if (directive && format[i + 1] == 's') {
      if (next < args.size()) out += args[next++];
      ++i;
    } else if (directive && format[i + 1] == '%') {
      out += '%';
      ++i;
    } else {
      out += format[i];
    }
  }
  return out.substr(0, stub::kMaxMessageLength);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t count = data[0] % 4;
  std::vector<std::string> parts(1);
  for (std::size_t i = 1; i < size; ++i) {
    if (data[i] == 0 && parts.size() <= count) {
      parts.emplace_back();
    } else {
      parts.back().push_back(static_cast<char>(data[i]));
    }
  }
  parts.resize(count + 1);
  std::vector<ExactText> texts(parts.begin(), parts.end());
  std::vector<std::string_view> args;
  for (std::size_t i = 1; i < texts.size(); ++i) args.push_back(texts[i].view());
  const std::string_view format = texts[0].view();

  std::string result;
  switch (count) {
    case 0:
      result = stub::FormatMessageText(format, {});
      break;
    case 1:
      result = stub::FormatMessageText(format, {args[0]});
      break;
    case 2:
      result = stub::FormatMessageText(format, {args[0], args[1]});
      break;
    default:
      result = stub::FormatMessageText(format, {args[0], args[1], args[2]});
      break;
  }
  if (result != Model(format, args)) std::abort();
  return 0;
}
