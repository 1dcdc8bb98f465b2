// Elsewhere than on Windows every stream takes UTF-8 bytes as they are.
#include "console.h"

#include <cstdio>

namespace stubconfig {

bool WriteText(Stream stream, std::string_view utf8) {
  std::FILE* file = stream == Stream::kOutput ? stdout : stderr;
  return std::fwrite(utf8.data(), 1, utf8.size(), file) == utf8.size() && std::fflush(file) == 0;
}

}  // namespace stubconfig
