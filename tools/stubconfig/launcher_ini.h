// The INI form of a launch configuration, as users write it and as `dump` prints it: section
// [Launcher], one `Name=value` line per setting, names as in config_layout. A value is everything
// after the first '=' up to the end of the line, taken verbatim: no trimming, no quotes, no escapes,
// so backslashes in paths and spaces at either end stay part of the value.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/config_layout.h"

namespace stubconfig {

struct IniEntry {
  const stub::SettingLayout* layout = nullptr;
  std::string value;  // as written in the file (MainClass in dotted form)
  int line = 0;
};

// How a configuration file's bytes are encoded, as far as the reader tells them apart. Only ANSI
// (Windows-1252) is read today; the others are named in the refusal.
enum class TextEncoding { kAnsi, kUtf8WithBom, kUtf16LittleEndian, kUtf16BigEndian, kBinary };

// A byte-order mark decides; without one, text holding NUL bytes is UTF-16 when they fill every
// other byte, else binary.
TextEncoding DetectTextEncoding(std::string_view text);

// Parses and validates a configuration file. On failure returns false and sets `error` to
// "<file_name>:<line>: <problem>"; `entries` then holds nothing useful.
bool ParseLauncherIni(std::string_view text, std::string_view file_name, std::vector<IniEntry>* entries,
                      std::string* error);

// Empty when `value` is acceptable for the setting, else what is wrong with it.
std::string CheckSettingValue(const stub::SettingLayout& layout, std::string_view value);

// The text the string table carries for an INI value: the value itself, MainClass enciphered.
std::string StoredText(const stub::SettingLayout& layout, std::string_view value);

// The INI value for a stored text: the text itself, MainClass deciphered.
std::string IniValue(const stub::SettingLayout& layout, std::string_view stored);

// The INI text of a whole configuration; `stored` holds every setting's stored text in ID order.
// Line breaks and NUL characters, which a line cannot carry, are shown as spaces and named in
// `warnings`, and so is every value that `write` would refuse: a dump without warnings is accepted by
// `write` and gives the same configuration back.
std::string FormatLauncherIni(const std::vector<std::string>& stored, std::vector<std::string>* warnings);

}  // namespace stubconfig
