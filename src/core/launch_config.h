// The launch configuration: every setting of the executable's string table, converted to its kind.
// The entry loads it once and hands each stage the settings it takes, as values; nothing reads it
// afterwards. The conversions live here, apart from the Win32 loader, so that they are tested natively.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/config_layout.h"

namespace stub {

// Indexes of the ten JvmErrorMessages, in table order.
enum JvmErrorMessage {
  kNoSuitableRuntime = 0,     // "Unable to locate suitable Java Runtime Environment on this machine."
  kUnableToLoadJvm = 1,       // "Unable to load JVM: %s"
  kNoJniInterfaces = 2,       // "Unable to locate JNI interfaces in %s"
  kUnableToCreateJvm = 3,     // "Unable to create JVM instance using %s"
  kUnableToAttach = 4,        // "Unable to attach thread to the JVM."
  kErrorLocatingClass = 5,    // "Error locating class: %s"
  kErrorLocatingMethod = 6,   // "Error locating method: %s"
  kErrorInstantiating = 7,    // "Error instantiating object: %s"
  kErrorAssigningString = 8,  // "Error assigning string argument: %s"
  kErrorInvoking = 9,         // "Error invoking method: %s"
  kJvmErrorMessageCount = 10,
};

// Conversions by kind. A flag is set unless its text starts with '0' (so the empty text is set).
bool ConvertFlag(const std::string& text);
// A flag whose absence must keep the behaviour from before it existed: set only by a non-empty text
// that does not start with '0'.
bool ConvertOptInFlag(const std::string& text);
// Decimal, as atoi reads it: leading blanks, an optional sign, digits; no digits gives 0. Values
// beyond the range of int saturate instead of overflowing.
int ConvertInteger(const std::string& text);
// Hexadecimal, as sscanf "%x" reads it: leading blanks, an optional sign, an optional "0x"/"0X",
// digits up to the first other character; no digits gives 0. More than 32 bits keep the low 32.
std::uint32_t ConvertVersion(const std::string& text);

// The text an entry reads as: "" for the "<null>" placeholder, else the entry itself.
std::string_view NormalizeEntry(std::string_view loaded);

// Every entry's text as loaded, in table order (absent, empty and "<null>" entries as "").
using SettingTexts = std::array<std::string, kSettingCount>;

constexpr std::size_t IndexOf(Setting setting) { return static_cast<std::size_t>(setting); }

// Each setting is read through an accessor named as its row of the table, of its kind's type: texts
// and messages as UTF-8, the main class deciphered and in slash form, flags, integers and versions
// converted as they are read. A version also has <name>Number, the number its text reads as.
#define STUB_ACCESSOR_Text(name) \
  const std::string& name() const { return texts_[IndexOf(Setting::name)]; }
#define STUB_ACCESSOR_Message(name) STUB_ACCESSOR_Text(name)
#define STUB_ACCESSOR_Enciphered(name) STUB_ACCESSOR_Text(name)
#define STUB_ACCESSOR_Lines(name) STUB_ACCESSOR_Text(name)
#define STUB_ACCESSOR_Flag(name) \
  bool name() const { return ConvertFlag(texts_[IndexOf(Setting::name)]); }
#define STUB_ACCESSOR_OptInFlag(name) \
  bool name() const { return ConvertOptInFlag(texts_[IndexOf(Setting::name)]); }
#define STUB_ACCESSOR_Integer(name) \
  int name() const { return ConvertInteger(texts_[IndexOf(Setting::name)]); }
#define STUB_ACCESSOR_Version(name)                                       \
  STUB_ACCESSOR_Text(name) std::uint32_t name##Number() const {            \
    return ConvertVersion(texts_[IndexOf(Setting::name)]);                \
  }

class LaunchConfiguration {
 public:
  LaunchConfiguration() = default;
  // Takes the entries' texts and deciphers the main class.
  explicit LaunchConfiguration(SettingTexts&& texts);
  explicit LaunchConfiguration(const SettingTexts& texts) : LaunchConfiguration(SettingTexts(texts)) {}

#define STUB_SETTING_ACCESSOR(name, id, kind) STUB_ACCESSOR_##kind(name)
  STUB_SETTINGS(STUB_SETTING_ACCESSOR)
#undef STUB_SETTING_ACCESSOR

  // True when the entry holds a value: settings added after the first table read their absent or
  // empty entry as "not configured", whatever their kind would make of an empty text.
  bool IsGiven(Setting setting) const { return !texts_[IndexOf(setting)].empty(); }

  const std::string& JvmErrorMessages(JvmErrorMessage which) const {
    return texts_[IndexOf(Setting::JvmErrorMessages0) + which];
  }

 private:
  SettingTexts texts_;
};


// The INI override: JvmOptions and AppOptions replaced by the non-empty values of the same keys in
// section "Application Configuration" of the INI file's text (UTF-8).
void ApplyIniOverride(SettingTexts& texts, std::string_view ini_text);

// The configuration of the executable's own string table and the optional INI override. Never
// destroyed: the stages it is handed to (the splash, the service's threads, the JVM) read its texts by
// reference until the process ends.
const LaunchConfiguration& LoadLaunchConfiguration();

}  // namespace stub
