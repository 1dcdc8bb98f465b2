// Just enough of the PE/COFF executable format to find, replace and re-checksum the resource
// section of a PE32 or PE32+ image held in memory. Every read is bounds-checked, so a damaged or
// hostile file yields an error, never a crash.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "byte_order.h"
#include "resource_tree.h"

namespace stubconfig {

inline constexpr int kResourceDirectoryIndex = 2;
inline constexpr int kSecurityDirectoryIndex = 4;

struct PeSection {
  std::string name;
  std::uint32_t virtual_size = 0;
  std::uint32_t virtual_address = 0;
  std::uint32_t raw_size = 0;
  std::uint32_t raw_pointer = 0;
  std::uint32_t characteristics = 0;
};

struct PeImage {
  bool pe32_plus = false;
  std::size_t file_header_offset = 0;  // the COFF file header, right after "PE\0\0"
  std::size_t optional_header_offset = 0;
  std::size_t section_table_offset = 0;
  std::size_t data_directory_offset = 0;
  std::uint32_t data_directory_count = 0;
  std::uint32_t section_alignment = 0;
  std::uint32_t file_alignment = 0;
  std::uint32_t size_of_headers = 0;
  std::vector<PeSection> sections;
};

// Reads the headers of an executable image. Fails (with a reason) for anything that is not a PE
// executable: a DLL or object file, a bad signature, headers or section table outside the file,
// sections that overlap in memory.
bool ParsePeImage(const Bytes& file, PeImage* image, std::string* error);

// The RVA and size of data directory `index`; both 0 when the image has no such entry.
void GetDataDirectory(const Bytes& file, const PeImage& image, int index, std::uint32_t* rva, std::uint32_t* size);

// The image's bytes from `rva` to the end of the section holding it, as the loader maps them (zeros
// past the raw data). Fails when no section holds `rva` or its raw data lies outside the file.
bool ReadMappedSectionTail(const Bytes& file, const PeImage& image, std::uint32_t rva, Bytes* out, std::string* error);

// The standard PE checksum of `file`, with the four bytes at `checksum_offset` counted as zero.
std::uint32_t ComputePeChecksum(const Bytes& file, std::size_t checksum_offset);

inline std::size_t ChecksumOffset(const PeImage& image) { return image.optional_header_offset + 64; }

// The first rule of the Windows loader that the image breaks, "" when it keeps them all: section
// headers in ascending address order, each starting where the one before it ends once rounded up to
// SectionAlignment (the first where the headers end); SizeOfImage the rounded end of the last
// section; SizeOfHeaders, PointerToRawData and SizeOfRawData multiples of FileAlignment; raw data
// after the headers and inside the file; the data directories inside the image (the certificate
// table inside the file); a correct checksum, or 0 as linkers leave it (the loader checks it only for
// drivers and a few system DLLs, but a tool that writes one must write it right). Wine maps images
// that break them; Windows refuses them as "not a valid Win32 application".
std::string LoaderRuleViolation(const Bytes& file);

// Writes `tree` as the image's resource section: in place when the new section still fits its slot
// (always so when it is the image's last section) and owns its bytes alone, else as a new last
// section, the old one's own bytes zeroed and renamed ".rsrcold". Then updates the resource data
// directory, SizeOfImage, SizeOfInitializedData and the checksum. Fails when another section's raw
// data reaches past the end of the file, or a new section has no room in the headers or in the
// address space. On failure `file` is unchanged.
bool WriteResourceSection(Bytes* file, const ResourceTree& tree, std::string* error);

}  // namespace stubconfig
