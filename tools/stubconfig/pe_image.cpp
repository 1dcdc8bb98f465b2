// PE header parsing and resource-section replacement. Offsets into the optional header are those of
// the PE32 and PE32+ layouts, which agree up to the data directories except for the image base size.
#include "pe_image.h"

#include <algorithm>
#include <cstring>

namespace stubconfig {
namespace {

constexpr std::size_t kFileHeaderSize = 20;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kMaxSections = 96;
constexpr std::uint16_t kExecutableImage = 0x0002;
constexpr std::uint16_t kDllImage = 0x2000;
constexpr std::uint32_t kInitializedData = 0x00000040;
constexpr std::uint32_t kMemoryRead = 0x40000000;

std::string Hex(std::uint64_t value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  do {
    text.insert(text.begin(), kDigits[value % 16]);
    value /= 16;
  } while (value != 0);
  return "0x" + text;
}

bool IsPowerOfTwo(std::uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

std::uint32_t MappedSize(const PeSection& section) {
  return section.virtual_size != 0 ? section.virtual_size : section.raw_size;
}

std::size_t SectionHeaderOffset(const PeImage& image, std::size_t index) {
  return image.section_table_offset + index * kSectionHeaderSize;
}

void WriteSectionHeader(Bytes& file, std::size_t at, const PeSection& section) {
  std::fill(file.begin() + at, file.begin() + at + 8, 0);
  std::copy_n(section.name.begin(), std::min<std::size_t>(section.name.size(), 8), file.begin() + at);
  PutU32(file, at + 8, section.virtual_size);
  PutU32(file, at + 12, section.virtual_address);
  PutU32(file, at + 16, section.raw_size);
  PutU32(file, at + 20, section.raw_pointer);
  PutU32(file, at + 36, section.characteristics);
}

std::uint64_t ImageEnd(const std::vector<PeSection>& sections, std::uint32_t alignment) {
  std::uint64_t end = 0;
  for (const PeSection& s : sections)
    end = std::max<std::uint64_t>(end, std::uint64_t{s.virtual_address} + MappedSize(s));
  return AlignUp(static_cast<std::size_t>(end), alignment);
}

// How many bytes of the section's raw data the loader maps: no more than its mapped size, and none
// past the end of the file or inside the raw data of the section stored after it.
std::size_t RawBytesOfSection(const Bytes& file, const PeImage& image, const PeSection& section) {
  if (section.raw_pointer >= file.size()) return 0;
  std::size_t end = std::min<std::size_t>(
      file.size(), std::uint64_t{section.raw_pointer} + std::min(section.raw_size, MappedSize(section)));
  for (const PeSection& s : image.sections) {
    if (s.raw_size != 0 && s.raw_pointer > section.raw_pointer) end = std::min<std::size_t>(end, s.raw_pointer);
  }
  return end - section.raw_pointer;
}

// True when bytes [begin, end) of the file hold none of the headers and no raw data of a section
// other than `section`: only then may they be overwritten for it. A crafted section table can let
// sections share bytes with each other or with the section table itself.
bool OwnsRawRange(const PeImage& image, const PeSection& section, std::uint64_t begin, std::uint64_t end) {
  if (begin < SectionHeaderOffset(image, image.sections.size())) return false;
  for (const PeSection& s : image.sections) {
    if (&s == &section || s.raw_size == 0) continue;
    if (s.raw_pointer < end && begin < std::uint64_t{s.raw_pointer} + s.raw_size) return false;
  }
  return true;
}

// True when a section of `new_size` bytes can take the place of `old` without touching its
// neighbours in memory or in the file.
bool FitsInPlace(const Bytes& file, const PeImage& image, const PeSection& old, std::size_t new_size) {
  const std::uint64_t new_end = std::uint64_t{old.virtual_address} + AlignUp(new_size, image.section_alignment);
  for (const PeSection& s : image.sections) {
    if (s.virtual_address > old.virtual_address && s.virtual_address < new_end) return false;
  }
  const std::uint64_t raw_end = std::uint64_t{old.raw_pointer} + old.raw_size;
  const bool raw_at_end_of_file = raw_end == file.size();
  return old.raw_pointer != 0 && InBounds(file.size(), old.raw_pointer, old.raw_size) &&
         OwnsRawRange(image, old, old.raw_pointer, raw_end) &&
         (raw_at_end_of_file || AlignUp(new_size, image.file_alignment) <= old.raw_size);
}

bool HasRoomForSectionHeader(const Bytes& file, const PeImage& image) {
  const std::size_t at = SectionHeaderOffset(image, image.sections.size());
  std::size_t limit = image.size_of_headers;
  for (const PeSection& s : image.sections) {
    if (s.raw_size != 0) limit = std::min<std::size_t>(limit, s.raw_pointer);
  }
  if (image.sections.size() >= kMaxSections || at + kSectionHeaderSize > limit ||
      !InBounds(file.size(), at, kSectionHeaderSize)) {
    return false;
  }
  return std::all_of(file.begin() + at, file.begin() + at + kSectionHeaderSize, [](std::uint8_t b) { return b == 0; });
}

// Sections that overlap in memory make no image the loader would map, and would let the resource
// directory's address fall into another section than the one that is rewritten.
bool SectionsApartInMemory(const PeImage& image, std::string* error) {
  for (std::size_t i = 0; i < image.sections.size(); ++i) {
    const PeSection& a = image.sections[i];
    for (std::size_t j = i + 1; j < image.sections.size(); ++j) {
      const PeSection& b = image.sections[j];
      if (MappedSize(a) != 0 && MappedSize(b) != 0 &&
          a.virtual_address < std::uint64_t{b.virtual_address} + MappedSize(b) &&
          b.virtual_address < std::uint64_t{a.virtual_address} + MappedSize(a)) {
        return Fail(error, "sections " + a.name + " and " + b.name + " overlap in memory");
      }
    }
  }
  return true;
}

// One rewrite of the resource section: the image's headers as parsed, the bytes being changed and
// the change of SizeOfInitializedData.
struct Rewrite {
  PeImage image;
  Bytes file;
  std::int64_t initialized_delta = 0;
};

// Writes the section over the old one; returns its bytes. A section that ends before the next one
// begins leaves a hole in the image, which Windows refuses to map: one that another follows in memory
// keeps at least its old extent, which reached its successor. Only the last one shrinks.
Bytes RewriteInPlace(Rewrite& rewrite, std::size_t index, const ResourceTree& tree) {
  PeSection& section = rewrite.image.sections[index];
  Bytes data = SerializeResourceTree(tree, section.virtual_address);
  const bool last_in_memory =
      std::none_of(rewrite.image.sections.begin(), rewrite.image.sections.end(),
                   [&](const PeSection& s) { return s.virtual_address > section.virtual_address; });
  // Nor does the last one shrink below what another data directory of the image reaches into.
  std::uint64_t reach = 0;
  const std::uint32_t size_of_image = GetU32(rewrite.file, rewrite.image.optional_header_offset + 56);
  for (std::uint32_t i = 0; i < rewrite.image.data_directory_count; ++i) {
    std::uint32_t rva = 0;
    std::uint32_t length = 0;
    GetDataDirectory(rewrite.file, rewrite.image, static_cast<int>(i), &rva, &length);
    const std::uint64_t end = std::uint64_t{rva} + length;
    if (i != kResourceDirectoryIndex && i != kSecurityDirectoryIndex && end <= size_of_image) {
      reach = std::max(reach, end);
    }
  }
  const auto reached =
      static_cast<std::uint32_t>(reach > section.virtual_address ? reach - section.virtual_address : 0);
  const auto size = static_cast<std::uint32_t>(data.size());
  const std::uint32_t virtual_size = last_in_memory ? std::max(size, reached) : std::max(size, MappedSize(section));
  // A section kept larger than its data keeps its raw size too (at the end of the file, where it could
  // shrink), so that it never maps more zeros than it did.
  const bool at_end = std::uint64_t{section.raw_pointer} + section.raw_size == rewrite.file.size();
  const auto aligned = static_cast<std::uint32_t>(AlignUp(data.size(), rewrite.image.file_alignment));
  const std::uint32_t raw =
      !at_end ? section.raw_size : virtual_size == size ? aligned : std::max(aligned, section.raw_size);
  if (at_end) rewrite.file.resize(section.raw_pointer + std::size_t{raw});
  std::fill_n(rewrite.file.begin() + section.raw_pointer, raw, 0);
  std::copy(data.begin(), data.end(), rewrite.file.begin() + section.raw_pointer);
  rewrite.initialized_delta = std::int64_t{raw} - section.raw_size;
  section.virtual_size = virtual_size;
  section.raw_size = raw;
  WriteSectionHeader(rewrite.file, SectionHeaderOffset(rewrite.image, index), section);
  return data;
}

// The old section stays mapped (later sections' addresses depend on it) but carries nothing:
// clearing the bytes it owns keeps the previous configuration from lingering in the file. Bytes it
// shares with the headers or other sections stay as they are; a raw size that claimed more than the
// file held would now cover the appended section, so it shrinks to what the section really had.
void RetireOldSection(Rewrite& rewrite, std::size_t index, std::size_t original_size) {
  PeSection& old = rewrite.image.sections[index];
  std::size_t length = RawBytesOfSection(rewrite.file, rewrite.image, old);
  if (!OwnsRawRange(rewrite.image, old, old.raw_pointer, std::uint64_t{old.raw_pointer} + length)) length = 0;
  length = std::min(length, original_size - std::min<std::size_t>(original_size, old.raw_pointer));
  std::fill_n(rewrite.file.begin() + old.raw_pointer, length, 0);
  if (!InBounds(original_size, old.raw_pointer, old.raw_size)) {
    old.raw_size = static_cast<std::uint32_t>(AlignUp(length, rewrite.image.file_alignment));
  }
  old.name = ".rsrcold";
  WriteSectionHeader(rewrite.file, SectionHeaderOffset(rewrite.image, index), old);
}

// Appends the section after every other, in memory and in the file, and retires the old one.
bool AppendSection(Rewrite& rewrite, std::size_t old_index, const ResourceTree& tree, Bytes* data, std::string* error) {
  if (!HasRoomForSectionHeader(rewrite.file, rewrite.image))
    return Fail(error, "no room in the headers for a new resource section");
  PeSection section;
  section.name = ".rsrc";
  const std::uint64_t address = ImageEnd(rewrite.image.sections, rewrite.image.section_alignment);
  *data = SerializeResourceTree(tree, static_cast<std::uint32_t>(address));
  if (address + AlignUp(data->size(), rewrite.image.section_alignment) > 0xFFFFFFFFu) {
    return Fail(error, "no address space left for a new resource section");
  }
  const std::size_t original_size = rewrite.file.size();
  section.virtual_address = static_cast<std::uint32_t>(address);
  section.virtual_size = static_cast<std::uint32_t>(data->size());
  section.raw_size = static_cast<std::uint32_t>(AlignUp(data->size(), rewrite.image.file_alignment));
  section.raw_pointer = static_cast<std::uint32_t>(AlignUp(original_size, rewrite.image.file_alignment));
  section.characteristics = kInitializedData | kMemoryRead;
  rewrite.file.resize(section.raw_pointer, 0);
  rewrite.file.insert(rewrite.file.end(), data->begin(), data->end());
  rewrite.file.resize(std::size_t{section.raw_pointer} + section.raw_size, 0);
  rewrite.initialized_delta = section.raw_size;
  WriteSectionHeader(rewrite.file, SectionHeaderOffset(rewrite.image, rewrite.image.sections.size()), section);
  if (old_index < rewrite.image.sections.size()) RetireOldSection(rewrite, old_index, original_size);
  rewrite.image.sections.push_back(section);
  PutU16(rewrite.file, rewrite.image.file_header_offset + 2, static_cast<std::uint16_t>(rewrite.image.sections.size()));
  return true;
}

}  // namespace

bool ParsePeImage(const Bytes& file, PeImage* image, std::string* error) {
  *image = PeImage();
  if (file.size() < 64 || file[0] != 'M' || file[1] != 'Z') return Fail(error, "not a PE executable (no MZ header)");
  const std::size_t pe = GetU32(file, 0x3C);
  if (!InBounds(file.size(), pe, 4 + kFileHeaderSize) || std::memcmp(&file[pe], "PE\0\0", 4) != 0) {
    return Fail(error, "not a PE executable (no PE signature)");
  }
  image->file_header_offset = pe + 4;
  const std::size_t section_count = GetU16(file, image->file_header_offset + 2);
  const std::size_t optional_size = GetU16(file, image->file_header_offset + 16);
  const std::uint16_t characteristics = GetU16(file, image->file_header_offset + 18);
  if (!(characteristics & kExecutableImage) || (characteristics & kDllImage)) {
    return Fail(error, "not a PE executable (a DLL or an object file)");
  }
  image->optional_header_offset = image->file_header_offset + kFileHeaderSize;
  const std::size_t opt = image->optional_header_offset;
  if (!InBounds(file.size(), opt, optional_size) || optional_size < 2) return Fail(error, "truncated optional header");
  const std::uint16_t magic = GetU16(file, opt);
  if (magic != 0x10B && magic != 0x20B) return Fail(error, "unknown optional header format");
  image->pe32_plus = magic == 0x20B;
  const std::size_t count_field = image->pe32_plus ? 108 : 92;
  if (optional_size < count_field + 4) return Fail(error, "truncated optional header");
  image->data_directory_offset = opt + count_field + 4;
  image->data_directory_count = std::min<std::uint32_t>(
      GetU32(file, opt + count_field), static_cast<std::uint32_t>((optional_size - count_field - 4) / 8));
  image->section_alignment = GetU32(file, opt + 32);
  image->file_alignment = GetU32(file, opt + 36);
  image->size_of_headers = GetU32(file, opt + 60);
  if (!IsPowerOfTwo(image->file_alignment) || !IsPowerOfTwo(image->section_alignment) ||
      image->file_alignment > 0x10000 || image->section_alignment < image->file_alignment) {
    return Fail(error, "invalid section or file alignment");
  }
  image->section_table_offset = opt + optional_size;
  if (section_count > kMaxSections ||
      !InBounds(file.size(), image->section_table_offset, section_count * kSectionHeaderSize)) {
    return Fail(error, "section table outside the file");
  }
  for (std::size_t i = 0; i < section_count; ++i) {
    const std::size_t at = SectionHeaderOffset(*image, i);
    PeSection section;
    const auto name_begin = file.begin() + at;
    section.name.assign(name_begin, std::find(name_begin, name_begin + 8, 0));
    section.virtual_size = GetU32(file, at + 8);
    section.virtual_address = GetU32(file, at + 12);
    section.raw_size = GetU32(file, at + 16);
    section.raw_pointer = GetU32(file, at + 20);
    section.characteristics = GetU32(file, at + 36);
    image->sections.push_back(section);
  }
  return SectionsApartInMemory(*image, error);
}

std::string LoaderRuleViolation(const Bytes& file) {
  PeImage image;
  std::string error;
  if (!ParsePeImage(file, &image, &error)) return error;
  const std::uint32_t file_alignment = image.file_alignment;
  const std::uint32_t section_alignment = image.section_alignment;
  const std::string headers = "SizeOfHeaders " + Hex(image.size_of_headers);
  if (image.size_of_headers % file_alignment != 0) {
    return headers + " is not a multiple of FileAlignment " + Hex(file_alignment);
  }
  if (image.size_of_headers < SectionHeaderOffset(image, image.sections.size()) ||
      image.size_of_headers > file.size()) {
    return headers + " does not hold the section table or lies beyond the file";
  }
  std::uint64_t next = AlignUp(image.size_of_headers, section_alignment);
  for (const PeSection& s : image.sections) {
    const std::string name = "section " + s.name;
    if (s.virtual_address != next) {
      return name + " starts at " + Hex(s.virtual_address) + ", not at " + Hex(next) +
             " where the one before it ends (sections must follow each other, rounded to SectionAlignment)";
    }
    next = AlignUp(std::uint64_t{s.virtual_address} + MappedSize(s), section_alignment);
    if (s.raw_size == 0) continue;
    if (s.raw_pointer % file_alignment != 0 || s.raw_size % file_alignment != 0) {
      return name + ": PointerToRawData " + Hex(s.raw_pointer) + " or SizeOfRawData " + Hex(s.raw_size) +
             " is not a multiple of FileAlignment " + Hex(file_alignment);
    }
    if (s.raw_pointer < image.size_of_headers) return name + ": raw data starts inside the headers";
    if (!InBounds(file.size(), s.raw_pointer, s.raw_size)) return name + ": raw data reaches past the end of the file";
  }
  const std::uint32_t size_of_image = GetU32(file, image.optional_header_offset + 56);
  if (size_of_image != next) {
    return "SizeOfImage " + Hex(size_of_image) + " is not " + Hex(next) + ", the rounded end of the last section";
  }
  for (std::uint32_t i = 0; i < image.data_directory_count; ++i) {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
    GetDataDirectory(file, image, static_cast<int>(i), &rva, &size);
    // The certificate table's address is a file offset: it is not mapped.
    const std::uint64_t limit = i == kSecurityDirectoryIndex ? file.size() : size_of_image;
    if ((rva != 0 || size != 0) && std::uint64_t{rva} + size > limit) {
      return "data directory " + std::to_string(i) + " (" + Hex(rva) + ", " + Hex(size) + " bytes) lies outside the " +
             (i == kSecurityDirectoryIndex ? "file" : "image");
    }
  }
  const std::uint32_t checksum = GetU32(file, ChecksumOffset(image));
  const std::uint32_t computed = ComputePeChecksum(file, ChecksumOffset(image));
  if (checksum != 0 && checksum != computed) {
    return "checksum " + Hex(checksum) + " is wrong, " + Hex(computed) + " expected";
  }
  return {};
}

void GetDataDirectory(const Bytes& file, const PeImage& image, int index, std::uint32_t* rva, std::uint32_t* size) {
  *rva = 0;
  *size = 0;
  if (index < 0 || static_cast<std::uint32_t>(index) >= image.data_directory_count) return;
  const std::size_t at = image.data_directory_offset + static_cast<std::size_t>(index) * 8;
  if (!InBounds(file.size(), at, 8)) return;
  *rva = GetU32(file, at);
  *size = GetU32(file, at + 4);
}

bool ReadMappedSectionTail(const Bytes& file, const PeImage& image, std::uint32_t rva, Bytes* out, std::string* error) {
  for (const PeSection& s : image.sections) {
    const std::uint32_t mapped = MappedSize(s);
    if (rva < s.virtual_address || rva - s.virtual_address >= mapped) continue;
    const std::uint32_t raw = std::min(s.raw_size, mapped);
    if (!InBounds(file.size(), s.raw_pointer, raw)) return Fail(error, "section " + s.name + " lies outside the file");
    // Zeros past the raw data are materialised; a hostile virtual size must not turn a small file
    // into gigabytes, so no more zeros than the file has bytes.
    if (mapped - raw > file.size()) return Fail(error, "section " + s.name + " is implausibly large");
    const std::uint32_t skip = rva - s.virtual_address;
    out->assign(mapped - skip, 0);
    if (skip < raw) std::copy_n(file.begin() + s.raw_pointer + skip, raw - skip, out->begin());
    return true;
  }
  return Fail(error, "no section holds the resource directory");
}

std::uint32_t ComputePeChecksum(const Bytes& file, std::size_t checksum_offset) {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < file.size(); i += 2) {
    if (i + 2 > checksum_offset && i < checksum_offset + 4) continue;
    const std::uint32_t word = i + 1 < file.size() ? GetU16(file, i) : file[i];
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint32_t>(sum + file.size());
}

bool WriteResourceSection(Bytes* file_in, const ResourceTree& tree, std::string* error) {
  Rewrite rewrite;
  if (!ParsePeImage(*file_in, &rewrite.image, error)) return false;
  if (rewrite.image.data_directory_count <= kResourceDirectoryIndex)
    return Fail(error, "image has no resource data directory");
  std::uint32_t old_rva = 0;
  std::uint32_t old_size = 0;
  GetDataDirectory(*file_in, rewrite.image, kResourceDirectoryIndex, &old_rva, &old_size);
  std::size_t old_index = rewrite.image.sections.size();
  for (std::size_t i = 0; i < rewrite.image.sections.size(); ++i) {
    if (old_rva != 0 && rewrite.image.sections[i].virtual_address == old_rva) old_index = i;
  }
  // Whatever is written next to the file's end must not land in raw data another section claims.
  for (std::size_t i = 0; i < rewrite.image.sections.size(); ++i) {
    const PeSection& s = rewrite.image.sections[i];
    if (i != old_index && s.raw_size != 0 && !InBounds(file_in->size(), s.raw_pointer, s.raw_size)) {
      return Fail(error, "section " + s.name + " lies partly outside the file");
    }
  }

  rewrite.file = *file_in;
  const bool in_place = old_index < rewrite.image.sections.size() &&
                        FitsInPlace(rewrite.file, rewrite.image, rewrite.image.sections[old_index],
                                    SerializeResourceTree(tree, old_rva).size());
  Bytes data;
  if (in_place) {
    data = RewriteInPlace(rewrite, old_index, tree);
  } else if (!AppendSection(rewrite, old_index, tree, &data, error)) {
    return false;
  }
  if (rewrite.file.size() > 0xFFFFFFFFu) return Fail(error, "image would exceed 4 GiB");

  const std::size_t opt = rewrite.image.optional_header_offset;
  const std::size_t directory = rewrite.image.data_directory_offset + kResourceDirectoryIndex * 8;
  PutU32(rewrite.file, directory, in_place ? old_rva : rewrite.image.sections.back().virtual_address);
  PutU32(rewrite.file, directory + 4, static_cast<std::uint32_t>(data.size()));
  PutU32(rewrite.file, opt + 56,
         static_cast<std::uint32_t>(ImageEnd(rewrite.image.sections, rewrite.image.section_alignment)));
  PutU32(rewrite.file, opt + 8,
         static_cast<std::uint32_t>(std::int64_t{GetU32(rewrite.file, opt + 8)} + rewrite.initialized_delta));
  PutU32(rewrite.file, ChecksumOffset(rewrite.image), ComputePeChecksum(rewrite.file, ChecksumOffset(rewrite.image)));
  *file_in = std::move(rewrite.file);
  return true;
}

}  // namespace stubconfig
