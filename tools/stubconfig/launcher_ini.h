// The INI form of a launch configuration, as users write it and as `dump` prints it: section
// [Launcher], one `Name=value` line per setting, names as in config_layout, and optionally section
// [VersionInfo] with the version information's keys. A value is everything after the first '=' up to
// the end of the line, taken verbatim: no trimming, no quotes, no escapes, so backslashes in paths and
// spaces at either end stay part of the value. Text is UTF-8 inside; files may be UTF-8 or UTF-16.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/config_layout.h"
#include "version_info.h"

namespace stubconfig {

struct IniEntry {
  const stub::SettingLayout* layout = nullptr;
  std::string value;  // UTF-8, as written in the file (MainClass in dotted form)
  int line = 0;
};

// A configuration file as read.
struct LauncherIni {
  std::vector<IniEntry> settings;              // the [Launcher] lines, in file order
  std::optional<VersionStrings> version_info;  // set when the file has a [VersionInfo] section
};

// The text of a configuration file's bytes as UTF-8, decoded as ParseLauncherIni does (below), with
// its warnings and errors.
bool DecodeConfigurationText(std::string_view bytes, std::string_view file_name, std::string* text,
                             std::vector<std::string>* warnings, std::string* error);

// Reads and validates a configuration file: UTF-8 with or without a byte-order mark, or UTF-16 with
// one. A file that is neither (one written for the Windows-1252 rule of earlier versions) is read as
// Windows-1252, and `warnings` gets "<file_name>:<line>: warning: ..." naming its first line that is
// not UTF-8. On failure returns false and sets `error` to "<file_name>:<line>: <problem>" (or
// "<file_name>: <problem>" for the whole file); `ini` then holds nothing useful.
bool ParseLauncherIni(std::string_view bytes, std::string_view file_name, LauncherIni* ini,
                      std::vector<std::string>* warnings, std::string* error);

// Empty when `value` is acceptable for the setting, else what is wrong with it.
std::string CheckSettingValue(const stub::SettingLayout& layout, std::string_view value);

// Empty when `value` is acceptable for the [VersionInfo] key with index `key`, else what is wrong.
std::string CheckVersionValue(std::size_t key, std::string_view value);

// The text the string table carries for an INI value: the value itself, MainClass enciphered.
std::string StoredText(const stub::SettingLayout& layout, std::string_view value);

// The INI value for a stored text: the text itself, MainClass deciphered.
std::string IniValue(const stub::SettingLayout& layout, std::string_view stored);

// The INI text of a whole configuration, UTF-8: `stored` holds every setting's stored text in ID
// order; `version_info`, when set, is printed as a [VersionInfo] section. What a line cannot carry
// (line breaks and NUL characters, shown as spaces; text that is no Unicode, such as unpaired
// surrogates, shown as U+FFFD) is named in `warnings`, and so is every value that `write` would
// refuse: a dump without warnings is accepted by `write` and gives the same configuration back.
std::string FormatLauncherIni(const std::vector<std::string>& stored, const std::optional<VersionStrings>& version_info,
                              std::vector<std::string>* warnings);

// Text from a file as a message may quote it, one line of printable ASCII: other ASCII bytes as
// \xNN, other characters as \uNNNN or \UNNNNNNNN, and texts of more than 40 characters cut.
std::string PrintableText(std::string_view utf8);

}  // namespace stubconfig
