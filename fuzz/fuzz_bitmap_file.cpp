// Bitmap files as `--splash` reads them. An accepted file starts with "BM" and a bitmap header that
// fits the file, and yields the file without its 14-byte file header; it replaces bitmap 8000 in a
// launcher's resources, every other resource kept, and survives writing and reading the section.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "launcher_resources.h"
#include "resource_tree.h"
#include "stub_images.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace stubconfig;
  const Bytes bmp(data, data + size);
  Bytes dib;
  std::string error;
  if (!ParseBitmapFile(bmp, &dib, &error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  if (size < 26 || bmp[0] != 'B' || bmp[1] != 'M' || GetU32(bmp, 14) < 12 || GetU32(bmp, 14) > size - 14) std::abort();
  if (dib != Bytes(bmp.begin() + 14, bmp.end())) std::abort();

  static const ResourceTree original = sample::StubResources();
  ResourceTree tree = original;
  ReplaceBitmap(&tree, kSplashBitmapId, dib);
  const LanguageMap* bitmap = FindResource(tree, ResourceName::Id(kRtBitmap), ResourceName::Id(kSplashBitmapId));
  if (bitmap == nullptr || bitmap->size() != 1 || bitmap->begin()->second.bytes != dib) std::abort();
  ResourceTree others = tree;
  others.erase(ResourceName::Id(kRtBitmap));
  ResourceTree original_others = original;
  original_others.erase(ResourceName::Id(kRtBitmap));
  if (!(others == original_others)) std::abort();
  ResourceTree parsed;
  if (!ParseResourceTree(SerializeResourceTree(tree, 0x5000), 0x5000, &parsed, &error) || !(parsed == tree)) {
    std::abort();
  }
  return 0;
}
