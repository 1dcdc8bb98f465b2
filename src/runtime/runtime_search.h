// The decision logic of runtime discovery, kept apart from the registry and the file system so that it
// is tested natively: which sources are searched in which order, which registered versions are
// acceptable, which library file of an accepted runtime is chosen, which Java home goes with it, and
// what the search trace says about each step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace stub {

// Where the first Java vendors registered their runtimes (under HKEY_LOCAL_MACHINE), two keys for each
// family (indexed by RuntimeFamily), in the order they are searched. These keep their places ahead of
// every other source.
inline constexpr const char* kRuntimeVendorKeys[2][2] = {
    {"Software\\JavaSoft\\Java Runtime Environment", "Software\\IBM\\Java2 Runtime Environment"},
    {"Software\\JavaSoft\\Java Development Kit", "Software\\IBM\\Java Development Kit"},
};

// Library files tried below a Java home, in order: a current runtime keeps jvm.dll in bin\<variant>,
// an older one below jre\. A home read from a first-generation key (which predates the current layout)
// is tried only from kFirstGenerationCandidate on, after the configured JvmPath.
inline constexpr const char* kLibraryCandidates[] = {
    "bin\\server\\jvm.dll",      "bin\\client\\jvm.dll",       "jre\\bin\\client\\jvm.dll",
    "jre\\bin\\server\\jvm.dll", "jre\\bin\\classic\\jvm.dll",
};
inline constexpr std::size_t kFirstGenerationCandidate = 2;

inline constexpr char kCurrentVersionValue[] = "CurrentVersion";
inline constexpr char kJavaHomeValue[] = "JavaHome";
inline constexpr char kRuntimeLibValue[] = "RuntimeLib";

// Buffer sizes, terminator included: a composed text that does not fit is skipped as not found.
inline constexpr std::size_t kKeyPathSize = 256;
inline constexpr std::size_t kVersionNameSize = 256;
inline constexpr std::size_t kLibraryPathSize = 260;
inline constexpr std::size_t kJavaHomeSize = 260;

// PE machine types the launcher tells apart.
inline constexpr std::uint16_t kMachineX86 = 0x014C;
inline constexpr std::uint16_t kMachineX64 = 0x8664;
inline constexpr std::uint16_t kMachineArm64 = 0xAA64;

// The machine this launcher is built for: a library of any other machine cannot be loaded into it.
#if defined(_M_ARM64) || defined(__aarch64__)
inline constexpr std::uint16_t kLauncherMachine = kMachineArm64;
#elif defined(_M_X64) || defined(__x86_64__)
inline constexpr std::uint16_t kLauncherMachine = kMachineX64;
#else
inline constexpr std::uint16_t kLauncherMachine = kMachineX86;
#endif

enum class RuntimeFamily : unsigned char { kRuntimeEnvironment, kDevelopmentKit };
enum class RegistryRoot : unsigned char { kLocalMachine, kCurrentUser };

// One way a vendor's installer registers a runtime: <key>\<version><below_version>, value home_value
// holding the Java home. The JavaSoft layout also names its newest version in "CurrentVersion" and may
// write the library itself in "RuntimeLib".
struct VendorLayout {
  RuntimeFamily family;
  bool javasoft;
  const char* key;
  const char* below_version;
  const char* home_value;
};

// The current vendor layouts, in the order in which equal versions rank.
inline constexpr VendorLayout kVendorLayouts[] = {
    {RuntimeFamily::kRuntimeEnvironment, true, "Software\\JavaSoft\\JRE", "", "JavaHome"},
    {RuntimeFamily::kDevelopmentKit, true, "Software\\JavaSoft\\JDK", "", "JavaHome"},
    {RuntimeFamily::kRuntimeEnvironment, false, "Software\\Eclipse Adoptium\\JRE", "\\hotspot\\MSI", "Path"},
    {RuntimeFamily::kDevelopmentKit, false, "Software\\Eclipse Adoptium\\JDK", "\\hotspot\\MSI", "Path"},
    {RuntimeFamily::kRuntimeEnvironment, false, "Software\\AdoptOpenJDK\\JRE", "\\hotspot\\MSI", "Path"},
    {RuntimeFamily::kRuntimeEnvironment, false, "Software\\AdoptOpenJDK\\JRE", "\\openj9\\MSI", "Path"},
    {RuntimeFamily::kDevelopmentKit, false, "Software\\AdoptOpenJDK\\JDK", "\\hotspot\\MSI", "Path"},
    {RuntimeFamily::kDevelopmentKit, false, "Software\\AdoptOpenJDK\\JDK", "\\openj9\\MSI", "Path"},
    {RuntimeFamily::kDevelopmentKit, false, "Software\\Microsoft\\JDK", "\\hotspot\\MSI", "Path"},
};

struct SearchPlan {
  bool registry_first;        // the first-generation keys come before the configured JvmPath
  std::size_t family_count;   // 1 or 2
  RuntimeFamily families[2];  // the key families searched, in order
};

// The plan for a JvmSearchMode value: bit 2 puts the registry first, bit 0 the development kits, bit 1
// keeps only the first family; above 7 reads like 4, below 0 like 0.
SearchPlan SearchPlanForMode(int mode);

struct JavaVersion {
  unsigned major = 0;
  unsigned minor = 0;
};

// The minimum a MinJavaVersion number asks for: major in the upper 16 bits, minor in the lowest four.
JavaVersion RequiredVersion(std::uint32_t min_java_version);

// The leading decimal numbers of a registered version name ("1.4.2" is 1.4, "17.0.2" is 17.0, "21" is
// 21.0); nullopt when the name does not start with a digit.
std::optional<JavaVersion> ParseVersionName(std::string_view name);

// True when the name's (major, minor) is at least the required pair.
bool IsVersionAcceptable(const std::string& name, JavaVersion required);

// Up to four numbers of a version text, for ranking: "17.0.2.8", "17.0.2+8", "1.8.0_392". The text
// must start with a digit; reading stops at the first character that continues no number.
struct RuntimeVersion {
  unsigned parts[4] = {0, 0, 0, 0};
};
std::optional<RuntimeVersion> ParseRuntimeVersion(const std::string& text);
bool operator<(const RuntimeVersion& a, const RuntimeVersion& b);

// The JAVA_VERSION value of a runtime's "release" file (JAVA_VERSION="17.0.2"); "" when it has none.
std::string ReleaseVersion(std::string_view release_text);

// The home of a library at <home>\bin\<variant>\jvm.dll ("." for a relative bin\<variant>\jvm.dll);
// "" for a library kept anywhere else.
std::string HomeOfLibrary(const std::string& library);

// The folder beside which a library's own DLLs live: <x>\bin for <x>\bin\<variant>\jvm.dll, else the
// library's folder ("" for a bare file name).
std::string RuntimeBinFolder(std::string_view library);

// The offset of the PE header named by the first 64 bytes of a file; nullopt when they are no DOS
// header. The machine field of the 6 bytes read there; nullopt when they are no PE signature.
std::optional<std::uint32_t> PeHeaderOffset(std::string_view dos_header);
std::optional<std::uint16_t> PeMachine(std::string_view pe_header);

// "x86", "x64" or "ARM64" for the machine types above, as Windows names them, else "machine type 0x<hex>".
std::string MachineName(std::uint16_t machine);

// The second line of a refused library: "<path> is an ARM64 library; this launcher is x64."
std::string ForeignLibraryText(std::string_view path, std::uint16_t machine, std::uint16_t launcher_machine);

// Read access to the vendor keys, in the registry view of the launcher's own bitness.
class RuntimeRegistry {
 public:
  virtual ~RuntimeRegistry() = default;
  // Reads a string value of root\key_path into value: true when it is a REG_SZ or REG_EXPAND_SZ text
  // that fits buffer_size bytes with its terminator; false, with value empty, when the key cannot be
  // opened or the value is missing, does not fit or has another type.
  virtual bool ReadString(RegistryRoot root, const std::string& key_path, const char* value_name,
                          std::size_t buffer_size, std::string& value) const = 0;
  // The key's subkey names in enumeration order, up to the first that cannot be enumerated (a name of
  // kVersionNameSize bytes or more ends the enumeration); nullopt when the key cannot be opened.
  virtual std::optional<std::vector<std::string>> SubkeyNames(RegistryRoot root, const std::string& key_path) const = 0;
};

// What the search needs of the file system.
class RuntimeFiles {
 public:
  virtual ~RuntimeFiles() = default;
  // nullopt when the path cannot be opened for reading as a file; else the machine of its PE header,
  // 0 when it has none (such a file is left to the loader to judge).
  virtual std::optional<std::uint16_t> LibraryMachine(const std::string& path) const = 0;
  virtual bool IsDirectory(const std::string& path) const = 0;
  // The text of a small file; "" when it cannot be read.
  virtual std::string ReadSmallFile(const std::string& path) const = 0;
};

// Receives one line per step of the search: tab-separated source, key, path, version and outcome.
class SearchTrace {
 public:
  virtual ~SearchTrace() = default;
  virtual void Line(const std::string& line) = 0;
};

// The trace line of one step; tabs and line breaks inside a field become spaces.
std::string TraceLine(std::string_view source, std::string_view key, std::string_view path, std::string_view version,
                      std::string_view outcome);

struct RuntimeSearch {
  const RuntimeRegistry& registry;
  const RuntimeFiles& files;
  JavaVersion required;
  std::string jvm_path;          // the configured JvmPath, %NAME% references expanded
  std::string java_home_env;     // JAVA_HOME of the environment; empty when unset
  std::uint16_t machine;         // the launcher's own machine
  SearchTrace* trace = nullptr;  // null: nothing is traced, nothing is formatted
};

// A runtime found: the library to load and its Java home (the value of %JAVA_HOME% from then on).
struct ResolvedRuntime {
  std::string library;
  std::string java_home;
};

// The library to load for a search mode, in this order: the configured JvmPath and the first-generation
// keys in the places the mode gives them, then the current vendor layouts, then JAVA_HOME; with the
// home of the chosen runtime (derived from its path when no source named one, empty for a library in
// no Java home). nullopt when nothing usable is found.
std::optional<ResolvedRuntime> ChooseJvmLibrary(const RuntimeSearch& search, int search_mode);

}  // namespace stub
