#include "core/environment.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "core/text.h"

namespace stub {
namespace {

// Names compare without regard to case, as Windows compares them.
std::map<std::string, std::string> g_values;

std::string Key(std::string name) {
  for (char& c : name) c = AsciiLower(c);
  return name;
}
std::string Get(const std::string& name) {
  const auto it = g_values.find(Key(name));
  return it == g_values.end() ? "" : it->second;
}
bool Set(const std::string& name, const std::string* value) {
  if (value == nullptr) return g_values.erase(Key(name)) > 0;
  g_values[Key(name)] = *value;
  return true;
}

TEST(Environment, LinesApplyInOrderExpandingAgainstTheEnvironmentSoFar) {
  const std::map<std::string, std::string> start = {{"path", "C:\\bin"}, {"java_home", "C:\\jdk"}, {"gone", "x"}};
  struct Case {
    const char* lines;
    std::map<std::string, std::string> added;  // over start; "" removes
  };
  const std::vector<Case> cases = {
      {"", {}},
      {"APP=C:\\app\nPATH=%APP%\\native;%Path%", {{"app", "C:\\app"}, {"path", "C:\\app\\native;C:\\bin"}}},
      {"A=1\r\nA=%A%2\n\nnoequals\n=skipped\nB=%JAVA_HOME%\\bin", {{"a", "12"}, {"b", "C:\\jdk\\bin"}}},
      {"GONE=\nPATH=%UNSET%\nJava_Home=%JAVA_HOME%", {{"gone", ""}, {"path", ""}}},
      {"X=a=b%\nY=%X%", {{"x", "a=b"}, {"y", "a=b"}}},
  };
  for (const Case& c : cases) {
    g_values = start;
    std::map<std::string, std::string> expected = start;
    for (const auto& [name, value] : c.added) {
      if (value.empty()) {
        expected.erase(name);
      } else {
        expected[name] = value;
      }
    }
    ApplyEnvironment(c.lines, Get, Set);
    EXPECT_EQ(g_values, expected) << c.lines;
  }
}

}  // namespace
}  // namespace stub
