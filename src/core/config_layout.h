// The launch configuration's one table: every setting's name, string-table ID and kind, in ID order.
// IDs are blocks of sixteen; the table may skip blocks that belong to settings added elsewhere.
// The launcher's loader, the configuration tool's INI keys and the tests all read it, so a new setting
// is one row here plus its use. Each entry is the first string of its own block of sixteen in the
// executable's language-neutral string table.
#pragma once

#include <cstddef>
#include <string_view>

namespace stub {

enum class SettingKind {
  kText,        // used as loaded
  kFlag,        // set unless the text starts with '0'
  kOptInFlag,   // a flag added later: set only by a text that does not start with '0', so absent is clear
  kInteger,     // decimal, as atoi reads it
  kVersion,     // hexadecimal text, kept as text and as number
  kEnciphered,  // the main class, hex digits of the class name XORed with a key stream
  kMessage,     // a format whose "%s" receives the argument the caller names
  kLines,       // text of several lines, separated by line feeds
};

// name, string-table ID, kind (without its k), in ID order. Settings added later continue at 1728 and
// messages at 1936, each in its block of sixteen; IDs that no row names leave their blocks out.
#define STUB_SETTINGS(X)                             \
  X(MinJavaVersion, 1024, Version)                   \
  X(JvmPath, 1040, Text)                             \
  X(JvmOptions, 1056, Text)                          \
  X(ClassPath, 1072, Text)                           \
  X(JvmSearchMode, 1088, Integer)                    \
  X(InstallSwitch, 1104, Text)                       \
  X(UninstallSwitch, 1120, Text)                     \
  X(ServiceSwitch, 1136, Text)                       \
  X(WorkingDirectory, 1152, Text)                    \
  X(MainClass, 1168, Enciphered)                     \
  X(AppOptions, 1184, Text)                          \
  X(IniFile, 1200, Text)                             \
  X(ChangeDirectoryBeforeJvm, 1216, Flag)            \
  X(ServiceName, 1232, Text)                         \
  X(ServiceDescription, 1248, Text)                  \
  X(ServiceStartArguments, 1264, Text)               \
  X(ServiceStopArguments, 1280, Text)                \
  X(ServiceStopWithSystemExit, 1296, Flag)           \
  X(ServiceManualStart, 1312, Flag)                  \
  X(AllowMultipleInstances, 1328, Flag)              \
  X(SystemOutFile, 1344, Text)                       \
  X(SystemErrFile, 1360, Text)                       \
  X(SplashText, 1376, Text)                          \
  X(ShowSplash, 1392, Flag)                          \
  X(SplashSeconds, 1408, Integer)                    \
  X(AlreadyRunningMessage, 1424, Message)            \
  X(FileAccessErrorMessage, 1440, Message)           \
  X(JvmErrorMessages0, 1456, Message)                \
  X(JvmErrorMessages1, 1472, Message)                \
  X(JvmErrorMessages2, 1488, Message)                \
  X(JvmErrorMessages3, 1504, Message)                \
  X(JvmErrorMessages4, 1520, Message)                \
  X(JvmErrorMessages5, 1536, Message)                \
  X(JvmErrorMessages6, 1552, Message)                \
  X(JvmErrorMessages7, 1568, Message)                \
  X(JvmErrorMessages8, 1584, Message)                \
  X(JvmErrorMessages9, 1600, Message)                \
  X(ServiceInstalledMessage, 1616, Message)          \
  X(ServiceUninstalledMessage, 1632, Message)        \
  X(ServiceExistsMessage, 1648, Message)             \
  X(ServiceStartedMessage, 1664, Message)            \
  X(ServiceStoppedMessage, 1680, Message)            \
  X(ServiceStartFailedMessage, 1696, Message)        \
  X(ServiceStopTimeoutMessage, 1712, Message)        \
  X(Environment, 1728, Lines)                        \
  X(LogRollBytes, 1744, Integer)                     \
  X(LogKeep, 1760, Integer)                          \
  X(ServiceAccount, 1776, Text)                      \
  X(ServiceDependencies, 1792, Text)                 \
  X(ServiceDelayedStart, 1808, OptInFlag)            \
  X(ServiceRestartSeconds, 1824, Integer)            \
  X(ServiceStopSeconds, 1840, Integer)               \
  X(UseCallerDirectory, 1856, Flag)                  \
  X(RestartExitCode, 1888, Integer)                  \
  X(JavaDownloadUrl, 1904, Text)                     \
  X(AppUserModelId, 1920, Text)                      \
  X(LogWriteFailedMessage, 1936, Message)            \
  X(ServiceSettingNotAppliedMessage, 1984, Message)  \
  X(ServiceFailedMessage, 2000, Message)             \
  X(ServiceEndedAfterTimeoutMessage, 2016, Message)  \
  X(ServicePasswordPrompt, 2032, Message)            \
  X(ServicePasswordNeedsConsoleMessage, 2048, Message)\
  X(ServiceLogonRightGrantedMessage, 2064, Message)  \
  X(RestartLimitMessage, 2080, Message)              \
  X(JavaDownloadMessage, 2096, Message)

// Every setting, by its table position.
enum class Setting : int {
#define STUB_SETTING_ENUM(name, id, kind) name,
  STUB_SETTINGS(STUB_SETTING_ENUM)
#undef STUB_SETTING_ENUM
};

struct SettingLayout {
  std::string_view name;  // the setting's name, also its key in the configuration tool's INI files
  int id;                 // string-table ID
  SettingKind kind;
};

inline constexpr SettingLayout kSettingLayouts[] = {
#define STUB_SETTING_ROW(name, id, kind) {#name, id, SettingKind::k##kind},
    STUB_SETTINGS(STUB_SETTING_ROW)
#undef STUB_SETTING_ROW
};

// The IDs alone, in table order: what the launcher's loader needs, without carrying every name.
inline constexpr int kSettingIds[] = {
#define STUB_SETTING_ID(name, id, kind) id,
    STUB_SETTINGS(STUB_SETTING_ID)
#undef STUB_SETTING_ID
};

inline constexpr std::size_t kSettingCount = sizeof kSettingLayouts / sizeof kSettingLayouts[0];
inline constexpr int kFirstSettingId = kSettingLayouts[0].id;
inline constexpr int kLastSettingId = kSettingLayouts[kSettingCount - 1].id;
inline constexpr int kSettingIdStep = 16;

// The splash image is this bitmap resource of the executable.
inline constexpr int kSplashBitmapId = 8000;

// Longest entry text the launcher reads, in UTF-16 code units; the configuration tool refuses longer.
inline constexpr std::size_t kMaxSettingLength = 1023;

// The layout entry with this name (exact, case-sensitive), or nullptr.
const SettingLayout* FindSettingByName(std::string_view name);

// The layout entry with this ID, or nullptr.
const SettingLayout* FindSettingById(int id);

}  // namespace stub
