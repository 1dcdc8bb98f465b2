// The version information resource (VS_VERSIONINFO) that Explorer's Details tab and Task Manager
// show: the numeric file and product versions and a table of named strings. The configuration tool
// writes it from the [VersionInfo] section of a configuration file and reads it back for `dump`.
//
// What the tool writes is recognisable as the user's own: its one translation is language neutral
// with the Unicode code page (0000, 1200), since the tool cannot know the language of the texts,
// whereas the launchers' own version information, which describes the launcher and not the
// application, is US English. `dump` shows the former as a [VersionInfo] section and not the latter.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "byte_order.h"

namespace stubconfig {

// The keys of a [VersionInfo] section, in the order the tool writes and `dump` prints them.
inline constexpr std::string_view kVersionKeys[] = {
    "FileVersion",    "ProductVersion",   "FileDescription", "ProductName", "CompanyName",
    "LegalCopyright", "OriginalFilename", "InternalName",    "Comments",
};
inline constexpr std::size_t kVersionKeyCount = sizeof kVersionKeys / sizeof kVersionKeys[0];
inline constexpr std::size_t kFileVersionKey = 0;
inline constexpr std::size_t kProductVersionKey = 1;

// The language and code page of the translation the tool writes: language neutral, Unicode.
inline constexpr std::uint16_t kVersionLanguage = 0x0000;
inline constexpr std::uint16_t kVersionCodePage = 1200;

// A [VersionInfo] section: each key's text (UTF-8), or nothing where the section does not name it.
using VersionStrings = std::array<std::optional<std::string>, kVersionKeyCount>;

// The index of a key in kVersionKeys (exact, case-sensitive), or kVersionKeyCount.
std::size_t FindVersionKey(std::string_view name);

using VersionNumbers = std::array<std::uint16_t, 4>;

// Reads "1", "1.2", "1.2.3" or "1.2.3.4" (each number 0 to 65535, decimal digits only; parts left
// out are 0). Returns false for anything else; `numbers` is then unspecified.
bool ParseVersionNumbers(std::string_view text, VersionNumbers* numbers);

// "a.b.c.d".
std::string FormatVersionNumbers(const VersionNumbers& numbers);

// The VS_VERSIONINFO resource for a section whose values have been checked: the numeric versions
// from FileVersion and ProductVersion (0.0.0.0 where a key is absent), the strings in key order in
// the translation kVersionLanguage/kVersionCodePage.
Bytes EncodeVersionResource(const VersionStrings& strings);

struct VersionStringTable {
  std::string key;                                           // eight hexadecimal digits: language and code page
  std::vector<std::pair<std::string, std::string>> strings;  // name, value (UTF-8), in stored order
};

// What a VS_VERSIONINFO resource holds.
struct VersionResource {
  VersionNumbers file_version{};
  VersionNumbers product_version{};
  std::vector<std::pair<std::uint16_t, std::uint16_t>> translations;  // language, code page
  std::vector<VersionStringTable> tables;
};

// Reads a VS_VERSIONINFO resource. Fails with a reason when a block's length leaves its parent or
// the fixed part is missing; unknown blocks are skipped. Work is linear in the data's size.
bool DecodeVersionResource(const Bytes& data, VersionResource* resource, std::string* error);

// The [VersionInfo] section of a resource that the tool wrote (its first translation is the tool's),
// or nothing for any other. `warnings` names what writing the section back would not reproduce:
// strings the section has no key for, other translations, numeric versions their texts do not give.
std::optional<VersionStrings> VersionSectionOf(const VersionResource& resource, std::vector<std::string>* warnings);

}  // namespace stubconfig
