// Icon files as `--icon` reads them. An accepted file yields one image per directory entry, each the
// bytes its entry names; replacing MAINICON with them in a launcher's resources gives a group whose
// entries describe exactly those images, drops the old group's images, keeps every other icon, and
// survives writing and reading the resource section.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "launcher_resources.h"
#include "resource_tree.h"
#include "stub_images.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace stubconfig;
  const Bytes ico(data, data + size);
  std::vector<IconImage> images;
  std::string error;
  if (!ParseIconFile(ico, &images, &error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  if (images.empty() || images.size() != GetU16(ico, 4)) std::abort();
  for (std::size_t i = 0; i < images.size(); ++i) {
    const std::size_t entry = 6 + 16 * i;
    const Bytes slice(ico.begin() + GetU32(ico, entry + 12),
                      ico.begin() + GetU32(ico, entry + 12) + GetU32(ico, entry + 8));
    if (images[i].data != slice || images[i].width != ico[entry] || images[i].bit_count != GetU16(ico, entry + 6)) {
      std::abort();
    }
  }

  static const ResourceTree kStub = sample::StubResources();
  ResourceTree tree = kStub;
  ReplaceMainIcon(&tree, images);
  const LanguageMap* group = FindResource(tree, ResourceName::Id(kRtGroupIcon), ResourceName::Name(u"MAINICON"));
  if (group == nullptr || group->size() != 1) std::abort();
  const Bytes& directory = group->begin()->second.bytes;
  if (directory.size() != 6 + 14 * images.size() || GetU16(directory, 4) != images.size()) std::abort();
  const NameMap& icons = tree.at(ResourceName::Id(kRtIcon));
  if (icons.size() != images.size() + 1 || !icons.count(ResourceName::Id(7))) std::abort();  // group 7 kept
  for (std::size_t i = 0; i < images.size(); ++i) {
    const std::size_t entry = 6 + 14 * i;
    const LanguageMap* image =
        FindResource(tree, ResourceName::Id(kRtIcon), ResourceName::Id(GetU16(directory, entry + 12)));
    if (image == nullptr || image->begin()->second.bytes != images[i].data ||
        GetU32(directory, entry + 8) != images[i].data.size()) {
      std::abort();
    }
  }
  ResourceTree parsed;
  if (!ParseResourceTree(SerializeResourceTree(tree, 0x5000), 0x5000, &parsed, &error) || !(parsed == tree)) {
    std::abort();
  }
  return 0;
}
