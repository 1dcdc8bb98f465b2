// The tool's file access: inputs are read only when they are regular files of a bounded size, so that
// a pipe, a device or a directory named by mistake gives a message at once instead of a hang or an
// endless read; files are told apart by what they are, not by how they are named; and the output is
// first written to a file that this run alone created.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "byte_order.h"

namespace stubconfig {

// Reads the file at `path` whole. Fails, with a message naming the file and the reason, for anything
// but a regular file (following links) and for one larger than `limit` bytes; never waits for a pipe's
// writer or reads a device.
bool ReadRegularFile(const std::string& path, std::uint64_t limit, Bytes* data, std::string* error);

// What makes a file itself, whatever path and links lead to it: device and inode, or volume serial
// number and file index.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool operator==(const FileIdentity& other) const { return volume == other.volume && index == other.index; }
};

// The identity of the file `path` leads to; nullopt when there is none (no such file, no access).
std::optional<FileIdentity> IdentityOf(const std::string& path);

enum class CreateResult { kCreated, kNameTaken, kFailed };

// Creates a new file at `path` and writes `data` to it. kNameTaken, without touching anything, when
// the name is held by anything at all, a link (even one to nowhere) included; kFailed (with a message)
// when writing failed, the partial file then removed.
CreateResult CreateNewFile(const std::string& path, const Bytes& data, std::string* error);

}  // namespace stubconfig
