// The version parsers of runtime discovery against reference models. A registered version name starts
// with a decimal major number (saturating), optionally followed by '.' and a minor number; anything
// after that is ignored; a name that does not start with a digit is no version. A runtime version has
// up to four such numbers, each after one of ".", "_", "+", "-", and orders by them in turn. The first
// four bytes give the MinJavaVersion number the required version comes from; the rest holds two names
// separated by a line break.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// Up to four numbers, each after the first one following one of the separators.
std::optional<std::vector<unsigned>> ModelRuntimeVersion(const std::string& text) {
  std::size_t pos = 0;
  const std::optional<unsigned> first = ModelNumber(text, pos);
  if (!first) return std::nullopt;
  std::vector<unsigned> parts = {*first};
  while (parts.size() < 4 && pos < text.size() && std::string_view(".+_-").find(text[pos]) != std::string_view::npos) {
    std::size_t next = pos + 1;
    const std::optional<unsigned> number = ModelNumber(text, next);
    if (!number) break;
    parts.push_back(*number);
    pos = next;
  }
  parts.resize(4, 0);
  return parts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const std::uint32_t min_java_version =
      static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8) |
      (static_cast<std::uint32_t>(data[2]) << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
  const std::string names(reinterpret_cast<const char*>(data + 4), size - 4);
  const std::string name = names.substr(0, names.find('\n'));
  const std::string other = names.find('\n') == std::string::npos ? "" : names.substr(names.find('\n') + 1);

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

  const std::optional<std::vector<unsigned>> parts = ModelRuntimeVersion(name);
  const std::optional<std::vector<unsigned>> other_parts = ModelRuntimeVersion(other);
  const std::optional<stub::RuntimeVersion> runtime = stub::ParseRuntimeVersion(name);
  const std::optional<stub::RuntimeVersion> other_runtime = stub::ParseRuntimeVersion(other);
  if (runtime.has_value() != parts.has_value() || other_runtime.has_value() != other_parts.has_value()) std::abort();
  if (runtime && !std::equal(parts->begin(), parts->end(), runtime->parts)) std::abort();
  if (runtime && other_runtime && (*runtime < *other_runtime) != (*parts < *other_parts)) std::abort();
  return 0;
}
