// Reading, checking and printing configuration files. The checks refuse what the launcher would
// misread silently: a flag it reads as set because it is not "0", a number atoi stops early on, a
// message whose format asks for an argument the launcher does not pass.
#include "launcher_ini.h"

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

std::string UnknownKey(std::string_view key) {
  std::string problem = "unknown key \"" + std::string(key) + "\"";
  for (const stub::SettingLayout& layout : stub::kSettingLayouts) {
    if (EqualsIgnoringCase(layout.name, key)) return problem + " (did you mean \"" + std::string(layout.name) + "\"?)";
  }
  return problem;
}

}  // namespace

std::string CheckSettingValue(const stub::SettingLayout& layout, std::string_view value) {
  if (value.find('\0') != std::string_view::npos) return "contains a NUL character";
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
  return layout.kind == stub::SettingKind::kMessage ? CheckMessage(layout.name, value) : std::string();
}

bool ParseLauncherIni(std::string_view text, std::string_view file_name, std::vector<IniEntry>* entries,
                      std::string* error) {
  entries->clear();
  if (text.substr(0, 3) == "\xEF\xBB\xBF") {
    *error = Located(file_name, 1, "starts with a UTF-8 byte-order mark; save the file as ANSI (Windows-1252)");
    return false;
  }
  std::map<std::string_view, int> seen;
  bool in_section = false;
  int line_number = 0;
  while (!text.empty()) {
    ++line_number;
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#') continue;
    if (trimmed[0] == '[') {
      if (trimmed.back() != ']') {
        *error = Located(file_name, line_number, "malformed section header");
        return false;
      }
      const std::string_view section = Trim(trimmed.substr(1, trimmed.size() - 2));
      if (section != "Launcher") {
        *error =
            Located(file_name, line_number, "unknown section \"" + std::string(section) + "\" (expected [Launcher])");
        return false;
      }
      in_section = true;
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      *error = Located(file_name, line_number, "expected Name=value, a [Launcher] header or a comment");
      return false;
    }
    const std::string_view key = Trim(line.substr(0, equals));
    const std::string_view value = line.substr(equals + 1);
    const stub::SettingLayout* layout = stub::FindSettingByName(key);
    std::string problem;
    if (key.empty()) {
      problem = "missing key before '='";
    } else if (!in_section) {
      problem = "key \"" + std::string(key) + "\" outside the [Launcher] section";
    } else if (layout == nullptr) {
      problem = UnknownKey(key);
    } else if (seen.count(key) != 0) {
      problem = "duplicate key \"" + std::string(key) + "\" (first on line " + std::to_string(seen[key]) + ")";
    } else if (std::string check = CheckSettingValue(*layout, value); !check.empty()) {
      problem = std::string(key) + " " + check;
    }
    if (!problem.empty()) {
      *error = Located(file_name, line_number, problem);
      return false;
    }
    seen[key] = line_number;
    entries->push_back(IniEntry{layout, std::string(value), line_number});
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
    if (replaced)
      warnings->push_back(std::string(layout.name) + " holds line breaks or NUL characters, shown as spaces");
    out += std::string(layout.name) + "=" + value + "\n";
  }
  return out;
}

}  // namespace stubconfig
