// Reading and writing a launcher's configuration resources: the settings' string-table entries,
// the group icon MAINICON with its images, and the splash bitmap. Works on whole executable images
// in memory; the caller does the file handling.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "byte_order.h"
#include "resource_tree.h"

namespace stubconfig {

inline constexpr std::uint16_t kSplashBitmapId = 8000;
inline constexpr char16_t kMainIconName[] = u"MAINICON";

struct IconImage {
  std::uint8_t width = 0;
  std::uint8_t height = 0;
  std::uint8_t color_count = 0;
  std::uint16_t planes = 0;
  std::uint16_t bit_count = 0;
  Bytes data;
};

// The images of an .ico file. Fails on anything that is not an icon file with at least one image.
bool ParseIconFile(const Bytes& ico, std::vector<IconImage>* images, std::string* error);

// The packed DIB of a .bmp file (the file without its 14-byte file header).
bool ParseBitmapFile(const Bytes& bmp, Bytes* dib, std::string* error);

// Sets string `string_id` of the language-neutral string table to `ansi` (Windows-1252), creating
// its block when missing and keeping the block's other fifteen strings.
void SetConfigurationText(ResourceTree* tree, int string_id, std::string_view ansi);

// Replaces group icon MAINICON (every language) and the RT_ICON images it referenced by `images`,
// in the old group's first language (neutral when there was none).
void ReplaceMainIcon(ResourceTree* tree, const std::vector<IconImage>& images);

// Replaces bitmap `id` (every language) by `dib`, in the old bitmap's first language.
void ReplaceBitmap(ResourceTree* tree, std::uint16_t id, const Bytes& dib);

// Reads the resource tree of an executable image.
bool LoadResourceTree(const Bytes& exe, ResourceTree* tree, std::string* error);

// Every setting's stored text in ID order, from the language-neutral string table (or, failing
// that, the first language that has the block). Fails when the image has no launcher string table or
// a block of it is malformed.
bool ReadLauncherConfiguration(const Bytes& exe, std::vector<std::string>* stored, std::vector<std::string>* warnings,
                               std::string* error);

// The same, from a resource tree already read.
bool ConfigurationFromTree(const ResourceTree& tree, std::vector<std::string>* stored,
                           std::vector<std::string>* warnings, std::string* error);

struct StampRequest {
  std::map<int, std::string> texts;  // string ID -> stored text (Windows-1252)
  const std::vector<IconImage>* icon = nullptr;
  const Bytes* splash_dib = nullptr;
};

// What a stamped image must carry: its whole resource tree, and every setting's stored text as
// ReadLauncherConfiguration reads it.
struct StampExpectation {
  ResourceTree resources;
  std::vector<std::string> stored;
};

// The stub with the request applied, and what it must carry. Refuses stubs that are not PE
// executables, are signed, carry no language-neutral launcher string table or cannot be dumped; the
// result has been read back and checked against the expectation. On failure `out` is untouched.
bool StampLauncher(const Bytes& stub, const StampRequest& request, Bytes* out, StampExpectation* expected,
                   std::string* error);

// Reads `image` back as `dump` would and checks its checksum, its whole resource tree and every
// setting against the expectation; the error names the first difference.
bool CheckStampedImage(const Bytes& image, const StampExpectation& expected, std::string* error);

}  // namespace stubconfig
