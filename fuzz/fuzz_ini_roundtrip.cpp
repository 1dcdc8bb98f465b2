// Configuration files through parse -> write -> dump -> write. Whatever `write` accepts, `dump` of the
// stamped launcher prints back line for line, without a warning; what `dump` printed, `write` accepts
// and stamps into the same configuration. A refusal names the file and quotes no raw bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/config_layout.h"
#include "launcher_ini.h"
#include "launcher_resources.h"
#include "stub_images.h"

namespace {

using namespace stubconfig;

// A launcher whose every setting already holds a valid value, so that its dump warns about nothing.
const Bytes& Stub() {
  static const Bytes stub = sample::BuildImage(sample::StubResources(sample::ValidStoredTexts()), true, true);
  return stub;
}

// The dump of an image, or aborts.
std::string Dump(const Bytes& exe) {
  std::vector<std::string> stored;
  std::vector<std::string> warnings;
  std::string error;
  if (!ReadLauncherConfiguration(exe, &stored, &warnings, &error)) std::abort();
  const std::string ini = FormatLauncherIni(stored, &warnings);
  if (!warnings.empty()) std::abort();
  return ini;
}

// The stub written with the entries of `ini`, or aborts.
Bytes Write(std::string_view ini) {
  std::vector<IniEntry> entries;
  std::string error;
  if (!ParseLauncherIni(ini, "dump.ini", &entries, &error)) std::abort();
  StampRequest request;
  for (const IniEntry& entry : entries) request.texts[entry.layout->id] = StoredText(*entry.layout, entry.value);
  Bytes out;
  StampExpectation expected;
  if (!StampLauncher(Stub(), request, &out, &expected, &error)) std::abort();
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<IniEntry> entries;
  std::string error;
  if (!ParseLauncherIni(text, "app.ini", &entries, &error)) {
    if (error.rfind("app.ini:", 0) != 0) std::abort();
    for (char c : error) {
      if (c < 0x20 || c > 0x7E) std::abort();
    }
    return 0;
  }
  const std::string dumped = Dump(Write(text));
  std::map<std::string, std::string> lines;  // every "Name=value" line the dump printed, by name
  std::size_t start = dumped.find('\n') + 1;
  while (start < dumped.size()) {
    const std::size_t end = dumped.find('\n', start);
    const std::string line = dumped.substr(start, end - start);
    lines[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
    start = end + 1;
  }
  if (lines.size() != stub::kSettingCount) std::abort();
  for (const IniEntry& entry : entries) {
    if (lines[std::string(entry.layout->name)] != entry.value) std::abort();
  }
  if (Dump(Write(dumped)) != dumped) std::abort();
  return 0;
}
