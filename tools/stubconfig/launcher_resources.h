// Reading and writing a launcher's configuration resources: the settings' string-table entries,
// the group icon MAINICON with its images, the splash bitmap, the application manifest and the
// version information. Works on whole executable images in memory; the caller does the file handling.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "byte_order.h"
#include "launcher_ini.h"
#include "resource_tree.h"
#include "version_info.h"

namespace stubconfig {

inline constexpr std::uint16_t kSplashBitmapId = 8000;
// The application manifest of an executable, and its version information, are resource 1 of their type.
inline constexpr std::uint16_t kManifestId = 1;
inline constexpr std::uint16_t kVersionInfoId = 1;
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

// Sets string `string_id` of the language-neutral string table to the UTF-16 of `utf8`, creating
// its block when missing and keeping the block's other fifteen strings.
void SetConfigurationText(ResourceTree* tree, int string_id, std::string_view utf8);

// Replaces group icon MAINICON (every language) and the RT_ICON images it referenced by `images`,
// in the old group's first language (neutral when there was none).
void ReplaceMainIcon(ResourceTree* tree, const std::vector<IconImage>& images);

// Replaces resource `id` of `type` (every language) by `data`, in the old resource's first language
// (neutral when there was none): one resource where there were one or several.
void ReplaceResource(ResourceTree* tree, std::uint16_t type, std::uint16_t id, const Bytes& data);

// Reads the resource tree of an executable image.
bool LoadResourceTree(const Bytes& exe, ResourceTree* tree, std::string* error);

// Every setting's stored text (UTF-8) in ID order, from the language-neutral string table (or,
// failing that, the first language that has the block). Fails when the image has no launcher string
// table or a block of it is malformed.
bool ReadLauncherConfiguration(const Bytes& exe, std::vector<std::string>* stored, std::vector<std::string>* warnings,
                               std::string* error);

// The same, from a resource tree already read.
bool ConfigurationFromTree(const ResourceTree& tree, std::vector<std::string>* stored,
                           std::vector<std::string>* warnings, std::string* error);

// The [VersionInfo] section that version resource 1 (language neutral, or else the first) gives
// back: nothing when there is none or it is not one the tool wrote (the launcher's own), with a
// warning when it cannot be read. See version_info.h.
std::optional<VersionStrings> VersionInfoFromTree(const ResourceTree& tree, std::vector<std::string>* warnings);

// What `dump` prints for an executable image: its configuration and version information as INI text
// (UTF-8), with the warnings of FormatLauncherIni. Fails as ReadLauncherConfiguration does.
bool DumpLauncher(const Bytes& exe, std::string* ini, std::vector<std::string>* warnings, std::string* error);

struct StampRequest {
  std::map<int, std::string> texts;  // string ID -> stored text (UTF-8)
  const std::vector<IconImage>* icon = nullptr;
  const Bytes* splash_dib = nullptr;
  const Bytes* manifest = nullptr;             // replaces the manifest; checked by the caller
  std::optional<VersionStrings> version_info;  // replaces the version information; values checked
};

// Adds a configuration file's settings and version information to a request.
void AddConfiguration(const LauncherIni& ini, StampRequest* request);

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
