// The layout of the launch configuration in an executable's string table: one entry per setting, each
// the first string of its own block of sixteen (IDs 1024 to 1712 in steps of 16), language neutral.
// The launcher reads this table and the configuration tool writes it, so both take it from here.
#pragma once

#include <cstddef>
#include <string_view>

namespace stub {

enum class SettingKind {
  kText,        // used as loaded
  kFlag,        // set unless the text starts with '0'
  kInteger,     // decimal, as atoi reads it
  kVersion,     // hexadecimal text, kept as text and as number
  kEnciphered,  // the main class, hex digits of the class name XORed with a key stream
  kMessage,     // a format whose "%s" receives the argument the caller names
};

struct SettingLayout {
  std::string_view name;  // the setting's name, also its key in the configuration tool's INI files
  int id;                 // string-table ID
  SettingKind kind;
};

inline constexpr int kFirstSettingId = 1024;
inline constexpr int kLastSettingId = 1712;
inline constexpr int kSettingIdStep = 16;
inline constexpr std::size_t kSettingCount = (kLastSettingId - kFirstSettingId) / kSettingIdStep + 1;

// Longest entry text the launcher reads; anything longer is cut by the string loader.
inline constexpr std::size_t kMaxSettingLength = 1023;

// Every setting in ID order; kSettingLayouts[i].id == kFirstSettingId + i * kSettingIdStep.
extern const SettingLayout kSettingLayouts[kSettingCount];

// The layout entry with this name (exact, case-sensitive), or nullptr.
const SettingLayout* FindSettingByName(std::string_view name);

// The layout entry with this ID, or nullptr.
const SettingLayout* FindSettingById(int id);

}  // namespace stub
