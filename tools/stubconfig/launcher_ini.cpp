// Reading, checking and printing configuration files. The checks refuse what the launcher would
// misread silently: a flag it reads as set because it is not "0", a number atoi stops early on, a
// message whose format asks for an argument the launcher does not pass, an option string whose
// unmatched quote swallows the class-path option. They also refuse what `dump` could not print back
// as written (line breaks, NUL characters, unpaired surrogates), so that a file and the dump of what
// it wrote agree.
#include "launcher_ini.h"

#include <algorithm>
#include <cstdint>
#include <map>

#include "core/app_user_model_id.h"
#include "core/launch_config.h"
#include "core/main_class_cipher.h"
#include "core/text.h"

namespace stubconfig {
namespace {

// Messages the launcher reports without an argument; a "%s" in them would print stack garbage.
constexpr std::string_view kMessagesWithoutArgument[] = {"AlreadyRunningMessage", "JvmErrorMessages0",
                                                         "JvmErrorMessages4", "RestartLimitMessage"};

// Windows-1252 bytes 0x80..0x9F; the five it leaves undefined map to the control characters of the
// same value, as Windows' own conversion does, so that every byte of an old file means something.
constexpr char16_t kWindows1252HighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

std::string Utf8FromWindows1252(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    text.push_back(byte >= 0x80 && byte <= 0x9F ? kWindows1252HighControls[byte - 0x80] : static_cast<char16_t>(byte));
  }
  return stub::Utf8FromUtf16(text);
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return stub::HexDigitValue(c) >= 0; }
// Java names may use letters of any script; a byte of a UTF-8 sequence stands for such a letter.
bool IsIdentifierStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '$' ||
         static_cast<unsigned char>(c) >= 0x80;
}
bool IsIdentifierPart(char c) { return IsIdentifierStart(c) || IsDigit(c); }
bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string CheckInteger(std::string_view name, std::string_view value) {
  std::string_view digits = value;
  const bool negative = !digits.empty() && digits[0] == '-';
  if (negative) digits.remove_prefix(1);
  if (digits.empty() || digits.size() > 10) return "expects a decimal integer";
  std::int64_t number = 0;
  for (char c : digits) {
    if (!IsDigit(c)) return "expects a decimal integer";
    number = number * 10 + (c - '0');
  }
  if (negative) number = -number;
  if (number < INT32_MIN || number > INT32_MAX) return "is out of the 32-bit integer range";
  // Every JvmSearchMode has a meaning (above 7 and below 0 take the registry-first and path-first
  // defaults), so only the counts of seconds, for which a negative count means nothing, are range-checked.
  if ((name == "SplashSeconds" || name == "ServiceRestartSeconds" || name == "ServiceStopSeconds") && number < 0) {
    return "expects a number of seconds, 0 or more";
  }
  return {};
}

// Empty: no restart. 0 is every orderly System.exit, which would restart the application for good.
std::string CheckRestartExitCode(std::string_view value) {
  if (value.empty()) return {};
  if (std::string problem = CheckInteger("RestartExitCode", value); !problem.empty()) return problem;
  if (stub::ConvertInteger(std::string(value)) == 0) return "may not be 0, the status of every orderly exit";
  return {};
}

std::string CheckVersion(std::string_view value) {
  std::string_view digits = value;
  if (digits.size() >= 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits.remove_prefix(2);
  if (digits.empty() || digits.size() > 8) return "expects a hexadecimal version such as 0x00010004";
  for (char c : digits) {
    if (!IsHexDigit(c)) return "expects a hexadecimal version such as 0x00010004";
  }
  return {};
}

// The launcher enciphers and deciphers the name's UTF-8 bytes, at most kMaxMainClassLength of them.
std::string CheckClassName(std::string_view value) {
  if (value.empty()) return "must name the main class";
  if (value.size() > stub::kMaxMainClassLength) {
    return "is " + std::to_string(value.size()) + (IsAscii(value) ? " characters" : " bytes of UTF-8") +
           " long; at most " + std::to_string(stub::kMaxMainClassLength) + " fit";
  }
  bool at_start = true;
  for (char c : value) {
    if (c == '.' && !at_start) {
      at_start = true;
    } else if (at_start ? IsIdentifierStart(c) : IsIdentifierPart(c)) {
      at_start = false;
    } else {
      return "is not a Java class name (dotted identifiers such as com.example.App)";
    }
  }
  if (at_start) return "is not a Java class name (dotted identifiers such as com.example.App)";
  return {};
}

std::string CheckMessage(std::string_view name, std::string_view value) {
  int arguments = 0;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '%') continue;
    if (i + 1 < value.size() && value[i + 1] == '%') {
      ++i;
    } else if (i + 1 < value.size() && value[i + 1] == 's') {
      ++arguments;
      ++i;
    } else {
      return "may hold only %s and %% as format directives";
    }
  }
  for (std::string_view plain : kMessagesWithoutArgument) {
    if (name == plain && arguments > 0) return "receives no argument, so it may not hold %s";
  }
  if (arguments > 1) return "receives one argument, so it may hold %s only once";
  return {};
}

// What every text must be to be stored and printed back: one line of Unicode.
// C0 (except tab), DEL and C1: characters that a terminal takes for commands, not text.
bool IsControlCharacter(char16_t unit) {
  return (unit < 0x20 && unit != u'\t') || (unit >= 0x7F && unit <= 0x9F);
}

std::string CheckLine(std::string_view value) {
  if (value.find('\0') != std::string_view::npos) return "contains a NUL character";
  if (value.find_first_of("\r\n") != std::string_view::npos) return "contains a line break";
  if (!stub::IsValidUtf8(value)) return "contains an unpaired UTF-16 surrogate, which is no character";
  for (const char16_t unit : stub::Utf16FromUtf8(value)) {
    if (IsControlCharacter(unit)) {
      return "contains the control character " + PrintableText(stub::Utf8FromUtf16(std::u16string(1, unit))) +
             " (of the control characters only tab is allowed)";
    }
  }
  return {};
}

// At most kMaxSettingLength UTF-16 code units, the unit the string table and the launcher count in.
std::string CheckLength(std::string_view value) {
  const std::u16string units = stub::Utf16FromUtf8(value);
  if (units.size() <= stub::kMaxSettingLength) return {};
  const std::string limit = "; at most " + std::to_string(stub::kMaxSettingLength) + " fit";
  if (std::none_of(units.begin(), units.end(), IsHighSurrogate)) {
    return "is " + std::to_string(units.size()) + " characters long" + limit;
  }
  return "is " + std::to_string(units.size()) +
         " UTF-16 code units long (each character outside the Basic Multilingual Plane takes two)" + limit;
}

// The Environment setting: NAME=value lines, each one line of Unicode, together within the length limit.
std::string CheckEnvironmentLines(std::string_view value) {
  for (std::string_view rest = value; !rest.empty();) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    const std::size_t equals = line.find('=');
    if (equals == 0 || equals == std::string_view::npos) return "holds a line that is no NAME=value";
    if (std::string problem = CheckLine(line); !problem.empty()) return problem;
  }
  return CheckLength(value);
}

std::string Located(std::string_view file_name, int line, const std::string& problem) {
  return std::string(file_name) + ":" + std::to_string(line) + ": " + problem;
}

// The number of the first line holding bytes that are no UTF-8.
int FirstLineThatIsNotUtf8(std::string_view text) {
  int line = 1;
  for (std::size_t start = 0; start < text.size(); ++line) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    if (!stub::IsValidUtf8(text.substr(start, end - start))) return line;
    start = end + 1;
  }
  return line;
}

// Without a byte-order mark, UTF-16 of mostly ASCII text shows as a zero in every other byte.
bool LooksLikeUtf16WithoutMark(std::string_view bytes) {
  const std::string_view head = bytes.substr(0, 512);
  std::size_t zeros[2] = {0, 0};
  for (std::size_t i = 0; i < head.size(); ++i) zeros[i % 2] += head[i] == '\0';
  const std::size_t units = head.size() / 2;
  return (zeros[0] == 0 && zeros[1] * 4 >= units * 3) || (zeros[1] == 0 && zeros[0] * 4 >= units * 3);
}

// Names whose letter case alone differs from the text's, as a hint.
std::string DidYouMean(std::string_view key) {
  for (const stub::SettingLayout& layout : stub::kSettingLayouts) {
    if (stub::EqualsIgnoringAsciiCase(layout.name, key)) return " (did you mean \"" + std::string(layout.name) + "\"?)";
  }
  for (std::string_view name : kVersionKeys) {
    if (stub::EqualsIgnoringAsciiCase(name, key)) return " (did you mean \"" + std::string(name) + "\"?)";
  }
  return {};
}

// The sections a configuration file may hold, by header name.
enum class IniSection { kNone, kLauncher, kVersionInfo, kEnvironment };

struct SectionName {
  std::string_view name;
  IniSection section;
};

constexpr SectionName kSections[] = {{"Launcher", IniSection::kLauncher},
                                     {"VersionInfo", IniSection::kVersionInfo},
                                     {"Environment", IniSection::kEnvironment}};

// The one setting that a section of its own writes, one line each.
const stub::SettingLayout& EnvironmentLayout() { return *stub::FindSettingByName("Environment"); }

// Reads a file line by line; each line either adds an entry, changes the section, or is a problem.
class IniReader {
 public:
  explicit IniReader(LauncherIni* ini) : ini_(ini) {}

  // The problem with the line, or "" when it was taken.
  std::string Take(std::string_view line, int line_number) {
    line_number_ = line_number;
    if (line.find('\r') != std::string_view::npos) {
      return "carriage return inside the line (lines end with CR LF or LF; a value cannot hold a line break)";
    }
    const std::string_view trimmed = stub::Trim(line);
    if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#') return {};
    if (trimmed[0] == '[') return TakeHeader(trimmed);
    return TakeSetting(line, line_number);
  }

 private:
  std::string TakeHeader(std::string_view trimmed) {
    if (trimmed.back() != ']') return "malformed section header";
    const std::string_view name = stub::Trim(trimmed.substr(1, trimmed.size() - 2));
    for (const SectionName& known : kSections) {
      if (name == known.name) {
        section_ = known.section;
        if (section_ == IniSection::kVersionInfo && !ini_->version_info) ini_->version_info.emplace();
        if (section_ == IniSection::kEnvironment) return TakeEnvironmentHeader();
        return {};
      }
    }
    return "unknown section \"" + PrintableText(name) + "\" (expected [Launcher], [VersionInfo] or [Environment])";
  }

  std::string TakeEnvironmentHeader() {
    if (environment_ != nullptr) return "duplicate section [Environment]";
    ini_->settings.push_back(IniEntry{&EnvironmentLayout(), std::string(), line_number_});
    environment_index_ = ini_->settings.size() - 1;
    environment_ = &EnvironmentLayout();
    return {};
  }

  // One NAME=value line of the [Environment] section, appended to the setting's lines.
  std::string TakeEnvironmentLine(std::string_view line) {
    const std::size_t equals = line.find('=');
    const std::string_view name = stub::Trim(line.substr(0, equals));
    if (equals == std::string_view::npos || name.empty()) return "expected NAME=value in [Environment]";
    const std::string assignment = std::string(name) + "=" + std::string(line.substr(equals + 1));
    if (std::string problem = CheckLine(assignment); !problem.empty()) return "Environment " + problem;
    std::string& value = ini_->settings[environment_index_].value;
    const std::string joined = value.empty() ? assignment : value + "\n" + assignment;
    if (std::string problem = CheckLength(joined); !problem.empty()) return "Environment " + problem;
    value = joined;
    return {};
  }

  std::string TakeSetting(std::string_view line, int line_number) {
    if (section_ == IniSection::kEnvironment) return TakeEnvironmentLine(line);
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return "expected Name=value, a [Launcher] header or a comment";
    const std::string_view key = stub::Trim(line.substr(0, equals));
    const std::string_view value = line.substr(equals + 1);
    if (key.empty()) return "missing key before '='";
    const stub::SettingLayout* layout = stub::FindSettingByName(key);
    const std::size_t version_key = FindVersionKey(key);
    if (section_ == IniSection::kNone) {
      return "key \"" + PrintableText(key) + "\" outside the " +
             (version_key < kVersionKeyCount ? "[VersionInfo]" : "[Launcher]") + " section";
    }
    if (section_ == IniSection::kVersionInfo) {
      if (version_key == kVersionKeyCount) {
        return "unknown key \"" + PrintableText(key) + "\" in [VersionInfo]" +
               (layout ? " (it belongs in [Launcher])" : DidYouMean(key));
      }
      return TakeValue(key, line_number, CheckVersionValue(version_key, value),
                       kFirstVersionKeyId + static_cast<int>(version_key),
                       [&] { (*ini_->version_info)[version_key] = std::string(value); });
    }
    if (layout == &EnvironmentLayout()) return "Environment is written as an [Environment] section, one NAME=value per line";
    if (layout == nullptr) {
      return "unknown key \"" + PrintableText(key) + "\"" +
             (version_key < kVersionKeyCount ? " (it belongs in [VersionInfo])" : DidYouMean(key));
    }
    return TakeValue(key, line_number, CheckSettingValue(*layout, value), layout->id, [&] {
      ini_->settings.push_back(IniEntry{layout, std::string(value), line_number});
    });
  }

  // Keys are told apart by a number: a setting by its string-table ID, a version key by its index
  // above every ID.
  static constexpr int kFirstVersionKeyId = 1 << 16;

  // Takes a checked value (by calling `store`) unless its key came before or `check` names a problem.
  template <typename Store>
  std::string TakeValue(std::string_view key, int line_number, const std::string& check, int id, Store store) {
    if (const auto first = seen_.find(id); first != seen_.end()) {
      return "duplicate key \"" + std::string(key) + "\" (first on line " + std::to_string(first->second) + ")";
    }
    if (!check.empty()) return std::string(key) + " " + check;
    seen_[id] = line_number;
    store();
    return {};
  }

  LauncherIni* ini_;
  IniSection section_ = IniSection::kNone;
  const stub::SettingLayout* environment_ = nullptr;  // set once the [Environment] header was read
  std::size_t environment_index_ = 0;
  int line_number_ = 0;
  std::map<int, int> seen_;  // key identifier -> line
};

// A value as a line can show it, and a terminal print it: text that is no Unicode (unpaired
// surrogates, bytes that are no UTF-8) as U+FFFD, line breaks and NUL characters as spaces, other
// control characters (escape sequences among them) as U+FFFD. Sets the flags that apply.
std::string Showable(std::string_view value, bool* not_unicode, bool* line_breaks, bool* controls) {
  std::string shown(value);
  if (!stub::IsValidUtf8(value)) {
    *not_unicode = true;
    std::u16string units = stub::Utf16FromUtf8(value);
    for (std::size_t i = 0; i < units.size(); ++i) {
      if (IsHighSurrogate(units[i]) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
        ++i;
      } else if (IsHighSurrogate(units[i]) || IsLowSurrogate(units[i])) {
        units[i] = 0xFFFD;
      }
    }
    shown = stub::Utf8FromUtf16(units);
  }
  for (char& c : shown) {
    if (c == '\r' || c == '\n' || c == '\0') {
      c = ' ';
      *line_breaks = true;
    }
  }
  std::u16string units = stub::Utf16FromUtf8(shown);
  if (std::none_of(units.begin(), units.end(), IsControlCharacter)) return shown;
  *controls = true;
  std::replace_if(units.begin(), units.end(), IsControlCharacter, u'\uFFFD');
  return stub::Utf8FromUtf16(units);
}

// One "Name=value" line of the dump, with the warning its value calls for.
std::string DumpLine(std::string_view name, std::string_view value, const std::string& problem,
                     std::vector<std::string>* warnings) {
  bool not_unicode = false;
  bool line_breaks = false;
  bool controls = false;
  const std::string shown = Showable(value, &not_unicode, &line_breaks, &controls);
  if (line_breaks) warnings->push_back(std::string(name) + " holds line breaks or NUL characters, shown as spaces");
  if (controls) warnings->push_back(std::string(name) + " holds control characters, shown as U+FFFD");
  if (not_unicode) {
    warnings->push_back(std::string(name) +
                        " holds text that is no Unicode (an unpaired surrogate or bytes that are "
                        "no UTF-8), shown as U+FFFD");
  }
  if (!line_breaks && !not_unicode && !controls && !problem.empty()) {
    warnings->push_back(std::string(name) + " " + problem + "; write refuses this value");
  }
  return std::string(name) + "=" + shown + "\n";
}

}  // namespace

std::string PrintableText(std::string_view utf8) {
  constexpr std::size_t kMaxQuoted = 40;
  constexpr char kHex[] = "0123456789ABCDEF";
  const std::u16string units = stub::Utf16FromUtf8(utf8);
  std::string out;
  std::size_t characters = 0;
  std::size_t i = 0;
  for (; i < units.size() && characters < kMaxQuoted; ++i, ++characters) {
    char32_t c = units[i];
    if (IsHighSurrogate(units[i]) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    }
    if (c >= 0x20 && c < 0x7F) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    const int digits = c < 0x80 ? 2 : c < 0x10000 ? 4 : 8;
    out += c < 0x80 ? "\\x" : c < 0x10000 ? "\\u" : "\\U";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out.push_back(kHex[(c >> shift) & 0xF]);
  }
  if (i < units.size()) out += "...";
  return out;
}

std::string CheckSettingValue(const stub::SettingLayout& layout, std::string_view value) {
  if (layout.kind == stub::SettingKind::kLines) return CheckEnvironmentLines(value);
  if (std::string problem = CheckLine(value); !problem.empty()) return problem;
  switch (layout.kind) {
    case stub::SettingKind::kFlag:
      // A flag added after the first table reads an absent (empty) entry as clear, as before it existed.
      if (value.empty() && layout.name == "UseCallerDirectory") return {};
      return value != "0" && value != "1" ? "expects 0 or 1" : "";
    // The service settings added later keep the earlier behaviour when empty, as a stub without them has them.
    case stub::SettingKind::kOptInFlag:
      return !value.empty() && value != "0" && value != "1" ? "expects 0 or 1, or nothing" : "";
    case stub::SettingKind::kInteger:
      if (value.empty() && (layout.name == "ServiceRestartSeconds" || layout.name == "ServiceStopSeconds")) return "";
      if (layout.name == "RestartExitCode") return CheckRestartExitCode(value);
      return CheckInteger(layout.name, value);
    case stub::SettingKind::kVersion:
      return CheckVersion(value);
    case stub::SettingKind::kEnciphered:
      return CheckClassName(value);
    case stub::SettingKind::kMessage:
    case stub::SettingKind::kText:
    case stub::SettingKind::kLines:
      break;
  }
  if (std::string problem = CheckLength(value); !problem.empty()) return problem;
  if (layout.kind == stub::SettingKind::kMessage) return CheckMessage(layout.name, value);
  if (layout.name == "ServiceSwitch" && (value.empty() || value.find_first_of(" \t") != std::string_view::npos)) {
    return "must be one word without spaces: the service manager starts the program with it as its argument";
  }
  if (layout.name == "AppUserModelId") return stub::AppUserModelIdProblem(value);
  if (layout.name == "JavaDownloadUrl" && !value.empty() && value.rfind("https://", 0) != 0 &&
      value.rfind("http://", 0) != 0) {
    return "must be an address starting with https:// or http://: the launcher hands it to the browser";
  }
  if (layout.name == "JvmOptions" && std::count(value.begin(), value.end(), '"') % 2 != 0) {
    return "has an unmatched double quote, which would swallow the class-path option";
  }
  return {};
}

std::string CheckVersionValue(std::size_t key, std::string_view value) {
  if (std::string problem = CheckLine(value); !problem.empty()) return problem;
  if (std::string problem = CheckLength(value); !problem.empty()) return problem;
  VersionNumbers numbers;
  if ((key == kFileVersionKey || key == kProductVersionKey) && !ParseVersionNumbers(value, &numbers)) {
    return "\"" + PrintableText(value) +
           "\" is not a version: one to four numbers from 0 to 65535, separated by dots "
           "(such as 1.2.0.15)";
  }
  return {};
}

bool DecodeConfigurationText(std::string_view bytes, std::string_view file_name, std::string* text,
                             std::vector<std::string>* warnings, std::string* error) {
  const auto starts_with = [&bytes](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
  const std::string file(file_name);
  if (starts_with("\xEF\xBB\xBF")) {
    *text = std::string(bytes.substr(3));
    if (stub::IsValidUtf8(*text)) return true;
    *error = Located(file_name, FirstLineThatIsNotUtf8(*text),
                     "not UTF-8, although the file starts with a UTF-8 byte-order mark");
    return false;
  }
  if (starts_with("\xFF\xFE") || starts_with("\xFE\xFF")) {
    if (bytes.size() % 2 != 0) {
      *error = file + ": is UTF-16 text of an odd number of bytes (cut short?)";
      return false;
    }
    *text = stub::DecodeTextFile(bytes).utf8;
    return true;
  }
  if (bytes.find('\0') != std::string_view::npos) {
    *error = file + (LooksLikeUtf16WithoutMark(bytes)
                         ? ": is UTF-16 text without a byte-order mark; save it as UTF-8, or as UTF-16 with the mark"
                         : ": is not a text file (it holds NUL bytes)");
    return false;
  }
  if (stub::IsValidUtf8(bytes)) {
    *text = std::string(bytes);
    return true;
  }
  warnings->push_back(Located(file_name, FirstLineThatIsNotUtf8(bytes),
                              "warning: not UTF-8, so the whole file is read as Windows-1252 (save it as UTF-8 to "
                              "be sure of its characters)"));
  *text = Utf8FromWindows1252(bytes);
  return true;
}

bool ParseLauncherIni(std::string_view bytes, std::string_view file_name, LauncherIni* ini,
                      std::vector<std::string>* warnings, std::string* error) {
  *ini = LauncherIni();
  std::string decoded;
  if (!DecodeConfigurationText(bytes, file_name, &decoded, warnings, error)) return false;
  std::string_view text = decoded;
  const std::size_t cr = text.find('\r');
  if (cr != std::string_view::npos && cr + 1 < text.size() && text.find('\n') == std::string_view::npos) {
    *error = std::string(file_name) +
             ": lines end with a carriage return alone (CR); save the file with CR LF or LF line ends";
    return false;
  }
  IniReader reader(ini);
  for (int line_number = 1; !text.empty(); ++line_number) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (const std::string problem = reader.Take(line, line_number); !problem.empty()) {
      *error = Located(file_name, line_number, problem);
      return false;
    }
  }
  return true;
}

std::string StoredText(const stub::SettingLayout& layout, std::string_view value) {
  return layout.kind == stub::SettingKind::kEnciphered ? stub::EncipherMainClass(value) : std::string(value);
}

std::string IniValue(const stub::SettingLayout& layout, std::string_view stored) {
  return layout.kind == stub::SettingKind::kEnciphered ? stub::DecodeMainClass(stored) : std::string(stored);
}

std::string FormatLauncherIni(const std::vector<std::string>& stored, const std::optional<VersionStrings>& version_info,
                              std::vector<std::string>* warnings) {
  std::string out = "[Launcher]\n";
  for (std::size_t i = 0; i < stub::kSettingCount && i < stored.size(); ++i) {
    const stub::SettingLayout& layout = stub::kSettingLayouts[i];
    if (layout.kind == stub::SettingKind::kLines) continue;
    const std::string value = IniValue(layout, stored[i]);
    out += DumpLine(layout.name, value, CheckSettingValue(layout, value), warnings);
  }
  // Printed even when empty, so that the dump names every setting and reads back to all of them.
  out += "\n[Environment]\n";
  const std::size_t environment = static_cast<std::size_t>(&EnvironmentLayout() - stub::kSettingLayouts);
  std::string_view lines = environment < stored.size() ? std::string_view(stored[environment]) : std::string_view();
  while (!lines.empty()) {
    const std::size_t end = lines.find('\n');
    const std::string_view line = lines.substr(0, end);
    lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 1);
    const std::size_t equals = line.find('=');
    const std::string_view name = line.substr(0, equals);
    const std::string_view value = equals == std::string_view::npos ? std::string_view() : line.substr(equals + 1);
    const std::string problem = equals == std::string_view::npos || name.empty() ? "is no NAME=value line" : "";
    out += DumpLine(name, value, problem.empty() ? CheckLine(line) : problem, warnings);
  }
  if (!version_info) return out;
  out += "\n[VersionInfo]\n";
  for (std::size_t key = 0; key < kVersionKeyCount; ++key) {
    const std::optional<std::string>& value = (*version_info)[key];
    if (value) out += DumpLine(kVersionKeys[key], *value, CheckVersionValue(key, *value), warnings);
  }
  return out;
}

}  // namespace stubconfig
