// Runtime discovery decisions. The order of tries is part of the launcher's contract: a machine with
// several registered runtimes must always get the same one, and a machine that the first-generation
// keys served keeps getting the runtime they name, whatever newer installers have added since.
#include "runtime/runtime_search.h"

#include <climits>
#include <iterator>

#include "core/message_format.h"
#include "core/text.h"

namespace stub {
namespace {

constexpr char kLegacySource[] = "legacy";
constexpr char kRegistrySource[] = "registry";
constexpr char kConfiguredSource[] = "JvmPath";
constexpr char kEnvironmentSource[] = "JAVA_HOME";
constexpr char kReleaseFile[] = "release";
constexpr RegistryRoot kHklm = RegistryRoot::kLocalMachine;

// One step of the search as its trace lines name it: the source, the registry key it reads (with its
// root; only made when tracing) and the version it judges.
struct Step {
  explicit Step(const char* source_name) : source(source_name) {}
  Step(const char* source_name, std::string key_label) : source(source_name), key(std::move(key_label)) {}
  Step(const char* source_name, std::string key_label, const std::string& version_text)
      : source(source_name), key(std::move(key_label)), version(version_text) {}
  const char* source;
  std::string key;
  std::string version;
};

// A runtime a source offers: its library, its home, the source and the version text that ranked it.
// Each source fills one in place and says whether it offers it; one that does not may leave its
// fields changed, for the next source to fill.
struct Found {
  std::string library;
  std::string home;
  const char* source = "";
  std::string version;
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

// Installers write homes with and without a closing separator ("C:\...\jdk-17\"); joined paths and the
// Java home handed on must not depend on which.
std::string WithoutTrailingSeparators(const std::string& path) {
  std::size_t length = path.size();
  while (length > 1 && IsSeparator(path[length - 1]) && path[length - 2] != ':') --length;
  return path.substr(0, length);
}

std::string RootLabel(RegistryRoot root, const std::string& key) {
  std::string label = root == kHklm ? "HKLM\\" : "HKCU\\";
  return label.append(key);
}

void Trace(const RuntimeSearch& search, const Step& step, const char* path, const char* outcome) {
  if (search.trace != nullptr) search.trace->Line(TraceLine(step.source, step.key, path, step.version, outcome));
}

// True when the library exists and fits the launcher; every refusal is traced with its reason.
bool IsUsableLibrary(const RuntimeSearch& search, const Step& step, const std::string& path) {
  if (!Fits(path, kLibraryPathSize)) {
    Trace(search, step, path.c_str(), "path too long");
    return false;
  }
  const std::optional<std::uint16_t> machine = search.files.LibraryMachine(path);
  if (!machine) {
    Trace(search, step, path.c_str(), "missing");
    return false;
  }
  if (*machine != 0 && *machine != search.machine) {
    if (search.trace != nullptr) {
      Trace(search, step, path.c_str(),
            FormatMessageText("other machine: %s library", {MachineName(*machine)}).c_str());
    }
    return false;
  }
  Trace(search, step, path.c_str(), "usable");
  return true;
}

// The first usable library below a home, from candidate `first` on, into library; false when there is
// none.
bool LibraryBelowHome(const RuntimeSearch& search, const Step& step, const std::string& home, std::string& library,
                      std::size_t first = 0) {
  for (std::size_t i = first; i < std::size(kLibraryCandidates); ++i) {
    library = JoinPath(home, kLibraryCandidates[i]);
    if (IsUsableLibrary(search, step, library)) return true;
  }
  return false;
}

// The version of a home's runtime by its release file; "" when it states none.
std::string VersionFromRelease(const RuntimeSearch& search, const std::string& home) {
  return ReleaseVersion(search.files.ReadSmallFile(JoinPath(home, kReleaseFile)));
}

bool IsRecentEnough(const RuntimeSearch& search, const Step& step, const std::string& home) {
  const char* refusal = !ParseRuntimeVersion(step.version)                    ? "no version"
                        : !IsVersionAcceptable(step.version, search.required) ? "too old"
                                                                              : nullptr;
  if (refusal != nullptr) Trace(search, step, home.c_str(), refusal);
  return refusal == nullptr;
}

// The configured JvmPath: a file is taken as it is, as it always was; a directory is a Java home.
// Neither is judged by version or machine here: what the application names is what it gets, and a
// library that cannot serve is refused with its reason when it is loaded.
bool ConfiguredRuntime(const RuntimeSearch& search, const SearchPlan&, Found& found) {
  const Step step(kConfiguredSource);
  const std::string& path = search.jvm_path;
  if (path.empty()) {
    Trace(search, step, "", "not set");
    return false;
  }
  found.source = kConfiguredSource;
  found.version.clear();
  if (search.files.LibraryMachine(path)) {
    found.library = path;
    found.home = HomeOfLibrary(path);
    return true;
  }
  if (!search.files.IsDirectory(path)) {
    Trace(search, step, path.c_str(), "missing");
    return false;
  }
  found.home = WithoutTrailingSeparators(path);
  for (const char* candidate : kLibraryCandidates) {
    found.library = JoinPath(found.home, candidate);
    if (search.files.LibraryMachine(found.library)) return true;
    Trace(search, step, found.library.c_str(), "missing");
  }
  return false;
}

// One version subkey of a first-generation key: true, with its library, when the version is
// acceptable; the home receives its JavaHome value as written ("" when it has none).
bool ProbeFirstGeneration(const RuntimeSearch& search, const std::string& vendor_key, const std::string& version_name,
                          Found& found) {
  const std::string key_path = JoinPath(vendor_key, version_name.c_str());
  const Step step(kLegacySource, search.trace != nullptr ? RootLabel(kHklm, key_path) : std::string(), version_name);
  if (!IsVersionAcceptable(version_name, search.required)) {
    Trace(search, step, "", "too old");
    return false;
  }
  if (!Fits(key_path, kKeyPathSize)) {
    Trace(search, step, "", "key path too long");
    return false;
  }
  search.registry.ReadString(kHklm, key_path, kJavaHomeValue, kJavaHomeSize, found.home);
  std::string& library = found.library;
  if (search.registry.ReadString(kHklm, key_path, kRuntimeLibValue, kLibraryPathSize, library)) {
    // A registered library that cannot serve refuses the version; its Java home is not tried instead.
    return IsUsableLibrary(search, step, library);
  }
  if (found.home.empty()) {
    Trace(search, step, "", "no RuntimeLib or JavaHome");
    return false;
  }
  if (!search.jvm_path.empty()) {
    library = JoinPath(found.home, search.jvm_path.c_str());
    if (IsUsableLibrary(search, step, library)) return true;
  }
  return LibraryBelowHome(search, step, found.home, library, kFirstGenerationCandidate);
}

// The first-generation keys of the plan's families, each with the version its "CurrentVersion" names
// first, then every version subkey in registry order; the first acceptable library wins.
bool FirstGenerationLibrary(const RuntimeSearch& search, const SearchPlan& plan, Found& found) {
  for (std::size_t f = 0; f < plan.family_count; ++f) {
    for (const char* key : kRuntimeVendorKeys[static_cast<int>(plan.families[f])]) {
      const std::string vendor_key = key;
      std::string version;
      if (search.registry.ReadString(kHklm, vendor_key, kCurrentVersionValue, kVersionNameSize, version) &&
          ProbeFirstGeneration(search, vendor_key, version, found)) {
        return true;
      }
      const std::optional<std::vector<std::string>> names = search.registry.SubkeyNames(kHklm, vendor_key);
      if (!names) {
        if (search.trace != nullptr) Trace(search, Step(kLegacySource, RootLabel(kHklm, vendor_key)), "", "absent");
        continue;
      }
      for (const std::string& name : *names) {
        if (ProbeFirstGeneration(search, vendor_key, name, found)) return true;
      }
    }
  }
  return false;
}

bool LegacyRuntime(const RuntimeSearch& search, const SearchPlan& plan, Found& found) {
  if (!FirstGenerationLibrary(search, plan, found)) return false;
  if (found.home.empty()) found.home = HomeOfLibrary(found.library);
  found.source = kLegacySource;
  found.version.clear();
  return true;
}

// One version subkey of a current layout: true, with the runtime it registers, when that one can serve.
bool ProbeCurrentVersion(const RuntimeSearch& search, RegistryRoot root, const VendorLayout& layout,
                         const std::string& name, Found& found) {
  const std::string key_path = JoinPath(layout.key, name.c_str()) + layout.below_version;
  Step step(kRegistrySource, search.trace != nullptr ? RootLabel(root, key_path) : std::string(), name);
  if (!Fits(key_path, kKeyPathSize)) {
    Trace(search, step, "", "key path too long");
    return false;
  }
  std::string& home = found.home;
  if (!search.registry.ReadString(root, key_path, layout.home_value, kJavaHomeSize, home) || home.empty()) {
    if (search.trace != nullptr) Trace(search, step, "", FormatMessageText("no %s", {layout.home_value}).c_str());
    return false;
  }
  home = WithoutTrailingSeparators(home);
  if (!ParseRuntimeVersion(name)) step.version = VersionFromRelease(search, home);
  if (!IsRecentEnough(search, step, home)) return false;
  std::string& library = found.library;
  const bool registered = layout.javasoft &&
                          search.registry.ReadString(root, key_path, kRuntimeLibValue, kLibraryPathSize, library) &&
                          IsUsableLibrary(search, step, library);
  if (!registered && !LibraryBelowHome(search, step, home, library)) return false;
  found.source = kRegistrySource;
  found.version = std::move(step.version);
  return true;
}

// Keeps the higher of two offers; the earlier one wins a tie.
void KeepBest(Found& best, Found& offer) {
  if (best.library.empty() || *ParseRuntimeVersion(best.version) < *ParseRuntimeVersion(offer.version)) {
    best = std::move(offer);
  }
}

void SearchLayout(const RuntimeSearch& search, RegistryRoot root, const VendorLayout& layout, Found& best) {
  const std::string key = layout.key;
  const std::optional<std::vector<std::string>> names = search.registry.SubkeyNames(root, key);
  if (!names) {
    if (search.trace != nullptr) Trace(search, Step(kRegistrySource, RootLabel(root, key)), "", "absent");
    return;
  }
  // The version "CurrentVersion" names is tried first, so that it wins among equal versions.
  Found offer;
  std::string current;
  if (layout.javasoft && search.registry.ReadString(root, key, kCurrentVersionValue, kVersionNameSize, current) &&
      ProbeCurrentVersion(search, root, layout, current, offer)) {
    KeepBest(best, offer);
  }
  for (const std::string& name : *names) {
    if (name != current && ProbeCurrentVersion(search, root, layout, name, offer)) KeepBest(best, offer);
  }
}

// The current vendor layouts of the plan's families, HKLM then HKCU; the highest acceptable version
// whose library exists and fits the launcher wins, the first of equal ones.
bool CurrentRuntime(const RuntimeSearch& search, const SearchPlan& plan, Found& found) {
  found.library.clear();
  for (std::size_t f = 0; f < plan.family_count; ++f) {
    for (RegistryRoot root : {RegistryRoot::kLocalMachine, RegistryRoot::kCurrentUser}) {
      for (const VendorLayout& layout : kVendorLayouts) {
        if (layout.family == plan.families[f]) SearchLayout(search, root, layout, found);
      }
    }
  }
  return !found.library.empty();
}

// JAVA_HOME of the environment, judged by the version its release file states.
bool EnvironmentRuntime(const RuntimeSearch& search, const SearchPlan&, Found& found) {
  Step step(kEnvironmentSource);
  if (search.java_home_env.empty()) {
    Trace(search, step, "", "not set");
    return false;
  }
  found.home = WithoutTrailingSeparators(search.java_home_env);
  step.version = VersionFromRelease(search, found.home);
  if (!IsRecentEnough(search, step, found.home) || !LibraryBelowHome(search, step, found.home, found.library)) {
    return false;
  }
  found.source = kEnvironmentSource;
  found.version = std::move(step.version);
  return true;
}

}  // namespace

SearchPlan SearchPlanForMode(int mode) {
  if (mode < 0) mode = 0;
  if (mode > 7) mode = 4;
  const bool kits_first = (mode & 1) != 0;
  const RuntimeFamily first = kits_first ? RuntimeFamily::kDevelopmentKit : RuntimeFamily::kRuntimeEnvironment;
  const RuntimeFamily second = kits_first ? RuntimeFamily::kRuntimeEnvironment : RuntimeFamily::kDevelopmentKit;
  return SearchPlan{(mode & 4) != 0, (mode & 2) == 0 ? 2u : 1u, {first, second}};
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

bool IsVersionAcceptable(const std::string& name, JavaVersion required) {
  const std::optional<JavaVersion> version = ParseVersionName(name);
  if (!version) return false;
  if (version->major != required.major) return version->major > required.major;
  return version->minor >= required.minor;
}

std::optional<RuntimeVersion> ParseRuntimeVersion(const std::string& text) {
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

std::string HomeOfLibrary(const std::string& library) {
  const std::string_view variant = Parent(library);
  const std::string_view bin = Parent(variant);
  if (variant.empty() || !EqualsIgnoringAsciiCase(LastName(bin), "bin")) return std::string();
  const std::string_view home = Parent(bin);
  // A bin folder at the top of a relative path lies in "."; one at the root of the current drive
  // ("\bin") or of a drive ("C:\bin") lies in that root, written with its separator.
  if (home.empty()) return std::string(bin.size() == LastName(bin).size() ? std::string_view(".") : bin.substr(0, 1));
  std::string result(home);
  if (result.back() == ':') result += '\\';
  return result;
}

std::string RuntimeBinFolder(std::string_view library) {
  const std::string_view folder = Parent(library);
  const std::string_view above = Parent(folder);
  if (!above.empty() && EqualsIgnoringAsciiCase(LastName(above), "bin")) return std::string(above);
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
      return "x86";
    case kMachineX64:
      return "x64";
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
  const std::string name = MachineName(machine);
  // "an x86", "an x64", "an ARM64", but "a machine type 0x01C4": the article follows the sound.
  const char* article = name[0] == 'x' || name[0] == 'A' ? "an" : "a";
  return FormatMessageText("%s is %s %s library; this launcher is %s.",
                           {path, article, name, MachineName(launcher_machine)});
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

std::optional<ResolvedRuntime> ChooseJvmLibrary(const RuntimeSearch& search, int search_mode) {
  using Source = bool (*)(const RuntimeSearch&, const SearchPlan&, Found&);
  const SearchPlan plan = SearchPlanForMode(search_mode);
  const Source sources[] = {plan.registry_first ? LegacyRuntime : ConfiguredRuntime,
                            plan.registry_first ? ConfiguredRuntime : LegacyRuntime, CurrentRuntime,
                            EnvironmentRuntime};
  Found found;
  for (Source source : sources) {
    if (!source(search, plan, found)) continue;
    Step chosen(found.source);
    chosen.version = std::move(found.version);
    Trace(search, chosen, found.library.c_str(), "chosen");
    return ResolvedRuntime{std::move(found.library), std::move(found.home)};
  }
  Trace(search, Step("search"), "", "nothing found");
  return std::nullopt;
}

}  // namespace stub
