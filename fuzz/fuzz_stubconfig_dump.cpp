// Arbitrary bytes through the path `stubconfig dump` takes: PE headers, resource tree, string blocks,
// version information, INI formatting (the input's second- and third-last bytes may change a field of
// the section table). Any input ends in a configuration or an error, never a crash, and in bounded
// work: the tree holds no more entries than the section has room for. The dump is UTF-8; one without
// warnings parses back to the same values and version information; version information shown without
// warnings is what writing it again makes; a tree that was read is written back and reads back the same,
// and an image that keeps the Windows loader's rules still keeps them after that rewrite.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/config_layout.h"
#include "core/text.h"
#include "launcher_ini.h"
#include "launcher_resources.h"
#include "pe_image.h"
#include "pe_mutation.h"
#include "version_info.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace stubconfig;
  Bytes exe(data, data + size);
  if (size >= 3) fuzzing::MutateSectionHeader(exe, data[size - 2], data[size - 3]);
  std::string ini;
  std::vector<std::string> warnings;
  std::string error;
  if (DumpLauncher(exe, &ini, &warnings, &error)) {
    if (!stub::IsValidUtf8(ini)) std::abort();
    if (warnings.empty()) {
      ResourceTree tree;
      std::vector<std::string> stored;
      std::vector<std::string> ignored;
      if (!LoadResourceTree(exe, &tree, &error) || !ConfigurationFromTree(tree, &stored, &ignored, &error))
        std::abort();
      LauncherIni parsed;
      std::vector<std::string> parse_warnings;
      if (!ParseLauncherIni(ini, "dump.ini", &parsed, &parse_warnings, &error) || !parse_warnings.empty() ||
          parsed.settings.size() != stub::kSettingCount) {
        std::abort();
      }
      for (std::size_t i = 0; i < parsed.settings.size(); ++i) {
        if (parsed.settings[i].value != IniValue(stub::kSettingLayouts[i], stored[i])) std::abort();
      }
      if (parsed.version_info != VersionInfoFromTree(tree, &ignored)) std::abort();
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
    const LanguageMap* versions = FindResource(tree, ResourceName::Id(kRtVersion), ResourceName::Id(kVersionInfoId));
    for (const auto& language : versions ? *versions : LanguageMap()) {
      VersionResource resource;
      std::vector<std::string> version_warnings;
      if (!DecodeVersionResource(language.second.bytes, &resource, &error)) continue;
      const std::optional<VersionStrings> section = VersionSectionOf(resource, &version_warnings);
      if (!section || !version_warnings.empty()) continue;
      bool writable = true;
      for (std::size_t key = 0; key < kVersionKeyCount; ++key) {
        writable = writable && (!(*section)[key] || CheckVersionValue(key, *(*section)[key]).empty());
      }
      VersionResource again;
      if (writable && (!DecodeVersionResource(EncodeVersionResource(*section), &again, &error) ||
                       VersionSectionOf(again, &version_warnings) != section || !version_warnings.empty())) {
        std::abort();
      }
    }
    Bytes rewritten = exe;
    fuzzing::CorrectChecksum(rewritten);
    const bool keeps_loader_rules = LoaderRuleViolation(rewritten).empty();
    if (WriteResourceSection(&rewritten, tree, &error)) {
      ResourceTree again;
      if (!LoadResourceTree(rewritten, &again, &error) || !(again == tree)) std::abort();
      if (keeps_loader_rules && !LoaderRuleViolation(rewritten).empty()) std::abort();
    }
  }
  return 0;
}
