// Reference expansion. The text is scanned once, left to right, so that a value that itself holds '%'
// is never expanded again.
#include "core/variables.h"

namespace stub {
namespace {

constexpr char kJavaHomeReference[] = "JAVA_HOME";

}  // namespace

std::string ExpandVariables(const std::string& text, const std::string& java_home,
                            const std::function<std::string(const std::string&)>& getenv) {
  std::string result;
  result.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t open = text.find('%', pos);
    if (open == std::string::npos) {
      result.append(text, pos, std::string::npos);
      break;
    }
    result.append(text, pos, open - pos);
    const std::size_t close = text.find('%', open + 1);
    if (close == std::string::npos) {
      result.append(text, open + 1, std::string::npos);  // the lone '%' is dropped
      break;
    }
    const std::string name(text.substr(open + 1, close - open - 1));
    if (name == kJavaHomeReference) {
      result.append(java_home);
    } else if (!name.empty()) {
      result.append(getenv(name));
    }
    pos = close + 1;
  }
  return result;
}

}  // namespace stub
