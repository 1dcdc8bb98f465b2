// The registered-version parser and the acceptance test of runtime discovery against a reference
// model: a name starts with a decimal major number (saturating), optionally followed by '.' and a minor
// number; anything after that is ignored; a name that does not start with a digit is no version. The
// first four bytes give the MinJavaVersion number the required version comes from.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "runtime/runtime_search.h"

namespace {

std::optional<unsigned> ModelNumber(const std::string& text, std::size_t& pos) {
  if (pos >= text.size() || text[pos] < '0' || text[pos] > '9') return std::nullopt;
  unsigned long long value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
    value = std::min<unsigned long long>(value * 10 + static_cast<unsigned>(text[pos++] - '0'), UINT_MAX);
  }
  return static_cast<unsigned>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const std::uint32_t min_java_version =
      static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8) |
      (static_cast<std::uint32_t>(data[2]) << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
  const std::string name(reinterpret_cast<const char*>(data + 4), size - 4);

  const stub::JavaVersion required = stub::RequiredVersion(min_java_version);
  if (required.major != (min_java_version >> 16) || required.minor != (min_java_version & 0xF)) std::abort();

  std::size_t pos = 0;
  const std::optional<unsigned> major = ModelNumber(name, pos);
  unsigned minor = 0;
  if (major && pos < name.size() && name[pos] == '.') {
    ++pos;
    minor = ModelNumber(name, pos).value_or(0);
  }
  const std::optional<stub::JavaVersion> parsed = stub::ParseVersionName(name);
  if (parsed.has_value() != major.has_value()) std::abort();
  if (parsed && (parsed->major != *major || parsed->minor != minor)) std::abort();

  const bool acceptable = major && (*major > required.major || (*major == required.major && minor >= required.minor));
  if (stub::IsVersionAcceptable(name, required) != acceptable) std::abort();
  return 0;
}
