// Arbitrary bytes through the path `stubconfig dump` takes: PE headers, resource tree, string blocks,
// INI formatting (the input's second- and third-last bytes may change a field of the section table). Any input ends in
// a configuration or an error, never a crash, and in bounded work: the tree holds no more entries than the section has
// room for. A dump without warnings parses back to the same values; a tree that was read is written back and reads back
// the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/config_layout.h"
#include "launcher_ini.h"
#include "launcher_resources.h"
#include "pe_image.h"
#include "pe_mutation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace stubconfig;
  Bytes exe(data, data + size);
  if (size >= 3) fuzzing::MutateSectionHeader(exe, data[size - 2], data[size - 3]);
  std::vector<std::string> stored;
  std::vector<std::string> warnings;
  std::string error;
  if (ReadLauncherConfiguration(exe, &stored, &warnings, &error)) {
    if (stored.size() != stub::kSettingCount) std::abort();
    std::vector<std::string> format_warnings;
    const std::string ini = FormatLauncherIni(stored, &format_warnings);
    std::vector<IniEntry> entries;
    if (format_warnings.empty()) {
      if (!ParseLauncherIni(ini, "dump.ini", &entries, &error) || entries.size() != stub::kSettingCount) std::abort();
      for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].value != IniValue(stub::kSettingLayouts[i], stored[i])) std::abort();
      }
    }
  } else if (error.empty()) {
    std::abort();
  }

  ResourceTree tree;
  if (LoadResourceTree(exe, &tree, &error)) {
    // Every entry was charged at least a directory entry's 8 bytes against a section that holds at
    // most the file's bytes twice (raw data and as many mapped zeros).
    std::size_t entries = tree.size();
    for (const auto& type : tree) {
      entries += type.second.size();
      for (const auto& name : type.second) entries += name.second.size();
    }
    if (entries * 8 > 2 * size) std::abort();
    Bytes rewritten = exe;
    if (WriteResourceSection(&rewritten, tree, &error)) {
      ResourceTree again;
      if (!LoadResourceTree(rewritten, &again, &error) || !(again == tree)) std::abort();
    }
  }
  return 0;
}
