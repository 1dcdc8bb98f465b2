// The launch configuration: every setting of the executable's string table, converted to its kind
// once at start-up and then read by every other module. The conversions live here, apart from the
// Win32 string loader, so that they are tested natively.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace stub {

inline constexpr int kJvmErrorMessageCount = 10;

// Indexes into JvmErrorMessages, in table order.
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
};

struct LaunchConfiguration {
  std::string MinJavaVersion;
  std::uint32_t MinJavaVersionNumber = 0;
  std::string JvmPath;
  std::string JvmOptions;
  std::string ClassPath;
  int JvmSearchMode = 0;
  std::string InstallSwitch;
  std::string UninstallSwitch;
  std::string ServiceSwitch;
  std::string WorkingDirectory;
  std::string MainClass;  // slash form: package components separated by '/'
  std::string AppOptions;
  std::string IniFile;
  bool ChangeDirectoryBeforeJvm = false;
  std::string ServiceName;
  std::string ServiceDescription;
  std::string ServiceStartArguments;
  std::string ServiceStopArguments;
  bool ServiceStopWithSystemExit = false;
  bool ServiceManualStart = false;
  bool AllowMultipleInstances = false;
  std::string SystemOutFile;
  std::string SystemErrFile;
  std::string SplashText;
  bool ShowSplash = false;
  int SplashSeconds = 0;
  std::string AlreadyRunningMessage;
  std::string FileAccessErrorMessage;
  std::string JvmErrorMessages[kJvmErrorMessageCount];
  std::string ServiceInstalledMessage;
  std::string ServiceUninstalledMessage;
  std::string ServiceExistsMessage;
  std::string ServiceStartedMessage;
  std::string ServiceStoppedMessage;
  std::string ServiceStartFailedMessage;
  std::string ServiceStopTimeoutMessage;
};

// The process-wide configuration. Filled once by LoadLaunchConfiguration on the main thread before any
// other thread starts; afterwards only the JVM-creating thread changes JvmPath and JvmOptions.
LaunchConfiguration& LaunchConfig();

// Reads the entry with the given string-table ID; absent, empty and "<null>" entries read as "".
using ConfigStringSource = std::function<std::string(int id)>;

// Reads a value of the INI override file; "" when the key is absent or empty.
using IniValueSource = std::function<std::string(std::string_view key)>;

// Every setting, converted to its kind, from the given entries.
LaunchConfiguration ConvertLaunchConfiguration(const ConfigStringSource& load);

// JvmOptions and AppOptions replaced by the INI file's non-empty values of the same keys.
void ApplyIniOverride(LaunchConfiguration& config, const IniValueSource& read_ini);

// Conversions by kind. A flag is set unless its text starts with '0' (so the empty text is set).
bool ConvertFlag(std::string_view text);
// Decimal, as atoi reads it: leading blanks, an optional sign, digits; no digits gives 0. Values
// beyond the range of int saturate instead of overflowing.
int ConvertInteger(std::string_view text);
// Hexadecimal, as sscanf "%x" reads it: leading blanks, an optional sign, an optional "0x"/"0X",
// digits up to the first other character; no digits gives 0. More than 32 bits keep the low 32.
std::uint32_t ConvertVersion(std::string_view text);

// The text an entry reads as: "" for the "<null>" placeholder, else the entry itself.
std::string_view NormalizeEntry(std::string_view loaded);

// Loads the configuration from the executable's own string table and the optional INI override.
void LoadLaunchConfiguration();

}  // namespace stub
