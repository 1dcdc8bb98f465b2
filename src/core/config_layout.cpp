// The one table that names every configuration entry, its string-table ID and its kind.
#include "core/config_layout.h"

namespace stub {

const SettingLayout kSettingLayouts[kSettingCount] = {
    {"MinJavaVersion", 1024, SettingKind::kVersion},
    {"JvmPath", 1040, SettingKind::kText},
    {"JvmOptions", 1056, SettingKind::kText},
    {"ClassPath", 1072, SettingKind::kText},
    {"JvmSearchMode", 1088, SettingKind::kInteger},
    {"InstallSwitch", 1104, SettingKind::kText},
    {"UninstallSwitch", 1120, SettingKind::kText},
    {"ServiceSwitch", 1136, SettingKind::kText},
    {"WorkingDirectory", 1152, SettingKind::kText},
    {"MainClass", 1168, SettingKind::kEnciphered},
    {"AppOptions", 1184, SettingKind::kText},
    {"IniFile", 1200, SettingKind::kText},
    {"ChangeDirectoryBeforeJvm", 1216, SettingKind::kFlag},
    {"ServiceName", 1232, SettingKind::kText},
    {"ServiceDescription", 1248, SettingKind::kText},
    {"ServiceStartArguments", 1264, SettingKind::kText},
    {"ServiceStopArguments", 1280, SettingKind::kText},
    {"ServiceStopWithSystemExit", 1296, SettingKind::kFlag},
    {"ServiceManualStart", 1312, SettingKind::kFlag},
    {"AllowMultipleInstances", 1328, SettingKind::kFlag},
    {"SystemOutFile", 1344, SettingKind::kText},
    {"SystemErrFile", 1360, SettingKind::kText},
    {"SplashText", 1376, SettingKind::kText},
    {"ShowSplash", 1392, SettingKind::kFlag},
    {"SplashSeconds", 1408, SettingKind::kInteger},
    {"AlreadyRunningMessage", 1424, SettingKind::kMessage},
    {"FileAccessErrorMessage", 1440, SettingKind::kMessage},
    {"JvmErrorMessages0", 1456, SettingKind::kMessage},
    {"JvmErrorMessages1", 1472, SettingKind::kMessage},
    {"JvmErrorMessages2", 1488, SettingKind::kMessage},
    {"JvmErrorMessages3", 1504, SettingKind::kMessage},
    {"JvmErrorMessages4", 1520, SettingKind::kMessage},
    {"JvmErrorMessages5", 1536, SettingKind::kMessage},
    {"JvmErrorMessages6", 1552, SettingKind::kMessage},
    {"JvmErrorMessages7", 1568, SettingKind::kMessage},
    {"JvmErrorMessages8", 1584, SettingKind::kMessage},
    {"JvmErrorMessages9", 1600, SettingKind::kMessage},
    {"ServiceInstalledMessage", 1616, SettingKind::kMessage},
    {"ServiceUninstalledMessage", 1632, SettingKind::kMessage},
    {"ServiceExistsMessage", 1648, SettingKind::kMessage},
    {"ServiceStartedMessage", 1664, SettingKind::kMessage},
    {"ServiceStoppedMessage", 1680, SettingKind::kMessage},
    {"ServiceStartFailedMessage", 1696, SettingKind::kMessage},
    {"ServiceStopTimeoutMessage", 1712, SettingKind::kMessage},
};

const SettingLayout* FindSettingByName(std::string_view name) {
  for (const SettingLayout& layout : kSettingLayouts) {
    if (layout.name == name) return &layout;
  }
  return nullptr;
}

const SettingLayout* FindSettingById(int id) {
  if (id < kFirstSettingId || id > kLastSettingId || (id - kFirstSettingId) % kSettingIdStep != 0) {
    return nullptr;
  }
  return &kSettingLayouts[(id - kFirstSettingId) / kSettingIdStep];
}

}  // namespace stub
