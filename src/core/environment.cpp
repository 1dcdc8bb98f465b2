// Environment assignments: parsed and expanded here, set through the caller's edge.
#include "core/environment.h"

#include "core/variables.h"

namespace stub {

void ApplyEnvironment(std::string_view lines, EnvironmentGetter get, EnvironmentSetter set) {
  while (!lines.empty()) {
    const std::size_t end = lines.find('\n');
    std::string_view line = lines.substr(0, end);
    lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t equals = line.find('=');
    if (equals == 0 || equals == std::string_view::npos) continue;
    const std::string name(line.substr(0, equals));
    const std::string value = ExpandVariables(std::string(line.substr(equals + 1)), get("JAVA_HOME"), get);
    set(name, value.empty() ? nullptr : &value);
  }
}

}  // namespace stub
