// Reading, checking and printing configuration files. The checks refuse what the launcher would
// misread silently: a flag it reads as set because it is not "0", a number atoi stops early on, a
// message whose format asks for an argument the launcher does not pass, an option string whose
// unmatched quote swallows the class-path option. They also refuse what `dump` could not print back
// as written (line breaks, NUL characters), so that a file and the dump of what it wrote agree.
#include "launcher_ini.h"

#include <algorithm>
#include <cstdint>
#include <map>

#include "core/main_class_cipher.h"

namespace stubconfig {
namespace {

// Messages the launcher reports without an argument; a "%s" in them would print stack garbage.
constexpr std::string_view kMessagesWithoutArgument[] = {"AlreadyRunningMessage", "JvmErrorMessages0",
                                                         "JvmErrorMessages4"};

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return stub::HexDigitValue(c) >= 0; }
bool IsIdentifierStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '$'; }
bool IsIdentifierPart(char c) { return IsIdentifierStart(c) || IsDigit(c); }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
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
  // defaults), so only SplashSeconds, for which a negative count means nothing, is range-checked.
  if (name == "SplashSeconds" && number < 0) return "expects a number of seconds, 0 or more";
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

std::string CheckClassName(std::string_view value) {
  if (value.empty()) return "must name the main class";
  if (value.size() > stub::kMaxMainClassLength) {
    return "is " + std::to_string(value.size()) + " characters long; at most " +
           std::to_string(stub::kMaxMainClassLength) + " fit";
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

std::string Located(std::string_view file_name, int line, const std::string& problem) {
  return std::string(file_name) + ":" + std::to_string(line) + ": " + problem;
}

// Text from the file as a message may quote it: bytes outside printable ASCII as \xNN and long texts
// cut, so that a message about a binary or mis-encoded file stays one readable line.
std::string Printable(std::string_view text) {
  constexpr std::size_t kMaxQuoted = 40;
  std::string out;
  for (std::size_t i = 0; i < text.size() && i < kMaxQuoted; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x20 && byte < 0x7F) {
      out.push_back(static_cast<char>(byte));
    } else {
      constexpr char kHex[] = "0123456789ABCDEF";
      out += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
    }
  }
  if (text.size() > kMaxQuoted) out += "...";
  return out;
}

std::string UnknownKey(std::string_view key) {
  std::string problem = "unknown key \"" + Printable(key) + "\"";
  for (const stub::SettingLayout& layout : stub::kSettingLayouts) {
    if (EqualsIgnoringCase(layout.name, key)) return problem + " (did you mean \"" + std::string(layout.name) + "\"?)";
  }
  return problem;
}

// What keeps the whole file from being read line by line as ANSI text: the problem, and the line it
// is on (0 for the whole file). Empty when nothing does.
struct FileProblem {
  int line = 0;
  std::string text;
};

FileProblem EncodingProblem(std::string_view text) {
  switch (DetectTextEncoding(text)) {
    case TextEncoding::kAnsi:
      break;
    case TextEncoding::kUtf8WithBom:
      return {1, "starts with a UTF-8 byte-order mark; save the file as ANSI (Windows-1252)"};
    case TextEncoding::kUtf16LittleEndian:
    case TextEncoding::kUtf16BigEndian:
      return {0, "is UTF-16 text; save the file as ANSI (Windows-1252)"};
    case TextEncoding::kBinary:
      return {0, "is not a text file (it holds NUL bytes)"};
  }
  const std::size_t cr = text.find('\r');
  if (cr != std::string_view::npos && cr + 1 < text.size() && text.find('\n') == std::string_view::npos) {
    return {0, "lines end with a carriage return alone (CR); save the file with CR LF or LF line ends"};
  }
  return {};
}

// The sections a configuration file may hold, by header name.
enum class IniSection { kNone, kLauncher };

struct SectionName {
  std::string_view name;
  IniSection section;
};

constexpr SectionName kSections[] = {{"Launcher", IniSection::kLauncher}};

// Reads a file line by line; each line either adds an entry, changes the section, or is a problem.
class IniReader {
 public:
  explicit IniReader(std::vector<IniEntry>* entries) : entries_(entries) {}

  // The problem with the line, or "" when it was taken.
  std::string Take(std::string_view line, int line_number) {
    if (line.find('\r') != std::string_view::npos) {
      return "carriage return inside the line (lines end with CR LF or LF; a value cannot hold a line break)";
    }
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#') return {};
    if (trimmed[0] == '[') return TakeHeader(trimmed);
    return TakeSetting(line, line_number);
  }

 private:
  std::string TakeHeader(std::string_view trimmed) {
    if (trimmed.back() != ']') return "malformed section header";
    const std::string_view name = Trim(trimmed.substr(1, trimmed.size() - 2));
    for (const SectionName& known : kSections) {
      if (name == known.name) {
        section_ = known.section;
        return {};
      }
    }
    return "unknown section \"" + Printable(name) + "\" (expected [Launcher])";
  }

  std::string TakeSetting(std::string_view line, int line_number) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return "expected Name=value, a [Launcher] header or a comment";
    const std::string_view key = Trim(line.substr(0, equals));
    const std::string_view value = line.substr(equals + 1);
    if (key.empty()) return "missing key before '='";
    if (section_ != IniSection::kLauncher) return "key \"" + Printable(key) + "\" outside the [Launcher] section";
    const stub::SettingLayout* layout = stub::FindSettingByName(key);
    if (layout == nullptr) return UnknownKey(key);
    if (const auto first = seen_.find(layout->id); first != seen_.end()) {
      return "duplicate key \"" + std::string(key) + "\" (first on line " + std::to_string(first->second) + ")";
    }
    if (std::string check = CheckSettingValue(*layout, value); !check.empty()) return std::string(key) + " " + check;
    seen_[layout->id] = line_number;
    entries_->push_back(IniEntry{layout, std::string(value), line_number});
    return {};
  }

  std::vector<IniEntry>* entries_;
  IniSection section_ = IniSection::kNone;
  std::map<int, int> seen_;  // setting ID -> line
};

}  // namespace

std::string CheckSettingValue(const stub::SettingLayout& layout, std::string_view value) {
  if (value.find('\0') != std::string_view::npos) return "contains a NUL character";
  if (value.find_first_of("\r\n") != std::string_view::npos) return "contains a line break";
  switch (layout.kind) {
    case stub::SettingKind::kFlag:
      if (value != "0" && value != "1") return "expects 0 or 1";
      return {};
    case stub::SettingKind::kInteger:
      return CheckInteger(layout.name, value);
    case stub::SettingKind::kVersion:
      return CheckVersion(value);
    case stub::SettingKind::kEnciphered:
      return CheckClassName(value);
    case stub::SettingKind::kMessage:
    case stub::SettingKind::kText:
      break;
  }
  if (value.size() > stub::kMaxSettingLength) {
    return "is " + std::to_string(value.size()) + " characters long; at most " +
           std::to_string(stub::kMaxSettingLength) + " fit";
  }
  if (layout.kind == stub::SettingKind::kMessage) return CheckMessage(layout.name, value);
  if (layout.name == "JvmOptions" && std::count(value.begin(), value.end(), '"') % 2 != 0) {
    return "has an unmatched double quote, which would swallow the class-path option";
  }
  return {};
}

TextEncoding DetectTextEncoding(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") return TextEncoding::kUtf8WithBom;
  if (text.substr(0, 2) == "\xFF\xFE") return TextEncoding::kUtf16LittleEndian;
  if (text.substr(0, 2) == "\xFE\xFF") return TextEncoding::kUtf16BigEndian;
  if (text.find('\0') == std::string_view::npos) return TextEncoding::kAnsi;
  // Without a byte-order mark, UTF-16 of mostly ASCII text shows as a zero in every other byte.
  const std::string_view head = text.substr(0, 512);
  std::size_t zeros[2] = {0, 0};
  for (std::size_t i = 0; i < head.size(); ++i) zeros[i % 2] += head[i] == '\0';
  const std::size_t units = head.size() / 2;
  if (zeros[0] == 0 && zeros[1] * 4 >= units * 3) return TextEncoding::kUtf16LittleEndian;
  if (zeros[1] == 0 && zeros[0] * 4 >= units * 3) return TextEncoding::kUtf16BigEndian;
  return TextEncoding::kBinary;
}

bool ParseLauncherIni(std::string_view text, std::string_view file_name, std::vector<IniEntry>* entries,
                      std::string* error) {
  entries->clear();
  if (const FileProblem problem = EncodingProblem(text); !problem.text.empty()) {
    *error = problem.line != 0 ? Located(file_name, problem.line, problem.text)
                               : std::string(file_name) + ": " + problem.text;
    return false;
  }
  IniReader reader(entries);
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

std::string FormatLauncherIni(const std::vector<std::string>& stored, std::vector<std::string>* warnings) {
  std::string out = "[Launcher]\n";
  for (std::size_t i = 0; i < stub::kSettingCount && i < stored.size(); ++i) {
    const stub::SettingLayout& layout = stub::kSettingLayouts[i];
    std::string value = IniValue(layout, stored[i]);
    bool replaced = false;
    for (char& c : value) {
      if (c == '\r' || c == '\n' || c == '\0') {
        c = ' ';
        replaced = true;
      }
    }
    if (replaced) {
      warnings->push_back(std::string(layout.name) + " holds line breaks or NUL characters, shown as spaces");
    } else if (const std::string problem = CheckSettingValue(layout, value); !problem.empty()) {
      warnings->push_back(std::string(layout.name) + " " + problem + "; write refuses this value");
    }
    out += std::string(layout.name) + "=" + value + "\n";
  }
  return out;
}

}  // namespace stubconfig
