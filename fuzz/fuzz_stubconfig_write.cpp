// `stubconfig write` on arbitrary stubs, seeded with the built launchers (PE32+ and PE32): the last
// input byte picks an edit (a few small values, every setting at full length so that the section must
// move, every setting set, a new icon and splash bitmap, version information of every key and a
// manifest, version information without strings), the two before it may change a field of the
// section table; unless bit 6 of the second-last byte is set the checksum is then corrected, so that
// the edit byte does not stop every input at the checksum rule. Properties: a stub that `dump` refuses
// or that breaks the Windows loader's rules is refused; what is written keeps those rules, dumps
// exactly the stub's configuration with the edit applied (the version information included), keeps
// every other resource (the manifest and the launcher's own version information unless the edit
// replaces them) and the raw bytes of every section besides the old resource section, carries a
// correct checksum, and stamping it again with the same edit gives the same image.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "core/config_layout.h"
#include "launcher_ini.h"
#include "launcher_resources.h"
#include "pe_image.h"
#include "pe_mutation.h"
#include "resource_tree.h"
#include "string_block.h"
#include "stub_images.h"
#include "version_info.h"

namespace {

using namespace stubconfig;

const Bytes& Manifest() {
  static const Bytes manifest(sample::kSampleManifest, sample::kSampleManifest + sizeof sample::kSampleManifest - 1);
  return manifest;
}

StampRequest MakeRequest(std::uint8_t choice, const std::vector<IconImage>& icon, const Bytes& dib) {
  StampRequest request;
  switch (choice % 6) {
    case 0:
      request.texts[1040] = "jre\\bin\\server\\jvm.dll";
      request.texts[1168] = StoredText(*stub::FindSettingById(1168), "org.\u00E9xample.App");
      request.texts[1184] = "";
      break;
    case 1:  // every setting at full length, 1023 UTF-16 units: ASCII, two-byte and four-byte UTF-8
      for (const stub::SettingLayout& layout : stub::kSettingLayouts) {
        std::string& text = request.texts[layout.id];
        for (std::size_t units = 0; units + 2 <= stub::kMaxSettingLength; units += 2) {
          text += layout.id % 3 == 0 ? "ab" : layout.id % 3 == 1 ? "\u00E9\u65E5" : "\U0001F600";
        }
        text += static_cast<char>('a' + layout.id % 26);
      }
      break;
    case 2: {
      const std::vector<std::string> stored = sample::ValidStoredTexts();
      for (std::size_t i = 0; i < stored.size(); ++i) request.texts[stub::kSettingLayouts[i].id] = stored[i];
      break;
    }
    case 3:
      request.icon = &icon;
      request.splash_dib = &dib;
      request.texts[1376] = "Caf\u00E9 \u20AC\u0081 \U0001F600";
      break;
    case 4:
      request.manifest = &Manifest();
      request.version_info.emplace();
      for (std::size_t key = 0; key < kVersionKeyCount; ++key) {
        (*request.version_info)[key] = key <= kProductVersionKey ? "1.2.3." + std::to_string(key) : "\u00E9 \U0001F600";
      }
      break;
    default:
      request.version_info.emplace();
      break;
  }
  return request;
}

bool IsEditedResource(const StampRequest& request, const ResourceName& type, const ResourceName& name) {
  if (type == ResourceName::Id(kRtString)) return !name.is_string && stub::FindSettingById((name.id - 1) * 16);
  if (type == ResourceName::Id(kRtBitmap)) return request.splash_dib && name == ResourceName::Id(kSplashBitmapId);
  if (type == ResourceName::Id(kRtManifest)) return request.manifest && name == ResourceName::Id(kManifestId);
  if (type == ResourceName::Id(kRtVersion)) return request.version_info && name == ResourceName::Id(kVersionInfoId);
  return request.icon && (type == ResourceName::Id(kRtIcon) || type == ResourceName::Id(kRtGroupIcon));
}

// The raw bytes a section holds in the file, as far as the file has them.
Bytes RawBytes(const Bytes& file, const PeSection& section) {
  if (section.raw_pointer >= file.size()) return {};
  const std::size_t end = std::min<std::size_t>(file.size(), std::size_t{section.raw_pointer} + section.raw_size);
  return Bytes(file.begin() + section.raw_pointer, file.begin() + end);
}

bool Overlap(const PeSection& a, const PeSection& b) {
  const std::uint64_t a_end = std::uint64_t{a.raw_pointer} + a.raw_size;
  const std::uint64_t b_end = std::uint64_t{b.raw_pointer} + b.raw_size;
  return a.raw_size != 0 && b.raw_size != 0 && a.raw_pointer < b_end && b.raw_pointer < a_end;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  Bytes stub(data, data + size);
  fuzzing::MutateSectionHeader(stub, data[size - 2], data[size - 3]);
  if (!(data[size - 2] & 0x40)) fuzzing::CorrectChecksum(stub);
  std::vector<IconImage> icon(2);
  icon[0].width = 16;
  icon[0].data = Bytes(40, 1);
  icon[0].data[0] = 40;
  icon[1].width = 32;
  icon[1].data = {0x89, 'P', 'N', 'G', 13, 10, 26, 10};
  const Bytes dib = {40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24, 0};
  const StampRequest request = MakeRequest(data[size - 1], icon, dib);

  std::vector<std::string> before;
  std::vector<std::string> warnings;
  std::string dump_error;
  const bool dumps = ReadLauncherConfiguration(stub, &before, &warnings, &dump_error);
  Bytes out;
  StampExpectation expected;
  std::string error;
  if (!StampLauncher(stub, request, &out, &expected, &error)) {
    // The read-back check is a safety net: when it fires, the writer made an image it did not intend.
    if (error.empty() || !out.empty() || error.rfind("written image", 0) == 0) std::abort();
    return 0;
  }
  if (!dumps) std::abort();  // write accepted a stub that dump refuses
  if (!LoaderRuleViolation(stub).empty() || !LoaderRuleViolation(out).empty()) std::abort();

  std::vector<std::string> after;
  if (!ReadLauncherConfiguration(out, &after, &warnings, &error)) std::abort();
  for (std::size_t i = 0; i < stub::kSettingCount; ++i) {
    const auto edit = request.texts.find(stub::kSettingLayouts[i].id);
    if (after[i] != (edit != request.texts.end() ? edit->second : before[i])) std::abort();
  }

  ResourceTree old_tree;
  ResourceTree new_tree;
  if (!LoadResourceTree(stub, &old_tree, &error) || !LoadResourceTree(out, &new_tree, &error)) std::abort();
  if (request.version_info && VersionInfoFromTree(new_tree, &warnings) != request.version_info) std::abort();
  if (request.manifest) {
    const LanguageMap* manifests = FindResource(new_tree, ResourceName::Id(kRtManifest), ResourceName::Id(kManifestId));
    if (manifests == nullptr || manifests->size() != 1 || manifests->begin()->second.bytes != *request.manifest) {
      std::abort();
    }
  }
  for (const auto& [type, names] : old_tree) {
    for (const auto& [name, languages] : names) {
      if (IsEditedResource(request, type, name)) continue;
      const LanguageMap* kept = FindResource(new_tree, type, name);
      if (kept == nullptr || !(*kept == languages)) std::abort();
    }
  }

  PeImage old_image;
  PeImage new_image;
  if (!ParsePeImage(stub, &old_image, &error) || !ParsePeImage(out, &new_image, &error)) std::abort();
  if (GetU32(out, ChecksumOffset(new_image)) != ComputePeChecksum(out, ChecksumOffset(new_image))) std::abort();
  std::uint32_t rsrc_rva = 0;
  std::uint32_t rsrc_size = 0;
  GetDataDirectory(stub, old_image, kResourceDirectoryIndex, &rsrc_rva, &rsrc_size);
  const auto is_old_rsrc = [&](const PeSection& s) { return s.virtual_address == rsrc_rva; };
  // Bytes that a crafted section shares with the headers change with them; only those after the
  // section table (and the header a new section adds) are compared.
  const std::size_t headers_end = new_image.section_table_offset + 40 * new_image.sections.size();
  for (const PeSection& s : old_image.sections) {
    const bool shares_bytes = std::any_of(old_image.sections.begin(), old_image.sections.end(),
                                          [&](const PeSection& r) { return is_old_rsrc(r) && Overlap(r, s); });
    if (is_old_rsrc(s) || shares_bytes) continue;
    const Bytes kept = RawBytes(out, s);
    const Bytes original = RawBytes(stub, s);
    if (kept.size() < original.size()) std::abort();
    for (std::size_t i = 0; i < original.size(); ++i) {
      if (s.raw_pointer + i >= headers_end && kept[i] != original[i]) std::abort();
    }
  }

  Bytes again;
  StampExpectation expected_again;
  if (!StampLauncher(out, request, &again, &expected_again, &error) || again != out) std::abort();
  return 0;
}
