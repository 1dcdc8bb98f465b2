// Runtime discovery decisions. The order of tries is part of the launcher's contract: a machine with
// several registered runtimes must always get the same one.
#include "runtime/runtime_search.h"

#include <climits>

namespace stub {
namespace {

// JvmSearchMode 0..7: configured path before or after the registry, runtime-environment keys (0, 1)
// or development-kit keys (2, 3) first, all four keys or only the first two of that order.
const SearchPlan kSearchPlans[] = {
    {false, {0, 1, 2, 3}}, {false, {2, 3, 0, 1}}, {false, {0, 1}}, {false, {2, 3}},
    {true, {0, 1, 2, 3}},  {true, {2, 3, 0, 1}},  {true, {0, 1}},  {true, {2, 3}},
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

std::optional<std::string> ExistingFile(RuntimeSearch& search, const std::string& path) {
  if (!Fits(path, kLibraryPathSize) || !search.file_exists(path)) return std::nullopt;
  return path;
}

}  // namespace

SearchPlan SearchPlanForMode(int mode) {
  if (mode < 0) return kSearchPlans[0];
  if (mode > 7) return kSearchPlans[4];
  return kSearchPlans[mode];
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

std::optional<std::string> ProbeRuntimeVersion(RuntimeSearch& search, const std::string& vendor_key,
                                               const std::string& version_name) {
  if (!IsVersionAcceptable(version_name, search.required)) return std::nullopt;
  const std::string key_path = vendor_key + "\\" + version_name;
  if (!Fits(key_path, kKeyPathSize)) return std::nullopt;

  search.java_home.clear();
  search.registry.ReadString(key_path, kJavaHomeValue, kJavaHomeSize, search.java_home);

  std::string runtime_lib;
  const int lib_read = search.registry.ReadString(key_path, kRuntimeLibValue, kLibraryPathSize, runtime_lib);
  if (lib_read == 0) {
    // A registered library that is missing refuses the version; its Java home is not tried instead.
    return ExistingFile(search, runtime_lib);
  }
  if (search.java_home.empty()) return std::nullopt;

  if (!search.jvm_path.empty()) {
    if (auto path = ExistingFile(search, search.java_home + "\\" + search.jvm_path)) return path;
  }
  for (const char* candidate : kLibraryCandidates) {
    if (auto path = ExistingFile(search, search.java_home + "\\" + candidate)) return path;
  }
  return std::nullopt;
}

std::optional<std::string> FindRegisteredRuntime(RuntimeSearch& search, const std::vector<int>& vendor_keys) {
  for (int index : vendor_keys) {
    const std::string vendor_key = kRuntimeVendorKeys[index];
    std::string current_version;
    if (search.registry.ReadString(vendor_key, kCurrentVersionValue, kVersionNameSize, current_version) == 0) {
      if (auto path = ProbeRuntimeVersion(search, vendor_key, current_version)) return path;
    }
    const std::optional<std::vector<std::string>> names = search.registry.SubkeyNames(vendor_key);
    if (!names) continue;
    for (const std::string& name : *names) {
      if (auto path = ProbeRuntimeVersion(search, vendor_key, name)) return path;
    }
  }
  return std::nullopt;
}

std::optional<std::string> ChooseJvmLibrary(RuntimeSearch& search, int search_mode) {
  const SearchPlan plan = SearchPlanForMode(search_mode);
  const bool configured_exists = !search.jvm_path.empty() && search.file_exists(search.jvm_path);
  if (!plan.registry_first && configured_exists) return search.jvm_path;
  if (auto path = FindRegisteredRuntime(search, plan.vendor_keys)) return path;
  if (plan.registry_first && configured_exists) return search.jvm_path;
  return std::nullopt;
}

}  // namespace stub
