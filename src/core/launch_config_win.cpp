// The Win32 side of configuration loading: the executable's own string table and the INI override.
#include <windows.h>

#include "core/launch_config.h"
#include "core/reporting.h"
#include "core/string_block.h"
#include "core/system_win.h"
#include "core/text.h"

namespace stub {
namespace {

// The override file is read whole; a larger file is no configuration file and is refused, not cut.
constexpr std::size_t kIniFileLimit = 1 << 20;
constexpr char kIniTooLargeMessage[] = "The configuration file %s is larger than 1 MiB; it was not read.";

// One entry of the executable's own string table, read through the kernel's resource functions (not
// the user-interface library's string loader, which would load that whole library for nothing), cut
// to the launcher's 1023-unit limit (the configuration tool refuses longer values).
std::string LoadConfigString(int id) {
  const HRSRC resource = ::FindResourceW(nullptr, MAKEINTRESOURCEW(StringBlockId(id)), MAKEINTRESOURCEW(6));  // RT_STRING
  const HGLOBAL loaded = resource != nullptr ? ::LoadResource(nullptr, resource) : nullptr;
  const void* block = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (block == nullptr) return std::string();
  std::u16string text = StringFromBlock(block, ::SizeofResource(nullptr, resource), StringBlockIndex(id));
  if (text.size() > kMaxSettingLength) text.resize(kMaxSettingLength);
  return std::string(NormalizeEntry(Utf8FromUtf16(text)));
}

// An IniFile that is not fully qualified is taken against the executable's directory (current at this
// point). Its text may be UTF-8 or UTF-16 (by its byte-order mark, or valid UTF-8 without one);
// anything else is read in the ANSI code page, as files written for earlier launchers are.
std::optional<std::string> ReadIniText(const std::string& ini_file) {
  const std::string path = IsFullyQualifiedPath(ini_file) ? ini_file : FullPath(ini_file);
  const std::optional<std::string> bytes = ReadFileBytes(path, kIniFileLimit + 1);
  if (!bytes) return std::nullopt;
  if (bytes->size() > kIniFileLimit) {
    ReportError(kIniTooLargeMessage, path);
    return std::nullopt;
  }
  DecodedText decoded = DecodeTextFile(*bytes);
  return decoded.encoding == TextEncoding::kLegacy ? Utf8OfAnsi(*bytes) : std::move(decoded.utf8);
}

}  // namespace

const LaunchConfiguration& LoadLaunchConfiguration() {
  SettingTexts texts;
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    texts[i] = LoadConfigString(kSettingIds[i]);
  }
  const std::string& ini_file = texts[static_cast<std::size_t>(Setting::IniFile)];
  if (!ini_file.empty()) {
    if (const std::optional<std::string> ini_text = ReadIniText(ini_file)) ApplyIniOverride(texts, *ini_text);
  }
  return *new LaunchConfiguration(std::move(texts));
}

}  // namespace stub
