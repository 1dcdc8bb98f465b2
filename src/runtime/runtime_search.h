// The decision logic of runtime discovery, kept apart from the registry and the file system so that it
// is tested natively: which vendor keys are searched in which order, which registered versions are
// acceptable, and which library file of an accepted runtime is chosen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace stub {

// Where Java vendors register their runtimes (under HKEY_LOCAL_MACHINE), in table order: runtime
// environments first, development kits after them.
inline constexpr const char* kRuntimeVendorKeys[] = {
    "Software\\JavaSoft\\Java Runtime Environment",
    "Software\\IBM\\Java2 Runtime Environment",
    "Software\\JavaSoft\\Java Development Kit",
    "Software\\IBM\\Java Development Kit",
};

// Library files tried below a registered Java home that names no usable "RuntimeLib", in order.
inline constexpr const char* kLibraryCandidates[] = {
    "jre\\bin\\client\\jvm.dll",
    "jre\\bin\\server\\jvm.dll",
    "jre\\bin\\classic\\jvm.dll",
};

inline constexpr char kCurrentVersionValue[] = "CurrentVersion";
inline constexpr char kJavaHomeValue[] = "JavaHome";
inline constexpr char kRuntimeLibValue[] = "RuntimeLib";

// Buffer sizes, terminator included: a composed text that does not fit is skipped as not found.
inline constexpr std::size_t kKeyPathSize = 256;
inline constexpr std::size_t kVersionNameSize = 256;
inline constexpr std::size_t kLibraryPathSize = 260;
inline constexpr std::size_t kJavaHomeSize = 260;

struct SearchPlan {
  bool registry_first;           // the registry is searched before the configured JvmPath
  std::vector<int> vendor_keys;  // indexes into kRuntimeVendorKeys, in search order
};

// The plan for a JvmSearchMode value: 0..7 as tabled, above 7 like 4, below 0 like 0.
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
bool IsVersionAcceptable(std::string_view name, JavaVersion required);

// Read access to the vendor keys, as the search needs it.
class RuntimeRegistry {
 public:
  virtual ~RuntimeRegistry() = default;
  // Reads a string value of HKEY_LOCAL_MACHINE\key_path into value: 0 when it is a REG_SZ or
  // REG_EXPAND_SZ text that fits buffer_size bytes with its terminator; -1 when the key cannot be
  // opened; 1 when the value is missing, does not fit, or has another type (value is then empty).
  virtual int ReadString(const std::string& key_path, const char* value_name, std::size_t buffer_size,
                         std::string& value) const = 0;
  // The key's subkey names in enumeration order, up to the first that cannot be enumerated (a name of
  // kVersionNameSize bytes or more ends the enumeration); nullopt when the key cannot be opened.
  virtual std::optional<std::vector<std::string>> SubkeyNames(const std::string& key_path) const = 0;
};

// True when the path can be opened for reading as a file.
using FileProbe = std::function<bool(const std::string& path)>;

struct RuntimeSearch {
  const RuntimeRegistry& registry;
  const FileProbe& file_exists;
  JavaVersion required;
  std::string jvm_path;    // the configured JvmPath, tried below a Java home first
  std::string& java_home;  // DiscoveredJavaHome: the Java home of the last version that passed
};

// Tests one version subkey of one vendor key; the library path when it is acceptable.
std::optional<std::string> ProbeRuntimeVersion(RuntimeSearch& search, const std::string& vendor_key,
                                               const std::string& version_name);

// Searches the vendor keys of the plan in order; the first acceptable library wins.
std::optional<std::string> FindRegisteredRuntime(RuntimeSearch& search, const std::vector<int>& vendor_keys);

// The library to load for a search mode: the configured path when it exists and comes first, else the
// registry's choice, else the configured path when it exists; nullopt when nothing usable is found.
std::optional<std::string> ChooseJvmLibrary(RuntimeSearch& search, int search_mode);

}  // namespace stub
