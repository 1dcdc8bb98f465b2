// Runtime discovery decisions. The order of tries is part of the launcher's contract: a machine with
// several registered runtimes must always get the same one, and a machine that the first-generation
// keys served keeps getting the runtime they name, whatever newer installers have added since.
#include "runtime/runtime_search.h"

#include <climits>
#include <iterator>

namespace stub {
namespace {

constexpr char kLegacySource[] = "legacy";
constexpr char kRegistrySource[] = "registry";
constexpr char kConfiguredSource[] = "JvmPath";
constexpr char kEnvironmentSource[] = "JAVA_HOME";
constexpr char kReleaseFile[] = "\\release";

// A runtime a source offers: its library, its home and the version text that ranked it.
struct Found {
  std::string library;
  std::string home;
  std::string version;
  const char* source = "";
};

// Reads a decimal number at pos, saturating; false when there is no digit there.
bool ReadNumber(std::string_view text, std::size_t& pos, unsigned& number) {
  if (pos >= text.size() || text[pos] < '0' || text[pos] > '9') return false;
  unsigned long long value = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    value = value * 10 + static_cast<unsigned>(text[pos] - '0');
    if (value > UINT_MAX) value = UINT_MAX;
  }
  number = static_cast<unsigned>(value);
  return true;
}

// The candidates below a Java home found by the newer sources: the current layouts, then the older.
constexpr std::size_t kHomeCandidateCount = std::size(kCurrentLibraryCandidates) + std::size(kLibraryCandidates);
const char* HomeCandidate(std::size_t index) {
  const std::size_t current = std::size(kCurrentLibraryCandidates);
  return index < current ? kCurrentLibraryCandidates[index] : kLibraryCandidates[index - current];
}

bool Fits(const std::string& text, std::size_t buffer_size) { return text.size() < buffer_size; }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string_view Parent(std::string_view path) {
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

std::string_view LastName(std::string_view path) {
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const char x = (a[i] >= 'A' && a[i] <= 'Z') ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    const char y = (b[i] >= 'A' && b[i] <= 'Z') ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
    if (x != y) return false;
  }
  return true;
}

// Installers write homes with and without a closing separator ("C:\...\jdk-17\"); joined paths and the
// Java home handed on must not depend on which.
std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && IsSeparator(path.back()) && path[path.size() - 2] != ':') path.pop_back();
  return path;
}

std::string RootLabel(RegistryRoot root, const std::string& key) {
  return (root == RegistryRoot::kLocalMachine ? "HKLM\\" : "HKCU\\") + key;
}

void Trace(RuntimeSearch& search, std::string_view source, std::string_view key, std::string_view path,
           std::string_view version, std::string_view outcome) {
  if (search.trace != nullptr) search.trace->Line(TraceLine(source, key, path, version, outcome));
}

// True when the library exists and fits the launcher; every refusal is traced with its reason.
bool IsUsableLibrary(RuntimeSearch& search, const char* source, std::string_view key, const std::string& path,
                     std::string_view version) {
  if (!Fits(path, kLibraryPathSize)) {
    Trace(search, source, key, path, version, "path too long");
    return false;
  }
  const std::optional<std::uint16_t> machine = search.files.LibraryMachine(path);
  if (!machine) {
    Trace(search, source, key, path, version, "missing");
    return false;
  }
  if (*machine != 0 && *machine != search.machine) {
    if (search.trace != nullptr) {
      Trace(search, source, key, path, version, std::string("other bitness: ") + MachineName(*machine) + " library");
    }
    return false;
  }
  Trace(search, source, key, path, version, "usable");
  return true;
}

// The first usable candidate below a home; "" when there is none.
std::string LibraryBelowHome(RuntimeSearch& search, const char* source, std::string_view key, const std::string& home,
                             std::string_view version) {
  for (std::size_t i = 0; i < kHomeCandidateCount; ++i) {
    const std::string path = home + "\\" + HomeCandidate(i);
    if (IsUsableLibrary(search, source, key, path, version)) return path;
  }
  return std::string();
}

// The version of a home's runtime by its release file; "" when it states none.
std::string VersionFromRelease(RuntimeSearch& search, const std::string& home) {
  return ReleaseVersion(search.files.ReadSmallFile(home + kReleaseFile));
}

bool IsRecentEnough(RuntimeSearch& search, const char* source, std::string_view key, std::string_view home,
                    std::string_view version) {
  if (!ParseRuntimeVersion(version)) {
    Trace(search, source, key, home, version, "no version");
    return false;
  }
  if (!IsVersionAcceptable(version, search.required)) {
    Trace(search, source, key, home, version, "too old");
    return false;
  }
  return true;
}

// The configured JvmPath: a file is taken as it is, as it always was; a directory is a Java home.
// Neither is judged by version or machine here: what the application names is what it gets, and a
// library that cannot serve is refused with its reason when it is loaded.
std::optional<Found> ConfiguredRuntime(RuntimeSearch& search) {
  const std::string& path = search.jvm_path;
  if (path.empty()) {
    Trace(search, kConfiguredSource, "", "", "", "not set");
    return std::nullopt;
  }
  if (search.files.LibraryMachine(path)) {
    return Found{path, HomeOfLibrary(path), "", kConfiguredSource};
  }
  if (search.files.IsDirectory(path)) {
    const std::string home = WithoutTrailingSeparators(path);
    for (std::size_t i = 0; i < kHomeCandidateCount; ++i) {
      const std::string library = home + "\\" + HomeCandidate(i);
      if (search.files.LibraryMachine(library)) return Found{library, home, "", kConfiguredSource};
      Trace(search, kConfiguredSource, "", library, "", "missing");
    }
    return std::nullopt;
  }
  Trace(search, kConfiguredSource, "", path, "", "missing");
  return std::nullopt;
}

// JAVA_HOME of the environment, judged by the version its release file states.
std::optional<Found> EnvironmentRuntime(RuntimeSearch& search) {
  if (search.java_home_env.empty()) {
    Trace(search, kEnvironmentSource, "", "", "", "not set");
    return std::nullopt;
  }
  const std::string home = WithoutTrailingSeparators(search.java_home_env);
  const std::string version = VersionFromRelease(search, home);
  if (!IsRecentEnough(search, kEnvironmentSource, "", home, version)) return std::nullopt;
  std::string library = LibraryBelowHome(search, kEnvironmentSource, "", home, version);
  if (library.empty()) return std::nullopt;
  return Found{std::move(library), home, version, kEnvironmentSource};
}

// One version subkey of a current layout: the runtime it registers, when that one can serve.
std::optional<Found> ProbeCurrentVersion(RuntimeSearch& search, RegistryRoot root, const VendorLayout& layout,
                                         const std::string& name) {
  const std::string key_path = std::string(layout.key) + "\\" + name + layout.below_version;
  const std::string label = search.trace != nullptr ? RootLabel(root, key_path) : std::string();
  if (!Fits(key_path, kKeyPathSize)) {
    Trace(search, kRegistrySource, label, "", name, "key path too long");
    return std::nullopt;
  }
  std::string home;
  if (search.registry.ReadString(root, key_path, layout.home_value, kJavaHomeSize, home) != 0 || home.empty()) {
    if (search.trace != nullptr) {
      Trace(search, kRegistrySource, label, "", name, std::string("no ") + layout.home_value);
    }
    return std::nullopt;
  }
  home = WithoutTrailingSeparators(home);
  const std::string version = ParseRuntimeVersion(name) ? name : VersionFromRelease(search, home);
  if (!IsRecentEnough(search, kRegistrySource, label, home, version)) return std::nullopt;
  if (layout.javasoft) {
    std::string runtime_lib;
    if (search.registry.ReadString(root, key_path, kRuntimeLibValue, kLibraryPathSize, runtime_lib) == 0 &&
        IsUsableLibrary(search, kRegistrySource, label, runtime_lib, version)) {
      return Found{runtime_lib, home, version, kRegistrySource};
    }
  }
  std::string library = LibraryBelowHome(search, kRegistrySource, label, home, version);
  if (library.empty()) return std::nullopt;
  return Found{std::move(library), home, version, kRegistrySource};
}

// Keeps the higher of two finds; the earlier one wins a tie.
void KeepBest(std::optional<Found>& best, std::optional<Found> found) {
  if (!found) return;
  if (best && !(*ParseRuntimeVersion(best->version) < *ParseRuntimeVersion(found->version))) return;
  best = std::move(found);
}

void SearchLayout(RuntimeSearch& search, RegistryRoot root, const VendorLayout& layout, std::optional<Found>& best) {
  const std::optional<std::vector<std::string>> names = search.registry.SubkeyNames(root, layout.key);
  if (!names) {
    if (search.trace != nullptr) Trace(search, kRegistrySource, RootLabel(root, layout.key), "", "", "absent");
    return;
  }
  // The version "CurrentVersion" names is tried first, so that it wins among equal versions.
  std::string current;
  if (layout.javasoft &&
      search.registry.ReadString(root, layout.key, kCurrentVersionValue, kVersionNameSize, current) == 0) {
    KeepBest(best, ProbeCurrentVersion(search, root, layout, current));
  }
  for (const std::string& name : *names) {
    if (name != current) KeepBest(best, ProbeCurrentVersion(search, root, layout, name));
  }
}

std::optional<Found> CurrentRuntime(RuntimeSearch& search, const std::vector<RuntimeFamily>& families) {
  std::optional<Found> best;
  for (RuntimeFamily family : families) {
    for (RegistryRoot root : {RegistryRoot::kLocalMachine, RegistryRoot::kCurrentUser}) {
      for (const VendorLayout& layout : kVendorLayouts) {
        if (layout.family == family) SearchLayout(search, root, layout, best);
      }
    }
  }
  return best;
}

std::optional<Found> LegacyRuntime(RuntimeSearch& search, const SearchPlan& plan) {
  std::optional<std::string> library = FindRegisteredRuntime(search, LegacyKeysOf(plan));
  if (!library) return std::nullopt;
  std::string home = search.java_home.empty() ? HomeOfLibrary(*library) : search.java_home;
  return Found{std::move(*library), std::move(home), "", kLegacySource};
}

// The part of the search whose order predates the current vendor layouts.
std::optional<Found> FirstGenerationRuntime(RuntimeSearch& search, const SearchPlan& plan) {
  if (!plan.registry_first) {
    if (auto found = ConfiguredRuntime(search)) return found;
    return LegacyRuntime(search, plan);
  }
  if (auto found = LegacyRuntime(search, plan)) return found;
  return ConfiguredRuntime(search);
}

}  // namespace

SearchPlan SearchPlanForMode(int mode) {
  if (mode < 0) mode = 0;
  if (mode > 7) mode = 4;
  SearchPlan plan;
  plan.registry_first = (mode & 4) != 0;
  const bool kits_first = (mode & 1) != 0;
  plan.families.push_back(kits_first ? RuntimeFamily::kDevelopmentKit : RuntimeFamily::kRuntimeEnvironment);
  if ((mode & 2) == 0) {
    plan.families.push_back(kits_first ? RuntimeFamily::kRuntimeEnvironment : RuntimeFamily::kDevelopmentKit);
  }
  return plan;
}

std::vector<int> LegacyKeysOf(const SearchPlan& plan) {
  std::vector<int> keys;
  for (RuntimeFamily family : plan.families) {
    const int first = family == RuntimeFamily::kRuntimeEnvironment ? 0 : 2;
    keys.push_back(first);
    keys.push_back(first + 1);
  }
  return keys;
}

JavaVersion RequiredVersion(std::uint32_t min_java_version) {
  return JavaVersion{min_java_version >> 16, min_java_version & 0xFu};
}

std::optional<JavaVersion> ParseVersionName(std::string_view name) {
  JavaVersion version;
  std::size_t pos = 0;
  if (!ReadNumber(name, pos, version.major)) return std::nullopt;
  if (pos < name.size() && name[pos] == '.') {
    ++pos;
    ReadNumber(name, pos, version.minor);
  }
  return version;
}

bool IsVersionAcceptable(std::string_view name, JavaVersion required) {
  const std::optional<JavaVersion> version = ParseVersionName(name);
  if (!version) return false;
  if (version->major != required.major) return version->major > required.major;
  return version->minor >= required.minor;
}

std::optional<RuntimeVersion> ParseRuntimeVersion(std::string_view text) {
  RuntimeVersion version;
  std::size_t pos = 0;
  if (!ReadNumber(text, pos, version.parts[0])) return std::nullopt;
  for (std::size_t i = 1; i < 4 && pos + 1 < text.size(); ++i) {
    const char separator = text[pos];
    if (separator != '.' && separator != '_' && separator != '+' && separator != '-') break;
    std::size_t next = pos + 1;
    if (!ReadNumber(text, next, version.parts[i])) break;
    pos = next;
  }
  return version;
}

bool operator<(const RuntimeVersion& a, const RuntimeVersion& b) {
  for (std::size_t i = 0; i < 4; ++i) {
    if (a.parts[i] != b.parts[i]) return a.parts[i] < b.parts[i];
  }
  return false;
}

std::string ReleaseVersion(std::string_view release_text) {
  constexpr std::string_view kKey = "JAVA_VERSION=";
  std::size_t pos = 0;
  while (pos < release_text.size()) {
    std::size_t end = release_text.find('\n', pos);
    if (end == std::string_view::npos) end = release_text.size();
    std::string_view line = release_text.substr(pos, end - pos);
    pos = end + 1;
    if (line.substr(0, kKey.size()) != kKey) continue;
    line.remove_prefix(kKey.size());
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    if (line.size() >= 2 && line.front() == '"' && line.back() == '"') line = line.substr(1, line.size() - 2);
    return std::string(line);
  }
  return std::string();
}

std::string HomeOfLibrary(std::string_view library) {
  const std::string_view variant = Parent(library);
  const std::string_view bin = Parent(variant);
  if (variant.empty() || !EqualsNoCase(LastName(bin), "bin")) return std::string();
  const std::string_view home = Parent(bin);
  if (home.empty()) return bin.size() == LastName(bin).size() ? "." : std::string(bin.substr(0, 1));
  if (home.back() == ':') return std::string(home) + "\\";
  return std::string(home);
}

std::string RuntimeBinFolder(std::string_view library) {
  const std::string_view folder = Parent(library);
  const std::string_view above = Parent(folder);
  if (!above.empty() && EqualsNoCase(LastName(above), "bin")) return std::string(above);
  return std::string(folder);
}

std::optional<std::uint32_t> PeHeaderOffset(std::string_view dos_header) {
  if (dos_header.size() < 64 || dos_header[0] != 'M' || dos_header[1] != 'Z') return std::nullopt;
  std::uint32_t offset = 0;
  for (int i = 3; i >= 0; --i) offset = (offset << 8) | static_cast<unsigned char>(dos_header[0x3C + i]);
  return offset;
}

std::optional<std::uint16_t> PeMachine(std::string_view pe_header) {
  if (pe_header.size() < 6 || pe_header.substr(0, 4) != std::string_view("PE\0\0", 4)) return std::nullopt;
  return static_cast<std::uint16_t>(static_cast<unsigned char>(pe_header[4]) |
                                    (static_cast<unsigned char>(pe_header[5]) << 8));
}

std::string MachineName(std::uint16_t machine) {
  switch (machine) {
    case kMachineX86:
      return "32-bit";
    case kMachineX64:
      return "64-bit";
    case kMachineArm64:
      return "ARM64";
    default: {
      static const char kDigits[] = "0123456789ABCDEF";
      std::string name = "machine type 0x0000";
      for (int i = 0; i < 4; ++i) name[name.size() - 1 - i] = kDigits[(machine >> (4 * i)) & 0xF];
      return name;
    }
  }
}

std::string ForeignLibraryText(std::string_view path, std::uint16_t machine, std::uint16_t launcher_machine) {
  return std::string(path) + " is a " + MachineName(machine) + " library; this launcher is " +
         MachineName(launcher_machine) + ".";
}

std::string TraceLine(std::string_view source, std::string_view key, std::string_view path, std::string_view version,
                      std::string_view outcome) {
  const std::string_view fields[] = {source, key, path, version, outcome};
  std::string line;
  for (std::size_t i = 0; i < 5; ++i) {
    if (i > 0) line += '\t';
    for (char c : fields[i]) line += (c == '\t' || c == '\r' || c == '\n') ? ' ' : c;
  }
  return line;
}

std::optional<std::string> ProbeRuntimeVersion(RuntimeSearch& search, const std::string& vendor_key,
                                               const std::string& version_name) {
  const std::string key_path = vendor_key + "\\" + version_name;
  const std::string label = search.trace != nullptr ? std::string("HKLM\\") + key_path : std::string();
  if (!IsVersionAcceptable(version_name, search.required)) {
    Trace(search, kLegacySource, label, "", version_name, "too old");
    return std::nullopt;
  }
  if (!Fits(key_path, kKeyPathSize)) {
    Trace(search, kLegacySource, label, "", version_name, "key path too long");
    return std::nullopt;
  }

  search.java_home.clear();
  search.registry.ReadString(RegistryRoot::kLocalMachine, key_path, kJavaHomeValue, kJavaHomeSize, search.java_home);

  std::string runtime_lib;
  const int lib_read = search.registry.ReadString(RegistryRoot::kLocalMachine, key_path, kRuntimeLibValue,
                                                  kLibraryPathSize, runtime_lib);
  if (lib_read == 0) {
    // A registered library that cannot serve refuses the version; its Java home is not tried instead.
    if (IsUsableLibrary(search, kLegacySource, label, runtime_lib, version_name)) return runtime_lib;
    return std::nullopt;
  }
  if (search.java_home.empty()) {
    Trace(search, kLegacySource, label, "", version_name, "no RuntimeLib or JavaHome");
    return std::nullopt;
  }
  if (!search.jvm_path.empty()) {
    const std::string path = search.java_home + "\\" + search.jvm_path;
    if (IsUsableLibrary(search, kLegacySource, label, path, version_name)) return path;
  }
  for (const char* candidate : kLibraryCandidates) {
    const std::string path = search.java_home + "\\" + candidate;
    if (IsUsableLibrary(search, kLegacySource, label, path, version_name)) return path;
  }
  return std::nullopt;
}

std::optional<std::string> FindRegisteredRuntime(RuntimeSearch& search, const std::vector<int>& vendor_keys) {
  for (int index : vendor_keys) {
    const std::string vendor_key = kRuntimeVendorKeys[index];
    std::string current_version;
    if (search.registry.ReadString(RegistryRoot::kLocalMachine, vendor_key, kCurrentVersionValue, kVersionNameSize,
                                   current_version) == 0) {
      if (auto path = ProbeRuntimeVersion(search, vendor_key, current_version)) return path;
    }
    const std::optional<std::vector<std::string>> names =
        search.registry.SubkeyNames(RegistryRoot::kLocalMachine, vendor_key);
    if (!names) {
      if (search.trace != nullptr) Trace(search, kLegacySource, std::string("HKLM\\") + vendor_key, "", "", "absent");
      continue;
    }
    for (const std::string& name : *names) {
      if (auto path = ProbeRuntimeVersion(search, vendor_key, name)) return path;
    }
  }
  return std::nullopt;
}

std::optional<std::string> FindCurrentRuntime(RuntimeSearch& search, const std::vector<RuntimeFamily>& families) {
  std::optional<Found> found = CurrentRuntime(search, families);
  if (!found) return std::nullopt;
  search.java_home = std::move(found->home);
  return std::move(found->library);
}

std::optional<std::string> ChooseJvmLibrary(RuntimeSearch& search, int search_mode) {
  const SearchPlan plan = SearchPlanForMode(search_mode);
  std::optional<Found> found = FirstGenerationRuntime(search, plan);
  if (!found) found = CurrentRuntime(search, plan.families);
  if (!found) found = EnvironmentRuntime(search);
  if (!found) {
    Trace(search, "search", "", "", "", "nothing found");
    return std::nullopt;
  }
  search.java_home = std::move(found->home);
  Trace(search, found->source, "", found->library, found->version, "chosen");
  return std::move(found->library);
}

}  // namespace stub
