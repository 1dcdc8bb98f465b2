// Configuration files through parse -> write -> dump -> write. Whatever `write` accepts, `dump` of the
// stamped launcher prints back line for line ([Launcher] and [VersionInfo]), without a warning; what
// `dump` printed, `write` accepts and stamps into the same configuration. The encoding does not
// matter: the same text as UTF-8 with and without a byte-order mark and as UTF-16 of either byte order
// reads the same, and a file read as Windows-1252 reads as its UTF-8 form does, only with a warning.
// A refusal or warning names the file and is one line of printable ASCII.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/config_layout.h"
#include "core/text.h"
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

void CheckMessage(const std::string& message) {
  if (message.rfind("app.ini:", 0) != 0) std::abort();
  for (char c : message) {
    if (c < 0x20 || c > 0x7E) std::abort();
  }
}

// The dump of an image, or aborts.
std::string Dump(const Bytes& exe) {
  std::string ini;
  std::vector<std::string> warnings;
  std::string error;
  if (!DumpLauncher(exe, &ini, &warnings, &error) || !warnings.empty()) std::abort();
  return ini;
}

// The stub written with `ini`, or aborts.
Bytes Write(const LauncherIni& ini) {
  StampRequest request;
  AddConfiguration(ini, &request);
  Bytes out;
  StampExpectation expected;
  std::string error;
  if (!StampLauncher(Stub(), request, &out, &expected, &error)) std::abort();
  return out;
}

LauncherIni ParseOrAbort(std::string_view text) {
  LauncherIni ini;
  std::vector<std::string> warnings;
  std::string error;
  if (!ParseLauncherIni(text, "dump.ini", &ini, &warnings, &error) || !warnings.empty()) std::abort();
  return ini;
}

bool SameConfiguration(const LauncherIni& a, const LauncherIni& b) {
  if (a.settings.size() != b.settings.size() || a.version_info != b.version_info) return false;
  for (std::size_t i = 0; i < a.settings.size(); ++i) {
    if (a.settings[i].layout != b.settings[i].layout || a.settings[i].value != b.settings[i].value) return false;
  }
  return true;
}

// The text decoded from the input, in every encoding a file may have, reads as the input did.
void CheckEncodingsAgree(std::string_view input, bool parsed, const LauncherIni& ini, const std::string& error) {
  std::string text;
  std::vector<std::string> warnings;
  std::string decode_error;
  if (!DecodeConfigurationText(input, "app.ini", &text, &warnings, &decode_error)) return;
  // NUL characters make a UTF-8 file a binary one, and a file of unpaired surrogates has no UTF-8.
  if (text.find('\0') != std::string::npos || !stub::IsValidUtf8(text)) return;
  const std::u16string units = stub::Utf16FromUtf8(text);
  // Text that starts with U+FEFF has no form without a byte-order mark: the mark would be taken for one.
  const bool starts_with_mark = text.rfind("\xEF\xBB\xBF", 0) == 0;
  for (const std::string& form : {starts_with_mark ? "\xEF\xBB\xBF" + text : text, "\xEF\xBB\xBF" + text,
                                  sample::Utf16File(units, true), sample::Utf16File(units, false)}) {
    LauncherIni again;
    std::vector<std::string> again_warnings;
    std::string again_error;
    const bool again_parsed = ParseLauncherIni(form, "app.ini", &again, &again_warnings, &again_error);
    if (again_parsed != parsed || !again_warnings.empty()) std::abort();
    if (parsed ? !SameConfiguration(again, ini) : again_error != error) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  LauncherIni ini;
  std::vector<std::string> warnings;
  std::string error;
  const bool parsed = ParseLauncherIni(text, "app.ini", &ini, &warnings, &error);
  for (const std::string& warning : warnings) CheckMessage(warning);
  CheckEncodingsAgree(text, parsed, ini, error);
  if (!parsed) {
    CheckMessage(error);
    return 0;
  }
  const std::string dumped = Dump(Write(ini));
  if (!stub::IsValidUtf8(dumped)) std::abort();
  const LauncherIni printed = ParseOrAbort(dumped);
  if (printed.settings.size() != stub::kSettingCount) std::abort();
  for (const IniEntry& entry : ini.settings) {
    if (printed.settings[static_cast<std::size_t>(entry.layout - stub::kSettingLayouts)].value != entry.value) {
      std::abort();
    }
  }
  // A [VersionInfo] section is printed as written; without one, the launcher's own is not shown.
  if (printed.version_info != ini.version_info) std::abort();
  if (Dump(Write(printed)) != dumped) std::abort();
  return 0;
}
